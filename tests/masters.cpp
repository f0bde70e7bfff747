#include "masters.h"

#include "protocol/rtu.h"
#include "share/modbus.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

bool Masters::run(const QString &step)
{
    const QRegularExpressionMatch m = QRegularExpression("^([mr])(\\d+)(?:\\*(\\d+))?([>?])(!?)(.*)$").match(step);
    if (!m.hasMatch())
        return false;
    const bool rtu = m.captured(1) == "r";
    std::shared_ptr<Client> &c = m_clients[m.captured(1) + m.captured(2)];
    if (!c) {
        c = std::make_shared<Client>();
        QObject::connect(&c->socket, &QTcpSocket::readyRead, [c = c.get(), rtu] {
            c->in += c->socket.readAll();
            // Whole answers only: an MBAP one by its length, an RTU one by its function.
            const auto whole = [c, rtu] {
                return rtu ? rtu::wholeReplyAt(c->in, 0) : c->in.size() > 6 && c->in.size() >= 6 + quint8(c->in[5]) ? 6 + quint8(c->in[5]) : 0;
            };
            for (int size; (size = whole());) {
                const QByteArray a = c->in.left(size);
                c->in.remove(0, size);
                c->heard << (rtu ? QString::fromLatin1(a.toHex()) : QStringLiteral("%1 %2 %3").arg(quint8(a[1])).arg(quint8(a[6])).arg(QString::fromLatin1(a.mid(7).toHex())));
                if (c->again > 0)
                    --c->again, c->socket.write(c->next()), c->socket.flush();
            }
        });
        QObject::connect(&c->socket, &QTcpSocket::disconnected, [c = c.get()] { c->heard << QStringLiteral("closed"); });
        c->socket.connectToHost(QHostAddress::LocalHost, m_ports[rtu]);
        c->socket.waitForConnected(3000);
    }
    if (m.captured(4) == "?") // having heard fewer is the transcript's to tell
        return QTest::qWaitFor([c, n = m.captured(6).toInt()] { return c->heard.size() >= n; }, 3000) || true;
    const QByteArray pdu = QByteArray::fromHex(m.captured(6).section(':', 1).toLatin1());
    const quint8 unit = quint8(m.captured(6).section(':', 0, 0).toInt());
    c->next = [c = c.get(), rtu, unit, pdu] { return rtu ? share::rtuFrame(unit, pdu) : share::mbapFrame(++c->sent, unit, pdu); };
    c->again = qMax(0, m.captured(3).toInt() - 1);
    c->socket.write(!m.captured(5).isEmpty() ? QByteArray::fromHex(m.captured(6).toLatin1()) : c->next());
    return true;
}

QString Masters::transcript() const
{
    QStringList all;
    for (auto it = m_clients.cbegin(); it != m_clients.cend(); ++it)
        all << it.key() + ": " + it.value()->heard.join(", ") + (it.value()->in.isEmpty() ? QString() : " +" + it.value()->in.toHex());
    return all.join(" | ");
}

bool GatewayProcess::start(const QStringList &arguments, const QString &ready)
{
    m_process.setWorkingDirectory(QDir::tempPath());
    m_process.start(HYGROVANE_BUILD_DIR "/hygrovane-gateway", arguments);
    return m_process.waitForStarted(5000) && waitFor(ready);
}

bool GatewayProcess::waitFor(const QString &text)
{
    return QTest::qWaitFor([&] { return said().contains(text) || m_process.state() == QProcess::NotRunning; }, 10000) && said().contains(text);
}

int GatewayProcess::stop()
{
    m_process.terminate();
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(10000))
        m_process.kill(), m_process.waitForFinished(1000);
    said();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
