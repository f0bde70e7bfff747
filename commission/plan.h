#ifndef HYGROVANE_COMMISSION_PLAN_H
#define HYGROVANE_COMMISSION_PLAN_H

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QtGlobal>

// Setting up a box of modules from one plan: what every module gets, and the
// rules that keep two modules of a batch from getting the same address or
// serial number.
namespace commission {

struct Plan
{
    int address = 1;         // the next module's
    qint32 baudRate = 9600;  // the rate to leave it at
    quint8 recordMode = 1;   // as the setup frame carries it: 1 after setup, 2 at the start time, 3 monitoring
    qint64 start = 0;        // the start time, seconds since the epoch
    int sampleSeconds = 1;
};

// The address for the module after one given `done`: the next one up that
// this batch has not given yet, past 247 the lowest one; 0 when all 247 are given.
int nextAddress(int done, const QSet<int> &given);

// The serial number a module gets at `now`: the clock's, as AUTO Setup makes it.
QString serialNumber(const QDateTime &now);
// How long until the clock gives a serial number other than the last one
// given; 0 when it does already.
int msUntilNewSerial(const QDateTime &now, const QString &lastGiven);

} // namespace commission

#endif
