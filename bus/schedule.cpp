#include "bus/schedule.h"

#include <cstdlib>

namespace bus {

int Schedule::next(const QVector<bool> &watched, qint64 now, qint64 *waitMs, const QVector<bool> &resting)
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
            // Which resting rows sit this round out.
            m_rested.resize(watched.size());
            m_skip.fill(false, watched.size());
            for (int row = 0; row < watched.size(); ++row) {
                if (row >= resting.size() || !resting[row]) {
                    m_rested[row] = 0;
                } else if (++m_rested[row] < RestRounds) {
                    m_skip[row] = true;
                } else {
                    m_rested[row] = 0;
                }
            }
        }
        for (int row = m_row + 1; row < watched.size(); ++row) {
            if (watched[row] && !(row < m_skip.size() && m_skip[row]))
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

bool Overrun::worthSaying(qint64 roundMs, qint64 periodMs)
{
    // A round that waited for its period's end is measured a timer's
    // lateness past it: that is no overrun.
    if (roundMs <= periodMs + qMax<qint64>(50, periodMs / 20))
        return false;
    if (m_saidMs >= 0 && std::abs(roundMs - m_saidMs) * 5 <= m_saidMs)
        return false;
    m_saidMs = roundMs;
    return true;
}

void Rescan::begin(qint64 now)
{
    m_dueMs = now;
    m_last = m_again = 0;
    m_asked = 0;
    m_started = false;
}

quint8 Rescan::next(const QSet<quint8> &watched, qint64 now)
{
    const int unwatched = 247 - int(watched.size());
    if (m_periodMs <= 0 || unwatched <= 0)
        return 0;
    // Each address once a period: a step is the period shared among them.
    const qint64 stepMs = qMax<qint64>(1, m_periodMs / unwatched);
    if (!m_started) {
        m_started = true;
        m_dueMs += stepMs;
    }
    if (now < m_dueMs)
        return 0;
    // Behind (a round that overran), the next waits a whole step all the
    // same: the addresses are not asked in a burst.
    m_dueMs = qMax(m_dueMs, now) + stepMs;
    if (m_again && !watched.contains(m_again))
        return m_again;
    m_again = 0;
    for (int k = 1; k <= 247; ++k) {
        const quint8 address = quint8((m_last + k - 1) % 247 + 1);
        if (!watched.contains(address))
            return m_last = address;
    }
    return 0;
}

Rescan::Verdict Rescan::heard(quint8 address, Answer::Kind kind)
{
    if (kind == Answer::Values || kind == Answer::Refusal) {
        m_again = 0;
        m_said.remove(address);
        return Found;
    }
    if (kind != Answer::Garbled) {
        // Silent after garbled answers: they were noise.
        m_again = 0;
        return Nothing;
    }
    m_asked = m_again == address ? m_asked + 1 : 1;
    if (m_asked < 3) {
        m_again = address;
        return Again;
    }
    m_again = 0;
    if (m_said.contains(address))
        return Nothing;
    m_said.insert(address);
    return GarbledOnly;
}

} // namespace bus
