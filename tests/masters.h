// The plant's other masters, as a test plays them against the gateway's
// listeners on 127.0.0.1, and the gateway itself as a service runs it.
#ifndef HYGROVANE_MASTERS_H
#define HYGROVANE_MASTERS_H

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>

#include <functional>
#include <memory>

// Clients by name: "m1", "m2"... speak Modbus TCP to one port, "r1"... RTU
// over TCP to the other, each connected at its first step. Steps:
// "m1>7:0300000005" the PDU to unit 7 (MBAP's transaction counting from 1
// for each client), "m1*20>7:0300000005" the same 20 times, each as soon
// as the last is answered, "m1>!HEX" raw bytes, "m1?N" until m1 has heard N things.
// What each heard, in order: "1 7 030a..." (transaction, unit, PDU), an RTU
// frame in hex, "closed".
class Masters
{
public:
    Masters(quint16 mbapPort, quint16 rtuPort) : m_ports{mbapPort, rtuPort} {}
    bool run(const QString &step); // false for a step it does not know
    QString transcript() const;    // "m1: 1 7 030a..., closed | r1: ..."

private:
    struct Client
    {
        QByteArray in;
        QStringList heard;
        quint16 sent = 0;
        std::function<QByteArray()> next; // the last request again
        int again = 0;                    // times, each as soon as an answer has come
        QTcpSocket socket; // last: it says it is closed as it goes
    };
    quint16 m_ports[2];
    QMap<QString, std::shared_ptr<Client>> m_clients;
};

// hygrovane-gateway with these arguments, where no catalogue is (it speaks
// English, as a service does), once it has said `ready`; stopped with
// SIGTERM, its exit code told (-1 when it had to be killed).
class GatewayProcess
{
public:
    ~GatewayProcess() { stop(); }
    bool start(const QStringList &arguments, const QString &ready);
    bool waitFor(const QString &text); // 10 s at most
    int stop();
    QString said() { return m_said += QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    QString m_said;
};

#endif
