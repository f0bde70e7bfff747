// One request on the line at a time. Every request, the main window's and
// other rooms' alike, is written here and only when no earlier one still
// waits for its answer; a reply is taken only as the answer to the request
// on the line, so a late reply can never pass for another's.
#include "link/line.h"

#include "app/trace.h"
#include "link/maketransport.h"
#include "link/transport.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Past this the buffer cannot be a reply being completed: only a line that
// never falls silent grows it, and examining it on every chunk would cost more
// and more. It is dropped as noise.
constexpr int kRxBufferLimit = 4096;
// The longest pause between the pieces of one answer that an adapter or a
// network server makes.
constexpr qint64 kPieceGapUs = 50000;

bool isLoggerFrame(const QByteArray &frame)
{
    return frame.startsWith("\x7B\x22");
}

} // namespace

Line::Line(QObject *parent)
    : QObject(parent)
    , m_clear(new QTimer(this))
    , m_wait(new QTimer(this))
    , m_quiet(new QTimer(this))
{
    // Frames are delimited by silence only: whatever has not become a frame
    // 500 ms after the last byte is dropped.
    connect(m_clear, &QTimer::timeout, this, [this] {
        m_clear->stop();
        m_rx->clear();
    });
    m_wait->setTimerType(Qt::PreciseTimer);
    m_wait->setSingleShot(true);
    connect(m_wait, &QTimer::timeout, this, &Line::waitEnded);
    m_quiet->setTimerType(Qt::PreciseTimer);
    m_quiet->setSingleShot(true);
    connect(m_quiet, &QTimer::timeout, this, &Line::dispatch);
    m_clock.start();
    usePort(QString());
}

Line::~Line() = default;

void Line::useClearTimer(QTimer *timer)
{
    delete m_clear;
    m_clear = timer;
}

void Line::usePort(const QString &port)
{
    if (m_transport && m_transport->name() == port)
        return;
    m_port = port;
    attach(makeTransport(port, this));
}

void Line::attach(Transport *transport)
{
    delete m_transport;
    m_transport = transport;
    connect(m_transport, &Transport::readyRead, this, [this] { receive(m_transport->readAll()); });
    connect(m_transport, &Transport::ready, this, [this] {
        const bool first = !m_carried;
        m_carried = true;
        if (first)
            emit carrying();
        dispatch();
    });
    connect(m_transport, &Transport::failed, this, [this](const QString &reason) {
        // Nothing waits for a line that is gone, nor holds it: the one told
        // may end the claim in words of its own first.
        clear();
        emit failed(reason, !m_carried);
        endClaim(reason);
    });
}

void Line::choose(const QString &port)
{
    usePort(port);
    emit linked(port);
}

bool Line::open(qint32 rate, QString *error)
{
    if (m_transport->isOpen() && m_transport->keepsConnection()) {
        if (!moveTo(rate)) {
            if (error)
                *error = fixedRateText();
            return false;
        }
        m_transport->discard();
        m_rate = rate;
        return true;
    }
    m_transport->close();
    if (!m_transport->open(rate, error))
        return false;
    m_carried = m_transport->isReady();
    // Bytes the line delivered while nobody listened belong to no request.
    m_transport->discard();
    m_rate = rate;
    return true;
}

void Line::close()
{
    m_transport->close();
}

bool Line::isOpen() const
{
    return m_transport->isOpen();
}

QString Line::portName() const
{
    return isOpen() ? m_port : QString();
}

qint32 Line::rate() const
{
    return isOpen() ? m_rate : 0;
}

void Line::forget()
{
    m_echoes = false;
    m_echoMisses = 0;
    m_echoLagUs = 0;
    m_answerUs = -1;
    m_modules = 0;
    m_modulesAtLeast = false;
}

bool Line::moveTo(qint32 rate)
{
    if (m_transport->rate() == rate)
        return true;
    // What came at the old rate is read at it, before the port moves on.
    takeWaiting();
    return m_transport->setRate(rate);
}

bool Line::canChangeRate() const
{
    return m_transport->canChangeRate();
}

QString Line::fixedRateText() const
{
    return tr("%1 carries the bytes only and cannot change the line's rate: choose the rate the line is set up with.")
        .arg(m_port);
}

