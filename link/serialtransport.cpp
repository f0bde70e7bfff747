#include "link/serialtransport.h"

#include "link/porterror.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#endif

SerialTransport::SerialTransport(const QString &name, QObject *parent)
    : Transport(parent)
    , m_name(name)
    , m_port(new QSerialPort(this))
    , m_resume(new QTimer(this))
{
    m_resume->setSingleShot(true);
    m_resume->setTimerType(Qt::PreciseTimer);
    connect(m_resume, &QTimer::timeout, this, [this] {
        if (m_paused)
            m_paused->setEnabled(true);
    });
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
    m_expected = 0;
    m_handOver = -1;
#ifdef Q_OS_UNIX
    termios tio{};
    if (::tcgetattr(m_port->handle(), &tio) == 0)
        m_portMinimum = tio.c_cc[VMIN];
#endif
    return true;
}

void SerialTransport::close()
{
    m_resume->stop();
    m_port->close();
    m_expected = 0;
    m_handOver = -1;
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
    // Written whole: the second flush finds nothing left and stops the
    // port's watch for room to write, which would wake the loop once more.
    m_port->flush();
}

QByteArray SerialTransport::readAll()
{
    const QByteArray bytes = m_port->readAll();
    if (m_expected > 0) {
        // The rest of the answer, or each byte as it comes once it is in.
        m_expected = qMax(0, m_expected - int(bytes.size()));
        handOverAt(m_expected);
    }
    return bytes;
}

void SerialTransport::expect(int bytes, qint64 withinUs)
{
    m_expected = qMax(0, bytes);
    handOverAt(m_expected);
    m_resume->stop();
    if (m_paused)
        m_paused->setEnabled(true);
    // Not even watched until the answer can have ended: the kernel would
    // wake the loop's poll at every byte to find too few still.
    m_paused = m_expected > 0 && withinUs > 0 ? readNotifier() : nullptr;
    if (m_paused) {
        m_paused->setEnabled(false);
        m_resume->start(int((withinUs + 999) / 1000));
    }
}

QSocketNotifier *SerialTransport::readNotifier() const
{
    for (QSocketNotifier *notifier : m_port->findChildren<QSocketNotifier *>()) {
        if (notifier->type() == QSocketNotifier::Read && notifier->isEnabled())
            return notifier;
    }
    return nullptr;
}

void SerialTransport::handOverAt(int bytes)
{
#ifdef Q_OS_UNIX
    // Linux's line discipline reports the port readable only once VMIN bytes
    // are in when VTIME is 0: the event loop is woken once for an answer, not
    // once a byte. VMIN holds 255 at most.
    const int minimum = bytes > 0 ? qMin(bytes, 255) : m_portMinimum;
    if (!m_port->isOpen() || minimum == m_handOver)
        return;
    termios tio{};
    if (::tcgetattr(m_port->handle(), &tio) != 0)
        return;
    tio.c_cc[VMIN] = cc_t(minimum);
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(m_port->handle(), TCSANOW, &tio) == 0)
        m_handOver = minimum;
#else
    Q_UNUSED(bytes)
#endif
}

void SerialTransport::takeWaiting()
{
    if (!m_port->isOpen())
        return;
#ifdef Q_OS_UNIX
    // The port reads the driver only from the event loop; asked without
    // bytes waiting it would report a timeout as an error.
    int waiting = 0;
    if (::ioctl(m_port->handle(), FIONREAD, &waiting) == 0 && waiting > 0) {
        // Fewer than expected: what came is handed over now, and what follows as it comes.
        m_expected = 0;
        handOverAt(0);
        m_port->waitForReadyRead(0); // hands them over through readyRead
    }
#endif
    if (m_port->bytesAvailable() > 0)
        emit readyRead();
}

void SerialTransport::discard()
{
    m_port->clear();
}
