#include "gateway/spool.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

// Texts are translated in the context "gateway::Spool", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

namespace {

// "HYGV" in the file's header: a spool of this gateway's, not any SQLite file.
constexpr quint32 kApplicationId = 0x48594756;
constexpr int kSchema = 1;
const char kColumns[] = "seq, ms, utc_offset, address, temperature, humidity, dew_point, wet_bulb";

QString sqlError(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QCoreApplication::translate("gateway::Spool", "an unknown error of SQLite") : text;
}

QVariant value(double v)
{
    return std::isnan(v) ? QVariant(QVariant::Double) : QVariant(v);
}

} // namespace

Spool::Spool(qint64 bound)
    : m_connection(QStringLiteral("spool-%1").arg(quintptr(this), 0, 16))
    , m_bound(qMax<qint64>(1, bound))
{
}

Spool::~Spool()
{
    close();
}

void Spool::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

Spool::Opened Spool::fail(Opened kind, const QString &error)
{
    close();
    m_error = error;
    return kind;
}

bool Spool::exec(const QString &statement)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (q.exec(statement))
        return true;
    m_error = sqlError(q.lastError());
    return false;
}

// What is there is looked at without writing a byte to it: the header read
// as a file, then SQLite's own check over a read-only connection.
Spool::Opened Spool::check()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(Failed, file.errorString());
    const QByteArray header = file.read(100);
    file.close();
    const auto at = [&header](int offset) {
        return quint32(quint8(header[offset])) << 24 | quint32(quint8(header[offset + 1])) << 16 | quint32(quint8(header[offset + 2])) << 8
            | quint8(header[offset + 3]);
    };
    if (header.size() < 100 || !header.startsWith(QByteArrayLiteral("SQLite format 3\0")) || at(68) != kApplicationId)
        return fail(Foreign, QCoreApplication::translate("gateway::Spool", "%1 is not a spool of the gateway's: it holds something else. Choose another file; this one is left as it is.").arg(m_path));
    QString problem;
    Opened kind = Corrupt;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        const bool opened = db.open();
        QSqlQuery q(db);
        if (!opened)
            kind = Failed, problem = sqlError(db.lastError());
        else if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
            problem = sqlError(q.lastError());
        else if (q.value(0).toString() != QLatin1String("ok"))
            problem = q.value(0).toString();
        else if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next() || q.value(0).toInt() != kSchema)
            problem = QCoreApplication::translate("gateway::Spool", "not of this version's making");
        // Numbered without gaps, as written.
        else if (!q.exec(QStringLiteral("SELECT min(seq), max(seq), count(*) FROM reading")) || !q.next())
            problem = sqlError(q.lastError());
        else if (q.value(2).toLongLong() > 0 && q.value(1).toLongLong() - q.value(0).toLongLong() + 1 != q.value(2).toLongLong())
            problem = QCoreApplication::translate("gateway::Spool", "readings missing between others");
        else if (q.value(2).toLongLong() > 0)
            m_first = q.value(0).toULongLong(), m_end = q.value(1).toULongLong() + 1;
    }
    if (kind == Failed)
        return fail(Failed, QCoreApplication::translate("gateway::Spool", "%1 cannot be opened as a spool: %2").arg(m_path, problem));
    if (!problem.isEmpty())
        return fail(Corrupt, QCoreApplication::translate("gateway::Spool", "%1 is a damaged spool (%2). It is left as it is: move it away to start with an empty one.").arg(m_path, problem));
    QSqlDatabase::removeDatabase(m_connection);
    return Ok;
}

