#ifndef HYGROVANE_SHARE_LISTENER_H
#define HYGROVANE_SHARE_LISTENER_H

#include "share/forwarder.h"
#include "share/modbus.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <map>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace share {

// What a client may do before it is closed.
struct Limits
{
    int maxClients = 16;
    int idleMs = 120000;   // nothing heard from it this long
    int cutShortMs = 10000; // a frame begun and not finished this long
    // Answers it has not read yet: one that sends faster than it reads
    // would otherwise grow them without end.
    qint64 mostUnread = 64 * 1024;
};

// One TCP port the plant's other masters reach the line at, speaking Modbus
// TCP or RTU over TCP, on the event loop: each client's bytes framed, its
// requests handed to the forwarder and the answers sent back in its framing.
// A client that misbehaves is closed alone; the others, the watch and the
// broker go on.
class Listener : public QObject
{
    Q_OBJECT

public:
    struct Figures
    {
        int clients = 0;
        quint64 requests = 0;
        quint64 fromMemory = 0;
        quint64 forwarded = 0;
        quint64 refusedWrites = 0;
        quint64 exceptions = 0;
    };

    Listener(Framing framing, Forwarder *forwarder, const Limits &limits = Limits(), QObject *parent = nullptr);
    ~Listener() override;

    // Listening from now on, said; false, having said why, when it cannot.
    bool listen(const QHostAddress &host, quint16 port);
    // The port and every client closed.
    void close();
    quint16 port() const;
    QString name() const; // "Modbus TCP", "RTU over TCP"
    QString key() const;  // its name in the diagnostics: "modbus_tcp", "rtu_over_tcp"
    const Figures &figures() const { return m_figures; }
    const Limits &limits() const { return m_limits; }
    // The figures as the gateway's diagnostics show them.
    QJsonObject diagnostics() const;

signals:
    void said(const QString &text);

private:
    struct Client
    {
        QTcpSocket *socket = nullptr;
        QString peer;
        QByteArray in;
        QTimer *idle = nullptr;
        QTimer *cutShort = nullptr;
    };
    void accept();
    void receive(quint64 id);
    void answer(quint64 id, const Request &request, const Answer &answer);
    void drop(quint64 id, const QString &why);

    Framing m_framing;
    Forwarder *m_forwarder;
    Limits m_limits;
    QTcpServer *m_server;
    std::map<quint64, Client> m_clients;
    quint64 m_nextId = 0;
    Figures m_figures;
};

} // namespace share

#endif
