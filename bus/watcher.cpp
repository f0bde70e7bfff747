#include "bus/watcher.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "link/line.h"

#include <QTimer>

namespace bus {

Watcher::Watcher(Line *line, ModuleTable *table, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_table(table)
    , m_roundTimer(new QTimer(this))
{
    m_roundTimer->setSingleShot(true);
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

void Watcher::pollNext()
{
    if (!m_running)
        return;
    qint64 waitMs = 0;
    const qint64 now = m_clock.elapsed();
    const int row = m_schedule.next(m_table->watched(m_rate), now, &waitMs);
    if (row < 0) {
        m_roundTimer->start(int(waitMs));
        return;
    }
    // A round is from one start of the rows to the next, its wait included:
    // the time a module's readings take to come round again.
    if (row <= m_lastRow || m_roundStartMs < 0) {
        if (m_roundStartMs >= 0)
            m_roundMs = now - m_roundStartMs;
        m_roundStartMs = now;
    }
    m_lastRow = row;
    Exchange x = measurementExchange(m_table->address(row), m_rate, m_answerMs);
    x.done = [this, row, request = x.frame](Exchange::Outcome outcome, const QByteArray &reply) {
        emit polled(request, outcome, reply);
        const Answer answer = answerOf(outcome, reply);
        const QDateTime now = currentDateTime();
        m_table->polled(row, answer, now);
        if (answer.kind == Answer::Values)
            emit reading(now, m_table->address(row), answer.values);
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
    };
    m_line->exchange(this, x);
}

} // namespace bus
