// Collecting the bytes the module sends and taking RTU replies apart.
#include "ui/widget.h"
#include "ui_widget.h"

#include "app/uartdata.h"
#include "app/trace.h"
#include "bus/scan.h"
#include "protocol/logger.h"
#include "protocol/rtu.h"

#include <QSerialPort>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

namespace {

// Past this the buffer cannot be a reply being completed: only a line that
// never falls silent grows it, and examining it on every chunk would cost more
// and more. It is dropped as noise.
constexpr int kRxBufferLimit = 4096;

bool isLoggerFrame(const QByteArray &frame)
{
    return frame.startsWith("\x7B\x22");
}

} // namespace

void Widget::my_readuart()
{
    receiveChunk(serialPort->readAll());
}

void Widget::takeWhatTheLineHolds()
{
    if (!serialPort->isOpen())
        return;
#ifdef Q_OS_UNIX
    // The port reads the driver only from the event loop; asked without
    // bytes waiting it would report a timeout as an error.
    int waiting = 0;
    if (::ioctl(serialPort->handle(), FIONREAD, &waiting) == 0 && waiting > 0)
        serialPort->waitForReadyRead(0); // hands them over through readyRead
#endif
    if (serialPort->bytesAvailable() > 0)
        my_readuart();
}

void Widget::TimerClearSlot()
{
    timerClear->stop();
    UartData.RxBuffer.clear();
}

void Widget::receiveChunk(const QByteArray &chunk)
{
    // Frames are delimited by silence only: whatever has not become a frame
    // 500 ms after the last byte is dropped.
    timerClear->start(500);
    if (chunk.isEmpty() && UartData.RxBuffer.isEmpty())
        return;
    if (!chunk.isEmpty())
        lastByteNs = lineClock.nsecsElapsed();
    UartData.RxBuffer.append(chunk);
    if (UartData.RxBuffer.size() > kRxBufferLimit) {
        UartData.RxBuffer.clear();
        return;
    }
    qCDebug(lcTrace) << UartData.RxBuffer.toHex();
    // What the adapter echoed and what answers an earlier request go first:
    // neither is the answer to the request on the line.
    dropEcho();
    dropLateAnswer();
    noteAnswerTime();
    if (outstanding && isLoggerFrame(outstanding->frame)) {
        // A byte the driver put on the line before the reply is no part of it.
        const int start = UartData.RxBuffer.indexOf("\x7B\x22");
        if (start > 0)
            UartData.RxBuffer.remove(0, start);
    }
    const QByteArray buffer = UartData.RxBuffer;
    heardOther = heardOther || (!buffer.isEmpty() && !echoAwaited && !rtu::isTurnaroundGlitch(buffer));
    if (outstanding && outstanding->kind == LineRequest::Foreign) {
        receiveForExchange(buffer);
        return;
    }
    // The logger's brace-framed replies share the line and are never echoed.
    if (DecodeLoggerFrame(buffer))
        return;
    decodeRtuReply(buffer);
}

void Widget::dropEcho()
{
    if (!echoAwaited || !outstanding || UartData.RxBuffer.isEmpty())
        return;
    const QByteArray &request = outstanding->frame;
    QByteArray &buffer = UartData.RxBuffer;
    const qint64 wire = bus::wireUs(request.size(), serialPort->baudRate());
    if (lineEchoes) {
        // Found wherever it is: a byte may come before it.
        const int at = buffer.indexOf(request);
        int size = 0;
        if (at >= 0) {
            buffer.remove(0, at + request.size());
            echoAwaited = false;
            echoMisses = 0;
            // The quickest echo says what the adapter adds; a busy window only ever adds to it.
            echoLagUs = qMin(echoLagUs, qMax<qint64>(0, waitClock.nsecsElapsed() / 1000 - wire));
        } else if (buffer.size() >= 2 * request.size() || rtu::findAnswer(buffer, request, &size) >= 0) {
            // Answered, and no copy came first: the adapter missed this one.
            echoAwaited = false;
            echoMissed();
        }
        return;
    }
    // Learnt only from the start of the buffer, as an echo comes at once.
    if (buffer.startsWith(request)) {
        lineEchoes = true;
        echoAwaited = false;
        echoMisses = 0;
        echoLagUs = qMax<qint64>(0, waitClock.nsecsElapsed() / 1000 - wire);
        buffer.remove(0, request.size());
        qCDebug(lcTrace) << "the line echoes";
    } else if (!request.startsWith(buffer)) {
        echoAwaited = false;
    }
}

