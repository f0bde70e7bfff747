#include "link/networktransport.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#endif

NetworkTransport::NetworkTransport(const QString &name, QObject *parent)
    : Transport(parent)
    , m_name(name)
    , m_url(rfc2217::parsePortUrl(name))
    , m_socket(new QTcpSocket(this))
    , m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        fail(m_connected ? tr("the server at %1 did not confirm the rate: is it an RFC 2217 server?").arg(m_url.where())
                         : connectFailure(QAbstractSocket::SocketTimeoutError, m_url.where(), QString()));
    });
    connect(m_socket, &QTcpSocket::connected, this, &NetworkTransport::connected);
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { take(m_socket->readAll()); });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A wait for bytes that finds none says so as an error; it is none.
        if (error == QAbstractSocket::SocketTimeoutError)
            return;
        fail(m_connected ? dropped() : connectFailure(error, m_url.where(), m_socket->errorString()));
    });
    connect(m_socket, &QAbstractSocket::disconnected, this, [this] { fail(dropped()); });
}

QString NetworkTransport::connectFailure(QAbstractSocket::SocketError error, const QString &where, const QString &systemText)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return tr("the server at %1 refused the connection").arg(where);
    case QAbstractSocket::HostNotFoundError:
        return tr("the host in %1 was not found").arg(where);
    case QAbstractSocket::SocketTimeoutError:
        return tr("the server at %1 did not answer within %2 s").arg(where).arg(TimeoutMs / 1000);
    default:
        return tr("the connection to the server at %1 failed: %2").arg(where, systemText);
    }
}

QString NetworkTransport::dropped() const
{
    // A server that turns a client away says why in plain text before it
    // hangs up (ser2net: "Port already in use", "Device open failure: ..."):
    // over RFC 2217 that is before it has confirmed the rate.
    const QString said = m_settled ? QString() : QString::fromLatin1(m_early).simplified();
    const bool text = std::all_of(said.begin(), said.end(), [](QChar c) { return c >= ' ' && c <= '~'; });
    return said.isEmpty() || !text ? tr("the connection to the server at %1 was dropped").arg(m_url.where())
                                   : tr("the server at %1 closed the connection: %2").arg(m_url.where(), said);
}

bool NetworkTransport::open(qint32 rate, QString *error)
{
    close();
    if (!m_url.error.isEmpty()) {
        if (error)
            *error = m_url.error;
        return false;
    }
    m_open = true;
    m_rate = rate;
    m_timer->start(TimeoutMs);
    // Queued: a connection refused at once would otherwise be told before
    // open() has returned.
    const quint64 run = m_run;
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            if (run == m_run && m_open)
                m_socket->connectToHost(m_url.host, m_url.port);
        },
        Qt::QueuedConnection);
    return true;
}

void NetworkTransport::connected()
{
    if (!m_open)
        return;
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connected = true;
    if (!m_url.rfc2217) {
        m_settled = true;
        m_timer->stop();
        emit ready();
        return;
    }
    // The settings need not wait for the server to take the option: it
    // reads them once it has.
    m_unconfirmed = 1;
    m_socket->write(rfc2217::negotiation() + rfc2217::lineSettings(quint32(m_rate)));
    m_socket->flush();
    m_timer->start(TimeoutMs);
}

void NetworkTransport::close()
{
    ++m_run;
    m_open = false;
    m_connected = false;
    m_unconfirmed = 0;
    m_timer->stop();
    m_socket->abort();
    m_decoder = rfc2217::Decoder();
    m_in.clear();
    m_early.clear();
    m_settled = false;
}

bool NetworkTransport::isReady() const
{
    return m_connected && m_unconfirmed == 0;
}

bool NetworkTransport::setRate(qint32 rate)
{
    if (!m_open || (m_url.rfc2217 && !m_connected)) {
        m_rate = rate;
        return true;
    }
    if (!m_url.rfc2217)
        return rate == m_rate;
    m_rate = rate;
    ++m_unconfirmed;
    m_socket->write(rfc2217::setBaudRate(quint32(rate)));
    m_socket->flush();
    m_timer->start(TimeoutMs);
    return true;
}

void NetworkTransport::write(const QByteArray &bytes)
{
    // Before the server is there nothing can go; the line waits for ready().
    if (!m_connected)
        return;
    m_socket->write(m_url.rfc2217 ? rfc2217::escape(bytes) : bytes);
    m_socket->flush();
}

QByteArray NetworkTransport::readAll()
{
    QByteArray bytes;
    bytes.swap(m_in);
    return bytes;
}

void NetworkTransport::take(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_open)
        return;
    rfc2217::Decoded decoded;
    if (m_url.rfc2217)
        m_decoder.feed(bytes, &decoded);
    else
        decoded.data = bytes;
    bool confirmed = false;
    quint32 other = 0; // a rate the server set in place of the one asked
    for (const quint32 rate : qAsConst(decoded.rates)) {
        // Only the answer to the last rate asked makes the line ready. A
        // server that names no rate (0) is taken to have set it.
        if (m_unconfirmed > 0 && --m_unconfirmed == 0) {
            confirmed = true;
            other = rate != 0 && rate != quint32(m_rate) ? rate : 0;
        }
    }
    // Asked again it would set the same: the line is not taken at a rate its
    // modules do not speak, nor is the server asked in a loop.
    if (other)
        return fail(tr("the serial server set %1 baud, not %2 as asked").arg(other).arg(m_rate));
    if (confirmed)
        m_timer->stop(), m_settled = true;
    else if (!m_settled && m_early.size() < MaxEarly)
        m_early += decoded.data.left(MaxEarly - m_early.size());
    m_in += decoded.data;
    // Answering a server that has hung up fails at once, and closes.
    const quint64 run = m_run;
    if (!decoded.reply.isEmpty()) {
        m_socket->write(decoded.reply);
        m_socket->flush();
    }
    if (run != m_run)
        return;
    if (!decoded.data.isEmpty() && !m_quiet)
        emit readyRead();
    if (confirmed && run == m_run)
        emit ready();
}

void NetworkTransport::pull()
{
    if (!m_connected)
        return;
#ifdef Q_OS_UNIX
    // The socket reads the system only from the event loop; asked without
    // bytes waiting it would wait, even if only for no time.
    int waiting = 0;
    if (::ioctl(int(m_socket->socketDescriptor()), FIONREAD, &waiting) == 0 && waiting > 0)
        m_socket->waitForReadyRead(0);
#endif
    // Read but not announced: a wait asked for from within readyRead.
    if (m_socket->bytesAvailable() > 0)
        take(m_socket->readAll());
}

void NetworkTransport::takeWaiting()
{
    pull();
    if (!m_in.isEmpty())
        emit readyRead();
}

void NetworkTransport::discard()
{
    // Still taken apart: the server's answers may be among them.
    m_quiet = true;
    pull();
    m_quiet = false;
    m_in.clear();
}

void NetworkTransport::fail(const QString &reason)
{
    if (!m_open)
        return;
    close();
    emit failed(reason);
}
