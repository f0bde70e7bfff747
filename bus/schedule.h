#ifndef HYGROVANE_BUS_SCHEDULE_H
#define HYGROVANE_BUS_SCHEDULE_H

#include "bus/scan.h"

#include <QSet>
#include <QVector>
#include <QtGlobal>

namespace bus {

// Who is polled next while watching: the watched rows in table order, one at
// a time. A round starts at most once a second; a round that took longer is
// followed at once by the next.
class Schedule
{
public:
    // A module silent this long rests: it is asked only once every so many rounds.
    static constexpr int RestRounds = 10;

    explicit Schedule(qint64 roundMs = 1000) : m_roundMs(roundMs) {}

    // The row to poll at `now`, or -1 when the next round may not begin yet;
    // then `waitMs` is how long until it may. Rows may be ticked and
    // unticked between calls. A resting row (a module gone silent) is polled
    // in one round of RestRounds, every round again once it no longer rests:
    // a few dead modules do not stretch everyone's period.
    int next(const QVector<bool> &watched, qint64 now, qint64 *waitMs, const QVector<bool> &resting = {});

private:
    qint64 m_roundMs;
    qint64 m_roundStart = 0;
    bool m_started = false; // a round has begun since the watch started
    int m_row = -1;         // the row polled last in the round under way, -1 before its first
    bool m_inRound = false;
    QVector<int> m_rested;  // rounds each resting row has been passed over
    QVector<bool> m_skip;   // passed over in the round under way
};

// Whether a round's time is worth a word: longer than the period, said once,
// and again only once it has changed by more than a fifth.
class Overrun
{
public:
    bool worthSaying(qint64 roundMs, qint64 periodMs);

private:
    qint64 m_saidMs = -1;
};

// The addresses a watch does not poll, each asked once a period (minutes),
// one at a time, spread evenly between the watch's polls: a module added,
// moved or missed is found. Garbled answers ask an address up to twice more.
class Rescan
{
public:
    enum Verdict { Nothing, Found, Again, GarbledOnly };

    explicit Rescan(int minutes = 0) : m_periodMs(qint64(minutes) * 60000) {}
    bool isOn() const { return m_periodMs > 0; }
    // Starts the count at `now`: the first address is due a step later.
    void begin(qint64 now);
    // The address to ask at `now` (ms), or 0 when none is due; `watched`
    // the addresses polled now.
    quint8 next(const QSet<quint8> &watched, qint64 now);
    // How long from `now` until the next is due; -1 when none will be.
    qint64 dueInMs(qint64 now) const { return m_started ? qMax<qint64>(0, m_dueMs - now) : -1; }
    // What the address asked last said: a module found, to be asked again,
    // garbled only (said once for an address), or nothing.
    Verdict heard(quint8 address, Answer::Kind kind);

private:
    qint64 m_periodMs;
    qint64 m_dueMs = 0;
    quint8 m_last = 0;   // the address asked last in the round of addresses
    quint8 m_again = 0;  // asked again before the next
    int m_asked = 0;     // times m_again has been asked in a row
    bool m_started = false;
    QSet<quint8> m_said; // garbled only, said already
};

} // namespace bus

#endif
