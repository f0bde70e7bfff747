#include "gateway/notify.h"

#include <QCoreApplication>

#include <systemd/sd-daemon.h>

// Texts are translated in the context "gateway::Notifier", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

QString statusLine(const Health &h)
{
    QString line;
    switch (h.line) {
    case Health::Opening:
        line = QCoreApplication::translate("gateway::Notifier", "linking to the line");
        break;
    case Health::Down:
        line = QCoreApplication::translate("gateway::Notifier", "the line is down");
        break;
    case Health::Scanning:
        line = QCoreApplication::translate("gateway::Notifier", "scanning the line");
        break;
    case Health::Watching:
        line = QCoreApplication::translate("gateway::Notifier", "watching %1 of %2 modules").arg(h.answering).arg(h.watched);
        break;
    }
    QString broker;
    switch (h.broker) {
    case Health::NoBroker:
        broker = QCoreApplication::translate("gateway::Notifier", "no broker");
        break;
    case Health::Connecting:
        broker = QCoreApplication::translate("gateway::Notifier", "connecting to the broker");
        break;
    case Health::Connected:
        broker = QCoreApplication::translate("gateway::Notifier", "broker connected");
        break;
    case Health::Lost:
        broker = QCoreApplication::translate("gateway::Notifier", "broker lost");
        break;
    case Health::Refused:
        broker = QCoreApplication::translate("gateway::Notifier", "broker refuses");
        break;
    }
    return QCoreApplication::translate("gateway::Notifier", "%1, %2, %3 waiting").arg(line, broker).arg(h.waiting);
}

Notifier::Notifier()
{
    // Only when the watchdog watches this very process (WATCHDOG_PID).
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        m_watchdogMs = int(qBound<uint64_t>(1, usec / 2000, 1u << 30));
}

void Notifier::send(const QByteArray &state)
{
    // Nothing to do about a manager that does not listen: it is not waited for.
    sd_notify(0, state.constData());
}

void Notifier::ready()
{
    send(QByteArrayLiteral("READY=1"));
}

void Notifier::reloading()
{
    send(QByteArrayLiteral("RELOADING=1"));
}

void Notifier::stopping()
{
    send(QByteArrayLiteral("STOPPING=1"));
}

void Notifier::status(const QString &line)
{
    if (line == m_status)
        return;
    m_status = line;
    // One line: a line break would begin another assignment.
    send("STATUS=" + QString(line).replace(QLatin1Char('\n'), QLatin1Char(' ')).toUtf8());
}

void Notifier::alive()
{
    if (!m_watchdogMs || (m_sinceAlive.isValid() && m_sinceAlive.elapsed() < m_watchdogMs))
        return;
    m_sinceAlive.start();
    send(QByteArrayLiteral("WATCHDOG=1"));
}

} // namespace gateway