Spool::Opened Spool::open(const QString &path)
{
    close();
    m_path = path;
    m_first = m_end = 1;
    m_dropped = m_written = 0;
    m_pending.clear();
    const QFileInfo info(path);
    const bool fresh = !info.exists() || (info.isFile() && info.size() == 0);
    if (!fresh) {
        const Opened checked = check();
        if (checked != Ok)
            return checked;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    if (!db.open())
        return fail(Failed, QCoreApplication::translate("gateway::Spool", "%1 cannot be opened as a spool: %2").arg(path, sqlError(db.lastError())));
    // Made in the file itself before it goes over to WAL, so that its header
    // says whose it is from the first byte on.
    if (fresh
        && !(exec(QStringLiteral("PRAGMA application_id = %1").arg(kApplicationId)) && exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchema))
             && exec(QStringLiteral("CREATE TABLE reading (seq INTEGER PRIMARY KEY, ms INTEGER NOT NULL, utc_offset INTEGER NOT NULL, "
                                    "address INTEGER NOT NULL, temperature REAL, humidity REAL, dew_point REAL, wet_bulb REAL)"))))
        return fail(Failed, QCoreApplication::translate("gateway::Spool", "%1 cannot be made a spool: %2").arg(path, m_error));
    // Every commit synced: a power cut loses none of what was committed.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !q.next() || q.value(0).toString() != QLatin1String("wal")
        || !exec(QStringLiteral("PRAGMA synchronous = FULL")))
        return fail(Failed, QCoreApplication::translate("gateway::Spool", "%1 cannot be written ahead (WAL): %2").arg(path, m_error.isEmpty() ? sqlError(q.lastError()) : m_error));
    m_error.clear();
    return Ok;
}

void Spool::add(const publish::Reading &reading)
{
    m_pending.append(reading);
    // A disk that takes nothing for long: memory is bounded all the same.
    if (m_pending.size() > m_bound) {
        m_pending.removeFirst();
        ++m_dropped;
    }
}

bool Spool::commit(quint64 acknowledgedBelow)
{
    const quint64 end = m_end + quint64(m_pending.size());
    quint64 first = qBound(m_first, acknowledgedBelow, m_end);
    quint64 dropping = 0;
    if (end - first > quint64(m_bound)) {
        dropping = end - quint64(m_bound) - first;
        first = end - quint64(m_bound);
    }
    if (m_pending.isEmpty() && first == m_first)
        return true;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.isOpen()) {
        m_error = QCoreApplication::translate("gateway::Spool", "the spool is not open");
        return false;
    }
    if (!db.transaction()) {
        m_error = sqlError(db.lastError());
        return false;
    }
    QSqlQuery q(db);
    bool ok = q.prepare(QStringLiteral("INSERT INTO reading (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?)").arg(QLatin1String(kColumns)));
    quint64 seq = m_end;
    for (int i = 0; ok && i < m_pending.size(); ++i, ++seq) {
        const publish::Reading &r = m_pending[i];
        q.bindValue(0, qint64(seq));
        q.bindValue(1, r.when.toMSecsSinceEpoch());
        q.bindValue(2, r.when.offsetFromUtc());
        q.bindValue(3, r.address);
        for (int v = 0; v < trend::SeriesCount; ++v)
            q.bindValue(4 + v, value(r.values[size_t(v)]));
        ok = q.exec();
    }
    if (ok && first > m_first) {
        ok = q.prepare(QStringLiteral("DELETE FROM reading WHERE seq < ?"));
        q.bindValue(0, qint64(first));
        ok = ok && q.exec();
    }
    if (!ok || !db.commit()) {
        m_error = sqlError(ok ? db.lastError() : q.lastError());
        q.finish();
        db.rollback();
        return false;
    }
    m_written += quint64(m_pending.size());
    m_pending.clear();
    m_dropped += dropping;
    m_first = first;
    m_end = end;
    m_error.clear();
    return true;
}

QVector<publish::Reading> Spool::read(quint64 from, int most)
{
    QVector<publish::Reading> out;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT %1 FROM reading WHERE seq >= ? ORDER BY seq LIMIT ?").arg(QLatin1String(kColumns))))
        return out;
    q.bindValue(0, qint64(from));
    q.bindValue(1, most);
    if (!q.exec()) {
        m_error = sqlError(q.lastError());
        return out;
    }
    // Only a run without gaps from `from` on: the outbox numbers by position.
    for (quint64 seq = from; q.next() && q.value(0).toULongLong() == seq; ++seq) {
        publish::Reading r;
        r.when = QDateTime::fromMSecsSinceEpoch(q.value(1).toLongLong(), Qt::OffsetFromUTC, q.value(2).toInt());
        r.address = quint8(q.value(3).toUInt());
        for (int v = 0; v < trend::SeriesCount; ++v)
            r.values[size_t(v)] = q.value(4 + v).isNull() ? NAN : q.value(4 + v).toDouble();
        out.append(r);
    }
    return out;
}

} // namespace gateway
