#ifndef HYGROVANE_GATEWAY_SPOOL_H
#define HYGROVANE_GATEWAY_SPOOL_H

#include "publish/outbox.h"

#include <QString>
#include <QVector>

namespace gateway {

// The outbox on disk: an SQLite file of the gateway's own (its application
// id says so), written ahead (WAL) and synced at every commit, so that what
// was committed is there after a kill or a power cut. A file that is not
// one, or is damaged, is refused before anything is written to it.
class Spool : public publish::Store
{
public:
    enum Opened { Ok, Foreign, Corrupt, Failed };
    explicit Spool(qint64 bound);
    ~Spool() override;
    Spool(const Spool &) = delete;
    Spool &operator=(const Spool &) = delete;

    // Made when missing; what went wrong in error().
    Opened open(const QString &path);
    void close();
    QString path() const { return m_path; }
    // Readings committed to the file since it was opened.
    quint64 written() const { return m_written; }

    quint64 first() const override { return m_first; }
    quint64 end() const override { return m_end; }
    void add(const publish::Reading &reading) override;
    int pending() const override { return m_pending.size(); }
    bool commit(quint64 acknowledgedBelow) override;
    QVector<publish::Reading> read(quint64 from, int most) override;
    quint64 dropped() const override { return m_dropped; }
    QString error() const override { return m_error; }

private:
    Opened fail(Opened kind, const QString &error);
    Opened check();
    bool exec(const QString &statement);

    QString m_connection; // the name of this spool's database connection
    QString m_path;
    QString m_error;
    qint64 m_bound;
    quint64 m_first = 1;
    quint64 m_end = 1;
    quint64 m_dropped = 0;
    quint64 m_written = 0;
    QVector<publish::Reading> m_pending;
};

} // namespace gateway

#endif
