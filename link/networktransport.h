#ifndef HYGROVANE_NETWORKTRANSPORT_H
#define HYGROVANE_NETWORKTRANSPORT_H

#include "link/rfc2217.h"
#include "link/transport.h"

#include <QAbstractSocket>

class QTcpSocket;
class QTimer;

// A line behind an Ethernet serial server, named tcp://HOST:PORT (raw bytes:
// the rate is whatever the server was set to) or rfc2217://HOST:PORT (the
// rate set through Telnet COM Port Control). Nothing here blocks: open()
// only begins connecting, and ready() tells when the line can carry a
// request.
class NetworkTransport : public Transport
{
    Q_OBJECT

public:
    NetworkTransport(const QString &name, QObject *parent);

    QString name() const override { return m_name; }
    // False only for a name that reaches no server; a server that cannot
    // be reached is told through failed().
    bool open(qint32 rate, QString *error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    // Connected, and over RFC 2217 the last rate asked confirmed.
    bool isReady() const override;
    bool canChangeRate() const override { return m_url.rfc2217; }
    bool keepsConnection() const override { return true; }
    qint32 rate() const override { return m_rate; }
    // Raw: true only for the rate it has. RFC 2217: sent at once, and the
    // line not ready until the server confirms it; a server that sets
    // another rate fails the line.
    bool setRate(qint32 rate) override;
    void write(const QByteArray &bytes) override;
    QByteArray readAll() override;
    void takeWaiting() override;
    void discard() override;

    // How long connecting may take, and the server's confirmation of a rate.
    static constexpr int TimeoutMs = 3000;
    // Why connecting to the server at `where` (HOST:PORT) failed.
    static QString connectFailure(QAbstractSocket::SocketError error, const QString &where, const QString &systemText);

private:
    void connected();
    // What the socket holds, taken apart and kept for readAll().
    void take(const QByteArray &bytes);
    // Hands over what the system holds for the socket now.
    void pull();
    void fail(const QString &reason);
    QString dropped() const;

    QString m_name;
    rfc2217::PortUrl m_url;
    QTcpSocket *m_socket;
    QTimer *m_timer; // connecting, then a rate's confirmation
    rfc2217::Decoder m_decoder;
    QByteArray m_in;
    // What came before the line was first ready: the server's words, if it
    // hangs up then.
    QByteArray m_early;
    static constexpr int MaxEarly = 200;
    bool m_settled = false; // ready once since connecting
    qint32 m_rate = 0;
    int m_unconfirmed = 0; // rates sent and not confirmed yet
    quint64 m_run = 0;     // which open() a queued connect belongs to
    bool m_open = false;
    bool m_connected = false;
    bool m_quiet = false; // discarding: nothing is announced
};

#endif