void Widget::echoMissed()
{
    // An adapter may stop echoing (another one given the same name, say):
    // two requests in a row without their copy and the line echoes no more.
    if (++echoMisses < 2)
        return;
    lineEchoes = false;
    echoMisses = 0;
    qCDebug(lcTrace) << "the line no longer echoes";
}

void Widget::awaitEcho(const QByteArray &frame)
{
    // A write's answer is a copy of it, and an adapter may stop echoing at
    // any time: a copy that comes once the echo's time has passed is the
    // module's answer. The echo's time is halfway from when an echo comes to
    // when an answer can, and what came in time is read before it is judged.
    echoAwaited = lineEchoes || !rtu::isWrite(frame);
    if (!lineEchoes || !rtu::isWrite(frame))
        return;
    const qint32 rate = serialPort->baudRate();
    const qint64 dueUs = bus::wireUs(frame.size(), rate) + qMax(2 * echoLagUs, (bus::wireUs(frame.size(), rate) + bus::wireUs(4, rate)) / 2);
    QTimer::singleShot(int((dueUs + 999) / 1000), Qt::PreciseTimer, this, [this, written = requestsWritten] {
        if (requestsWritten != written || !echoAwaited)
            return;
        takeWhatTheLineHolds();
        if (requestsWritten == written && echoAwaited) {
            echoAwaited = false;
            echoMissed();
        }
    });
}

void Widget::dropLateAnswer()
{
    // The newest first: a module that answered late once may have been asked
    // again since, and its answer is to the last question.
    const qint32 rate = serialPort->baudRate();
    for (auto it = unanswered.end(); it != unanswered.begin();) {
        --it;
        // Heard at the rate it went out at, or it is not its answer.
        if (it->request.rate != rate)
            continue;
        int size = 0;
        const int at = rtu::findAnswer(UartData.RxBuffer, it->request.frame, &size);
        if (at < 0)
            continue;
        const QByteArray frame = UartData.RxBuffer.mid(at, size);
        // The same question asked again: the answer is the one on the line's.
        if (outstanding && outstanding->rate == rate && !isLoggerFrame(outstanding->frame) && rtu::answers(outstanding->frame, frame))
            return;
        UartData.RxBuffer.remove(at, size);
        const Unanswered late = std::move(*it);
        unanswered.erase(it);
        // When it began: the chunk that ended it, less its own wire time.
        const qint64 beganNs = lastByteNs - bus::wireUs(size, rate) * 1000;
        const qint64 afterUs = (lineClock.nsecsElapsed() - late.writtenNs) / 1000 - bus::wireUs(rtu::RequestSize, rate);
        // Too late to be told from an answer to anything else: nobody's.
        if (beganNs - late.writtenNs > late.lateNs + kLateSlackNs)
            return dropLateAnswer();
        LogFrame(QString::fromLatin1(frame.toHex()), true);
        if (late.request.owner && late.request.exchange.late)
            late.request.exchange.late(frame, qMax<qint64>(0, afterUs));
        return dropLateAnswer(); // another may stand behind it
    }
}

void Widget::noteAnswerTime()
{
    // From the end of the probe on the wire, its gap and the reply's first
    // character to the first byte seen: what the module and the adapter add.
    if (!probing || UartData.RxBuffer.isEmpty())
        return;
    // What may yet be the probe's own echo is not the module's answer.
    if (echoAwaited && outstanding && outstanding->frame.startsWith(UartData.RxBuffer))
        return;
    probing = false;
    const qint64 wire = bus::wireUs(rtu::RequestSize, lineRate) + bus::wireUs(9, lineRate) / 2;
    answerUs = qMax<qint64>(0, waitClock.nsecsElapsed() / 1000 - wire);
}

