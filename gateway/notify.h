#ifndef HYGROVANE_GATEWAY_NOTIFY_H
#define HYGROVANE_GATEWAY_NOTIFY_H

#include <QElapsedTimer>
#include <QString>

namespace gateway {

// What the service manager shows of the gateway (systemctl status).
struct Health
{
    enum Line { Opening, Down, Scanning, Watching };
    enum Broker { NoBroker, Connecting, Connected, Lost, Refused };
    Line line = Opening;
    int answering = 0; // watched modules that answer
    int watched = 0;
    Broker broker = NoBroker;
    int waiting = 0;   // readings in the outbox
};
// "watching 8 of 8 modules, broker connected, 0 waiting"
QString statusLine(const Health &health);

// The service manager told how the gateway is, through libsystemd's
// sd_notify: a unit of Type=notify learns that it is ready, what it does,
// that it is alive and that it is stopping. Run by anything else (no
// NOTIFY_SOCKET), it tells no one, and costs nothing.
class Notifier
{
public:
    Notifier();
    // The line is open and the first round done; said again after a reload.
    void ready();
    void reloading();
    void stopping();
    // Said when it differs from what was said last.
    void status(const QString &line);
    // Alive: WATCHDOG=1, at most once every half of the watchdog's time.
    void alive();
    // Half the watchdog's time, 0 when no watchdog watches.
    int watchdogMs() const { return m_watchdogMs; }

private:
    void send(const QByteArray &state);

    int m_watchdogMs = 0;
    QElapsedTimer m_sinceAlive;
    QString m_status;
};

} // namespace gateway

#endif
