#ifndef HYGROVANE_SERIALTRANSPORT_H
#define HYGROVANE_SERIALTRANSPORT_H

#include "link/transport.h"

#include <QPointer>

class QSerialPort;
class QSocketNotifier;
class QTimer;

// A local serial port: a USB adapter, a built-in RS-485 port.
class SerialTransport : public Transport
{
    Q_OBJECT

public:
    SerialTransport(const QString &name, QObject *parent);

    QString name() const override { return m_name; }
    bool open(qint32 rate, QString *error) override;
    void close() override;
    bool isOpen() const override;
    qint32 rate() const override;
    bool setRate(qint32 rate) override;
    void write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void takeWaiting() override;
    void discard() override;
    void expect(int bytes, qint64 withinUs) override;

    QSerialPort *port() const { return m_port; }

private:
    // The driver hands bytes over once this many have come (termios VMIN).
    void handOverAt(int bytes);
    // The port's own watch of the descriptor for bytes to read.
    QSocketNotifier *readNotifier() const;

    QString m_name;
    QSerialPort *m_port;
    int m_expected = 0;   // of the answer expected, the bytes not handed over yet
    int m_handOver = -1;  // VMIN as set; -1: as the port set it up
    int m_portMinimum = 0; // VMIN as the port set it up
    QTimer *m_resume;      // the port is watched again once the answer can have ended
    QPointer<QSocketNotifier> m_paused;
};

#endif
