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

qint64 timeLeftUs(const QVector<Probe> &plan, int next, int answerMs)
{
    qint64 us = 0;
    for (int k = qMax(0, next); k < plan.size(); ++k)
        us += rtu::firstByteUs(plan[k].baudRate, answerMs);
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

Answer lateAnswerOf(const QByteArray &reply, qint64 afterUs)
{
    Answer answer = answerOf(Exchange::Answered, reply);
    answer.lateMs = int(qMax<qint64>(1, (afterUs + 999) / 1000));
    return answer;
}

Exchange measurementExchange(quint8 address, qint32 baudRate, int answerMs)
{
    Exchange x;
    x.frame = measurementRead(address);
    x.baudRate = baudRate;
    x.firstByteUs = rtu::firstByteUs(baudRate, answerMs);
    x.silenceUs = rtu::silenceUs(baudRate, answerMs);
    return x;
}

} // namespace bus
