#include "ser2net.h"

#include "fixture.h"
#include "link/rfc2217.h"

#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include <memory>

bool Ser2net::start(const QString &device, Mode mode)
{
    stop();
    m_mode = mode;
    // The same port again on a restart, as a server in a cabinet keeps its address.
    if (!m_port)
        m_port = MqttBroker::freePort();
    m_log.clear();
    const QString program = MqttBroker::program("ser2net");
    if (program.isEmpty()) {
        m_log = QStringLiteral("ser2net is not installed (Debian package ser2net)");
        return false;
    }
    // "local": a pseudo-terminal has no modem lines to watch; "nodelay": as
    // the README sets a server up, a reply not held back for an acknowledgement.
    const QString config = QStringLiteral("%YAML 1.1\n---\nconnection: &line\n  accepter: %1tcp(nodelay),127.0.0.1,%2\n"
                                          "  connector: serialdev,%3,9600n81,local\n")
                               .arg(mode == Rfc2217 ? "telnet(rfc2217)," : "").arg(m_port).arg(device);
    QFile file(m_dir.filePath("ser2net.yaml"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return false;
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    // In the foreground; -u: no lock file, which would outlive a killed
    // server and keep the next test with the same pseudo-terminal off it.
    m_process.start(program, {"-n", "-u", "-c", file.fileName()});
    // It starts even when its one connection is refused: only the listening
    // port tells that it serves.
    const bool up = m_process.waitForStarted(3000)
        && QTest::qWaitFor([this] { return listening() || m_process.state() != QProcess::Running; }, 5000)
        && listening();
    m_log += QString::fromLocal8Bit(m_process.readAll());
    return up;
}

void Ser2net::stop()
{
    // It may let the first SIGTERM pass while starting.
    stopServer(m_process, 3000);
}

QString Ser2net::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_mode == Rfc2217 ? "rfc2217" : "tcp").arg(m_port);
}

bool Ser2net::listening() const
{
    // The kernel's table of TCP sockets: 0100007F:PORT in state 0A (LISTEN).
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray wanted = QStringLiteral(":%1 00000000:0000 0A").arg(m_port, 4, 16, QChar('0')).toUpper().toLatin1();
    return table.readAll().contains("0100007F" + wanted);
}

OtherRateServer::OtherRateServer(quint32 rate)
{
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, [this, rate] {
        QTcpSocket *client = nextPendingConnection();
        auto in = std::make_shared<QByteArray>();
        ++connections;
        connect(client, &QTcpSocket::readyRead, [this, client, in, rate] {
            *in += client->readAll();
            // IAC SB COM-PORT SET-BAUDRATE, four bytes, IAC SE: confirmed as 101.
            for (int at; (at = in->indexOf("\xff\xfa\x2c\x01")) >= 0 && in->size() >= at + 10; ++asked) {
                in->remove(0, at + 10);
                client->write(rfc2217::setBaudRate(rate).replace(3, 1, "\x65"));
            }
        });
    });
}
