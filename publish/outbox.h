#ifndef HYGROVANE_PUBLISH_OUTBOX_H
#define HYGROVANE_PUBLISH_OUTBOX_H

#include "publish/topics.h"

#include <deque>

namespace publish {

// Where the outbox keeps its readings when they must outlive the program: a
// file on disk, say. Its readings are numbered, the oldest first, without
// gaps: [first(), end()). A reading added is only pending until commit(),
// which keeps the pending ones and forgets those already acknowledged in one
// go; past its bound the oldest go, and are counted.
class Store
{
public:
    virtual ~Store() = default;
    virtual quint64 first() const = 0;
    virtual quint64 end() const = 0;
    virtual void add(const Reading &reading) = 0;
    virtual int pending() const = 0;
    // False, with error() saying why, when nothing could be kept: the
    // pending readings stay pending for the next try.
    virtual bool commit(quint64 acknowledgedBelow) = 0;
    // At most `most` readings from `from` on.
    virtual QVector<Reading> read(quint64 from, int most) = 0;
    virtual quint64 dropped() const = 0;
    virtual QString error() const = 0;
};

// The readings not yet acknowledged by the broker, oldest first. A reading
// stays here from the moment it is made until its PUBACK, so that one handed
// to a connection that then died goes again, in its place, on the next one.
// Bounded: past the bound the oldest go, and are counted.
//
// Kept in a Store, a reading is handed to the connection only once it is
// committed there, and only a window of the oldest is held in memory.
class Outbox
{
public:
    static constexpr int Bound = 10000;
    explicit Outbox(int bound = Bound) : m_bound(bound) {}

    // From now on in `store` (not owned), with what it holds already first.
    void keepIn(Store *store);
    bool kept() const { return m_store != nullptr; }
    void add(const Reading &reading);
    // Kept readings go to the store: false, with the store's error, when
    // they could not be.
    bool commit();
    // The next reading to hand to the connection, with its sequence number;
    // false when every reading has been handed.
    bool next(Reading *reading, quint64 *seq);
    // The broker has it: gone from the box.
    void acknowledged(quint64 seq);
    // The connection is gone: what it was handed and did not acknowledge is
    // handed again, from the oldest.
    void rewind() { m_handed = 0, m_inFlight = 0; }

    // Pending ones in the store included.
    int waiting() const;
    int inFlight() const { return m_inFlight; }
    quint64 dropped() const { return m_dropped + (m_store ? m_store->dropped() : 0); }
    QString error() const { return m_store ? m_store->error() : QString(); }

private:
    struct Entry
    {
        Reading reading;
        bool acked = false;
    };
    void popFront();

    std::deque<Entry> m_entries; // with a store, the oldest of its readings
    quint64 m_front = 0;  // the sequence number of m_entries.front()
    quint64 m_end = 0;    // with a store: one past its newest committed reading
    size_t m_handed = 0;  // entries from the front handed to this connection
    int m_inFlight = 0;   // of those, not acknowledged
    int m_ackedKept = 0;  // acknowledged out of turn, behind one that is not
    quint64 m_dropped = 0;
    int m_bound;
    Store *m_store = nullptr;
};

} // namespace publish

#endif
