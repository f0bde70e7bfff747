#include "bus/changer.h"

#include "app/clock.h"
#include "bus/moduletable.h"
#include "bus/scan.h"
#include "link/line.h"
#include "protocol/rtu.h"

#include <QCoreApplication>
#include <QTimer>

namespace bus {

Changer::Changer(Line *line, ModuleTable *table, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_table(table)
{
}

void Changer::start(const Change &change, int answerMs)
{
    m_change = change;
    m_answerMs = answerMs;
    m_running = true;
    // A module the scan did not cover may hold the new address already:
    // asked there first, a late answer given its time, before anything is written.
    Exchange check = measurementExchange(change.newAddress, change.newBaudRate, m_answerMs);
    check.firstByteUs *= 2;
    check.done = [this](Exchange::Outcome outcome, const QByteArray &) {
        if (outcome != Exchange::Silent)
            return end(QCoreApplication::translate("bus::Changer", "A module answers at address %1 (%2 baud) already: choose another address.")
                           .arg(m_change.newAddress)
                           .arg(m_change.newBaudRate));
        write();
    };
    m_line->exchange(this, check);
}

void Changer::stop()
{
    m_line->cancelExchanges(this);
    m_running = false;
}

void Changer::write()
{
    Exchange x = measurementExchange(m_change.address, m_change.baudRate, m_answerMs);
    x.frame = m_change.write;
    x.firstByteUs = 500000; // as the main window waits for a write's echo
    x.done = [this](Exchange::Outcome outcome, const QByteArray &reply) {
        emit written(outcome, reply);
        if (outcome == Exchange::Silent)
            return end(QCoreApplication::translate("bus::Changer", "The write got no answer from address %1.").arg(m_change.address));
        if (outcome == Exchange::Garbled)
            return end(QCoreApplication::translate("bus::Changer", "The write got a garbled answer from address %1: two modules there?")
                           .arg(m_change.address));
        if (rtu::isException(quint8(reply[1])))
            return end(QCoreApplication::translate("bus::Changer", "The module refused the write (exception %1).").arg(quint8(reply[2])));
        if (reply != m_change.write)
            return end(QCoreApplication::translate("bus::Changer", "The echo differs from the write: %1 for %2.")
                           .arg(QString::fromLatin1(reply.toHex()), QString::fromLatin1(m_change.write.toHex())));
        m_since.start();
        readBack();
    };
    m_line->exchange(this, x);
}

void Changer::readBack()
{
    Exchange x = measurementExchange(m_change.newAddress, m_change.newBaudRate, m_answerMs);
    const auto moved = [this](const Answer &answer) {
        if (m_change.row >= 0)
            m_table->moved(m_change.row, m_change.newAddress, m_change.newBaudRate, answer, currentDateTime());
        end(QString());
        m_line->noteMoved(m_change.address, m_change.baudRate, m_change.newAddress, m_change.newBaudRate);
    };
    // An answer after its wait is the module's all the same, as in a watch.
    x.late = [this, moved](const QByteArray &reply, qint64 afterUs) {
        if (m_running)
            moved(lateAnswerOf(reply, afterUs));
    };
    x.done = [this, moved](Exchange::Outcome outcome, const QByteArray &reply) {
        if (!m_running)
            return; // a late answer to an earlier read-back ended the change
        const Answer answer = answerOf(outcome, reply);
        if (answer.kind == Answer::Values || answer.kind == Answer::Refusal)
            return moved(answer);
        // A module may take a moment to move to its new rate after the echo.
        if (answer.kind == Answer::Silence && m_since.elapsed() < 1000) {
            QTimer::singleShot(100, this, [this] {
                if (m_running)
                    readBack();
            });
            return;
        }
        end(QCoreApplication::translate("bus::Changer", "The module echoed the write, but the read-back at address %1, %2 baud got %3.")
                .arg(m_change.newAddress)
                .arg(m_change.newBaudRate)
                .arg(answer.kind == Answer::Garbled ? QCoreApplication::translate("bus::Changer", "a garbled answer")
                                                     : QCoreApplication::translate("bus::Changer", "no answer")));
    };
    m_line->exchange(this, x);
}

void Changer::end(const QString &failure)
{
    // A read-back asked again, or a late answer's, goes nowhere now.
    stop();
    emit ended(failure);
}

} // namespace bus
