#include "link/serialtransport.h"

#include "link/porterror.h"

#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

SerialTransport::SerialTransport(const QString &name, QObject *parent)
    : Transport(parent)
    , m_name(name)
    , m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &Transport::readyRead);
    // Open failures are told by open(); only a port that dies while in use
    // (adapter pulled, line gone) is a failure, and only once: it is closed
    // before anyone hears of it.
    connect(m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (!m_port->isOpen()
            || (error != QSerialPort::ResourceError && error != QSerialPort::WriteError && error != QSerialPort::ReadError))
            return;
        const QString reason = portErrorText(m_port->error(), m_port->errorString());
        m_port->close();
        emit failed(reason);
    });
}

bool SerialTransport::open(qint32 rate, QString *error)
{
    m_port->close();
    m_port->clearError();
    m_port->setPortName(m_name);
    if (!m_port->open(QIODevice::ReadWrite)) {
        if (error)
            *error = portErrorText(m_port->error(), m_port->errorString());
        return false;
    }
    m_port->setBaudRate(rate, QSerialPort::AllDirections);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

void SerialTransport::close()
{
    m_port->close();
}

bool SerialTransport::isOpen() const
{
    return m_port->isOpen();
}

qint32 SerialTransport::rate() const
{
    return m_port->baudRate();
}

bool SerialTransport::setRate(qint32 rate)
{
    return m_port->setBaudRate(rate);
}

void SerialTransport::write(const QByteArray &bytes)
{
    m_port->write(bytes);
    m_port->flush();
}

QByteArray SerialTransport::readAll()
{
    return m_port->readAll();
}

void SerialTransport::takeWaiting()
{
    if (!m_port->isOpen())
        return;
#ifdef Q_OS_UNIX
    // The port reads the driver only from the event loop; asked without
    // bytes waiting it would report a timeout as an error.
    int waiting = 0;
    if (::ioctl(m_port->handle(), FIONREAD, &waiting) == 0 && waiting > 0)
        m_port->waitForReadyRead(0); // hands them over through readyRead
#endif
    if (m_port->bytesAvailable() > 0)
        emit readyRead();
}

void SerialTransport::discard()
{
    m_port->clear();
}
