#include "share/forwarder.h"

#include "bus/changer.h"
#include "bus/moduletable.h"
#include "link/line.h"
#include "protocol/rtu.h"

#include <QCoreApplication>

// Texts are translated in the context "share::Forwarder", named in full at
// every text for the catalogue's tools to find.
namespace share {

namespace {

Answer refusal(const Request &request, quint8 code, bool write)
{
    Answer a;
    a.pdu = exceptionPdu(request.pdu.isEmpty() ? 0 : quint8(request.pdu[0]), code);
    a.refusedWrite = write;
    return a;
}

} // namespace

Forwarder::Forwarder(Line *line, bus::ModuleTable *table, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_table(table)
    , m_changer(new bus::Changer(line, table, this))
{
    connect(m_changer, &bus::Changer::written, this, &Forwarder::changed);
    connect(m_changer, &bus::Changer::ended, this, &Forwarder::changeEnded);
}

void Forwarder::linked(qint32 rate, int answerMs)
{
    m_rate = rate;
    m_answerMs = answerMs;
    m_changer->setAnswerMs(answerMs);
    pump();
}

void Forwarder::polled(const QByteArray &request, Exchange::Outcome outcome, const QByteArray &reply)
{
    m_clientsLast = false;
    const quint8 address = quint8(request[0]);
    if (outcome != Exchange::Answered || rtu::isException(quint8(reply[1]))) {
        m_readings.erase(address);
        return;
    }
    Reading &r = m_readings[address];
    r.poll = request;
    r.reply = reply;
    r.age.start();
}

void Forwarder::ask(quint64 client, const QString &peer, const Request &request, Reply reply)
{
    std::deque<Job> &jobs = m_queues[client];
    if (jobs.size() >= size_t(MostWaiting)) {
        Answer busy = refusal(request, Busy, false);
        return reply(busy);
    }
    jobs.push_back({peer, request, judge(request, m_allowWrites), std::move(reply)});
    if (jobs.size() == 1)
        advance(client);
}

void Forwarder::forget(quint64 client)
{
    m_queues.erase(client);
    m_turns.erase(std::remove(m_turns.begin(), m_turns.end(), client), m_turns.end());
    if (m_onLine == client)
        m_orphan = true;
}

bool Forwarder::answerAtOnce(Job &job, Answer *answer)
{
    const Verdict &v = job.verdict;
    if (v.kind == Verdict::Refuse) {
        *answer = refusal(job.request, v.exception, v.write);
        return true;
    }
    // Nothing to pass it to: as a module that does not answer.
    if (!m_rate || !m_line->isOpen()) {
        answer->kind = Answer::Silent;
        return true;
    }
    const auto known = m_readings.find(job.request.unit);
    if (v.kind != Verdict::Forward || known == m_readings.end())
        return false;
    answer->pdu = fromMemory(job.request.pdu, known->second.poll, known->second.reply, known->second.age.elapsed(), m_cacheMs);
    answer->source = Answer::Memory;
    return !answer->pdu.isEmpty();
}

void Forwarder::advance(quint64 client)
{
    // Answering may close the client (it reads too slowly): it is looked up anew each time.
    for (auto it = m_queues.find(client); it != m_queues.end() && !it->second.empty(); it = m_queues.find(client)) {
        Answer answer;
        if (!answerAtOnce(it->second.front(), &answer)) {
            m_turns.push_back(client);
            return pump();
        }
        finish(client, answer);
    }
}

void Forwarder::pump()
{
    while (!m_onLine && !m_changing && !m_turns.empty()) {
        const quint64 client = m_turns.front();
        m_turns.pop_front();
        const auto it = m_queues.find(client);
        if (it == m_queues.end() || it->second.empty())
            continue;
        Job &job = it->second.front();
        Answer answer;
        // The line may have gone, or come back, while it waited.
        if (answerAtOnce(job, &answer)) {
            finish(client, answer);
            advance(client);
            continue;
        }
        if (job.verdict.kind == Verdict::ChangeAddress)
            changeAddress(client, job);
        else
            send(client, job);
    }
}

void Forwarder::send(quint64 client, Job &job)
{
    Exchange x;
    x.frame = rtuFrame(job.request.unit, job.request.pdu);
    x.baudRate = m_rate;
    // As long as the watch waits for a module, and a longer request's own time on the wire.
    x.firstByteUs = rtu::firstByteUs(m_rate, m_answerMs) + rtu::wireUs(qMax(0, x.frame.size() - rtu::RequestSize), m_rate);
    x.silenceUs = rtu::silenceUs(m_rate, m_answerMs);
    // Ahead of the watch, but not twice in a row past a poll that waits; a
    // garbled answer is asked again at once.
    x.ahead = job.retried || !(m_clientsLast && m_line->queued() > 0);
    // Kept, so that an answer come too late is not taken for the next request's.
    x.late = [](const QByteArray &, qint64) {};
    x.done = [this](Exchange::Outcome outcome, const QByteArray &reply) { lineAnswered(outcome, reply); };
    m_onLine = client;
    m_orphan = false;
    if (!m_line->exchange(this, x)) {
        m_onLine = 0;
        Answer silent;
        silent.kind = Answer::Silent;
        finish(client, silent);
        advance(client);
    }
}

void Forwarder::lineAnswered(Exchange::Outcome outcome, const QByteArray &reply)
{
    const quint64 client = m_onLine;
    m_onLine = 0;
    m_clientsLast = true;
    const auto it = m_queues.find(client);
    if (!m_orphan && it != m_queues.end() && !it->second.empty()) {
        Job &job = it->second.front();
        if (outcome == Exchange::Garbled && !job.retried) {
            job.retried = true;
            send(client, job);
            return;
        }
        Answer answer;
        answer.source = Answer::Line;
        answer.kind = outcome == Exchange::Answered ? Answer::Pdu : outcome == Exchange::Silent ? Answer::Silent : Answer::Garbled;
        if (outcome == Exchange::Answered)
            answer.pdu = reply.mid(1, reply.size() - 3);
        else if (outcome == Exchange::Garbled)
            answer.garbled = reply;
        finish(client, answer);
        advance(client);
    }
    pump();
}

void Forwarder::changeAddress(quint64 client, Job &job)
{
    const int row = m_table->find(job.request.unit, m_rate);
    // Two modules at one address would both move.
    if (row >= 0 && m_table->garbled(row)) {
        finish(client, refusal(job.request, IllegalValue, true),
               QCoreApplication::translate("share::Forwarder", "two modules share address %1").arg(job.request.unit));
        return advance(client);
    }
    bus::Changer::Change c;
    c.row = row;
    c.address = job.request.unit;
    c.baudRate = c.newBaudRate = m_rate;
    c.newAddress = job.verdict.newAddress;
    c.write = rtuFrame(job.request.unit, job.request.pdu);
    m_onLine = client;
    m_orphan = false;
    m_changing = true;
    m_written = false;
    m_changer->start(c, m_answerMs);
}

void Forwarder::changed(Exchange::Outcome outcome, const QByteArray &reply)
{
    m_written = true;
    const quint64 client = m_onLine;
    m_onLine = 0;
    if (m_orphan || !m_queues.count(client))
        return;
    Answer answer;
    answer.source = Answer::Line;
    answer.kind = outcome == Exchange::Answered ? Answer::Pdu : outcome == Exchange::Silent ? Answer::Silent : Answer::Garbled;
    answer.pdu = outcome == Exchange::Answered ? reply.mid(1, reply.size() - 3) : QByteArray();
    answer.garbled = outcome == Exchange::Garbled ? reply : QByteArray();
    finish(client, answer);
    advance(client);
}

void Forwarder::changeEnded(const QString &failure)
{
    const bus::Changer::Change c = m_changer->change();
    m_changing = false;
    if (!m_written) {
        // Another module answers at the new address: nothing was written.
        const quint64 client = m_onLine;
        m_onLine = 0;
        const auto it = m_queues.find(client);
        if (!m_orphan && it != m_queues.end() && !it->second.empty()) {
            finish(client, refusal(it->second.front().request, IllegalValue, true), failure);
            advance(client);
        }
    } else if (!failure.isEmpty()) {
        emit said(failure);
    } else {
        m_readings.erase(c.address);
        m_readings.erase(c.newAddress);
        if (c.row >= 0) {
            emit said(QCoreApplication::translate("share::Forwarder", "The module at address %1 answers at %2 now; the watch follows it.")
                          .arg(c.address)
                          .arg(c.newAddress));
            emit moved(c.address, c.newAddress);
        }
    }
    pump();
}

void Forwarder::finish(quint64 client, const Answer &answer, const QString &why)
{
    const auto it = m_queues.find(client);
    if (it == m_queues.end() || it->second.empty())
        return;
    Job job = std::move(it->second.front());
    it->second.pop_front();
    if (job.verdict.write)
        logWrite(job, answer, why);
    job.reply(answer);
}

void Forwarder::logWrite(const Job &job, const Answer &answer, const QString &extra)
{
    const QByteArray &pdu = job.request.pdu;
    QString outcome;
    if (answer.kind == Answer::Silent)
        outcome = QCoreApplication::translate("share::Forwarder", "no answer");
    else if (answer.kind == Answer::Garbled)
        outcome = QCoreApplication::translate("share::Forwarder", "a garbled answer");
    else if (isException(answer.pdu) && answer.pdu.size() >= 2)
        outcome = (answer.source == Answer::Line ? QCoreApplication::translate("share::Forwarder", "refused by the module (exception %1)")
                                                 : QCoreApplication::translate("share::Forwarder", "refused (exception %1)"))
                      .arg(quint8(answer.pdu[1]));
    else
        outcome = QCoreApplication::translate("share::Forwarder", "done");
    if (!extra.isEmpty())
        outcome += QStringLiteral(": ") + (extra.endsWith(QLatin1Char('.')) ? extra.chopped(1) : extra);
    const QString at = pdu.size() >= 3 ? QStringLiteral("0x%1").arg(quint16(quint8(pdu[1]) << 8 | quint8(pdu[2])), 4, 16, QLatin1Char('0'))
                                       : QStringLiteral("-");
    emit said(QCoreApplication::translate("share::Forwarder", "Write from %1 to module %2, function %3 at %4: %5.")
                  .arg(job.peer)
                  .arg(job.request.unit)
                  .arg(pdu.isEmpty() ? 0 : quint8(pdu[0]))
                  .arg(at, outcome));
}

void Forwarder::lineLost()
{
    m_rate = 0;
    m_line->cancelExchanges(this);
    m_changer->stop();
    const bool changing = m_changing;
    m_changing = false;
    const quint64 client = m_onLine;
    m_onLine = 0;
    // What was on the line is answered as no module's answer; what waits, the same.
    if (client && !m_orphan && (!changing || !m_written)) {
        Answer silent;
        silent.kind = Answer::Silent;
        finish(client, silent);
        advance(client);
    }
    pump();
}

void Forwarder::stop()
{
    m_line->cancelExchanges(this);
    m_changer->stop();
    m_queues.clear();
    m_turns.clear();
    m_onLine = 0;
    m_changing = false;
}

} // namespace share
