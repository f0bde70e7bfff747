#ifndef HYGROVANE_PUBLISH_TOPICS_H
#define HYGROVANE_PUBLISH_TOPICS_H

#include "trend/history.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// What goes to the broker, and under which topic: pure, so that every byte a
// consumer depends on is fixed here and checked in tables.
namespace publish {

struct Reading
{
    QDateTime when;
    quint8 address = 0;
    trend::Values values;
};

struct Message
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

// mqtt://host:port or mqtts://host:port; the port defaults to 1883 and 8883.
struct Broker
{
    bool valid = false;
    bool tls = false;
    QString host;
    int port = 0;
};
Broker parseBroker(const QString &url);

// hygrovane/<host name>, the host's characters that MQTT gives a meaning to
// ('+', '#', '/') or Home Assistant refuses in an id made harmless.
QString defaultPrefix(const QString &hostName);

// Why MQTT cannot take a prefix, in the tool's words and language; empty
// when it can. A wildcard publishes nothing, and an empty level or a slash
// at either end makes topics no subscriber expects; '$' begins the broker's
// own topics. A prefix is at most PrefixMost characters.
constexpr int PrefixMost = 200;
QString prefixProblem(const QString &prefix);

QString statusTopic(const QString &prefix);
QString stateTopic(const QString &prefix, quint8 address);
QString availabilityTopic(const QString &prefix, quint8 address);

// {"time":..,"address":..,"temperature_C":..,...}: the time as the record
// writes it, values with one decimal and a '.', null for one not carried.
QByteArray statePayload(const Reading &reading);

// The module's four sensors for Home Assistant, each retained under
// homeassistant/sensor/<node>/<object>/config. A sensor is available while
// both the tool (its status, "offline" by its will when it dies) and the
// module say "online": the last values of a tool gone do not pass for live.
QVector<Message> discovery(const QString &prefix, quint8 address);
// The topic filter every discovery config of that prefix matches.
QString discoveryFilter(const QString &prefix);

// The file holds certificates in PEM, as the TLS library reads a CA file,
// and nothing that only looks like one.
bool isPemCertificate(const QByteArray &file);

// Reconnects wait 1 s, then twice as long each time, up to 30 s.
int reconnectDelayMs(int failures);

} // namespace publish

#endif
