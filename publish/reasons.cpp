#include "publish/reasons.h"

#include <QCoreApplication>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

// Texts are translated in the context "publish::Publisher", named in full at
// every text for the catalogue's tools to find.
namespace publish {

QString systemReason(int error)
{
    switch (error) {
    case ECONNREFUSED:
        return QCoreApplication::translate("publish::Publisher", "no broker listens at that address and port");
    case ETIMEDOUT:
        return QCoreApplication::translate("publish::Publisher", "the broker's computer did not answer in time");
    case ENETUNREACH:
    case ENETDOWN:
        return QCoreApplication::translate("publish::Publisher", "the broker's network cannot be reached");
    case EHOSTUNREACH:
#ifdef EHOSTDOWN
    case EHOSTDOWN:
#endif
        return QCoreApplication::translate("publish::Publisher", "the broker's computer cannot be reached");
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        return QCoreApplication::translate("publish::Publisher", "the connection was cut off");
    case EADDRNOTAVAIL:
        return QCoreApplication::translate("publish::Publisher", "the broker's address cannot be reached from this computer");
    case EAFNOSUPPORT:
        return QCoreApplication::translate("publish::Publisher", "this computer cannot reach that kind of address");
    case EACCES:
    case EPERM:
        return QCoreApplication::translate("publish::Publisher", "the system does not allow the connection (a firewall?)");
    case ENOMEM:
    case ENOBUFS:
        return QCoreApplication::translate("publish::Publisher", "the system is out of memory");
    case EMFILE:
    case ENFILE:
        return QCoreApplication::translate("publish::Publisher", "too many files and connections are open");
    case EPROTO:
        return QCoreApplication::translate("publish::Publisher", "the connection broke its protocol");
    case 0:
        return QCoreApplication::translate("publish::Publisher", "an error the system does not name");
    default:
        return QCoreApplication::translate("publish::Publisher", "an unexpected error of the system (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString libraryReason(int rc, int error)
{
    switch (rc) {
    case MOSQ_ERR_AUTH_CONTINUE:
        return QCoreApplication::translate("publish::Publisher", "the broker goes on authenticating");
    case MOSQ_ERR_NO_SUBSCRIBERS:
        return QCoreApplication::translate("publish::Publisher", "no one subscribes to the topic");
    case MOSQ_ERR_SUB_EXISTS:
        return QCoreApplication::translate("publish::Publisher", "the subscription exists already");
    case MOSQ_ERR_CONN_PENDING:
        return QCoreApplication::translate("publish::Publisher", "the connection is still being made");
    case MOSQ_ERR_SUCCESS:
        return QCoreApplication::translate("publish::Publisher", "no error");
    case MOSQ_ERR_NOMEM:
        return QCoreApplication::translate("publish::Publisher", "out of memory");
    case MOSQ_ERR_PROTOCOL:
        return QCoreApplication::translate("publish::Publisher", "the broker broke the MQTT protocol");
    case MOSQ_ERR_INVAL:
        return QCoreApplication::translate("publish::Publisher", "the MQTT library refused a value it was given");
    case MOSQ_ERR_NO_CONN:
        return QCoreApplication::translate("publish::Publisher", "not connected to the broker");
    case MOSQ_ERR_CONN_REFUSED:
        return QCoreApplication::translate("publish::Publisher", "the broker refused the connection");
    case MOSQ_ERR_NOT_FOUND:
        return QCoreApplication::translate("publish::Publisher", "what was asked for is not there");
    case MOSQ_ERR_CONN_LOST:
        return QCoreApplication::translate("publish::Publisher", "the connection to the broker was lost");
    case MOSQ_ERR_TLS:
        return QCoreApplication::translate("publish::Publisher", "TLS failed");
    case MOSQ_ERR_PAYLOAD_SIZE:
        return QCoreApplication::translate("publish::Publisher", "a message is too long for MQTT");
    case MOSQ_ERR_NOT_SUPPORTED:
        return QCoreApplication::translate("publish::Publisher", "the MQTT library on this computer cannot do that");
    case MOSQ_ERR_AUTH:
        return QCoreApplication::translate("publish::Publisher", "the broker did not accept the authentication");
    case MOSQ_ERR_ACL_DENIED:
        return QCoreApplication::translate("publish::Publisher", "the broker does not allow this user that topic");
    case MOSQ_ERR_UNKNOWN:
        return QCoreApplication::translate("publish::Publisher", "an error the MQTT library does not name");
    case MOSQ_ERR_ERRNO:
        return systemReason(error);
    case MOSQ_ERR_EAI:
        return QCoreApplication::translate("publish::Publisher", "the broker's host name cannot be resolved");
    case MOSQ_ERR_PROXY:
        return QCoreApplication::translate("publish::Publisher", "the proxy failed");
    case MOSQ_ERR_PLUGIN_DEFER:
        return QCoreApplication::translate("publish::Publisher", "a plug-in of the broker put off the decision");
    case MOSQ_ERR_MALFORMED_UTF8:
        return QCoreApplication::translate("publish::Publisher", "a text is not valid UTF-8");
    case MOSQ_ERR_KEEPALIVE:
        return QCoreApplication::translate("publish::Publisher", "the broker stopped answering the keep-alive");
    case MOSQ_ERR_LOOKUP:
        return QCoreApplication::translate("publish::Publisher", "the broker's host name could not be looked up");
    case MOSQ_ERR_MALFORMED_PACKET:
        return QCoreApplication::translate("publish::Publisher", "the broker sent a malformed packet");
    case MOSQ_ERR_DUPLICATE_PROPERTY:
        return QCoreApplication::translate("publish::Publisher", "the broker sent a property twice in one packet");
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QCoreApplication::translate("publish::Publisher", "the TLS handshake failed");
    case MOSQ_ERR_QOS_NOT_SUPPORTED:
        return QCoreApplication::translate("publish::Publisher", "the broker does not take messages at QoS 1");
    case MOSQ_ERR_OVERSIZE_PACKET:
        return QCoreApplication::translate("publish::Publisher", "a message is larger than the broker takes");
    case MOSQ_ERR_OCSP:
        return QCoreApplication::translate("publish::Publisher", "the broker's certificate is revoked, or its revocation cannot be checked");
    case MOSQ_ERR_TIMEOUT:
        return QCoreApplication::translate("publish::Publisher", "the broker did not answer in time");
    case MOSQ_ERR_RETAIN_NOT_SUPPORTED:
        return QCoreApplication::translate("publish::Publisher", "the broker does not keep retained messages");
    case MOSQ_ERR_TOPIC_ALIAS_INVALID:
        return QCoreApplication::translate("publish::Publisher", "the broker refused a topic alias");
    case MOSQ_ERR_ADMINISTRATIVE_ACTION:
        return QCoreApplication::translate("publish::Publisher", "the broker's administrator ended the connection");
    case MOSQ_ERR_ALREADY_EXISTS:
        return QCoreApplication::translate("publish::Publisher", "it exists already");
    default:
        return QCoreApplication::translate("publish::Publisher", "an unexpected error of the MQTT library (code %1)").arg(rc);
    }
}

QString tlsReason(const QStringList &logged, const QString &caFile)
{
    // The TLS library's reasons are fixed English phrases, the same in every
    // language and version; libmosquitto logs them one an error.
    const QString all = logged.join(QLatin1Char('\n'));
    const auto says = [&all](const char *phrase) { return all.contains(QLatin1String(phrase), Qt::CaseInsensitive); };
    if (says("Unable to load CA certificates") || says("no certificate or crl found"))
        return QCoreApplication::translate("publish::Publisher", "the CA file %1 holds no certificate the TLS library can use").arg(caFile);
    if (says("certificate verify failed"))
        return QCoreApplication::translate("publish::Publisher", "TLS failed: the broker's certificate is not trusted or does not name the host");
    // The broker answered the handshake with plain MQTT, or hung up on it.
    if (says("unexpected eof while reading") || says("wrong version number") || says("packet length too long") || says("record layer failure"))
        return QCoreApplication::translate("publish::Publisher", "the broker does not speak TLS at that port: is it a plain one (mqtt://)?");
    if (says("alert handshake failure") || says("alert protocol version") || says("no shared cipher") || says("unsupported protocol"))
        return QCoreApplication::translate("publish::Publisher", "TLS failed: the broker and this computer share no TLS version or cipher");
    if (logged.isEmpty())
        return QString();
    // The last resort: the TLS library's own reason, after its code.
    return QCoreApplication::translate("publish::Publisher", "TLS failed (%1)").arg(logged.last().section(QLatin1Char(':'), -1).trimmed());
}

} // namespace publish
