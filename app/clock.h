#ifndef HYGROVANE_CLOCK_H
#define HYGROVANE_CLOCK_H

#include <QDateTime>

#include <functional>

// The wall clock the window reads: serial numbers, setup frames and start
// times depend on it, so tests can put it at a known moment.
QDateTime currentDateTime();
// An empty function restores the system clock.
void setClockForTesting(std::function<QDateTime()> clock);

#endif
