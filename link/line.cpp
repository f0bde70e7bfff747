// One request on the line at a time. Every request, the main window's and
// other windows' alike, is written here and only when no earlier one still
// waits for its answer; a reply is taken only as the answer to the request
// on the line, so a late reply can never pass for another's.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/trace.h"
#include "app/uartdata.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

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
    pendingRequests.erase(std::remove_if(pendingRequests.begin(), pendingRequests.end(),
                                         [owner](const LineRequest &r) { return r.kind == LineRequest::Foreign && r.owner == owner; }),
                          pendingRequests.end());
    if (outstanding && outstanding->kind == LineRequest::Foreign && outstanding->owner == owner)
        outstanding->owner = nullptr;
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
    if (serialPort->baudRate() != rate)
        serialPort->setBaudRate(rate);
    // Whatever is still in the buffer answers nothing written from now on,
    // and the silence that ends a wait counts from here.
    UartData.RxBuffer.clear();
    timerClear->start(500);
    const QByteArray frame = request.frame;
    outstanding = std::move(request);
    // A write's answer is a copy of it: only a line known to echo has a copy to drop.
    echoAwaited = lineEchoes || !rtu::isWrite(frame);
    heardOther = false;
    probing = false;
    ++requestsWritten;
    serialPort->write(frame);
    // On the line now, not when the event loop next runs: the wait counts
    // from here.
    serialPort->flush();

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
        waitFor(outstanding->exchange.firstByteUs * 1000);
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
        const int at = rtu::findAnswer(buffer, outstanding->frame, &size);
        if (at >= 0) {
            const QByteArray reply = buffer.mid(at, size);
            LogFrame(QString::fromLatin1(reply.toHex()), true);
            return endExchange(Exchange::Answered, reply);
        }
        // Whole replies that answer nothing here (another module's, one come
        // very late) say nothing of this address; the rest may be a collision.
        exchangeBytes = rtu::withoutReplies(buffer);
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
    UartData.RxBuffer.clear();
    LineRequest done = std::move(*outstanding);
    outstanding.reset();
    // Unanswered: its answer may still come, while the next request waits.
    if (outcome != Exchange::Answered && done.exchange.late && !isLoggerFrame(done.frame) && done.frame.at(0) != 0) {
        unanswered.push_back({done, lineClock.nsecsElapsed() - waitClock.nsecsElapsed()});
        if (unanswered.size() > 4)
            unanswered.pop_front();
    }
    if (serialPort->isOpen() && serialPort->baudRate() != lineRate)
        serialPort->setBaudRate(lineRate);
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
