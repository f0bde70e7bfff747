#include "bus/schedule.h"

namespace bus {

int Schedule::next(const QVector<bool> &watched, qint64 now, qint64 *waitMs)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_inRound) {
            const qint64 due = m_started ? m_roundStart + m_roundMs : now;
            if (now < due) {
                *waitMs = due - now;
                return -1;
            }
            m_started = m_inRound = true;
            m_roundStart = now;
            m_row = -1;
        }
        for (int row = m_row + 1; row < watched.size(); ++row) {
            if (watched[row])
                return m_row = row;
        }
        // The round is over; the next may begin at once if this one took its second.
        m_inRound = false;
        if (m_row < 0)
            break; // nothing is watched: come back in a round's time
    }
    *waitMs = qMax<qint64>(0, m_roundStart + m_roundMs - now);
    return -1;
}

} // namespace bus
