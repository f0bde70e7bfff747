#ifndef HYGROVANE_TRACE_H
#define HYGROVANE_TRACE_H

#include <QLoggingCategory>

// Diagnostic traces (the bytes received, the requests, the setup's times):
// off unless QT_LOGGING_RULES="hygrovane.trace.debug=true". Through qCDebug,
// nothing is even formatted while they are off: a day of polling would put a
// quarter of a million lines into the session's journal.
Q_DECLARE_LOGGING_CATEGORY(lcTrace)

#endif
