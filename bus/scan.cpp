#include "bus/scan.h"

#include "protocol/rtu.h"

#include <cmath>

namespace bus {

QVector<Probe> scanPlan(int from, int to, bool allRates, qint32 linkRate)
{
    QVector<Probe> plan;
    const QVector<qint32> rates = allRates ? QVector<qint32>(std::begin(rtu::SearchRates), std::end(rtu::SearchRates))
                                           : QVector<qint32>{linkRate};
    for (const qint32 rate : rates) {
        for (int address = qMax(from, 1); address <= qMin(to, 247); ++address)
            plan.append({quint8(address), rate});
    }
    return plan;
}

qint64 wireUs(int bytes, qint32 baudRate)
{
    return baudRate > 0 ? (qint64(bytes) * 10 * 1000000 + baudRate - 1) / baudRate : 0;
}

qint64 firstByteUs(qint32 baudRate, int answerMs)
{
    // In bits: the request, the gap, the reply's first character. Then one
    // character more (2 ms at least) for the adapter to hand that byte over and
    // the event loop to see it: without it a module answering just within
    // the time would be missed as often as not.
    constexpr qint64 bits = rtu::RequestSize * 10 + 35 + 10;
    const qint64 handOver = qMax<qint64>(2000, wireUs(1, baudRate));
    return (baudRate > 0 ? (bits * 1000000 + baudRate - 1) / baudRate : 0) + handOver + answerMs * 1000LL;
}

int defaultAnswerMs(int measuredMs)
{
    return qBound(20, 2 * measuredMs, 1000);
}

qint64 silenceUs(qint32 baudRate, int answerMs)
{
    return answerMs * 1000LL + wireUs(7, baudRate) / 2;
}

qint64 timeLeftUs(const QVector<Probe> &plan, int next, int answerMs)
{
    qint64 us = 0;
    for (int k = qMax(0, next); k < plan.size(); ++k)
        us += firstByteUs(plan[k].baudRate, answerMs);
    return us;
}

QByteArray measurementRead(quint8 address)
{
    return rtu::buildRequest(address, rtu::ReadRegisters, rtu::Temperature, 5);
}

Answer answerOf(Exchange::Outcome outcome, const QByteArray &reply)
{
    Answer answer;
    if (outcome == Exchange::Silent)
        return answer;
    if (outcome == Exchange::Garbled) {
        answer.kind = Answer::Garbled;
        return answer;
    }
    if (rtu::isException(quint8(reply[1]))) {
        answer.kind = Answer::Refusal;
        answer.exception = quint8(reply[2]);
        return answer;
    }
    answer.kind = Answer::Values;
    answer.values = {qint16(rtu::registerAt(reply, 0)) / 10.0, rtu::registerAt(reply, 1) / 10.0,
                     qint16(rtu::registerAt(reply, 2)) / 10.0, qint16(rtu::registerAt(reply, 3)) / 10.0};
    return answer;
}

} // namespace bus
