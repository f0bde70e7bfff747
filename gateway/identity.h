#ifndef HYGROVANE_GATEWAY_IDENTITY_H
#define HYGROVANE_GATEWAY_IDENTITY_H

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

// Which gateway publishes under a prefix: several lines on one box each
// have their own, and a gateway does not take over another's that is live.
namespace gateway {

// The line's name in the default prefix: the configuration file's base name
// (the service's instance), else the last element of the port's path, with
// what a topic or Home Assistant cannot take made harmless.
QString lineName(const QString &configFile, const QString &port);
// hygrovane/<host>/<line>
QString gatewayPrefix(const QString &hostName, const QString &line);
QString identityTopic(const QString &prefix);

struct Identity
{
    QString host;
    QString port;
    QString config;
    QString version;
    QDateTime started;
};
QByteArray identityJson(const Identity &identity);

// What the prefix's status and identity held retained when a gateway of
// identity `self` looked: empty when it may publish there, else who holds
// it. A prefix "online" under another host's or another port's gateway is
// held; one "offline", or its own after a restart or a kill, is free; one
// online with no identity at all was left by something older, and is taken.
QString holder(const QHash<QString, QByteArray> &retained, const QString &prefix, const Identity &self);

} // namespace gateway

#endif
