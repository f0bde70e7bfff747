#ifndef HYGROVANE_SERIALTRANSPORT_H
#define HYGROVANE_SERIALTRANSPORT_H

#include "link/transport.h"

class QSerialPort;

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

    QSerialPort *port() const { return m_port; }

private:
    QString m_name;
    QSerialPort *m_port;
};

#endif
