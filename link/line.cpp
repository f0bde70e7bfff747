// One request on the line at a time. Every request, the main window's and
// other windows' alike, is written here and only when no earlier one still
// waits for its answer; a reply is taken only as the answer to the request
// on the line, so a late reply can never pass for another's.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/trace.h"
#include "app/uartdata.h"
#include "bus/scan.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QMessageBox>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>

namespace {

bool isLoggerFrame(const QByteArray &frame)
{
    return frame.startsWith("\x7B\x22");
}

} // namespace

bool Widget::exchange(QObject *owner, const Exchange &request)
{
    if (!serialPort->isOpen())
        return false;
    LineRequest foreign;
    foreign.kind = LineRequest::Foreign;
    foreign.frame = request.frame;
    foreign.exchange = request;
    foreign.owner = owner;
    submit(foreign);
    return true;
}

void Widget::cancelExchanges(QObject *owner)
{
    ++cancels;
    pendingRequests.erase(std::remove_if(pendingRequests.begin(), pendingRequests.end(),
                                         [owner](const LineRequest &r) { return r.kind == LineRequest::Foreign && r.owner == owner; }),
                          pendingRequests.end());
    if (outstanding && outstanding->kind == LineRequest::Foreign && outstanding->owner == owner)
        outstanding->owner = nullptr;
    // Nor does a late answer reach it: a watch stopped takes no reading more.
    for (Unanswered &u : unanswered) {
        if (u.request.owner == owner)
            u.request.owner = nullptr;
    }
}

QString Widget::claimLine(QObject *owner, const QString &busy, std::function<void()> ended)
{
    if (claim.owner && claim.owner != owner)
        return claim.busy;
    // Whatever went out now would go at a rate the search is only trying.
    if (timerAutoUart->isActive())
        return tr("The line is busy with the baud-rate search. Wait for it to end.");
    claim = Claim{owner, busy, std::move(ended)};
    // One master on the line: the main window's continuous reading gives way.
    timerHumiture->stop();
    ui->pushButtonRead->setText(tr("Read"));
    return QString();
}

void Widget::releaseLine(QObject *owner)
{
    if (claim.owner == owner)
        claim = Claim();
}

qint32 Widget::linkRate() const
{
    return serialPort->isOpen() ? lineRate : 0;
}

QString Widget::linkPort() const
{
    return serialPort->isOpen() ? UartData.PortName : QString();
}

void Widget::submit(LineRequest request)
{
    // A poll that still waits, or is still on the line, stands for the next
    // one too: nothing is sent twice.
    if (request.kind == LineRequest::Poll) {
        const auto isPoll = [](const LineRequest &r) { return r.kind == LineRequest::Poll; };
        if ((outstanding && isPoll(*outstanding)) || std::any_of(pendingRequests.begin(), pendingRequests.end(), isPoll))
            return;
    }
    pendingRequests.push_back(std::move(request));
    dispatch();
}

void Widget::dispatch()
{
    // The AUTO search holds the line from probe to probe until it ends.
    if (outstanding || timerAutoUart->isActive() || pendingRequests.empty())
        return;
    if (!serialPort->isOpen()) {
        pendingRequests.clear();
        return;
    }
    LineRequest next = std::move(pendingRequests.front());
    pendingRequests.pop_front();
    writeRequest(std::move(next));
}

