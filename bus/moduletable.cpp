#include "bus/moduletable.h"

#include "trend/record.h"

#include <QCoreApplication>
#include <QLocale>

#include <cmath>

namespace bus {

// Translated in a context of their own, named in full at every text for the
// catalogue's tools to find.
namespace {

const QChar kCelsius(0x2103);

QString value(double v, const QString &unit)
{
    return std::isnan(v) ? QString() : QString::number(v, 'f', 1) + unit;
}

} // namespace

void ModuleTable::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void ModuleTable::found(const Probe &probe, const Answer &answer, const QDateTime &at)
{
    if (answer.kind == Answer::Silence)
        return;
    Row row;
    row.address = probe.address, row.baudRate = probe.baudRate;
    row.answer = answer, row.values = answer.values;
    row.lastSeen = at;
    beginInsertRows({}, m_rows.size(), m_rows.size());
    m_rows.append(row);
    endInsertRows();
}

void ModuleTable::expect(const QVector<Probe> &probes)
{
    if (probes.isEmpty())
        return;
    beginInsertRows({}, m_rows.size(), m_rows.size() + probes.size() - 1);
    for (const Probe &probe : probes) {
        Row row;
        row.address = probe.address, row.baudRate = probe.baudRate;
        m_rows.append(row);
    }
    endInsertRows();
}

void ModuleTable::lineLost()
{
    for (Row &row : m_rows) {
        if (row.online) {
            row.online = false;
            emit availability(row.address, false);
        }
    }
}

void ModuleTable::polled(int index, const Answer &answer, const QDateTime &at)
{
    Row &row = m_rows[index];
    ++row.polls;
    if (answer.kind == Answer::Values || answer.kind == Answer::Refusal) {
        row.answer = answer;
        if (answer.kind == Answer::Values)
            row.values = answer.values;
        row.lastSeen = at;
        row.missesInARow = 0;
        answering(row);
    } else if (answer.kind == Answer::Garbled) {
        // No reading, but no silence either: two modules at one address.
        ++row.misses;
        row.missesInARow = 0;
        row.answer = answer;
    } else {
        ++row.misses;
        if (row.missesInARow++ == 0)
            row.silentSince = at;
        if (row.missesInARow == SilentAfter && row.online) {
            row.online = false;
            emit availability(row.address, false);
        }
    }
    // Cell by cell: a view repaints a single cell, but all of itself for a range.
    for (int column = Temperature; column < ColumnCount; ++column)
        emit dataChanged(this->index(index, column), this->index(index, column), {Qt::DisplayRole, Qt::ForegroundRole, SortRole, StaleRole});
}

int ModuleTable::find(quint8 address, qint32 baudRate) const
{
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].address == address && m_rows[row].baudRate == baudRate)
            return row;
    }
    return -1;
}

void ModuleTable::answering(Row &row)
{
    if (row.online)
        return;
    row.online = true;
    emit availability(row.address, true);
}

void ModuleTable::moved(int index, quint8 address, qint32 baudRate, const Answer &answer, const QDateTime &at)
{
    Row &row = m_rows[index];
    // Nothing answers at the old address any more; at the new one, a module
    // a watch has seen answers.
    if (row.online && address != row.address) {
        row.online = false;
        emit availability(row.address, false);
    }
    row.address = address, row.baudRate = baudRate;
    row.answer = answer;
    if (answer.kind == Answer::Values)
        row.values = answer.values;
    row.lastSeen = at;
    row.missesInARow = 0;
    if (row.polls > 0)
        answering(row);
    emit dataChanged(this->index(index, 0), this->index(index, ColumnCount - 1));
}

void ModuleTable::setWatchRate(qint32 baudRate)
{
    m_watchRate = baudRate;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows.size() - 1, ColumnCount - 1));
}

QByteArray ModuleTable::csvRow(int index) const
{
    const Row &row = m_rows[index];
    return tableRow(row.address, row.baudRate, row.values, statusText(row), row.polls, row.misses, row.lastSeen);
}

bool ModuleTable::stale(const Row &row) const
{
    return row.missesInARow >= SilentAfter || row.answer.kind == Answer::Garbled
        || (m_watchRate && row.ticked && row.baudRate != m_watchRate);
}

void ModuleTable::answeredLate(int index, const Answer &answer, const QDateTime &at)
{
    Row &row = m_rows[index];
    row.misses = qMax(0, row.misses - 1);
    row.missesInARow = 0;
    row.answer = answer;
    if (answer.kind == Answer::Values)
        row.values = answer.values;
    row.lastSeen = at;
    answering(row);
    for (int column = Temperature; column < ColumnCount; ++column)
        emit dataChanged(this->index(index, column), this->index(index, column), {Qt::DisplayRole});
}

int ModuleTable::modulesAt(qint32 baudRate, bool *atLeast) const
{
    int count = 0;
    bool garbled = false;
    for (const Row &row : m_rows) {
        if (row.baudRate != baudRate)
            continue;
        garbled = garbled || row.answer.kind == Answer::Garbled;
        count += row.answer.kind == Answer::Garbled ? 2 : 1;
    }
    if (atLeast)
        *atLeast = garbled;
    return count;
}