void Widget::decodeRtuReply(const QByteArray &)
{
    if (!outstanding || isLoggerFrame(outstanding->frame))
        return;
    // The answer is found wherever it stands: behind a stray byte, or behind
    // a late reply to another request, which answers nothing on the line.
    // Only its own bytes go: what follows may be the head of another's.
    int size = 0;
    for (int at; outstanding && (at = rtu::findAnswer(UartData.RxBuffer, outstanding->frame, &size)) >= 0;) {
        const QByteArray reply = UartData.RxBuffer.mid(at, size);
        UartData.RxBuffer.remove(at, size);
        if (!listensToAll())
            return decodeAnswer(reply);
        // Address 0: every module that heard it answers. The first answer
        // is the request's; the others are counted.
        heardAnswer(reply);
        if (outstanding->chorus.answers == 1) {
            decodeAnswer(reply);
        } else {
            LogFrame(QString::fromLatin1(reply.toHex()), true);
            if (timerWait->isActive())
                listenOn();
        }
    }
    // Bytes still coming keep the line listening.
    if (listensToAll() && timerWait->isActive() && !UartData.RxBuffer.isEmpty())
        listenOn();
}

void Widget::decodeAnswer(const QByteArray &buffer)
{
    const int n = rtu::replyDataLength(buffer);
    const quint8 function = static_cast<quint8>(buffer[1]);
    // A refusal is a well-formed frame, worth seeing in the log, but its
    // bytes are no reading and no acknowledgement.
    if (!rtu::isException(function)) {
        switch (readItem) {
        case 0:
            if (n == 10) {
                UartData.Temperature = static_cast<qint16>(rtu::registerAt(buffer, 0));
                UartData.Humidity = rtu::registerAt(buffer, 1);
                UartData.DewTemp = static_cast<qint16>(rtu::registerAt(buffer, 2));
                UartData.WetBulbTemp = static_cast<qint16>(rtu::registerAt(buffer, 3));
                UartData.ReplyReceived = 1;
                DisplayHumiture(0);
            } else if (n == 2) {
                UartData.Temperature = static_cast<qint16>(rtu::registerAt(buffer, 0));
                UartData.ReplyReceived = 1;
                DisplayHumiture(1);
            }
            break;
        case 1:
        case 2:
        case 3:
        case 4:
            // One register each: a reply of any other size is not theirs.
            if (n == 2) {
                const quint16 value = rtu::registerAt(buffer, 0);
                if (readItem == 1)
                    UartData.Humidity = value;
                else if (readItem == 2)
                    UartData.DewTemp = static_cast<qint16>(value);
                else if (readItem == 3)
                    UartData.WetBulbTemp = static_cast<qint16>(value);
                // The status register is read for the traffic log only.
                UartData.ReplyReceived = 1;
                DisplayHumiture(static_cast<quint8>(readItem + 1));
            }
            break;
        default:
            break;
        }
        qCDebug(lcTrace) << readItem;

        if (readItem == ReadsAddress) {
            // Only a reply that carries the register has the address at byte 4.
            if (function == rtu::ReadRegisters && n >= 2)
                UartData.Address = static_cast<quint8>(buffer[4]);
            else if (function == rtu::WriteRegister)
                UartData.Address = static_cast<quint8>(buffer[5]);
            UartData.ReplyReceived = 1;
            // Shown once the line has been listened out: another module
            // may answer too.
            if (!listensToAll())
                ui->lineEditAddress->setText(QString::number(UartData.Address, 10));
        } else if (n == 3) {
            UartData.ReplyReceived = 1;
        }
    }

    LogFrame(QString::fromLatin1(buffer.toHex()), true);
    requestAnswered(rtu::isException(function), static_cast<quint8>(buffer[2]));
}
