#ifndef HYGROVANE_LOGFRAME_H
#define HYGROVANE_LOGFRAME_H

#include <QDateTime>
#include <QString>

// One line of the traffic log: red for a frame sent, green for a reply
// accepted, e.g. <font color=red>2024-01-02 03:04:05->TX  0003010000018427</font>.
// The time stamp has ASCII digits whatever the desktop's language.
QString trafficLogLine(const QDateTime &when, const QString &hex, bool isRx);

#endif
