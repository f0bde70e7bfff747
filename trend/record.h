#ifndef HYGROVANE_RECORD_H
#define HYGROVANE_RECORD_H

#include "trend/history.h"

#include <QByteArray>
#include <QDateTime>

// The record of the readings, one CSV row (RFC 4180, UTF-8, CRLF) for each
// reading shown, for a spreadsheet to open.
namespace trend {

QByteArray csvHeader();
// ISO 8601 local time with its offset from UTC: 2026-12-07T10:15:30+01:00.
QString isoTime(const QDateTime &when);
// A field as RFC 4180 wants it: quoted, its quotes doubled, when it holds a
// comma, a quote or a line break.
QString csvField(const QString &text);
// The time is ISO 8601 local time with its offset from UTC
// (2026-12-07T10:15:30+01:00); values have one decimal and a '.' whatever the
// locale, and a value the reading did not carry is an empty field.
QByteArray csvRow(const QDateTime &when, quint8 address, const Values &values);

} // namespace trend

#endif
