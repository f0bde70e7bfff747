#include "gateway/identity.h"

#include "publish/topics.h"
#include "trend/record.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

// Texts are translated in the context "gateway::Identity", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

namespace {

QString topicSafe(const QString &text)
{
    return QString(text).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
}

} // namespace

QString lineName(const QString &configFile, const QString &port)
{
    QString name = configFile.isEmpty() ? QString() : QFileInfo(configFile).completeBaseName();
    if (name.isEmpty()) {
        QString path = port;
        while (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        name = path.section(QLatin1Char('/'), -1);
    }
    name = topicSafe(name);
    return name.isEmpty() ? QStringLiteral("line") : name;
}

QString gatewayPrefix(const QString &hostName, const QString &line)
{
    return publish::defaultPrefix(hostName) + QLatin1Char('/') + topicSafe(line);
}

QString identityTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/gateway");
}

QByteArray identityJson(const Identity &i)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("host"), i.host},
                                     {QStringLiteral("port"), i.port},
                                     {QStringLiteral("config"), i.config},
                                     {QStringLiteral("version"), i.version},
                                     {QStringLiteral("started"), trend::isoTime(i.started)}})
        .toJson(QJsonDocument::Compact);
}

QString holder(const QHash<QString, QByteArray> &retained, const QString &prefix, const Identity &self)
{
    if (retained.value(publish::statusTopic(prefix)) != "online")
        return QString();
    const QByteArray identity = retained.value(identityTopic(prefix));
    if (identity.isEmpty())
        return QString();
    const QJsonObject o = QJsonDocument::fromJson(identity).object();
    const QString host = o.value(QLatin1String("host")).toString();
    const QString port = o.value(QLatin1String("port")).toString();
    if (host == self.host && port == self.port)
        return QString();
    return QCoreApplication::translate("gateway::Identity", "the gateway on %1 for the port %2, started %3")
        .arg(host.isEmpty() ? QStringLiteral("?") : host, port.isEmpty() ? QStringLiteral("?") : port,
             o.value(QLatin1String("started")).toString());
}

} // namespace gateway
