#ifndef HYGROVANE_BUS_MODULETABLE_H
#define HYGROVANE_BUS_MODULETABLE_H

#include "bus/scan.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QVector>

namespace bus {

// The modules found on the line, one row each, as the scan found them and
// the watch keeps them. The Address cell's tick says which rows are watched.
class ModuleTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Address, BaudRate, Temperature, Humidity, DewTemp, WetBulbTemp, Status, Polls, Misses, LastSeen, ColumnCount };
    // Misses in a row after which a module counts as silent.
    static constexpr int SilentAfter = 3;
    // A key each column sorts by; the Address column's is the address, then
    // the rate.
    static constexpr int SortRole = Qt::UserRole;
    // True for the last values of a module that no longer gives any: a view
    // greys them, so that they do not pass for current ones.
    static constexpr int StaleRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void clear();
    // A scan's answer from an address at a rate: a row for anything but silence.
    void found(const Probe &probe, const Answer &answer, const QDateTime &at);
    // Rows for modules expected at these addresses, not heard yet: watched
    // from the start, and said to answer at their first answer.
    void expect(const QVector<Probe> &probes);
    // The line is gone: no module answers, each says so now, and says so
    // again at its first answer once the line is back.
    void lineLost();
    // A watch's poll of a row and what came of it.
    void polled(int row, const Answer &answer, const QDateTime &at);
    // The answer to a row's poll, come after its wait: the miss it was
    // counted goes, and the answer counts.
    void answeredLate(int row, const Answer &answer, const QDateTime &at);
    // The rows to watch: ticked, and found at this rate.
    QVector<bool> watched(qint32 linkRate) const;
    quint8 address(int row) const { return m_rows[row].address; }
    bool ticked(int row) const { return m_rows[row].ticked; }
    // Modules found at a rate; an address whose answers garbled holds two at
    // least, and makes the count one of at least that many.
    int modulesAt(qint32 baudRate, bool *atLeast = nullptr) const;

signals:
    // A watched module answers, having not answered before (its first answer
    // to a watch, or its first after SilentAfter misses in a row), whichever
    // way the answer came; or, having answered, it has just gone silent.
    // Each change is told once.
    void availability(quint8 address, bool online);

public:
    qint32 baudRate(int row) const { return m_rows[row].baudRate; }
    // Two modules answered at once at the row's address, the last time it was asked.
    bool garbled(int row) const { return m_rows[row].answer.kind == Answer::Garbled; }
    // Silent for SilentAfter polls in a row, or more.
    bool silent(int row) const { return m_rows[row].missesInARow >= SilentAfter; }
    // The row of the module at this address and rate, or -1.
    int find(quint8 address, qint32 baudRate) const;
    // A module read back at its new address or rate: its row goes with it.
    void moved(int row, quint8 address, qint32 baudRate, const Answer &answer, const QDateTime &at);
    // The rate a watch polls at, 0 when none runs: a ticked row at another
    // rate then says it is not watched.
    void setWatchRate(qint32 baudRate);
    // The row as the saved table has it (see tableRow).
    QByteArray csvRow(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    struct Row
    {
        quint8 address = 0;
        qint32 baudRate = 0;
        Answer answer;           // the latest; its values stay through a miss
        trend::Values values;
        int polls = 0;
        int misses = 0;
        int missesInARow = 0;    // polls in a row that met silence
        QDateTime lastSeen;
        QDateTime silentSince;   // the first of them
        bool ticked = true;
        bool online = false;     // as availability last said it
    };
    // It answered: said once, when it was not answering.
    void answering(Row &row);
    QString statusText(const Row &row) const;
    QVariant sortKey(const Row &row, int column) const;
    // Its values are not current: the module went silent, collides with
    // another, or is left out of the watch.
    bool stale(const Row &row) const;

    QVector<Row> m_rows;
    qint32 m_watchRate = 0;
};

// The table as a CSV file, in the record's conventions: RFC 4180, UTF-8,
// CRLF, values with one decimal and a '.' (empty where none), the time last
// seen in ISO 8601 with its offset (empty when never), the status as shown.
QByteArray tableHeader();
QByteArray tableRow(quint8 address, qint32 baudRate, const trend::Values &values, const QString &status, int polls,
                    int misses, const QDateTime &lastSeen);

} // namespace bus

#endif
