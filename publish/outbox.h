#ifndef HYGROVANE_PUBLISH_OUTBOX_H
#define HYGROVANE_PUBLISH_OUTBOX_H

#include "publish/topics.h"

#include <deque>

namespace publish {

// The readings not yet acknowledged by the broker, oldest first. A reading
// stays here from the moment it is made until its PUBACK, so that one handed
// to a connection that then died goes again, in its place, on the next one.
// Bounded: past the bound the oldest go, and are counted.
class Outbox
{
public:
    static constexpr int Bound = 10000;
    explicit Outbox(int bound = Bound) : m_bound(bound) {}

    void add(const Reading &reading);
    // The next reading to hand to the connection, with its sequence number;
    // false when every reading has been handed.
    bool next(Reading *reading, quint64 *seq);
    // The broker has it: gone from the box.
    void acknowledged(quint64 seq);
    // The connection is gone: what it was handed and did not acknowledge is
    // handed again, from the oldest.
    void rewind() { m_handed = 0, m_inFlight = 0; }

    int waiting() const { return int(m_entries.size()) - m_ackedKept; }
    int inFlight() const { return m_inFlight; }
    quint64 dropped() const { return m_dropped; }

private:
    struct Entry
    {
        Reading reading;
        bool acked = false;
    };
    void popFront();

    std::deque<Entry> m_entries;
    quint64 m_front = 0;  // the sequence number of m_entries.front()
    size_t m_handed = 0;  // entries from the front handed to this connection
    int m_inFlight = 0;   // of those, not acknowledged
    int m_ackedKept = 0;  // acknowledged out of turn, behind one that is not
    quint64 m_dropped = 0;
    int m_bound;
};

} // namespace publish

#endif