QVector<bool> ModuleTable::watched(qint32 linkRate) const
{
    QVector<bool> out;
    for (const Row &row : m_rows)
        out.append(row.ticked && row.baudRate == linkRate);
    return out;
}

int ModuleTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ModuleTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString ModuleTable::statusText(const Row &row) const
{
    if (m_watchRate && row.ticked && row.baudRate != m_watchRate)
        return QCoreApplication::translate("ModuleTable", "Not watched: at %1 baud").arg(row.baudRate);
    if (row.missesInARow >= SilentAfter)
        return QCoreApplication::translate("ModuleTable", "Silent since %1").arg(QLocale::c().toString(row.silentSince, QStringLiteral("hh:mm:ss")));
    switch (row.answer.kind) {
    case Answer::Refusal:
        return QCoreApplication::translate("ModuleTable", "Answers with exception %1").arg(row.answer.exception);
    case Answer::Garbled:
        return QCoreApplication::translate("ModuleTable", "Garbled reply: two modules at this address?");
    default:
        if (row.answer.lateMs > 0)
            return QCoreApplication::translate("ModuleTable", "Answers late (%1 ms): raise Answer within").arg(row.answer.lateMs);
        return QCoreApplication::translate("ModuleTable", "Answers");
    }
}

QVariant ModuleTable::data(const QModelIndex &index, int role) const
{
    const Row &row = m_rows[index.row()];
    if (role == Qt::CheckStateRole && index.column() == Address)
        return row.ticked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::TextAlignmentRole)
        return index.column() == Status ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == SortRole)
        return sortKey(row, index.column());
    // The last values of a module that no longer gives any are greyed, so
    // that they do not pass for current ones.
    if (role == StaleRole)
        return index.column() >= Temperature && index.column() <= WetBulbTemp && stale(row);
    if (role == Qt::ToolTipRole && row.answer.kind == Answer::Garbled)
        return QCoreApplication::translate("ModuleTable", "Two modules share this address: disconnect one of them, then change the other's address.");
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Address:
        return row.address;
    case BaudRate:
        return row.baudRate;
    case Temperature:
        return value(row.values[trend::Temperature], kCelsius);
    case Humidity:
        return value(row.values[trend::Humidity], QStringLiteral("%"));
    case DewTemp:
        return value(row.values[trend::DewPoint], kCelsius);
    case WetBulbTemp:
        return value(row.values[trend::WetBulb], kCelsius);
    case Status:
        return statusText(row);
    case Polls:
        return row.polls;
    case Misses:
        return row.misses;
    case LastSeen:
        return QLocale::c().toString(row.lastSeen, QStringLiteral("hh:mm:ss"));
    default:
        return {};
    }
}

QVariant ModuleTable::sortKey(const Row &row, int column) const
{
    switch (column) {
    case Address:
        return qlonglong(row.address) << 32 | row.baudRate;
    case BaudRate:
        return qlonglong(row.baudRate) << 8 | row.address;
    case Temperature:
    case Humidity:
    case DewTemp:
    case WetBulbTemp: {
        // No value sorts below every value.
        const double v = row.values[column - Temperature];
        return std::isnan(v) ? -1e9 : v;
    }
    case Status:
        return statusText(row);
    case Polls:
        return row.polls;
    case Misses:
        return row.misses;
    default:
        return row.lastSeen.isValid() ? row.lastSeen.toMSecsSinceEpoch() : qint64(0);
    }
}

QVariant ModuleTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString titles[ColumnCount] = {QCoreApplication::translate("ModuleTable", "Address"), QCoreApplication::translate("ModuleTable", "Baud rate"), QCoreApplication::translate("ModuleTable", "Temperature"), QCoreApplication::translate("ModuleTable", "Humidity"), QCoreApplication::translate("ModuleTable", "DewTemp"),
                                         QCoreApplication::translate("ModuleTable", "WetBulbTemp"), QCoreApplication::translate("ModuleTable", "Status"), QCoreApplication::translate("ModuleTable", "Polls"), QCoreApplication::translate("ModuleTable", "Misses"), QCoreApplication::translate("ModuleTable", "Last seen")};
    return section >= 0 && section < ColumnCount ? titles[section] : QVariant();
}

Qt::ItemFlags ModuleTable::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return index.column() == Address ? base | Qt::ItemIsUserCheckable : base;
}

bool ModuleTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != Address)
        return false;
    m_rows[index.row()].ticked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QByteArray tableHeader()
{
    return "address,baud_rate,temperature_C,humidity_pct,dew_point_C,wet_bulb_C,status,polls,misses,last_seen\r\n";
}

QByteArray tableRow(quint8 address, qint32 baudRate, const trend::Values &values, const QString &status, int polls,
                    int misses, const QDateTime &lastSeen)
{
    QStringList fields{QString::number(address), QString::number(baudRate)};
    for (const double v : values)
        fields << (std::isnan(v) ? QString() : QString::number(v, 'f', 1));
    fields << trend::csvField(status) << QString::number(polls) << QString::number(misses)
           << (lastSeen.isValid() ? trend::isoTime(lastSeen) : QString());
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace bus