qint32 Line::rateFor(const LineRequest &request) const
{
    return request.kind == LineRequest::Foreign && request.exchange.baudRate ? request.exchange.baudRate : m_rate;
}

void Line::takeWaiting()
{
    m_transport->takeWaiting();
}

bool Line::exchange(QObject *owner, const Exchange &request)
{
    if (!isOpen())
        return false;
    LineRequest foreign;
    foreign.kind = LineRequest::Foreign;
    foreign.frame = request.frame;
    foreign.exchange = request;
    foreign.owner = owner;
    submit(foreign);
    return true;
}

void Line::cancelExchanges(QObject *owner)
{
    ++m_cancels;
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                                   [owner](const LineRequest &r) { return r.kind == LineRequest::Foreign && r.owner == owner; }),
                    m_pending.end());
    if (m_outstanding && m_outstanding->kind == LineRequest::Foreign && m_outstanding->owner == owner)
        m_outstanding->owner = nullptr;
    // Nor does a late answer reach it: a watch stopped takes no reading more.
    for (Unanswered &u : m_unanswered) {
        if (u.request.owner == owner)
            u.request.owner = nullptr;
    }
}

QString Line::claim(QObject *owner, const QString &busy, std::function<void()> ended)
{
    if (m_claim.owner && m_claim.owner != owner)
        return m_claim.busy;
    // Whatever went out now would go at a rate the search is only trying.
    if (m_host && m_host->searching())
        return tr("The line is busy with the baud-rate search. Wait for it to end.");
    m_claim = Claim{owner, busy, std::move(ended)};
    // One master on the line.
    emit claimStarted();
    return QString();
}

void Line::release(QObject *owner)
{
    if (m_claim.owner == owner)
        m_claim = Claim();
}

void Line::endClaim(const QString &why)
{
    // Whatever another room ran on the line is over with it.
    if (const auto ended = m_claim.ended) {
        m_claim = Claim();
        m_claimEnd = why;
        ended();
    }
}

void Line::submit(LineRequest request)
{
    // A poll that still waits, or is still on the line, stands for the next
    // one too: nothing is sent twice.
    if (request.kind == LineRequest::Poll) {
        const auto isPoll = [](const LineRequest &r) { return r.kind == LineRequest::Poll; };
        if ((m_outstanding && isPoll(*m_outstanding)) || std::any_of(m_pending.begin(), m_pending.end(), isPoll))
            return;
    }
    const auto behind = request.kind == LineRequest::Foreign && request.exchange.ahead
        ? std::find_if(m_pending.begin(), m_pending.end(), [](const LineRequest &r) { return r.kind != LineRequest::Foreign || !r.exchange.ahead; })
        : m_pending.end();
    m_pending.insert(behind, std::move(request));
    dispatch();
}

void Line::probe(std::optional<LineRequest> request)
{
    m_outstanding.reset();
    m_probe = std::move(request);
    // None: the line only follows a rate the module took, and the request
    // that moved it frees the line itself.
    if (m_probe)
        dispatch();
}

void Line::dispatch()
{
    if (m_outstanding)
        return;
    if (!isOpen()) {
        m_pending.clear();
        m_probe.reset();
        return;
    }
    // The AUTO search holds the line from probe to probe until it ends.
    if (!m_probe && ((m_host && m_host->searching()) || m_pending.empty()))
        return;
    // A server asked for another rate says when it has it: nothing goes
    // out before, nor while it is still connecting.
    moveTo(rateFor(m_probe ? *m_probe : m_pending.front()));
    if (!m_transport->isReady())
        return;
    // Modbus asks three and a half characters of silence between frames: a
    // slow module, or another listener, takes two run together for one bad
    // frame. A wait that ended in silence has kept it already.
    if (const qint64 leftNs = quietLeftNs(); leftNs > 0) {
        m_quiet->start(int((leftNs + 999999) / 1000000));
        return;
    }
    if (m_probe) {
        LineRequest probe = std::move(*m_probe);
        m_probe.reset();
        writeRequest(std::move(probe));
        m_probing = true;
        return;
    }
    LineRequest next = std::move(m_pending.front());
    m_pending.pop_front();
    writeRequest(std::move(next));
}

