#ifndef HYGROVANE_PUBLISH_PUBLISHER_H
#define HYGROVANE_PUBLISH_PUBLISHER_H

#include "publish/outbox.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>

class QSocketNotifier;
class QTimer;
struct mosquitto;
struct mosquitto_message;

namespace publish {

struct Settings
{
    QString broker;   // mqtt://host:port or mqtts://host:port
    QString user;
    QString password; // kept in memory only, for the reconnects
    QString caFile;   // empty: the system's store
    QString prefix;
    bool discovery = false;
    int protocol = 4; // MQTT 3.1.1 (4) or 5
    // A broker that refuses the credentials is tried again, as a lost one
    // is, rather than given up: for a program nobody sits at, whose broker's
    // accounts may be put right meanwhile.
    bool retryRefused = false;
};

// The program's one connection to an MQTT broker, on the GUI thread's event
// loop: libmosquitto's socket is watched by notifiers, its keep-alive by a
// timer, and it never blocks. Readings wait in the outbox until the broker
// acknowledges them, and go in order.
//
// Each connection gets a fresh libmosquitto client with a clean session, and
// the outbox is the one place a reading waits: libmosquitto's own resend of
// what it had in flight would otherwise race the outbox's and reorder them.
// A reading whose PUBACK was lost with the connection is sent again, so a
// subscriber may see it twice (QoS 1), never out of order and never missing.
//
// Any program may drive it, a console one without a window too: a prefix
// MQTT cannot take is refused here, not only by the window that asks for it.
class Publisher : public QObject
{
    Q_OBJECT

public:
    enum State { Off, Connecting, Connected, Retrying, Refused };
    static constexpr int InFlight = 20; // libmosquitto's own send maximum

    explicit Publisher(QObject *parent = nullptr);
    ~Publisher() override;

    // Refused at once, with the reason, for a prefix MQTT cannot take.
    // The retained messages of `lookFirst` are looked at before anything is
    // published: the first connection has no will and publishes nothing,
    // `looked` tells what they hold, and claim() goes on.
    void start(const Settings &settings, const QStringList &lookFirst = {});
    void stop();
    bool started() const { return m_started; }

    // A reading of a module's: queued while publishing, else ignored.
    void addReading(const QDateTime &when, quint8 address, const trend::Values &values);
    // A module answers (true) or has gone silent (false).
    void setAvailability(quint8 address, bool online);
    // A scan of the addresses first to last, run to its end, found modules
    // at `found` (at any rate) and at no other: what the broker holds of the
    // others in that range (this run's, or retained from an earlier one) is
    // cleared with empty retained messages, now or once connected.
    void lineScanned(quint8 first, quint8 last, const QSet<quint8> &found);

    State state() const { return m_state; }
    QString reason() const { return m_reason; }
    // Why the last connection failed, without when it is tried again, and
    // whether that was the broker's refusal; empty once connected.
    QString cause() const { return m_cause; }
    bool refusing() const { return m_refusing; }
    const Outbox &outbox() const { return m_outbox; }
    // The readings kept in `store` (not owned) from now on, and what it holds sent first.
    void keepIn(Store *store);
    // What was added since goes to the store, and then to the broker: false,
    // with the outbox's error, when the store took nothing.
    bool commit();
    // Retained, and published again on every connection; an empty payload
    // clears the topic.
    void setRetained(const Message &message);
    // After the look: publishing as usual.
    void claim();
    // Connections made, the first included.
    int connections() const { return m_connections; }

signals:
    void changed();
    // What the topics looked at first hold retained, by topic; a topic that holds nothing is missing.
    void looked(const QHash<QString, QByteArray> &retained);

private:
    void connectNow();
    void connectTo(const QString &host);
    void service(int ready);
    void settle();
    void established();
    void fail(const QString &reason, bool retry);
    void lost(int rc, int error);
    void drop();
    void unwatch();
    bool send(const Message &message);
    bool announce(quint8 address);
    bool tidy();
    void fill();
    void onLine(quint8 address);
    void setState(State state, const QString &reason = QString());

    static void onConnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void onSubscribe(mosquitto *, void *self, int mid, int count, const int *granted);
    static void onUnsubscribe(mosquitto *, void *self, int mid);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    Settings m_settings;
    QStringList m_lookFirst;
    bool m_started = false;
    State m_state = Off;
    QString m_reason;
    QString m_cause;
    bool m_refusing = false;
    mosquitto *m_client = nullptr;
    QSocketNotifier *m_read = nullptr;
    QSocketNotifier *m_write = nullptr;
    QTimer *m_misc;    // keep-alive and libmosquitto's own retries
    QTimer *m_retry;   // the back-off before the next connection
    QTimer *m_timeout; // a connection that neither comes nor fails
    int m_lookup = -1;
    int m_failures = 0;
    int m_connack = -1; // what the broker answered, from the callback
    Outbox m_outbox;
    QHash<int, quint64> m_sent; // message id to outbox sequence
    QMap<quint8, bool> m_online;
    QSet<quint8> m_announced;
    QStringList m_logged;  // libmosquitto's errors while connecting
    QSet<quint8> m_absent; // no module there at the last scan of it
    QSet<quint8> m_clear;  // of those, what the broker holds, to be cleared
    QSet<quint8> m_held;   // retained availability the broker sent on this connection
    QSet<QString> m_configs; // discovery configs an earlier run left, announcing none now, to be cleared
    QSet<int> m_leaving;     // the last words of a stop, not acknowledged yet
    QMap<QString, QByteArray> m_retained;
    enum Look { Claimed, Looking, Looked };
    Look m_look = Claimed;  // Looking, Looked: the connection only looks at m_lookFirst
    int m_lookMid = -1;     // its subscription, then its unsubscription
    QHash<QString, QByteArray> m_seen;
    int m_connections = 0;
};

} // namespace publish

#endif