void Widget::writeRequest(LineRequest request)
{
    const LineRequest::Kind kind = request.kind;
    const bool rtuFrame = !isLoggerFrame(request.frame);
    if (kind != LineRequest::Foreign && rtuFrame)
        readItem = request.selector;
    const qint32 rate = kind == LineRequest::Foreign && request.exchange.baudRate ? request.exchange.baudRate : lineRate;
    if (serialPort->baudRate() != rate) {
        // What came at the old rate is read at it, before the port moves on.
        takeWhatTheLineHolds();
        serialPort->setBaudRate(rate);
    }
    // Whatever is still in the buffer answers nothing written from now on,
    // but for the head of a late answer, which waits for its tail; the
    // silence that ends a wait counts from here.
    keepLateHead(rate);
    timerClear->start(500);
    const QByteArray frame = request.frame;
    request.rate = rate;
    request.chorus = Chorus();
    outstanding = std::move(request);
    heardOther = false;
    probing = false;
    ++requestsWritten;
    serialPort->write(frame);
    // On the line now, not when the event loop next runs: the wait counts
    // from here.
    serialPort->flush();
    // A write's answer is a copy of it: only a line known to echo has a copy to drop.
    awaitEcho(frame);

    waitClock.start();
    switch (kind) {
    case LineRequest::Poll:
        // Not watched: its reply is awaited until the next poll is due.
        UartData.ReplyReceived = 0;
        waitFor(1000 * 1000000LL);
        break;
    case LineRequest::Setup:
        timerSettingResponse->start(1000);
        UartData.SettingAck = 0;
        break;
    case LineRequest::Foreign:
        exchangeBytes.clear();
        exchangeDeadlineNs = (outstanding->exchange.firstByteUs + 1000000) * 1000;
        // Every module obeys address 0: the line listens for all of them.
        if (listensToAll())
            exchangeDeadlineNs += lateWindowUs() * 1000;
        waitFor((listensToAll() ? lateWindowUs() : outstanding->exchange.firstByteUs) * 1000);
        break;
    default:
        timerResponse->start(kind == LineRequest::SerialWrite ? 1500 : 500);
        UartData.ReplyReceived = 0;
        break;
    }
    if (kind == LineRequest::BaudWrite) {
        UartData.BaudSetPending = 1;
        // The port keeps the old rate until the watchdog has seen the echo.
        if (outstanding->baudRate)
            UartData.BaudRate = outstanding->baudRate;
    }
    if (rtuFrame)
        LogFrame(QString::fromLatin1(frame.toHex()), false);
    // While reading is on, the next poll keeps its distance from any other
    // request: a second, or three after the logger's settings.
    if (kind == LineRequest::SettingsRead || kind == LineRequest::Setup)
        timerHumiture->start(3000);
    else if (kind != LineRequest::Poll && kind != LineRequest::Foreign)
        timerHumiture->start(1000);
    if (kind == LineRequest::AddressRead)
        qCDebug(lcTrace) << "7777";
}

bool Widget::listensToAll() const
{
    return outstanding && !isLoggerFrame(outstanding->frame) && outstanding->frame.at(0) == 0;
}

qint64 Widget::lateWindowUs() const
{
    // Once a module has answered, the wait its pace calls for; before that,
    // another window's request waits as long as it says, the main window's
    // as long as the linked module showed it needs.
    if (outstanding && outstanding->chorus.answers) {
        const Chorus &chorus = outstanding->chorus;
        const qint64 paceUs = chorus.firstUs - bus::wireUs(outstanding->frame.size() + chorus.first.size(), outstanding->rate);
        return 2 * bus::firstByteUs(outstanding->rate, bus::defaultAnswerMs(int(qMax<qint64>(0, paceUs) / 1000)));
    }
    if (outstanding && outstanding->kind == LineRequest::Foreign)
        return 2 * outstanding->exchange.firstByteUs;
    return 2 * bus::firstByteUs(lineRate, bus::defaultAnswerMs(measuredAnswerMs()));
}

void Widget::heardAnswer(const QByteArray &reply)
{
    Chorus &chorus = outstanding->chorus;
    const qint64 at = waitClock.nsecsElapsed() / 1000;
    if (++chorus.answers == 1)
        chorus.firstUs = at, chorus.first = reply;
    else if (chorus.answers == 2)
        chorus.secondUs = at;
    // The owner knows an answer came, should it end while the line listens on.
    if (outstanding->kind == LineRequest::Foreign && outstanding->owner && outstanding->exchange.heard)
        outstanding->exchange.heard(chorus);
}

