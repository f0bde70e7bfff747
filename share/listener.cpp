#include "share/listener.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// Texts are translated in the context "share::Listener", named in full at
// every text for the catalogue's tools to find.
namespace share {

namespace {

// What is read from a client at a time: a few hundred requests.
constexpr qint64 kReadBuffer = 16 * 1024;

QString endpoint(const QHostAddress &host, quint16 port)
{
    const QString address = host.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(host.toString()) : host.toString();
    return QStringLiteral("%1:%2").arg(address).arg(port);
}

} // namespace

Listener::Listener(Framing framing, Forwarder *forwarder, const Limits &limits, QObject *parent)
    : QObject(parent)
    , m_framing(framing)
    , m_forwarder(forwarder)
    , m_limits(limits)
    , m_server(new QTcpServer(this))
{
    // Every connection is taken at once, one too many only to be closed.
    m_server->setMaxPendingConnections(1);
    connect(m_server, &QTcpServer::newConnection, this, &Listener::accept);
    // Out of file descriptors, say: the clients already in are served on.
    connect(m_server, &QTcpServer::acceptError, this, [this] {
        emit said(QCoreApplication::translate("share::Listener", "%1 cannot take a client: %2").arg(name(), m_server->errorString()));
    });
}

Listener::~Listener()
{
    close();
}

QString Listener::name() const
{
    return m_framing == Framing::Mbap ? QStringLiteral("Modbus TCP") : QStringLiteral("RTU over TCP");
}

QString Listener::key() const
{
    return m_framing == Framing::Mbap ? QStringLiteral("modbus_tcp") : QStringLiteral("rtu_over_tcp");
}

quint16 Listener::port() const
{
    return m_server->serverPort();
}

bool Listener::listen(const QHostAddress &host, quint16 port)
{
    if (!m_server->listen(host, port)) {
        emit said(QCoreApplication::translate("share::Listener", "%1 cannot listen on %2: %3")
                      .arg(name(), endpoint(host, port), m_server->errorString()));
        return false;
    }
    const QString at = endpoint(host, m_server->serverPort());
    emit said(host.isLoopback()
                  ? QCoreApplication::translate("share::Listener", "%1 listening on %2.").arg(name(), at)
                  : QCoreApplication::translate("share::Listener",
                                                "%1 listening on %2, open to other hosts as asked: Modbus has no "
                                                "authentication, so only a trusted network may reach it.")
                        .arg(name(), at));
    return true;
}

void Listener::close()
{
    m_server->close();
    while (!m_clients.empty()) {
        const quint64 id = m_clients.begin()->first;
        Client c = m_clients.begin()->second;
        m_clients.erase(m_clients.begin());
        m_forwarder->forget(id);
        c.socket->disconnect(this);
        c.socket->abort();
        c.socket->deleteLater();
    }
    m_figures.clients = 0;
}

void Listener::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const QString peer = endpoint(socket->peerAddress(), socket->peerPort());
        if (int(m_clients.size()) >= m_limits.maxClients) {
            emit said(QCoreApplication::translate("share::Listener", "%1: the client %2 is turned away: %3 clients are connected already.")
                          .arg(name(), peer)
                          .arg(m_clients.size()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const quint64 id = ++m_nextId;
        Client &c = m_clients[id];
        c.socket = socket;
        c.peer = peer;
        socket->setReadBufferSize(kReadBuffer);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        c.idle = new QTimer(socket);
        c.idle->setSingleShot(true);
        c.idle->start(m_limits.idleMs);
        connect(c.idle, &QTimer::timeout, this, [this, id] {
            drop(id, QCoreApplication::translate("share::Listener", "silent for %1 s").arg(m_limits.idleMs / 1000.0));
        });
        c.cutShort = new QTimer(socket);
        c.cutShort->setSingleShot(true);
        connect(c.cutShort, &QTimer::timeout, this, [this, id] {
            drop(id, QCoreApplication::translate("share::Listener", "a request cut short for %1 s").arg(m_limits.cutShortMs / 1000.0));
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { receive(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { drop(id, QString()); });
        m_figures.clients = int(m_clients.size());
    }
}

void Listener::receive(quint64 id)
{
    auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    Client &c = it->second;
    c.in += c.socket->readAll();
    c.idle->start(m_limits.idleMs);
    for (;;) {
        const Taken taken = take(m_framing, c.in);
        if (taken.kind == Taken::NeedMore)
            break;
        if (taken.kind == Taken::Bad)
            return drop(id, m_framing == Framing::Mbap ? QCoreApplication::translate("share::Listener", "a malformed MBAP header")
                                                       : QCoreApplication::translate("share::Listener", "bytes that make no request"));
        c.in.remove(0, taken.size);
        if (taken.kind == Taken::Dropped)
            continue; // a wrong CRC: dropped unanswered, as a module drops it
        ++m_figures.requests;
        const Request request = taken.request;
        m_forwarder->ask(id, c.peer, request, [this, id, request](const Answer &a) { answer(id, request, a); });
        // Answered at once, it may have been closed meanwhile.
        if (!m_clients.count(id))
            return;
    }
    if (c.in.isEmpty())
        c.cutShort->stop();
    else if (!c.cutShort->isActive())
        c.cutShort->start(m_limits.cutShortMs);
}

void Listener::answer(quint64 id, const Request &request, const Answer &a)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    if (a.source == Answer::Memory)
        ++m_figures.fromMemory;
    else if (a.source == Answer::Line)
        ++m_figures.forwarded;
    if (a.refusedWrite)
        ++m_figures.refusedWrites;
    const quint8 function = request.pdu.isEmpty() ? 0 : quint8(request.pdu[0]);
    QByteArray pdu = a.pdu;
    QByteArray bytes;
    if (m_framing == Framing::Rtu) {
        // As the line would have it: nothing where no module answered, the
        // bytes as they came where answers collided.
        if (a.kind == Answer::Pdu)
            bytes = rtuFrame(request.unit, pdu);
        else if (a.kind == Answer::Garbled)
            bytes = a.garbled;
    } else {
        if (a.kind != Answer::Pdu)
            pdu = exceptionPdu(function, a.kind == Answer::Silent ? NoResponse : DeviceFailure);
        bytes = mbapFrame(request.transaction, request.unit, pdu);
    }
    if (bytes.isEmpty())
        return;
    if (isException(pdu))
        ++m_figures.exceptions;
    QTcpSocket *socket = it->second.socket;
    socket->write(bytes);
    if (socket->bytesToWrite() > m_limits.mostUnread)
        drop(id, QCoreApplication::translate("share::Listener", "it does not read its answers"));
}

void Listener::drop(quint64 id, const QString &why)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    const Client c = it->second;
    m_clients.erase(it);
    m_figures.clients = int(m_clients.size());
    m_forwarder->forget(id);
    if (!why.isEmpty())
        emit said(QCoreApplication::translate("share::Listener", "%1: the client %2 is closed: %3.").arg(name(), c.peer, why));
    c.socket->disconnect(this);
    c.socket->abort();
    c.socket->deleteLater();
}

QJsonObject Listener::diagnostics() const
{
    return {
        {QStringLiteral("port"), int(port())},
        {QStringLiteral("clients"), m_figures.clients},
        {QStringLiteral("requests"), double(m_figures.requests)},
        {QStringLiteral("from_memory"), double(m_figures.fromMemory)},
        {QStringLiteral("forwarded"), double(m_figures.forwarded)},
        {QStringLiteral("refused_writes"), double(m_figures.refusedWrites)},
        {QStringLiteral("exceptions"), double(m_figures.exceptions)},
    };
}

} // namespace share