void Line::writeRequest(LineRequest request)
{
    const LineRequest::Kind kind = request.kind;
    const qint32 rate = rateFor(request);
    moveTo(rate);
    // Whatever is still in the buffer answers nothing written from now on,
    // but for the head of a late answer, which waits for its tail; the
    // silence that ends a wait counts from here.
    keepLateHead(rate);
    m_clear->start(500);
    const QByteArray frame = request.frame;
    request.rate = rate;
    request.chorus = Chorus();
    m_outstanding = std::move(request);
    m_heardOther = false;
    m_echoEnded = false;
    m_probing = kind == LineRequest::Foreign && m_outstanding->exchange.timed;
    ++m_written;
    // On the line now, not when the event loop next runs: the wait counts
    // from here.
    m_transport->write(frame);
    m_writeNs = m_clock.nsecsElapsed();
    m_wireEndNs = m_writeNs + rtu::wireUs(frame.size(), rate) * 1000;
    // The answer's length is known, and an echo's: read once it is all in.
    // Only a wait the line runs itself reads what came short at its end; the
    // tail of a late answer begun is read as it comes, to be timed.
    const bool timed = kind == LineRequest::Foreign && !isLoggerFrame(frame) && m_rx->isEmpty();
    const int expected = timed ? rtu::answerSize(frame) + (m_echoes ? int(frame.size()) : 0) : 0;
    m_transport->expect(expected, rtu::wireUs(frame.size() + rtu::answerSize(frame), rate));
    // A write's answer is a copy of it: only a line known to echo has a copy to drop.
    awaitEcho(frame);

    m_waitClock.start();
    if (kind == LineRequest::Poll) {
        // Not watched: its reply is awaited until the next poll is due.
        waitFor(1000 * 1000000LL);
    } else if (kind == LineRequest::Foreign) {
        m_exchangeBytes.clear();
        m_deadlineNs = (m_outstanding->exchange.firstByteUs + 1000000) * 1000;
        // Every module obeys address 0: the line listens for all of them.
        if (listensToAll())
            m_deadlineNs += lateWindowUs() * 1000;
        waitFor((listensToAll() ? lateWindowUs() : m_outstanding->exchange.firstByteUs) * 1000);
    }
    if (kind != LineRequest::Foreign && m_host)
        m_host->written(*m_outstanding);
    if (!isLoggerFrame(frame))
        emit sent(frame);
}

bool Line::listensToAll() const
{
    return m_outstanding && !isLoggerFrame(m_outstanding->frame) && m_outstanding->frame.at(0) == 0;
}

bool Line::waiting() const
{
    return m_wait->isActive();
}

qint64 Line::waitLeftMs() const
{
    return (m_waitDueNs - m_waitClock.nsecsElapsed()) / 1000000;
}

qint64 Line::lateWindowUs() const
{
    // Once a module has answered, the wait its pace calls for; before that,
    // another room's request waits as long as it says, the main window's
    // as long as the linked module showed it needs.
    if (m_outstanding && m_outstanding->chorus.answers) {
        const Chorus &chorus = m_outstanding->chorus;
        const qint64 paceUs = chorus.firstUs - rtu::wireUs(m_outstanding->frame.size() + chorus.first.size(), m_outstanding->rate);
        return 2 * rtu::firstByteUs(m_outstanding->rate, rtu::defaultAnswerMs(int(qMax<qint64>(0, paceUs) / 1000)));
    }
    if (m_outstanding && m_outstanding->kind == LineRequest::Foreign)
        return 2 * m_outstanding->exchange.firstByteUs;
    return 2 * rtu::firstByteUs(m_rate, rtu::defaultAnswerMs(measuredAnswerMs()));
}

qint64 Line::quietLeftNs() const
{
    // From the last byte on the wire: the end of what was heard, or of the
    // request written before.
    const qint64 lastNs = qMax(m_lastByteNs, m_wireEndNs);
    return lastNs + rtu::gapUs(m_transport->rate()) * 1000 - m_clock.nsecsElapsed();
}

void Line::heardAnswer(const QByteArray &reply)
{
    Chorus &chorus = m_outstanding->chorus;
    const qint64 at = m_waitClock.nsecsElapsed() / 1000;
    if (++chorus.answers == 1)
        chorus.firstUs = at, chorus.first = reply;
    else if (chorus.answers == 2)
        chorus.secondUs = at;
    // The owner knows an answer came, should it end while the line listens on.
    if (m_outstanding->kind == LineRequest::Foreign && m_outstanding->owner && m_outstanding->exchange.heard)
        m_outstanding->exchange.heard(chorus);
}

