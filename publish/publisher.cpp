#include "publish/publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

// Texts are translated in the context "publish::Publisher", named in full at
// every text for the catalogue's tools to find.
namespace publish {

namespace {

enum Ready { Misc, Read, Write };

// MQTT 3.1.1 CONNACK 4 and 5, MQTT 5's 134 and 135: the broker will not take
// these credentials, and asking again with the same ones will not change that.
bool credentialsRefused(int connack)
{
    return connack == 4 || connack == 5 || connack == 134 || connack == 135;
}

} // namespace

Publisher::Publisher(QObject *parent)
    : QObject(parent)
    , m_misc(new QTimer(this))
    , m_retry(new QTimer(this))
    , m_timeout(new QTimer(this))
{
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised);
    m_reason = QCoreApplication::translate("publish::Publisher", "not started");
    m_misc->setInterval(1000);
    connect(m_misc, &QTimer::timeout, this, [this] { service(Misc); });
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &Publisher::connectNow);
    m_timeout->setSingleShot(true);
    m_timeout->setInterval(10000);
    connect(m_timeout, &QTimer::timeout, this, [this] { fail(QCoreApplication::translate("publish::Publisher", "no answer from the broker"), true); });
}

Publisher::~Publisher()
{
    stop();
}

void Publisher::setState(State state, const QString &reason)
{
    m_state = state;
    m_reason = reason;
    emit changed();
}

void Publisher::start(const Settings &settings)
{
    stop();
    m_settings = settings;
    m_started = true;
    m_failures = 0;
    connectNow();
}

void Publisher::stop()
{
    m_retry->stop();
    if (m_client && m_state == Connected) {
        // Said before going: a clean disconnect does not fire the will.
        unwatch();
        send({statusTopic(m_settings.prefix), "offline", true});
        mosquitto_disconnect(m_client);
    }
    drop();
    if (m_started || m_state != Off)
        setState(Off, QCoreApplication::translate("publish::Publisher", "stopped"));
    m_started = false;
}

void Publisher::connectNow()
{
    drop();
    const Broker broker = parseBroker(m_settings.broker);
    if (!broker.valid)
        return fail(QCoreApplication::translate("publish::Publisher", "the broker address is not mqtt://host:port or mqtts://host:port"), false);
    setState(Connecting);
    m_timeout->start();
    if (!QHostAddress(broker.host).isNull())
        return connectTo(broker.host);
    // libmosquitto would look the name up itself, blocking: it is looked up
    // here first, off the event loop.
    m_lookup = QHostInfo::lookupHost(broker.host, this, [this, broker](const QHostInfo &info) {
        m_lookup = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            return fail(QCoreApplication::translate("publish::Publisher", "the host %1 is not found: %2").arg(broker.host, info.errorString()), true);
        // A certificate names the host, so TLS is given the name; the system
        // has just resolved it.
        connectTo(broker.tls ? broker.host : info.addresses().first().toString());
    });
}

void Publisher::connectTo(const QString &host)
{
    const Broker broker = parseBroker(m_settings.broker);
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client)
        return fail(QString::fromLocal8Bit(std::strerror(errno)), true);
    mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, m_settings.protocol == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_client, &Publisher::onConnect);
    mosquitto_publish_callback_set(m_client, &Publisher::onPublish);
    if (!m_settings.user.isEmpty())
        mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                  m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    mosquitto_will_set(m_client, statusTopic(m_settings.prefix).toUtf8().constData(), 7, "offline", 1, true);
    if (broker.tls) {
        // The certificate is always checked, against the CA file or the
        // system's store: there is no way to turn that off here.
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        if (!ca.isEmpty() && !QFileInfo(m_settings.caFile).isReadable())
            return fail(QCoreApplication::translate("publish::Publisher", "the CA file %1 cannot be read").arg(m_settings.caFile), false);
        if (mosquitto_tls_set(m_client, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                              nullptr, nullptr, nullptr) != MOSQ_ERR_SUCCESS)
            return fail(QCoreApplication::translate("publish::Publisher", "the CA file %1 cannot be read").arg(m_settings.caFile), false);
    }
    // On the loopback the handshake may be over, or failed, before this returns.
    errno = 0;
    const int rc = mosquitto_connect_async(m_client, host.toUtf8().constData(), broker.port, 30);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(errorText(rc, errno), true);
    const int fd = mosquitto_socket(m_client);
    m_read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(m_read, &QSocketNotifier::activated, this, [this] { service(Read); });
    connect(m_write, &QSocketNotifier::activated, this, [this] { service(Write); });
    m_misc->start();
    settle();
}