void Widget::listenOn()
{
    // Until the line has been quiet for the whole late window.
    const qint64 due = waitClock.nsecsElapsed() + lateWindowUs() * 1000;
    waitFor(outstanding->kind == LineRequest::Foreign ? qMin(exchangeDeadlineNs, due) : due);
}

void Widget::endChorus()
{
    // The main window's read or write at address 0, listened out (a baud
    // write until its watchdog, when the port has to follow it).
    const LineRequest::Kind kind = outstanding->kind;
    const int modules = outstanding->chorus.modules();
    lineModules = modules;
    if (kind == LineRequest::AddressRead) {
        // One module's address shown for a line of several would be taken for theirs.
        if (modules == 1 && UartData.ReplyReceived)
            ui->lineEditAddress->setText(QString::number(UartData.Address, 10));
        else if (modules > 1)
            ui->lineEditAddress->clear();
    }
    const qint32 rate = outstanding->rate;
    if (kind == LineRequest::BaudWrite) {
        // Answered: the port follows the module to its new rate.
        if (UartData.BaudSetPending == 1)
            UartInit();
        UartData.BaudSetPending = 0;
    }
    finishRequest();
    if (modules < 2)
        return;
    QMessageBox::information(this, tr("Warning"),
                             kind == LineRequest::AddressRead
                                 ? tr("%1 modules answer on this line at %2 baud: use the bus window to tell them apart.").arg(modules).arg(rate)
                                 : tr("%1 modules answered this write: it reached every one of them.").arg(modules));
}

void Widget::keepLateHead(qint32 rate)
{
    // Old unanswered requests go: an answer begun in their late window has
    // had the time to come whole, and one begun later could no longer be
    // told from anyone else's.
    const qint64 now = lineClock.nsecsElapsed();
    unanswered.erase(std::remove_if(unanswered.begin(), unanswered.end(),
                                    [now](const Unanswered &u) {
                                        const qint64 wholeNs = bus::wireUs(rtu::answerSize(u.request.frame), u.request.rate) * 1000;
                                        return now > u.writtenNs + u.lateNs + kLateSlackNs + wholeNs;
                                    }),
                     unanswered.end());
    UartData.RxBuffer.remove(0, lateHeadAt(UartData.RxBuffer, rate));
}

bool Widget::beginsLateAnswer(const QByteArray &bytes, qint32 rate) const
{
    return std::any_of(unanswered.begin(), unanswered.end(), [&](const Unanswered &u) {
        return u.request.rate == rate && rtu::beginsAnswer(bytes, u.request.frame);
    });
}

int Widget::lateHeadAt(const QByteArray &bytes, qint32 rate) const
{
    // Where the bytes of a late answer still coming begin (the end when none
    // do): they are no reply of the request on the line, garbled or not.
    for (int at = 0; at < bytes.size(); ++at) {
        if (beginsLateAnswer(bytes.mid(at), rate))
            return at;
    }
    return bytes.size();
}

void Widget::requestAnswered(bool refused, quint8 exceptionCode)
{
    const LineRequest::Kind kind = outstanding->kind;
    if (kind == LineRequest::Poll)
        missedPolls = 0;
    if (refused && kind != LineRequest::Poll) {
        // The module answered and said no: that is no dead line, and the
        // watchdog says so instead, outside reply handling.
        outstanding->refusal = exceptionCode;
        UartData.BaudSetPending = 0;
        return;
    }
    if (kind == LineRequest::BaudWrite)
        return; // the watchdog moves the port to the new rate, then frees the line
    // Every module obeys address 0: the line is listened out before it is
    // free, so that a second module's answer is counted, not lost.
    if (listensToAll())
        return listenOn();
    finishRequest();
}

void Widget::finishRequest()
{
    timerWait->stop();
    outstanding.reset();
    dispatch();
}

void Widget::clearLine()
{
    outstanding.reset();
    unanswered.clear();
    pendingRequests.clear();
    timerWait->stop();
}

