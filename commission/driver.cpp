#include "commission/driver.h"

#include "app/clock.h"
#include "commission/run.h"
#include "link/line.h"

namespace commission {

Driver::Driver(Line *line, QObject *parent)
    : QObject(parent)
    , m_line(line)
{
}

Driver::Next Driver::next(Run *run)
{
    const auto request = run->next(currentDateTime().toSecsSinceEpoch());
    if (!request)
        return Over;
    Exchange x;
    x.frame = request->frame;
    x.baudRate = request->baudRate;
    // Each exchange has the main window's watchdog time; a reply that has
    // begun has the rest of it to become whole.
    x.firstByteUs = x.silenceUs = request->waitUs;
    x.heard = [run](const Chorus &chorus) { run->heard(chorus); };
    x.done = [this, run](Exchange::Outcome outcome, const QByteArray &reply) {
        m_onLine = false;
        run->take(outcome, reply);
        emit taken();
    };
    m_onLine = m_line->exchange(this, x);
    return m_onLine ? Sent : NoLine;
}

void Driver::cutOff(Run *run)
{
    if (m_onLine)
        run->cutOff();
    m_onLine = false;
}

void Driver::drop()
{
    m_line->cancelExchanges(this);
}

void Driver::tellMoved(const Run &run)
{
    // A write whose answer never came may or may not have moved it.
    const bool address = run.written(Step::Address) == Run::Taken;
    const bool rate = run.written(Step::BaudRate) == Run::Taken;
    const quint8 newAddress = address ? quint8(run.plan().address) : quint8(run.oldAddress());
    const qint32 newRate = rate ? run.plan().baudRate : run.oldBaudRate();
    if (newAddress != run.oldAddress() || newRate != run.oldBaudRate())
        m_line->noteMoved(quint8(run.oldAddress()), run.oldBaudRate(), newAddress, newRate);
}

} // namespace commission
