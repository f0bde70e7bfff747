#include "bus/scanner.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "link/line.h"
#include "protocol/rtu.h"

#include <QTimer>

namespace bus {

Scanner::Scanner(Line *line, ModuleTable *table, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_table(table)
{
}

void Scanner::start(const QVector<Probe> &plan, int answerMs)
{
    stop();
    ++m_run;
    m_plan = plan;
    m_again.clear();
    m_answerMs = answerMs;
    m_probed = m_found = 0;
    m_table->clear();
    m_running = true;
    probeNext();
}

void Scanner::stop()
{
    m_line->cancelExchanges(this);
    m_running = false;
}

void Scanner::clear()
{
    stop();
    m_plan.clear();
    m_again.clear();
    m_probed = m_found = 0;
}

void Scanner::probeNext()
{
    if (m_probed < m_plan.size())
        return ask(m_plan[m_probed], 1);
    // A garbled answer may be noise over a module's, or over nothing: the
    // address is asked again before it counts.
    if (!m_again.isEmpty()) {
        const auto again = m_again.takeFirst();
        return ask(again.first, again.second);
    }
    // The last address gets as long again for a late answer, which has
    // no next address to come in behind.
    const qint64 tailUs = m_plan.isEmpty() ? 0 : rtu::firstByteUs(m_plan.last().baudRate, m_answerMs);
    QTimer::singleShot(int(tailUs / 1000), this, [this, scan = m_run] {
        if (scan == m_run && m_running)
            end();
    });
}

void Scanner::ask(const Probe &probe, int asked)
{
    // Asked at most this often: once, and twice more after garbled answers.
    constexpr int kAsks = 3;
    Exchange x = measurementExchange(probe.address, probe.baudRate, m_answerMs);
    x.done = [this, probe, asked](Exchange::Outcome outcome, const QByteArray &reply) {
        const Answer answer = answerOf(outcome, reply);
        m_probed += asked == 1;
        const bool module = answer.kind == Answer::Values || answer.kind == Answer::Refusal;
        if (answer.kind == Answer::Garbled && asked < kAsks) {
            m_again.append({probe, asked + 1});
        } else if (answer.kind == Answer::Garbled) {
            // Kept for the technician to see, counted as no module.
            m_table->found(probe, answer, currentDateTime());
            emit garbledOnly(probe.address, probe.baudRate);
        } else if (module) {
            m_table->found(probe, answer, currentDateTime());
        }
        m_found += module;
        emit progressed(module);
        probeNext();
    };
    // Not blamed on the next address: listed, saying how late it came.
    x.late = [this, probe, scan = m_run](const QByteArray &reply, qint64 afterUs) {
        if (scan != m_run || m_table->find(probe.address, probe.baudRate) >= 0)
            return;
        for (int k = 0; k < m_again.size(); ++k) {
            if (m_again[k].first.address == probe.address && m_again[k].first.baudRate == probe.baudRate)
                m_again.remove(k--);
        }
        m_table->found(probe, lateAnswerOf(reply, afterUs), currentDateTime());
        ++m_found;
        emit progressed(true);
    };
    m_line->exchange(this, x);
}

void Scanner::end()
{
    stop();
    QSet<quint8> present;
    int first = 255, last = 0;
    for (const Probe &probe : qAsConst(m_plan))
        first = qMin<int>(first, probe.address), last = qMax<int>(last, probe.address);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!m_table->garbled(row))
            present.insert(m_table->address(row));
    }
    emit finished();
    if (first <= last)
        emit covered(quint8(first), quint8(last), present);
}

} // namespace bus