void Line::listenOn()
{
    // Until the line has been quiet for the whole late window.
    const qint64 due = m_waitClock.nsecsElapsed() + lateWindowUs() * 1000;
    waitFor(m_outstanding->kind == LineRequest::Foreign ? qMin(m_deadlineNs, due) : due);
}

void Line::keepLateHead(qint32 rate)
{
    // Old unanswered requests go: an answer begun in their late window has
    // had the time to come whole, and one begun later could no longer be
    // told from anyone else's.
    const qint64 now = m_clock.nsecsElapsed();
    m_unanswered.erase(std::remove_if(m_unanswered.begin(), m_unanswered.end(),
                                      [now](const Unanswered &u) {
                                          const qint64 wholeNs = rtu::wireUs(rtu::answerSize(u.request.frame), u.request.rate) * 1000;
                                          return now > u.writtenNs + u.lateNs + kLateSlackNs + wholeNs;
                                      }),
                       m_unanswered.end());
    m_rx->remove(0, lateHeadAt(*m_rx, rate));
}

bool Line::beginsLateAnswer(const QByteArray &bytes, qint32 rate) const
{
    return std::any_of(m_unanswered.begin(), m_unanswered.end(), [&](const Unanswered &u) {
        return u.request.rate == rate && rtu::beginsAnswer(bytes, u.request.frame);
    });
}

int Line::lateHeadAt(const QByteArray &bytes, qint32 rate) const
{
    // Where the bytes of a late answer still coming begin (the end when none
    // do): they are no reply of the request on the line, garbled or not.
    for (int at = 0; at < bytes.size(); ++at) {
        if (beginsLateAnswer(bytes.mid(at), rate))
            return at;
    }
    return bytes.size();
}

void Line::answered(bool refused, quint8 exceptionCode)
{
    const LineRequest::Kind kind = m_outstanding->kind;
    if (refused && kind != LineRequest::Poll) {
        // The module answered and said no: that is no dead line, and the
        // watchdog says so instead, outside reply handling.
        m_outstanding->refusal = exceptionCode;
        return;
    }
    if (kind == LineRequest::BaudWrite)
        return; // the watchdog moves the port to the new rate, then frees the line
    // Every module obeys address 0: the line is listened out before it is
    // free, so that a second module's answer is counted, not lost.
    if (listensToAll())
        return listenOn();
    finish();
}

void Line::finish()
{
    m_wait->stop();
    m_outstanding.reset();
    dispatch();
}

void Line::clear()
{
    m_outstanding.reset();
    m_probe.reset();
    m_unanswered.clear();
    m_pending.clear();
    m_wait->stop();
}

void Line::waitFor(qint64 dueNs)
{
    // A timer fires up to a millisecond after its time, which a scan would pay
    // at every address: it is set a millisecond short, and the last of the
    // wait is run out on the event loop.
    m_waitDueNs = dueNs;
    m_wait->start(int(qMax<qint64>(0, dueNs - m_waitClock.nsecsElapsed() - 1000000) / 1000000));
}

void Line::waitEnded()
{
    const bool poll = m_outstanding && m_outstanding->kind == LineRequest::Poll;
    // A poll's wait needs no sub-millisecond end.
    if (!poll && m_waitClock.nsecsElapsed() < m_waitDueNs)
        return waitFor(m_waitDueNs);
    // An answer that came in time may sit unread while the event loop was
    // busy: it is taken before the wait is judged. Taking it may end this
    // wait, or start another.
    const quint64 judged = m_written;
    takeWaiting();
    if (!m_outstanding || m_written != judged || m_wait->isActive())
        return;
    if (m_outstanding->kind != LineRequest::Foreign) {
        if (m_host)
            m_host->waitOver();
        else
            finish();
        return;
    }
    // A byte or two of an idle line turned round is no reply.
    const bool nothing = m_exchangeBytes.isEmpty() || rtu::isTurnaroundGlitch(m_exchangeBytes);
    if (listensToAll() && m_outstanding->chorus.answers) {
        m_outstanding->chorus.garbled = !nothing;
        const QByteArray first = m_outstanding->chorus.first;
        return endExchange(Exchange::Answered, first);
    }
    endExchange(nothing ? Exchange::Silent : Exchange::Garbled, m_exchangeBytes);
}

