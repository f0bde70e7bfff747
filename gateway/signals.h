#ifndef HYGROVANE_GATEWAY_SIGNALS_H
#define HYGROVANE_GATEWAY_SIGNALS_H

#include <QObject>

class QSocketNotifier;

namespace gateway {

// SIGTERM, SIGINT and SIGHUP as a Qt signal on the event loop: the handler only
// writes the signal's number into a socket pair, and a notifier reads it
// back, so that whatever the program does about it runs as any other slot.
// One at a time in a process; the handlers it replaced come back when it goes.
class Signals : public QObject
{
    Q_OBJECT

public:
    explicit Signals(QObject *parent = nullptr);
    ~Signals() override;
    // False when the socket pair or the handlers could not be set up (or
    // another Signals has them): then `error` says why.
    bool isValid() const { return m_notifier != nullptr; }
    QString error() const { return m_error; }

signals:
    // Every time one comes: a second SIGTERM while the first is being
    // seen to comes too.
    void received(int signal);

private:
    void drain();

    QSocketNotifier *m_notifier = nullptr;
    QString m_error;
};

} // namespace gateway

#endif
