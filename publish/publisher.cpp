#include "publish/publisher.h"

#include "publish/reasons.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <cerrno>

// Texts are translated in the context "publish::Publisher", named in full at
// every text for the catalogue's tools to find.
namespace publish {

namespace {

enum Ready { Misc, Read, Write };

// MQTT 3.1.1 CONNACK 4 and 5, MQTT 5's 134 and 135: the broker will not take
// these credentials, and asking again with the same ones changes that only
// once its accounts are put right.
bool credentialsRefused(int connack)
{
    return connack == 4 || connack == 5 || connack == 134 || connack == 135;
}

// libmosquitto set up once for the program; what that gave, for every
// connection to say.
int library()
{
    static const int rc = mosquitto_lib_init();
    return rc;
}

// The most of a CA file read to check it: a system bundle is a few hundred kB.
constexpr qint64 kCaFileMost = 16 << 20;
// The most a stop waits for the broker to take its last words.
constexpr qint64 kLeavingMs = 1000;

} // namespace

Publisher::Publisher(QObject *parent)
    : QObject(parent)
    , m_misc(new QTimer(this))
    , m_retry(new QTimer(this))
    , m_timeout(new QTimer(this))
{
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

void Publisher::start(const Settings &settings, const QStringList &lookFirst)
{
    stop();
    m_settings = settings;
    const QString problem = prefixProblem(settings.prefix);
    if (!problem.isEmpty())
        return setState(Refused, problem);
    m_started = true;
    m_failures = 0;
    m_cause.clear();
    m_refusing = false;
    m_lookFirst = lookFirst;
    // Another prefix's, maybe: set again by the caller.
    m_retained.clear();
    m_look = lookFirst.isEmpty() ? Claimed : Looking;
    m_seen.clear();
    connectNow();
}

void Publisher::claim()
{
    if (!m_started || m_look != Looked)
        return;
    m_look = Claimed;
    // The look's connection had no will: the one to publish on has.
    if (m_client && m_state == Connecting)
        mosquitto_disconnect(m_client);
    connectNow();
}

void Publisher::keepIn(Store *store)
{
    m_outbox.keepIn(store);
    settle();
}

bool Publisher::commit()
{
    const bool ok = m_outbox.commit();
    settle();
    return ok;
}

void Publisher::setRetained(const Message &message)
{
    m_retained[message.topic] = message.payload;
    if (m_state == Connected && send({message.topic, message.payload, true}))
        settle();
}

void Publisher::stop()
{
    m_retry->stop();
    if (m_client && m_state == Connected) {
        // Said before going: a clean disconnect does not fire the will.
        // Either failing, the socket closes below without a disconnect all
        // the same, and the broker's will says "offline" instead.
        unwatch();
        // No module is heard once the tool is gone: its availability, retained,
        // would go on saying "online".
        m_leaving.clear();
        bool said = true;
        for (auto it = m_online.cbegin(); said && it != m_online.cend(); ++it) {
            const QByteArray module = availabilityTopic(m_settings.prefix, it.key()).toUtf8();
            int mid = 0;
            said = !it.value() || mosquitto_publish(m_client, &mid, module.constData(), 7, "offline", 1, true) == MOSQ_ERR_SUCCESS;
            m_leaving.insert(mid);
        }
        const QByteArray topic = statusTopic(m_settings.prefix).toUtf8();
        int mid = 0;
        if (said && mosquitto_publish(m_client, &mid, topic.constData(), 7, "offline", 1, true) == MOSQ_ERR_SUCCESS) {
            // libmosquitto holds back what is past its in-flight maximum until
            // acknowledgements make room: a broker acknowledges in moments,
            // and one that does not says the will for us.
            m_leaving.insert(mid);
            m_leaving.remove(0);
            QElapsedTimer waited;
            waited.start();
            while (!m_leaving.isEmpty() && waited.elapsed() < kLeavingMs && mosquitto_loop(m_client, 20, 1) == MOSQ_ERR_SUCCESS) {
            }
            mosquitto_disconnect(m_client);
        }
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
    if (library() != MOSQ_ERR_SUCCESS)
        return fail(libraryReason(library(), 0), false);
    errno = 0;
    m_client = mosquitto_new(nullptr, true, this);
    if (!m_client)
        return fail(systemReason(errno), true);
    m_logged.clear();
    mosquitto_log_callback_set(m_client, &Publisher::onLog);
    mosquitto_connect_callback_set(m_client, &Publisher::onConnect);
    mosquitto_publish_callback_set(m_client, &Publisher::onPublish);
    mosquitto_message_callback_set(m_client, &Publisher::onMessage);
    mosquitto_subscribe_callback_set(m_client, &Publisher::onSubscribe);
    mosquitto_unsubscribe_callback_set(m_client, &Publisher::onUnsubscribe);
    // A setting refused now is refused on every try: only memory may come back.
    int rc = mosquitto_int_option(m_client, MOSQ_OPT_PROTOCOL_VERSION, m_settings.protocol == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.user.isEmpty())
        rc = mosquitto_username_pw_set(m_client, m_settings.user.toUtf8().constData(),
                                       m_settings.password.isEmpty() ? nullptr : m_settings.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && m_look == Claimed)
        rc = mosquitto_will_set(m_client, statusTopic(m_settings.prefix).toUtf8().constData(), 7, "offline", 1, true);
    if (rc != MOSQ_ERR_SUCCESS)
        return fail(libraryReason(rc, errno), rc == MOSQ_ERR_NOMEM);
    if (broker.tls) {
        // The certificate is always checked, against the CA file or the
        // system's store: there is no way to turn that off here.
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        if (!ca.isEmpty()) {
            QFile file(m_settings.caFile);
            if (!file.open(QIODevice::ReadOnly))
                return fail(QCoreApplication::translate("publish::Publisher", "the CA file %1 cannot be read").arg(m_settings.caFile), false);
            // Else the TLS library says only that the broker's certificate
            // does not check out, as if the broker were to blame.
            if (!isPemCertificate(file.read(kCaFileMost)))
                return fail(QCoreApplication::translate("publish::Publisher", "the CA file %1 is not a certificate in PEM form").arg(m_settings.caFile), false);
        }
        rc = mosquitto_tls_set(m_client, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_INVAL && ca.isEmpty())
            return fail(QCoreApplication::translate("publish::Publisher", "the system's certificates in %1 cannot be read").arg(QStringLiteral("/etc/ssl/certs")), false);
        if (rc == MOSQ_ERR_INVAL)
            return fail(QCoreApplication::translate("publish::Publisher", "the CA file %1 cannot be read").arg(m_settings.caFile), false);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(libraryReason(rc, errno), rc == MOSQ_ERR_NOMEM);
    }
    // On the loopback the handshake may be over, or failed, before this returns.
    errno = 0;
    rc = mosquitto_connect_async(m_client, host.toUtf8().constData(), broker.port, 30);
    if (rc != MOSQ_ERR_SUCCESS)
        return lost(rc, errno);
    const int fd = mosquitto_socket(m_client);
    if (fd < 0)
        return lost(MOSQ_ERR_NO_CONN, 0);
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
        return fail(QCoreApplication::translate("publish::Publisher", "the broker refused the user name or password"), m_settings.retryRefused);
    if (m_connack > 0)
        return fail(QCoreApplication::translate("publish::Publisher", "the broker refused the connection (code %1)").arg(m_connack), true);
    if (rc != MOSQ_ERR_SUCCESS)
        return lost(rc, error);
    if (m_connack == 0 && m_state != Connected)
        established();
    settle();
}

// libmosquitto gave up on the connection, or would not begin it. A failed
// certificate check is an error like any other: the connection is dropped
// and tried again later, never made without TLS.
void Publisher::lost(int rc, int error)
{
    const bool tls = parseBroker(m_settings.broker).tls;
    QString reason;
    if (tls && (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_TLS_HANDSHAKE))
        reason = tlsReason(m_logged, m_settings.caFile);
    // A TLS listener hangs up on a plain CONNECT, and answers nothing.
    else if (!tls && m_state == Connecting && (rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_PROTOCOL))
        reason = QCoreApplication::translate("publish::Publisher", "the broker hung up without answering: is that port a TLS one (mqtts://)?");
    fail(reason.isEmpty() ? libraryReason(rc, error) : reason, true);
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
    if (m_look != Claimed) {
        // Retained messages come after the subscription's acknowledgement,
        // and before that of the unsubscription that follows it.
        if (m_look == Looked || m_lookMid >= 0)
            return;
        QVector<QByteArray> topics;
        for (const QString &topic : qAsConst(m_lookFirst))
            topics << topic.toUtf8();
        QVector<char *> names;
        for (QByteArray &topic : topics)
            names << topic.data();
        errno = 0;
        const int rc = mosquitto_subscribe_multiple(m_client, &m_lookMid, names.size(), names.data(), 0, 0, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return lost(rc, errno);
        return;
    }
    ++m_connections;
    m_timeout->stop();
    m_failures = 0;
    m_cause.clear();
    m_refusing = false;
    m_announced.clear();
    // Connected: libmosquitto's log is no longer read, nor made.
    mosquitto_log_callback_set(m_client, nullptr);
    setState(Connected);
    // The modules an earlier run left on the broker come back retained, for
    // a scan to clear those no longer on the line.
    errno = 0;
    int rc = mosquitto_subscribe(m_client, nullptr, (m_settings.prefix + QStringLiteral("/+/availability")).toUtf8().constData(), 0);
    // Announcing nothing, it takes back what an earlier run announced.
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.discovery)
        rc = mosquitto_subscribe(m_client, nullptr, discoveryFilter(m_settings.prefix).toUtf8().constData(), 0);
    if (rc != MOSQ_ERR_SUCCESS)
        return lost(rc, errno);
    if (!send({statusTopic(m_settings.prefix), "online", true}))
        return;
    for (auto it = m_retained.cbegin(); it != m_retained.cend(); ++it) {
        if (!send({it.key(), it.value(), true}))
            return;
    }
    for (auto it = m_online.cbegin(); it != m_online.cend(); ++it) {
        if (!announce(it.key()) || !send({availabilityTopic(m_settings.prefix, it.key()), it.value() ? "online" : "offline", true}))
            return;
    }
}

void Publisher::fail(const QString &reason, bool retry)
{
    m_cause = reason;
    m_refusing = m_connack > 0;
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
    m_lookMid = -1;
    m_outbox.rewind();
    m_sent.clear();
    m_held.clear();
    m_configs.clear();
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

// Handed to libmosquitto; else the connection is given up, with the reason,
// and false tells the caller to go no further.
bool Publisher::send(const Message &message)
{
    const QByteArray topic = message.topic.toUtf8();
    errno = 0;
    const int rc = mosquitto_publish(m_client, nullptr, topic.constData(), message.payload.size(), message.payload.constData(), 1, message.retained);
    if (rc != MOSQ_ERR_SUCCESS)
        lost(rc, errno);
    return rc == MOSQ_ERR_SUCCESS;
}

bool Publisher::announce(quint8 address)
{
    if (!m_settings.discovery || m_announced.contains(address))
        return true;
    for (const Message &message : discovery(m_settings.prefix, address)) {
        if (!send(message))
            return false;
    }
    m_announced.insert(address);
    return true;
}

// What the broker holds of addresses no module is at any more goes, by an
// empty retained message to each topic: the discovery configs too, whether
// or not this run announces any, for an earlier run may have.
bool Publisher::tidy()
{
    while (!m_configs.isEmpty()) {
        const QString topic = *m_configs.cbegin();
        if (!send({topic, {}, true}))
            return false;
        m_configs.remove(topic);
    }
    while (!m_clear.isEmpty()) {
        const quint8 address = *m_clear.cbegin();
        QVector<Message> gone = discovery(m_settings.prefix, address);
        gone.append({availabilityTopic(m_settings.prefix, address), {}, true});
        for (Message &message : gone) {
            message.payload.clear();
            if (!send(message))
                return false; // the address stays, for the next connection
        }
        m_clear.remove(address);
        m_held.remove(address);
    }
    return true;
}

void Publisher::fill()
{
    if (m_state != Connected || !tidy())
        return;
    Reading reading;
    quint64 seq = 0;
    while (m_outbox.inFlight() < InFlight && m_outbox.next(&reading, &seq)) {
        if (!announce(reading.address))
            return;
        const QByteArray topic = stateTopic(m_settings.prefix, reading.address).toUtf8();
        const QByteArray payload = statePayload(reading);
        int mid = 0;
        errno = 0;
        const int rc = mosquitto_publish(m_client, &mid, topic.constData(), payload.size(), payload.constData(), 1, false);
        if (rc != MOSQ_ERR_SUCCESS)
            return lost(rc, errno); // and all is sent again on the next connection
        m_sent.insert(mid, seq);
    }
}

// A module answers there: nothing of it is to be cleared.
void Publisher::onLine(quint8 address)
{
    m_absent.remove(address);
    m_clear.remove(address);
}

void Publisher::addReading(const QDateTime &when, quint8 address, const trend::Values &values)
{
    onLine(address);
    if (!m_started)
        return;
    m_outbox.add({when, address, values});
    settle();
}

void Publisher::setAvailability(quint8 address, bool online)
{
    onLine(address);
    const auto known = m_online.constFind(address);
    if (known != m_online.cend() && *known == online)
        return;
    m_online[address] = online;
    if (m_state != Connected)
        return;
    if (announce(address) && send({availabilityTopic(m_settings.prefix, address), online ? "online" : "offline", true}))
        settle();
}

void Publisher::lineScanned(quint8 first, quint8 last, const QSet<quint8> &found)
{
    for (int address = first; address <= last; ++address) {
        const quint8 a = quint8(address);
        if (found.contains(a)) {
            onLine(a);
            continue;
        }
        m_absent.insert(a);
        // Known to be on the broker: published by this run, or seen
        // retained from an earlier one.
        const bool published = m_online.remove(a) > 0;
        if (m_announced.remove(a) || published || m_held.contains(a))
            m_clear.insert(a);
    }
    settle();
}

void Publisher::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<Publisher *>(self)->m_connack = rc;
}

void Publisher::onPublish(mosquitto *, void *self, int mid)
{
    auto *p = static_cast<Publisher *>(self);
    p->m_leaving.remove(mid);
    const auto sent = p->m_sent.constFind(mid);
    if (sent != p->m_sent.cend()) {
        p->m_outbox.acknowledged(*sent);
        p->m_sent.erase(sent);
    }
}

void Publisher::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *p = static_cast<Publisher *>(self);
    // What the broker held before this connection comes retained; what is
    // published meanwhile, this publisher's own included, does not.
    if (!message->retain || message->payloadlen <= 0 || !message->topic)
        return;
    const QString topic = QString::fromUtf8(message->topic);
    if (p->m_look != Claimed) {
        if (p->m_lookFirst.contains(topic))
            p->m_seen.insert(topic, QByteArray(static_cast<const char *>(message->payload), message->payloadlen));
        return;
    }
    if (!p->m_settings.discovery && topic.startsWith(discoveryFilter(p->m_settings.prefix).chopped(8)) && topic.endsWith(QLatin1String("/config"))) {
        p->m_configs.insert(topic);
        return;
    }
    bool number = false;
    const int address = topic.mid(p->m_settings.prefix.size() + 1).section(QLatin1Char('/'), 0, 0).toInt(&number);
    if (!number || address < 0 || address > 255 || topic != availabilityTopic(p->m_settings.prefix, quint8(address)))
        return;
    p->m_held.insert(quint8(address));
    if (p->m_absent.contains(quint8(address)))
        p->m_clear.insert(quint8(address));
}

void Publisher::onSubscribe(mosquitto *client, void *self, int mid, int, const int *)
{
    auto *p = static_cast<Publisher *>(self);
    if (p->m_look != Looking || mid != p->m_lookMid)
        return;
    QVector<QByteArray> topics;
    for (const QString &topic : qAsConst(p->m_lookFirst))
        topics << topic.toUtf8();
    QVector<char *> names;
    for (QByteArray &topic : topics)
        names << topic.data();
    // Failing, the connection goes, and the look is made on the next one.
    if (mosquitto_unsubscribe_multiple(client, &p->m_lookMid, names.size(), names.data(), nullptr) != MOSQ_ERR_SUCCESS)
        p->m_lookMid = -1;
}

void Publisher::onUnsubscribe(mosquitto *, void *self, int mid)
{
    auto *p = static_cast<Publisher *>(self);
    if (p->m_look != Looking || mid != p->m_lookMid)
        return;
    p->m_look = Looked;
    // Told once libmosquitto is out of its callback: the answer may stop
    // the publisher, or connect it again.
    QMetaObject::invokeMethod(p, [p, seen = p->m_seen] { emit p->looked(seen); }, Qt::QueuedConnection);
}

// Only while connecting: the TLS library's reasons for a failed handshake
// reach the program through this log alone.
void Publisher::onLog(mosquitto *, void *self, int level, const char *text)
{
    auto *p = static_cast<Publisher *>(self);
    if (!(level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING)) || !text)
        return;
    if (p->m_logged.size() == 32)
        p->m_logged.removeFirst();
    p->m_logged << QString::fromUtf8(text);
}

} // namespace publish
