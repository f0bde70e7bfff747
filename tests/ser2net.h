// A real ser2net (Debian package ser2net) in front of a pseudo-terminal, as
// an Ethernet serial server stands in front of a line: on 127.0.0.1 only, at
// a port free when it starts, its configuration in a folder of its own.
#ifndef HYGROVANE_SER2NET_H
#define HYGROVANE_SER2NET_H

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

class Ser2net
{
public:
    enum Mode { Raw, Rfc2217 };
    ~Ser2net() { stop(); }
    // Serves `device`, set to 9600 8N1 until a client says otherwise: true
    // once it listens.
    bool start(const QString &device, Mode mode);
    void stop();
    // The port name that reaches it: tcp://127.0.0.1:PORT or rfc2217://...
    QString url() const;
    // Why it did not start: its own words, or that it is not installed.
    QString log() const { return m_log; }

private:
    bool listening() const;
    QTemporaryDir m_dir;
    QProcess m_process;
    Mode m_mode = Raw;
    int m_port = 0;
    QString m_log;
};

// An RFC 2217 server of the test's own, on 127.0.0.1, that speaks just
// enough of it: every SET-BAUDRATE is confirmed with `rate`, whatever was asked.
class OtherRateServer : public QTcpServer
{
public:
    explicit OtherRateServer(quint32 rate);
    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(serverPort()); }
    int connections = 0;
    int asked = 0; // SET-BAUDRATEs, over all connections
};

#endif
