#ifndef HYGROVANE_BUS_SCHEDULE_H
#define HYGROVANE_BUS_SCHEDULE_H

#include <QVector>
#include <QtGlobal>

namespace bus {

// Who is polled next while watching: the watched rows in table order, one at
// a time. A round starts at most once a second; a round that took longer is
// followed at once by the next.
class Schedule
{
public:
    explicit Schedule(qint64 roundMs = 1000) : m_roundMs(roundMs) {}

    // The row to poll at `now`, or -1 when the next round may not begin yet;
    // then `waitMs` is how long until it may. Rows may be ticked and
    // unticked between calls.
    int next(const QVector<bool> &watched, qint64 now, qint64 *waitMs);

private:
    qint64 m_roundMs;
    qint64 m_roundStart = 0;
    bool m_started = false; // a round has begun since the watch started
    int m_row = -1;         // the row polled last in the round under way, -1 before its first
    bool m_inRound = false;
};

} // namespace bus

#endif
