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

    using QAbstractTableModel::QAbstractTableModel;

    void clear();
    // A scan's answer from an address at a rate: a row for anything but silence.
    void found(const Probe &probe, const Answer &answer, const QDateTime &at);
    // A watch's poll of a row and what came of it.
    void polled(int row, const Answer &answer, const QDateTime &at);
    // The answer to a row's poll, come after its wait: the miss it was
    // counted goes, and the answer counts.
    void answeredLate(int row, const Answer &answer, const QDateTime &at);
    // The rows to watch: ticked, and found at this rate.
    QVector<bool> watched(qint32 linkRate) const;
    quint8 address(int row) const { return m_rows[row].address; }
    // Modules found at a rate; an address whose answers garbled holds two at least.
    int modulesAt(qint32 baudRate) const;

signals:
    // A watched module answers again, or has just gone silent (SilentAfter
    // misses in a row); also its first answer to a watch.
    void availability(quint8 address, bool online);

public:

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
    };
    QString statusText(const Row &row) const;

    QVector<Row> m_rows;
};

} // namespace bus

#endif