void Publisher::service(int ready)
{
    if (!m_client)
        return;
    errno = 0;
    int rc = ready == Read ? mosquitto_loop_read(m_client, 1) : ready == Write ? mosquitto_loop_write(m_client, 1) : mosquitto_loop_misc(m_client);
    const int error = errno;
    if (credentialsRefused(m_connack))
        return fail(QCoreApplication::translate("publish::Publisher", "the broker refused the user name or password"), false);
    if (m_connack > 0)
        return fail(QCoreApplication::translate("publish::Publisher", "the broker refused the connection (code %1)").arg(m_connack), true);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(errorText(rc, error), true);
    if (m_connack == 0 && m_state != Connected)
        established();
    settle();
}

QString Publisher::errorText(int rc, int error)
{
    // A failed certificate check is an error like any other: the connection
    // is dropped and tried again later, never made without TLS.
    if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE)
        return QCoreApplication::translate("publish::Publisher", "TLS failed: the broker's certificate is not trusted or does not name the host");
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(error));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

void Publisher::settle()
{
    fill();
    if (m_write)
        m_write->setEnabled(mosquitto_want_write(m_client));
    emit changed();
}

void Publisher::established()
{
    m_timeout->stop();
    m_failures = 0;
    m_announced.clear();
    setState(Connected);
    send({statusTopic(m_settings.prefix), "online", true});
    for (auto it = m_online.cbegin(); it != m_online.cend(); ++it) {
        announce(it.key());
        send({availabilityTopic(m_settings.prefix, it.key()), it.value() ? "online" : "offline", true});
    }
}

void Publisher::fail(const QString &reason, bool retry)
{
    drop();
    if (!retry) {
        m_started = false;
        return setState(Refused, reason);
    }
    const int delay = reconnectDelayMs(m_failures++);
    m_retry->start(delay);
    setState(Retrying, QCoreApplication::translate("publish::Publisher", "%1 (trying again in %2 s)").arg(reason).arg(delay / 1000));
}

void Publisher::drop()
{
    m_timeout->stop();
    m_misc->stop();
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup), m_lookup = -1;
    unwatch();
    if (m_client)
        mosquitto_destroy(m_client), m_client = nullptr;
    m_connack = -1;
    m_outbox.rewind();
    m_sent.clear();
}

// libmosquitto has closed the socket, or is about to: the notifiers go first,
// before the event loop looks at a descriptor no longer there.
void Publisher::unwatch()
{
    for (QSocketNotifier *n : {m_read, m_write}) {
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    }
    m_read = m_write = nullptr;
}

void Publisher::send(const Message &message)
{
    const QByteArray topic = message.topic.toUtf8();
    mosquitto_publish(m_client, nullptr, topic.constData(), message.payload.size(), message.payload.constData(), 1, message.retained);
}

void Publisher::announce(quint8 address)
{
    if (!m_settings.discovery || m_announced.contains(address))
        return;
    m_announced.insert(address);
    for (const Message &message : discovery(m_settings.prefix, address))
        send(message);
}

void Publisher::fill()
{
    if (m_state != Connected)
        return;
    Reading reading;
    quint64 seq = 0;
    while (m_outbox.inFlight() < InFlight && m_outbox.next(&reading, &seq)) {
        announce(reading.address);
        const QByteArray topic = stateTopic(m_settings.prefix, reading.address).toUtf8();
        const QByteArray payload = statePayload(reading);
        int mid = 0;
        if (mosquitto_publish(m_client, &mid, topic.constData(), payload.size(), payload.constData(), 1, false) != MOSQ_ERR_SUCCESS)
            return; // the connection is going; the loop says so, and all is sent again
        m_sent.insert(mid, seq);
    }
}

void Publisher::addReading(const QDateTime &when, quint8 address, const trend::Values &values)
{
    if (!m_started)
        return;
    m_outbox.add({when, address, values});
    settle();
}

void Publisher::setAvailability(quint8 address, bool online)
{
    const auto known = m_online.constFind(address);
    if (known != m_online.cend() && *known == online)
        return;
    m_online[address] = online;
    if (m_state != Connected)
        return;
    announce(address);
    send({availabilityTopic(m_settings.prefix, address), online ? "online" : "offline", true});
    settle();
}

void Publisher::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<Publisher *>(self)->m_connack = rc;
}

void Publisher::onPublish(mosquitto *, void *self, int mid)
{
    auto *p = static_cast<Publisher *>(self);
    const auto sent = p->m_sent.constFind(mid);
    if (sent != p->m_sent.cend()) {
        p->m_outbox.acknowledged(*sent);
        p->m_sent.erase(sent);
    }
}

} // namespace publish
