#include "bus/watcher.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "link/line.h"

#include <QSet>

#include <QTimer>

namespace bus {

Watcher::Watcher(Line *line, ModuleTable *table, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_table(table)
    , m_roundTimer(new QTimer(this))
{
    m_roundTimer->setSingleShot(true);
    // A round begins on time, not a coarse timer's twentieth of it later.
    m_roundTimer->setTimerType(Qt::PreciseTimer);
    connect(m_roundTimer, &QTimer::timeout, this, &Watcher::pollNext);
}

void Watcher::start(qint32 baudRate, int answerMs, qint64 roundMs)
{
    stop();
    ++m_run;
    m_rate = baudRate;
    m_answerMs = answerMs;
    m_running = true;
    m_schedule = Schedule(roundMs);
    m_roundStartMs = m_roundMs = -1;
    m_lastRow = -1;
    m_clock.start();
    m_rescan.begin(0);
    pollNext();
}

void Watcher::stop()
{
    m_roundTimer->stop();
    m_line->cancelExchanges(this);
    m_running = false;
}

qint64 Watcher::roundMs() const
{
    return m_roundMs >= 0 ? m_roundMs : m_roundStartMs >= 0 ? m_clock.elapsed() - m_roundStartMs : 0;
}

bool Watcher::isWaiting() const
{
    return m_running && m_roundTimer->isActive();
}

void Watcher::pollNext()
{
    if (!m_running)
        return;
    qint64 waitMs = 0;
    const qint64 now = m_clock.elapsed();
    const QVector<bool> watched = m_table->watched(m_rate);
    if (m_rescan.isOn()) {
        QSet<quint8> polled;
        for (int row = 0; row < watched.size(); ++row) {
            if (watched[row])
                polled.insert(m_table->address(row));
        }
        if (const quint8 address = m_rescan.next(polled, now))
            return rescan(address);
    }
    QVector<bool> resting;
    for (int row = 0; row < watched.size(); ++row)
        resting.append(m_resting && m_table->silent(row));
    const int row = m_schedule.next(watched, now, &waitMs, resting);
    if (row < 0)
        return waitFor(waitMs);
    // A round is from one start of the rows to the next, its wait included:
    // the time a module's readings take to come round again.
    if (row <= m_lastRow || m_roundStartMs < 0) {
        const bool ended = m_roundStartMs >= 0;
        if (ended)
            m_roundMs = now - m_roundStartMs;
        m_roundStartMs = now;
        if (ended)
            emit roundEnded(m_roundMs);
        // A slot may have stopped the watch.
        if (!m_running)
            return;
    }
    m_lastRow = row;
    Exchange x = measurementExchange(m_table->address(row), m_rate, m_answerMs);
    x.done = [this, row, request = x.frame, began = m_clock.nsecsElapsed()](Exchange::Outcome outcome, const QByteArray &reply) {
        emit exchanged(request, outcome, reply);
        const Answer answer = answerOf(outcome, reply);
        const QDateTime now = currentDateTime();
        m_table->polled(row, answer, now);
        if (answer.kind == Answer::Values)
            emit reading(now, m_table->address(row), answer.values);
        emit polled(answer, (m_clock.nsecsElapsed() - began) / 1000, false);
        pollNext();
    };
    // It counts for the module that sent it, not against the next one.
    x.late = [this, row, watch = m_run](const QByteArray &reply, qint64 afterUs) {
        if (watch != m_run)
            return;
        const Answer answer = lateAnswerOf(reply, afterUs);
        const QDateTime now = currentDateTime();
        m_table->answeredLate(row, answer, now);
        if (answer.kind == Answer::Values)
            emit reading(now, m_table->address(row), answer.values);
        emit polled(answer, 0, true);
    };
    m_line->exchange(this, x);
}

void Watcher::waitFor(qint64 waitMs)
{
    const qint64 dueMs = m_rescan.dueInMs(m_clock.elapsed());
    if (dueMs >= 0)
        waitMs = qMin(waitMs, dueMs);
    m_roundTimer->start(int(qMax<qint64>(0, waitMs)));
}

void Watcher::rescan(quint8 address)
{
    Exchange x = measurementExchange(address, m_rate, m_answerMs);
    x.done = [this, address](Exchange::Outcome outcome, const QByteArray &reply) {
        const Answer answer = answerOf(outcome, reply);
        switch (m_rescan.heard(address, answer.kind)) {
        case Rescan::Found: {
            const QDateTime now = currentDateTime();
            const int row = m_table->find(address, m_rate);
            // A row kept for an address that garbled is watched again.
            if (row >= 0)
                m_table->setData(m_table->index(row, ModuleTable::Address), Qt::Checked, Qt::CheckStateRole);
            else
                m_table->found({address, m_rate}, answer, now);
            emit discovered(address, m_rate);
            break;
        }
        case Rescan::GarbledOnly:
            emit garbledOnly(address, m_rate);
            break;
        default:
            break;
        }
        pollNext();
    };
    m_line->exchange(this, x);
}

} // namespace bus
