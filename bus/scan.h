#ifndef HYGROVANE_BUS_SCAN_H
#define HYGROVANE_BUS_SCAN_H

#include "link/request.h"
#include "trend/history.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include <cmath>

// Finding the modules on a line: which address is asked at which rate, how
// long each request waits, and what its outcome says of the address.
namespace bus {

struct Probe
{
    quint8 address;
    qint32 baudRate;
};

// The addresses from..to at the link's rate; with every rate, the addresses
// at each of the search's rates in turn (the rate changes six times, not at
// every address).
QVector<Probe> scanPlan(int from, int to, bool allRates, qint32 linkRate);

// How long the probes of a plan from `next` on may still take: each its
// whole wait at its own rate, as a silent address takes it.
qint64 timeLeftUs(const QVector<Probe> &plan, int next, int answerMs);

// The five-register read of every measurement, as the main window's "ALL".
QByteArray measurementRead(quint8 address);

// What an address said: values (NaN where none), a refusal, bytes that make
// no frame (two modules answering at once), or nothing.
struct Answer
{
    enum Kind { Values, Refusal, Garbled, Silence };
    Kind kind = Silence;
    int exception = 0;
    int lateMs = 0; // it came this long after the request's wait had ended
    trend::Values values{{NAN, NAN, NAN, NAN}};
};
Answer answerOf(Exchange::Outcome outcome, const QByteArray &reply);
// An answer come `afterUs` past its request, once its wait was over.
Answer lateAnswerOf(const QByteArray &reply, qint64 afterUs);

// The measurement read of one address at a rate, waiting as "Answer within" says.
Exchange measurementExchange(quint8 address, qint32 baudRate, int answerMs);

} // namespace bus

#endif
