#ifndef HYGROVANE_COMMISSION_REPORT_H
#define HYGROVANE_COMMISSION_REPORT_H

#include "commission/run.h"

#include <QByteArray>
#include <QDateTime>

// The batch's report: one CSV row a module (RFC 4180, UTF-8, CRLF), appended
// like the readings record, for a spreadsheet to open.
namespace commission {

QByteArray reportHeader();
// The time, the module's old address and rate and its new ones, the serial
// number and logger model, the setup, the readings at the new address and
// rate, and the result: "ok", "failed" (with the step and the reason) or
// "stopped" (with the step, and the reason when one was given). A value whose write went unanswered is marked "(not confirmed)".
QByteArray reportRow(const QDateTime &when, const Run &run);

} // namespace commission

#endif