void Widget::receiveForExchange(const QByteArray &buffer)
{
    // Another window checks what it reads back: only a whole frame will do.
    if (isLoggerFrame(outstanding->frame)) {
        if (logger::isWholeFrame(buffer) && logger::answers(outstanding->frame, buffer))
            return endExchange(Exchange::Answered, buffer);
        exchangeBytes = buffer;
    } else {
        int size = 0;
        for (int at; (at = rtu::findAnswer(UartData.RxBuffer, outstanding->frame, &size)) >= 0;) {
            const QByteArray reply = UartData.RxBuffer.mid(at, size);
            // Only the answer goes: what follows it may be the head of another.
            UartData.RxBuffer.remove(at, size);
            LogFrame(QString::fromLatin1(reply.toHex()), true);
            if (!listensToAll())
                return endExchange(Exchange::Answered, reply);
            heardAnswer(reply);
        }
        // Whole replies that answer nothing here (another module's, one come
        // very late) say nothing of this address, nor the head of a late
        // answer still coming; the rest may be a collision.
        const QByteArray left = UartData.RxBuffer;
        exchangeBytes = rtu::withoutReplies(left.left(lateHeadAt(left, serialPort->baudRate())));
    }
    // Listened out before the bytes left are judged: they may be the head of
    // a second module's answer.
    if (listensToAll()) {
        if (outstanding->chorus.answers || !exchangeBytes.isEmpty())
            listenOn();
        return;
    }
    if (exchangeBytes.isEmpty())
        return; // nothing of its own yet: the wait for the first byte goes on
    // A reply has begun: it has until the line falls silent to become one.
    waitFor(qMin(exchangeDeadlineNs, waitClock.nsecsElapsed() + outstanding->exchange.silenceUs * 1000));
}

void Widget::waitFor(qint64 dueNs)
{
    // A timer fires up to a millisecond after its time, which a scan would pay
    // at every address: it is set a millisecond short, and the last of the
    // wait is run out on the event loop.
    waitDueNs = dueNs;
    timerWait->start(int(qMax<qint64>(0, dueNs - waitClock.nsecsElapsed() - 1000000) / 1000000));
}

void Widget::endExchange(Exchange::Outcome outcome, const QByteArray &bytes)
{
    timerWait->stop();
    LineRequest done = std::move(*outstanding);
    outstanding.reset();
    // Unanswered: its answer may still come, while the next request waits.
    if (outcome != Exchange::Answered && done.exchange.late && !isLoggerFrame(done.frame) && done.frame.at(0) != 0) {
        unanswered.push_back({done, lineClock.nsecsElapsed() - waitClock.nsecsElapsed(), 2 * done.exchange.firstByteUs * 1000});
        if (unanswered.size() > 4)
            unanswered.pop_front();
    }
    const quint64 cancelled = cancels;
    if (serialPort->isOpen() && serialPort->baudRate() != lineRate) {
        takeWhatTheLineHolds();
        serialPort->setBaudRate(lineRate);
    }
    // What is left answers nothing, but for the head of a late answer.
    keepLateHead(serialPort->baudRate());
    // A late answer taken just now may have made its owner give up what it
    // asked: this outcome then goes nowhere either.
    if (cancels != cancelled)
        done.owner = nullptr;
    if (done.owner && done.exchange.heard && !isLoggerFrame(done.frame) && done.frame.at(0) == 0)
        done.exchange.heard(done.chorus);
    if (done.owner && done.exchange.done)
        done.exchange.done(outcome, bytes);
    dispatch();
}

void Widget::pollUnanswered()
{
    // Values that stopped coming are not shown as if they were current.
    if (++missedPolls == 3) {
        ui->labelTemperature->setText(tr("Temperature:---"));
        ui->labelHumidity->setText(tr("Humidity:---"));
        ui->labelDewTemp->setText(tr("DewTemp:---"));
        ui->labelWetBulbTemp->setText(tr("WetBulbTemp:---"));
    }
    finishRequest();
}
