#ifndef HYGROVANE_GATEWAY_LOGLINE_H
#define HYGROVANE_GATEWAY_LOGLINE_H

#include <QByteArray>
#include <QString>

namespace gateway {

// Standard error is the journal's own stream: systemd names its device and
// inode in JOURNAL_STREAM for a service whose output it keeps.
bool stderrIsJournal();

// One event as the log line written for it: bare to the journal, which
// stamps every line itself; anywhere else (a terminal, a file, a pipe) after
// the local time in ISO 8601, 2026-12-10T05:42:07+01:00.
QByteArray logLine(const QString &text);

} // namespace gateway

#endif