void Line::endExchange(Exchange::Outcome outcome, const QByteArray &bytes)
{
    m_wait->stop();
    LineRequest done = std::move(*m_outstanding);
    m_outstanding.reset();
    // Unanswered: its answer may still come, while the next request waits.
    if (outcome != Exchange::Answered && done.exchange.late && !isLoggerFrame(done.frame) && done.frame.at(0) != 0) {
        m_unanswered.push_back({done, m_clock.nsecsElapsed() - m_waitClock.nsecsElapsed(), 2 * done.exchange.firstByteUs * 1000});
        if (m_unanswered.size() > 4)
            m_unanswered.pop_front();
    }
    const quint64 cancelled = m_cancels;
    if (isOpen())
        moveTo(m_rate);
    // What is left answers nothing, but for the head of a late answer.
    keepLateHead(m_transport->rate());
    // A late answer taken just now may have made its owner give up what it
    // asked: this outcome then goes nowhere either.
    if (m_cancels != cancelled)
        done.owner = nullptr;
    if (done.owner && done.exchange.heard && !isLoggerFrame(done.frame) && done.frame.at(0) == 0)
        done.exchange.heard(done.chorus);
    if (done.owner && done.exchange.done)
        done.exchange.done(outcome, bytes);
    dispatch();
}

void Line::receive(const QByteArray &chunk)
{
    // Frames are delimited by silence only: whatever has not become a frame
    // 500 ms after the last byte is dropped.
    m_clear->start(500);
    if (chunk.isEmpty() && m_rx->isEmpty())
        return;
    if (!chunk.isEmpty())
        m_lastByteNs = m_clock.nsecsElapsed();
    m_rx->append(chunk);
    if (m_rx->size() > kRxBufferLimit) {
        m_rx->clear();
        return;
    }
    qCDebug(lcTrace) << m_rx->toHex();
    // What the adapter echoed and what answers an earlier request go first:
    // neither is the answer to the request on the line.
    dropEcho();
    dropLateAnswer();
    if (m_outstanding && isLoggerFrame(m_outstanding->frame)) {
        // A byte the driver put on the line before the reply is no part of it.
        const int start = m_rx->indexOf("\x7B\x22");
        if (start > 0)
            m_rx->remove(0, start);
    }
    const QByteArray buffer = *m_rx;
    m_heardOther = m_heardOther || (!buffer.isEmpty() && !m_echoAwaited && !rtu::isTurnaroundGlitch(buffer));
    // Answers that garble each other still say how long the modules take:
    // to their last byte so far.
    if (m_heardOther && m_outstanding && !isLoggerFrame(m_outstanding->frame))
        noteAnswerTime(m_lastByteNs, rtu::answerSize(m_outstanding->frame), false);
    if (m_outstanding && m_outstanding->kind == LineRequest::Foreign) {
        receiveForExchange(buffer);
        return;
    }
    // The logger's brace-framed replies share the line and are never echoed.
    if (m_host && m_host->takeLoggerReply(buffer))
        return;
    decodeRtuReply();
}

