#include "publish/outbox.h"

namespace publish {

void Outbox::add(const Reading &reading)
{
    m_entries.push_back({reading, false});
    if (int(m_entries.size()) > m_bound) {
        ++m_dropped;
        popFront();
    }
}

void Outbox::popFront()
{
    if (m_handed > 0) {
        --m_handed;
        m_inFlight -= !m_entries.front().acked;
    }
    m_ackedKept -= m_entries.front().acked;
    m_entries.pop_front();
    ++m_front;
}

bool Outbox::next(Reading *reading, quint64 *seq)
{
    // Acknowledged out of turn, after a rewind: nothing to send again.
    while (m_handed < m_entries.size() && m_entries[m_handed].acked)
        ++m_handed;
    if (m_handed == m_entries.size())
        return false;
    *reading = m_entries[m_handed].reading;
    *seq = m_front + m_handed;
    ++m_handed;
    ++m_inFlight;
    return true;
}

void Outbox::acknowledged(quint64 seq)
{
    // Gone already (dropped, or acknowledged twice over two connections).
    if (seq < m_front || seq - m_front >= m_handed || m_entries[size_t(seq - m_front)].acked)
        return;
    m_entries[size_t(seq - m_front)].acked = true;
    --m_inFlight;
    ++m_ackedKept;
    while (!m_entries.empty() && m_entries.front().acked)
        popFront();
}

} // namespace publish
