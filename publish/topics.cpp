#include "publish/topics.h"

#include "trend/record.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <mosquitto.h>

#include <cmath>

namespace publish {

namespace {

// Home Assistant takes [a-zA-Z0-9_-] in a node or object id.
QString idOf(const QString &text)
{
    return QString(text).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
}

QByteArray number(double value)
{
    return std::isnan(value) ? QByteArrayLiteral("null") : QByteArray::number(value, 'f', 1);
}

QByteArray quoted(const QString &text)
{
    // A JSON string of any text: QJsonDocument quotes and escapes it.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

Broker parseBroker(const QString &url)
{
    const QUrl u(url.trimmed(), QUrl::StrictMode);
    Broker b;
    b.tls = u.scheme() == QLatin1String("mqtts");
    b.host = u.host();
    b.port = u.port(b.tls ? 8883 : 1883);
    b.valid = u.isValid() && (b.tls || u.scheme() == QLatin1String("mqtt")) && !b.host.isEmpty()
        && (u.path().isEmpty() || u.path() == QLatin1String("/")) && u.userInfo().isEmpty() && !u.hasQuery() && b.port > 0;
    return b;
}

QString defaultPrefix(const QString &hostName)
{
    const QString host = idOf(hostName);
    return QStringLiteral("hygrovane/") + (host.isEmpty() ? QStringLiteral("host") : host);
}

// Texts are translated in the context "publish::Publisher", named in full at
// every text for the catalogue's tools to find.
QString prefixProblem(const QString &prefix)
{
    if (prefix.isEmpty())
        return QCoreApplication::translate("publish::Publisher", "the topic prefix is empty");
    for (const QChar wildcard : {QLatin1Char('+'), QLatin1Char('#')}) {
        if (prefix.contains(wildcard))
            return QCoreApplication::translate("publish::Publisher", "the topic prefix holds %1, a wildcard of MQTT").arg(wildcard);
    }
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/')))
        return QCoreApplication::translate("publish::Publisher", "the topic prefix begins or ends with /");
    if (prefix.contains(QLatin1String("//")))
        return QCoreApplication::translate("publish::Publisher", "the topic prefix has an empty level (//)");
    if (prefix.startsWith(QLatin1Char('$')))
        return QCoreApplication::translate("publish::Publisher", "the topic prefix begins with $, which brokers keep for their own topics");
    // Far below MQTT's 65535 bytes a topic, with room for the levels after it.
    if (prefix.size() > PrefixMost)
        return QCoreApplication::translate("publish::Publisher", "the topic prefix has %1 characters, more than the %2 it may have")
            .arg(prefix.size())
            .arg(PrefixMost);
    // Control characters and non-characters, which the broker would refuse
    // at the connection instead.
    const QByteArray bytes = prefix.toUtf8();
    if (mosquitto_validate_utf8(bytes.constData(), bytes.size()) != MOSQ_ERR_SUCCESS)
        return QCoreApplication::translate("publish::Publisher", "the topic prefix holds a control character or another that MQTT does not take");
    return QString();
}

QString statusTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}

QString stateTopic(const QString &prefix, quint8 address)
{
    return prefix + QLatin1Char('/') + QString::number(address) + QStringLiteral("/state");
}

QString availabilityTopic(const QString &prefix, quint8 address)
{
    return prefix + QLatin1Char('/') + QString::number(address) + QStringLiteral("/availability");
}

QByteArray statePayload(const Reading &r)
{
    // Written by hand rather than through QJsonObject, which sorts the keys
    // and prints numbers its own way.
    QByteArray out = "{\"time\":\"" + trend::isoTime(r.when).toLatin1() + "\",\"address\":" + QByteArray::number(r.address);
    const char *names[trend::SeriesCount] = {"temperature_C", "humidity_pct", "dew_point_C", "wet_bulb_C"};
    for (int s = 0; s < trend::SeriesCount; ++s)
        out += ",\"" + QByteArray(names[s]) + "\":" + number(r.values[s]);
    return out + '}';
}

QVector<Message> discovery(const QString &prefix, quint8 address)
{
    struct Sensor
    {
        const char *key, *name, *deviceClass, *unit;
    };
    static const Sensor sensors[] = {{"temperature_C", "Temperature", "temperature", "\xc2\xb0\x43"},
                                     {"humidity_pct", "Humidity", "humidity", "%"},
                                     {"dew_point_C", "Dew point", "temperature", "\xc2\xb0\x43"},
                                     {"wet_bulb_C", "Wet-bulb temperature", "temperature", "\xc2\xb0\x43"}};
    const QString node = idOf(prefix);
    const QString module = node + QLatin1Char('_') + QString::number(address);
    const QByteArray device = "{\"identifiers\":[" + quoted(module) + "],\"name\":" + quoted(QStringLiteral("Module %1 (%2)").arg(address).arg(prefix))
        + ",\"manufacturer\":\"Hygrovane\",\"model\":\"Temperature and humidity module\"}";
    QVector<Message> out;
    for (const Sensor &s : sensors) {
        const QString id = module + QLatin1Char('_') + QLatin1String(s.key);
        const QByteArray config = "{\"name\":\"" + QByteArray(s.name) + "\",\"device_class\":\"" + s.deviceClass
            + "\",\"unit_of_measurement\":\"" + s.unit + "\",\"state_class\":\"measurement\",\"state_topic\":"
            + quoted(stateTopic(prefix, address)) + ",\"value_template\":\"{{ value_json." + s.key + " }}\",\"availability\":[{\"topic\":"
            + quoted(statusTopic(prefix)) + "},{\"topic\":" + quoted(availabilityTopic(prefix, address))
            + "}],\"availability_mode\":\"all\",\"unique_id\":" + quoted(id) + ",\"object_id\":" + quoted(id)
            + ",\"device\":" + device + '}';
        out.append({QStringLiteral("homeassistant/sensor/%1/%2_%3/config").arg(node).arg(address).arg(QLatin1String(s.key)), config, true});
    }
    return out;
}

QString discoveryFilter(const QString &prefix)
{
    return QStringLiteral("homeassistant/sensor/%1/+/config").arg(idOf(prefix));
}

bool isPemCertificate(const QByteArray &file)
{
    static const QRegularExpression block(QStringLiteral("-----BEGIN ((?:TRUSTED |X509 )?CERTIFICATE)-----([^-]*)-----END \\1-----"));
    int found = 0;
    for (auto it = block.globalMatch(QString::fromLatin1(file)); it.hasNext(); ++found) {
        const auto decoded = QByteArray::fromBase64Encoding(it.next().captured(2).toLatin1().simplified().replace(' ', QByteArray()),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        // DER: a SEQUENCE, its length in one byte or in up to four after it,
        // and that many bytes there.
        const QByteArray &der = decoded.decoded;
        if (!decoded || der.size() < 2 || quint8(der[0]) != 0x30)
            return false;
        const int lengthBytes = quint8(der[1]) & 0x80 ? quint8(der[1]) & 0x7f : 0;
        if (lengthBytes > 4 || der.size() < 2 + lengthBytes)
            return false;
        qint64 length = lengthBytes ? 0 : quint8(der[1]);
        for (int i = 0; i < lengthBytes; ++i)
            length = length << 8 | quint8(der[2 + i]);
        if (length > der.size() - 2 - lengthBytes)
            return false;
    }
    return found > 0;
}

int reconnectDelayMs(int failures)
{
    return qMin(30000, 1000 << qBound(0, failures, 5));
}

} // namespace publish