void Line::receiveForExchange(const QByteArray &buffer)
{
    // Another room checks what it reads back: only a whole frame will do.
    if (isLoggerFrame(m_outstanding->frame)) {
        if (logger::isWholeFrame(buffer) && logger::answers(m_outstanding->frame, buffer))
            return endExchange(Exchange::Answered, buffer);
        m_exchangeBytes = buffer;
    } else {
        int size = 0;
        for (int at; (at = rtu::findAnswer(*m_rx, m_outstanding->frame, &size)) >= 0;) {
            const QByteArray reply = m_rx->mid(at, size);
            // Only the answer goes: what follows it may be the head of another.
            m_rx->remove(at, size);
            noteAnswerTime(m_lastByteNs, size, true);
            emit received(reply);
            if (!listensToAll())
                return endExchange(Exchange::Answered, reply);
            heardAnswer(reply);
        }
        // Whole replies that answer nothing here (another module's, one come
        // very late) say nothing of this address, nor the head of a late
        // answer still coming; the rest may be a collision.
        const QByteArray left = *m_rx;
        m_exchangeBytes = rtu::withoutReplies(left.left(lateHeadAt(left, m_transport->rate())));
        if (!listensToAll()) {
            const qint64 nowNs = m_waitClock.nsecsElapsed();
            const qint64 answerNs = (m_outstanding->exchange.firstByteUs - rtu::wireUs(m_outstanding->frame.size(), m_outstanding->rate)) * 1000;
            // The request's own copy, still coming in pieces, is no answer
            // begun; the answer can only begin once the copy is whole, and
            // its wait runs from then.
            if (m_echoAwaited && !m_rx->isEmpty() && m_outstanding->frame.startsWith(*m_rx)) {
                m_exchangeBytes.clear();
                return waitFor(qMin(m_deadlineNs, qMax(m_waitDueNs, nowNs + answerNs)));
            }
            if (std::exchange(m_echoEnded, false) && m_exchangeBytes.isEmpty() && m_wait->isActive())
                return waitFor(qMin(m_deadlineNs, qMax(m_waitDueNs, nowNs + answerNs)));
        }
    }
    // Listened out before the bytes left are judged: they may be the head of
    // a second module's answer.
    if (listensToAll()) {
        if (m_outstanding->chorus.answers || !m_exchangeBytes.isEmpty())
            listenOn();
        return;
    }
    if (m_exchangeBytes.isEmpty())
        return; // nothing of its own yet: the wait for the first byte goes on
    // A reply has begun: it has until the line falls silent to become one.
    // A module never pauses inside a frame, but an adapter's latency timer
    // or a busy server hands one over in pieces, tens of ms apart.
    qint64 silenceUs = m_outstanding->exchange.silenceUs;
    if (!isLoggerFrame(m_outstanding->frame) && rtu::beginsAnswer(m_exchangeBytes, m_outstanding->frame))
        silenceUs = qMax(silenceUs, kPieceGapUs);
    waitFor(qMin(m_deadlineNs, m_waitClock.nsecsElapsed() + silenceUs * 1000));
}

void Line::decodeRtuReply()
{
    if (!m_outstanding || isLoggerFrame(m_outstanding->frame))
        return;
    // The answer is found wherever it stands: behind a stray byte, or behind
    // a late reply to another request, which answers nothing on the line.
    // Only its own bytes go: what follows may be the head of another's.
    int size = 0;
    for (int at; m_outstanding && (at = rtu::findAnswer(*m_rx, m_outstanding->frame, &size)) >= 0;) {
        const QByteArray reply = m_rx->mid(at, size);
        m_rx->remove(at, size);
        noteAnswerTime(m_lastByteNs, size, true);
        if (!listensToAll()) {
            if (m_host)
                m_host->answered(reply);
            return;
        }
        // Address 0: every module that heard it answers. The first answer
        // is the request's; the others are counted.
        heardAnswer(reply);
        if (m_outstanding->chorus.answers == 1) {
            if (m_host)
                m_host->answered(reply);
        } else {
            emit received(reply);
            if (m_wait->isActive())
                listenOn();
        }
    }
    // Bytes still coming keep the line listening.
    if (listensToAll() && m_wait->isActive() && !m_rx->isEmpty())
        listenOn();
}

void Line::dropEcho()
{
    if (!m_echoAwaited || !m_outstanding || m_rx->isEmpty())
        return;
    const QByteArray &request = m_outstanding->frame;
    QByteArray &buffer = *m_rx;
    const qint64 wire = rtu::wireUs(request.size(), m_transport->rate());
    if (m_echoes) {
        // Found wherever it is: a byte may come before it.
        const int at = buffer.indexOf(request);
        int size = 0;
        if (at >= 0) {
            buffer.remove(0, at + request.size());
            m_echoAwaited = false;
            m_echoEnded = true;
            m_echoMisses = 0;
            // The quickest echo says what the adapter adds; a busy event loop only ever adds to it.
            m_echoLagUs = qMin(m_echoLagUs, qMax<qint64>(0, m_waitClock.nsecsElapsed() / 1000 - wire));
        } else if (buffer.size() >= 2 * request.size() || rtu::findAnswer(buffer, request, &size) >= 0) {
            // Answered, and no copy came first: the adapter missed this one.
            m_echoAwaited = false;
            echoMissed();
        }
        return;
    }
    // Learnt only from the start of the buffer, as an echo comes at once.
    if (buffer.startsWith(request)) {
        m_echoes = true;
        m_echoAwaited = false;
        m_echoEnded = true;
        m_echoMisses = 0;
        m_echoLagUs = qMax<qint64>(0, m_waitClock.nsecsElapsed() / 1000 - wire);
        buffer.remove(0, request.size());
        qCDebug(lcTrace) << "the line echoes";
    } else if (!request.startsWith(buffer)) {
        m_echoAwaited = false;
    }
}

