#ifndef HYGROVANE_BUILDSTAMP_H
#define HYGROVANE_BUILDSTAMP_H

#include <QDate>
#include <QString>
#include <QTime>

// Date and time at which the program was built, shown in the window title.
extern const QDate BuildDate;
extern const QTime BuildTime;

// The compiler's date text pads a one-digit day with a blank ("Sep  7 2022");
// it is read with an English locale whatever the machine's language.
QDate parseBuildDate(const QString &compilerDate);
// The compiler's time text, "hh:mm:ss" on a 24-hour clock.
QTime parseBuildTime(const QString &compilerTime);

#endif
