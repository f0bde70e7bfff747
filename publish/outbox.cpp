#include "publish/outbox.h"

namespace publish {

namespace {

// Readings read from a store at a time: enough to keep the connection busy,
// few enough that a million waiting take no memory.
constexpr int kWindow = 512;

} // namespace

void Outbox::keepIn(Store *store)
{
    // What waits in memory goes first, to be kept with the rest.
    std::deque<Entry> waiting;
    waiting.swap(m_entries);
    m_store = store;
    m_front = store->first();
    m_end = store->end();
    m_handed = 0, m_inFlight = 0, m_ackedKept = 0;
    for (const Entry &entry : waiting) {
        if (!entry.acked)
            store->add(entry.reading);
    }
}

void Outbox::add(const Reading &reading)
{
    if (m_store)
        return m_store->add(reading);
    m_entries.push_back({reading, false});
    if (int(m_entries.size()) > m_bound) {
        ++m_dropped;
        popFront();
    }
}

bool Outbox::commit()
{
    if (!m_store)
        return true;
    const bool ok = m_store->commit(m_front);
    // What the store dropped past its bound goes from the window too.
    const quint64 first = m_store->first();
    while (!m_entries.empty() && m_front < first)
        popFront();
    if (m_entries.empty())
        m_front = std::max(m_front, first);
    m_end = m_store->end();
    return ok;
}

int Outbox::waiting() const
{
    if (!m_store)
        return int(m_entries.size()) - m_ackedKept;
    return int(m_end - m_front) - m_ackedKept + m_store->pending();
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
    for (;;) {
        // Acknowledged out of turn, after a rewind: nothing to send again.
        while (m_handed < m_entries.size() && m_entries[m_handed].acked)
            ++m_handed;
        if (m_handed < m_entries.size())
            break;
        const quint64 from = m_front + m_entries.size();
        if (!m_store || from >= m_end)
            return false;
        const QVector<Reading> more = m_store->read(from, int(std::min<quint64>(kWindow, m_end - from)));
        if (more.isEmpty())
            return false;
        for (const Reading &r : more)
            m_entries.push_back({r, false});
    }
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