void Line::echoMissed()
{
    // An adapter may stop echoing (another one given the same name, say):
    // two requests in a row without their copy and the line echoes no more.
    if (++m_echoMisses < 2)
        return;
    m_echoes = false;
    m_echoMisses = 0;
    qCDebug(lcTrace) << "the line no longer echoes";
}

void Line::awaitEcho(const QByteArray &frame)
{
    // A write's answer is a copy of it, and an adapter may stop echoing at
    // any time: a copy that comes once the echo's time has passed is the
    // module's answer. The echo's time is halfway from when an echo comes to
    // when an answer can, and what came in time is read before it is judged.
    m_echoAwaited = m_echoes || !rtu::isWrite(frame);
    if (!m_echoes || !rtu::isWrite(frame))
        return;
    const qint32 rate = m_transport->rate();
    const qint64 dueUs = rtu::wireUs(frame.size(), rate) + qMax(2 * m_echoLagUs, (rtu::wireUs(frame.size(), rate) + rtu::wireUs(4, rate)) / 2);
    QTimer::singleShot(int((dueUs + 999) / 1000), Qt::PreciseTimer, this, [this, written = m_written] {
        if (m_written != written || !m_echoAwaited)
            return;
        takeWaiting();
        if (m_written == written && m_echoAwaited) {
            m_echoAwaited = false;
            echoMissed();
        }
    });
}

void Line::dropLateAnswer()
{
    // The newest first: a module that answered late once may have been asked
    // again since, and its answer is to the last question.
    const qint32 rate = m_transport->rate();
    for (auto it = m_unanswered.end(); it != m_unanswered.begin();) {
        --it;
        // Heard at the rate it went out at, or it is not its answer.
        if (it->request.rate != rate)
            continue;
        int size = 0;
        const int at = rtu::findAnswer(*m_rx, it->request.frame, &size);
        if (at < 0)
            continue;
        const QByteArray frame = m_rx->mid(at, size);
        // The same question asked again: the answer is the one on the line's.
        if (m_outstanding && m_outstanding->rate == rate && !isLoggerFrame(m_outstanding->frame) && rtu::answers(m_outstanding->frame, frame))
            return;
        m_rx->remove(at, size);
        const Unanswered late = std::move(*it);
        m_unanswered.erase(it);
        // When it began: the chunk that ended it, less its own wire time.
        const qint64 beganNs = m_lastByteNs - rtu::wireUs(size, rate) * 1000;
        const qint64 afterUs = (m_clock.nsecsElapsed() - late.writtenNs) / 1000 - rtu::wireUs(rtu::RequestSize, rate);
        // Too late to be told from an answer to anything else: nobody's.
        if (beganNs - late.writtenNs > late.lateNs + kLateSlackNs)
            return dropLateAnswer();
        emit received(frame);
        if (late.request.owner && late.request.exchange.late)
            late.request.exchange.late(frame, qMax<qint64>(0, afterUs));
        return dropLateAnswer(); // another may stand behind it
    }
}

void Line::noteAnswerTime(qint64 endNs, int answerSize, bool whole)
{
    // From the end of the probe on the wire, its gap and the answer's own
    // wire time to the answer's last byte: what the module and the adapter
    // add. To its first byte only, a line that hands an answer over in
    // pieces would have the waits lose its tail.
    if (!m_probing)
        return;
    m_probing = !whole;
    const qint64 wire = rtu::wireUs(rtu::RequestSize + answerSize, m_rate) + rtu::gapUs(m_rate);
    m_answerUs = qMax<qint64>(0, (endNs - m_writeNs) / 1000 - wire);
}
