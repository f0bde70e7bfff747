#include "gateway/config.h"

#include "link/rfc2217.h"
#include "share/modbus.h"

#include "publish/topics.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QLocale>
#include <QSysInfo>

#include <algorithm>

// Texts are translated in the context "gateway::Config", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

namespace {

// The keys of the file, which are the options without their dashes.
const char *const kKeys[] = {"port", "baud", "addresses", "answer-ms", "period", "broker", "user",
                             "password-file", "ca", "prefix", "no-discovery", "record",
                             "modbus-tcp", "rtu-over-tcp", "allow-writes", "cache-ms", "max-clients"};
const char kNoDiscovery[] = "no-discovery";
const char kAllowWrites[] = "allow-writes";

constexpr qint64 kConfigMost = 1 << 20;
// A password file holds one line; anything much longer is another file.
constexpr qint64 kPasswordMost = 4096;
// As the publisher reads a CA file: a system bundle is a few hundred kB.
constexpr qint64 kCaMost = 16 << 20;

bool isKey(const QString &name)
{
    return std::any_of(std::begin(kKeys), std::end(kKeys), [&name](const char *key) { return name == QLatin1String(key); });
}

QString passwordRefused(const QString &where)
{
    return QCoreApplication::translate("gateway::Config",
                                       "%1: a password given here can be read by others; put it alone in a file only the gateway "
                                       "reads and give that file with --password-file")
        .arg(where);
}

// A value and where it was given: "--baud" or "line1.conf:3: baud".
struct Given
{
    QString value;
    QString where;
};

// Reads the file into `keys`; false with the reason otherwise.
bool readFile(const QString &path, QHash<QString, Given> *keys, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QCoreApplication::translate("gateway::Config", "--config: %1 cannot be read: %2").arg(path, file.errorString());
        return false;
    }
    QByteArray bytes = file.read(kConfigMost + 1);
    if (bytes.size() > kConfigMost) {
        *error = QCoreApplication::translate("gateway::Config", "--config: %1 is too long for a configuration file").arg(path);
        return false;
    }
    if (bytes.startsWith("\xef\xbb\xbf"))
        bytes.remove(0, 3);
    QHash<QString, int> lineOf;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const QString at = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        if (equals < 0 || key.isEmpty()) {
            *error = QCoreApplication::translate("gateway::Config", "%1: not a line of key = value").arg(at);
            return false;
        }
        const QString where = at + QStringLiteral(": ") + key;
        if (key == QLatin1String("password")) {
            *error = passwordRefused(where);
            return false;
        }
        if (!isKey(key)) {
            *error = QCoreApplication::translate("gateway::Config", "%1: no such key").arg(where);
            return false;
        }
        // A key left behind by an earlier edit would be taken without a word.
        if (lineOf.contains(key)) {
            *error = QCoreApplication::translate("gateway::Config", "%1: given already on line %2").arg(where).arg(lineOf[key]);
            return false;
        }
        lineOf[key] = i + 1;
        keys->insert(key, {line.mid(equals + 1).trimmed(), where});
    }
    return true;
}

// The arguments after the program's name into `options`.
Parsed::Action readArguments(const QStringList &arguments, QHash<QString, Given> *options, QString *config, QString *error)
{
    bool help = false;
    bool version = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            help = true;
            continue;
        }
        if (argument == QLatin1String("--version")) {
            version = true;
            continue;
        }
        if (!argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            if (error->isEmpty())
                *error = QCoreApplication::translate("gateway::Config", "%1: not an option").arg(argument);
            continue;
        }
        if (!argument.startsWith(QLatin1String("--")) || argument.size() == 2) {
            if (error->isEmpty())
                *error = QCoreApplication::translate("gateway::Config", "%1: no such option").arg(argument);
            continue;
        }
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString name = argument.mid(2, equals < 0 ? -1 : equals - 2);
        const QString where = QStringLiteral("--") + name;
        QString problem;
        if (name == QLatin1String("password")) {
            problem = passwordRefused(where);
        } else if (name == QLatin1String(kNoDiscovery) || name == QLatin1String(kAllowWrites)) {
            if (equals >= 0)
                problem = QCoreApplication::translate("gateway::Config", "%1 takes no value").arg(where);
            else
                options->insert(name, {QStringLiteral("true"), where});
        } else if (!isKey(name) && name != QLatin1String("config")) {
            problem = QCoreApplication::translate("gateway::Config", "%1: no such option").arg(where);
        } else {
            QString value;
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--"))) {
                value = arguments[++i];
            } else {
                problem = QCoreApplication::translate("gateway::Config", "%1 needs a value").arg(where);
            }
            if (problem.isEmpty() && name == QLatin1String("config"))
                *config = value;
            else if (problem.isEmpty())
                options->insert(name, {value.trimmed(), where});
        }
        if (error->isEmpty())
            *error = problem;
    }
    return help ? Parsed::Help : version ? Parsed::Version : error->isEmpty() ? Parsed::Run : Parsed::Bad;
}

// What the file `path` holds, at most `most` bytes of it; false with the
// reason, for `where`, otherwise.
bool readWhole(const QString &path, qint64 most, const QString &where, QByteArray *bytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QCoreApplication::translate("gateway::Config", "%1: %2 cannot be read: %3").arg(where, path, file.errorString());
        return false;
    }
    *bytes = file.read(most + 1);
    if (bytes->size() > most) {
        *error = QCoreApplication::translate("gateway::Config", "%1: %2 is too long").arg(where, path);
        return false;
    }
    return true;
}

// Each setting from its value; false with what is wrong otherwise.
bool interpret(const QHash<QString, Given> &given, Config *c, QString *error)
{
    const auto value = [&given](const char *key) { return given.value(QLatin1String(key)).value; };
    const auto where = [&given](const char *key) {
        const QString w = given.value(QLatin1String(key)).where;
        return w.isEmpty() ? QStringLiteral("--") + QLatin1String(key) : w;
    };
    const auto bad = [error](const QString &text) {
        *error = text;
        return false;
    };
    bool ok = false;

    c->port = value("port");
    if (c->port.isEmpty())
        return bad(QCoreApplication::translate("gateway::Config", "no line to watch: give --port PATH|URL, or port = in the file"));
    rfc2217::PortUrl server;
    if (c->port.contains(QLatin1String("://"))) {
        server = rfc2217::parsePortUrl(c->port);
        if (!server.error.isEmpty())
            return bad(QStringLiteral("%1: %2").arg(where("port"), server.error));
    }

    const QString baud = value("baud");
    c->baudRate = baud.isEmpty() || baud.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0 ? 0 : baud.toInt(&ok);
    static const QVector<qint32> rates{1200, 2400, 4800, 9600, 19200, 115200};
    if (c->baudRate != 0 && (!ok || !rates.contains(c->baudRate)))
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not 1200, 2400, 4800, 9600, 19200, 115200 or auto")
                       .arg(where("baud"), baud));
    if (c->baudRate == 0 && !server.host.isEmpty() && !server.rfc2217)
        return bad(QCoreApplication::translate("gateway::Config", "%1: a raw TCP server cannot change the rate: give the rate the line is set up with")
                       .arg(where("baud")));

    QString problem;
    c->addresses.clear();
    if (!value("addresses").isEmpty() && !parseAddresses(value("addresses"), &c->addresses, &problem))
        return bad(QStringLiteral("%1: %2").arg(where("addresses"), problem));

    c->answerMs = -1;
    if (!value("answer-ms").isEmpty()) {
        c->answerMs = value("answer-ms").toInt(&ok);
        if (!ok || c->answerMs < 5 || c->answerMs > 1000)
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not a number of milliseconds from 5 to 1000")
                           .arg(where("answer-ms"), value("answer-ms")));
    }

    const double seconds = value("period").isEmpty() ? 1 : QLocale::c().toDouble(value("period"), &ok);
    if (!value("period").isEmpty() && (!ok || !(seconds >= 0.1 && seconds <= 3600)))
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not a number of seconds from 0.1 to 3600")
                       .arg(where("period"), value("period")));
    c->periodMs = qRound(seconds * 1000);

    c->broker = value("broker");
    if (!c->broker.isEmpty() && !publish::parseBroker(c->broker).valid)
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not mqtt://host:port or mqtts://host:port")
                       .arg(where("broker"), c->broker));
    c->user = value("user");

    c->passwordFile = value("password-file");
    c->password.clear();
    if (!c->passwordFile.isEmpty()) {
        if (c->user.isEmpty())
            return bad(QCoreApplication::translate("gateway::Config", "%1: a password needs a user name: give --user too")
                           .arg(where("password-file")));
        QByteArray bytes;
        if (!readWhole(c->passwordFile, kPasswordMost, where("password-file"), &bytes, error))
            return false;
        // The line end an editor or echo leaves is not part of the password.
        while (bytes.endsWith('\n') || bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.isEmpty())
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 holds no password").arg(where("password-file"), c->passwordFile));
        c->password = QString::fromUtf8(bytes);
    }

    // Said now rather than at every connection the publisher would try.
    c->caFile = value("ca");
    if (!c->caFile.isEmpty()) {
        QByteArray bytes;
        if (!readWhole(c->caFile, kCaMost, where("ca"), &bytes, error))
            return false;
        if (!publish::isPemCertificate(bytes))
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not a certificate in PEM form").arg(where("ca"), c->caFile));
    }

    c->prefix = value("prefix");
    problem = c->prefix.isEmpty() ? QString() : publish::prefixProblem(c->prefix);
    if (!problem.isEmpty())
        return bad(QStringLiteral("%1: %2").arg(where("prefix"), problem));

    const QString noDiscovery = value(kNoDiscovery).toLower();
    const QStringList yes{QStringLiteral("true"), QStringLiteral("yes"), QStringLiteral("on"), QStringLiteral("1")};
    const QStringList no{QString(), QStringLiteral("false"), QStringLiteral("no"), QStringLiteral("off"), QStringLiteral("0")};
    if (!yes.contains(noDiscovery) && !no.contains(noDiscovery))
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not true or false").arg(where(kNoDiscovery), value(kNoDiscovery)));
    c->discovery = !yes.contains(noDiscovery);
    const QString allowWrites = value(kAllowWrites).toLower();
    if (!yes.contains(allowWrites) && !no.contains(allowWrites))
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not true or false").arg(where(kAllowWrites), value(kAllowWrites)));
    c->allowWrites = yes.contains(allowWrites);

    c->modbusTcp = value("modbus-tcp");
    c->rtuOverTcp = value("rtu-over-tcp");
    for (const char *key : {"modbus-tcp", "rtu-over-tcp"}) {
        QHostAddress host;
        quint16 port = 0;
        if (!value(key).isEmpty() && !share::parseEndpoint(value(key), &host, &port, &problem))
            return bad(QStringLiteral("%1: %2").arg(where(key), problem));
    }
    if (!c->modbusTcp.isEmpty() && !c->rtuOverTcp.isEmpty()) {
        QHostAddress host[2];
        quint16 port[2] = {0, 0};
        share::parseEndpoint(c->modbusTcp, &host[0], &port[0], &problem);
        share::parseEndpoint(c->rtuOverTcp, &host[1], &port[1], &problem);
        if (port[0] == port[1])
            return bad(QCoreApplication::translate("gateway::Config", "%1: port %2 is given to --modbus-tcp already").arg(where("rtu-over-tcp")).arg(port[1]));
    }
    const auto number = [&](const char *key, int from, int to, int none, int *into) {
        *into = value(key).isEmpty() ? none : value(key).toInt(&ok);
        if (!value(key).isEmpty() && (!ok || *into < from || *into > to))
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not a number from %3 to %4").arg(where(key), value(key)).arg(from).arg(to));
        return true;
    };
    if (!number("cache-ms", 0, 3600000, -1, &c->cacheMs) || !number("max-clients", 1, 1024, 16, &c->maxClients))
        return false;

    c->record = value("record");
    if (c->broker.isEmpty() && c->record.isEmpty() && c->modbusTcp.isEmpty() && c->rtuOverTcp.isEmpty())
        return bad(QCoreApplication::translate("gateway::Config", "nothing to do: give --broker, --record, --modbus-tcp or --rtu-over-tcp"));
    return true;
}

// A value on one line, whatever it holds: a line break would start a key of its own.
QString flat(const QString &value)
{
    return QString(value).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

bool Config::operator==(const Config &o) const
{
    return port == o.port && baudRate == o.baudRate && addresses == o.addresses && answerMs == o.answerMs && periodMs == o.periodMs
        && broker == o.broker && user == o.user && passwordFile == o.passwordFile && password == o.password && caFile == o.caFile
        && prefix == o.prefix && discovery == o.discovery && record == o.record && modbusTcp == o.modbusTcp && rtuOverTcp == o.rtuOverTcp
        && allowWrites == o.allowWrites && cacheMs == o.cacheMs && maxClients == o.maxClients;
}

Parsed parse(const QStringList &arguments)
{
    Parsed parsed;
    QHash<QString, Given> options;
    QString configFile;
    parsed.action = readArguments(arguments, &options, &configFile, &parsed.message);
    if (parsed.action != Parsed::Run)
        return parsed;
    QHash<QString, Given> given;
    if (!configFile.isEmpty() && !readFile(configFile, &given, &parsed.message)) {
        parsed.action = Parsed::Bad;
        return parsed;
    }
    for (auto it = options.cbegin(); it != options.cend(); ++it)
        given.insert(it.key(), it.value());
    if (!interpret(given, &parsed.config, &parsed.message))
        parsed.action = Parsed::Bad;
    return parsed;
}

bool parseAddresses(const QString &text, QVector<quint8> *addresses, QString *error)
{
    QVector<bool> listed(248, false);
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        bool okFirst = false;
        bool okLast = false;
        const int first = ends[0].trimmed().toInt(&okFirst);
        const int last = ends.last().trimmed().toInt(&okLast);
        if (ends.size() > 2 || !okFirst || !okLast) {
            *error = QCoreApplication::translate("gateway::Config", "\"%1\" is not an address nor a range like 1-32").arg(part.trimmed());
            return false;
        }
        for (const int a : {first, last}) {
            if (a < 1 || a > 247) {
                *error = QCoreApplication::translate("gateway::Config", "%1 is not an address: they run from 1 to 247").arg(a);
                return false;
            }
        }
        if (first > last) {
            *error = QCoreApplication::translate("gateway::Config", "the range %1 runs backwards").arg(part.trimmed());
            return false;
        }
        for (int a = first; a <= last; ++a)
            listed[a] = true;
    }
    addresses->clear();
    for (int a = 1; a <= 247; ++a) {
        if (listed[a])
            addresses->append(quint8(a));
    }
    return true;
}

QString addressList(const QVector<quint8> &addresses)
{
    QVector<quint8> sorted = addresses;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QStringList parts;
    for (int i = 0; i < sorted.size();) {
        int j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1)
            ++j;
        if (j - i >= 2) {
            parts << QStringLiteral("%1-%2").arg(sorted[i]).arg(sorted[j]);
        } else {
            for (int k = i; k <= j; ++k)
                parts << QString::number(sorted[k]);
        }
        i = j + 1;
    }
    return parts.join(QLatin1Char(','));
}

publish::Settings publisherSettings(const Config &config)
{
    publish::Settings s;
    s.broker = config.broker;
    s.user = config.user;
    s.password = config.password;
    s.caFile = config.caFile;
    s.prefix = config.prefix.isEmpty() ? publish::defaultPrefix(QSysInfo::machineHostName()) : config.prefix;
    s.discovery = config.discovery;
    return s;
}

QString helpText()
{
    return QCoreApplication::translate(
        "gateway::Config",
        "Usage: hygrovane-gateway [options]\n"
        "Watches the temperature-and-humidity modules on one serial line and publishes\n"
        "their readings to an MQTT broker, as the bus window's watch does, without a\n"
        "window.\n"
        "\n"
        "  --config FILE         the options below from FILE, one key = value a line,\n"
        "                        the key being the option without its dashes; an\n"
        "                        option given here overrides the file's key\n"
        "  --port PATH|URL       the line: a serial port (/dev/ttyUSB0,\n"
        "                        /dev/serial/by-id/...) or a serial server's URL\n"
        "  --baud N|auto         1200, 2400, 4800, 9600, 19200 or 115200, or auto to\n"
        "                        search it as Link does (default auto)\n"
        "  --addresses LIST      the modules to watch, e.g. 1-32,40 (default: scan\n"
        "                        1-247 at start and watch what answers)\n"
        "  --answer-ms N         how long a module may take to answer, 5 to 1000 ms\n"
        "                        (default: from the answer time Link measures)\n"
        "  --period S            a round of the watch, in seconds (default 1)\n"
        "  --broker URL          mqtt://host[:port] or mqtts://host[:port]\n"
        "  --user NAME           the user name the broker knows the gateway by\n"
        "  --password-file FILE  the password, alone in FILE (a password is never\n"
        "                        taken on the command line)\n"
        "  --ca FILE             the CA certificates (PEM) an mqtts:// broker's is\n"
        "                        checked against (default: the system's)\n"
        "  --prefix TOPIC        the topics' first levels (default\n"
        "                        hygrovane/<host name>)\n"
        "  --no-discovery        announce no sensors to Home Assistant\n"
        "  --record FILE.csv     also append every reading to FILE.csv\n"
        "  --modbus-tcp [HOST:]PORT\n"
        "                        share the line with other masters over Modbus TCP:\n"
        "                        unit id = module address (a bare port listens on\n"
        "                        127.0.0.1; 0.0.0.0:502 on every interface)\n"
        "  --rtu-over-tcp [HOST:]PORT\n"
        "                        the same with RTU frames and their CRC over TCP, as\n"
        "                        the bus window links to tcp://HOST:PORT\n"
        "  --allow-writes        pass their writes on (default: refused, exception 1)\n"
        "  --cache-ms N          answer a read of what the watch polled less than N ms\n"
        "                        ago from memory; 0 sends every read to the line\n"
        "                        (default: the period)\n"
        "  --max-clients N       connections a listener takes at most (default 16)\n"
        "  --version             the version, and nothing else\n"
        "  -h, --help            this text\n"
        "\n"
        "An empty value is as good as none. Each event is one line on standard error.\n"
        "On SIGTERM or SIGINT the gateway publishes \"offline\", gives the readings\n"
        "still waiting up to 5 s to reach the broker, and ends. A bad option or key\n"
        "ends it at once with exit code 2.\n");
}

QString configText(const Config &c)
{
    QString out = QCoreApplication::translate("gateway::Config",
                                              "# Hygrovane gateway: the modules on the line at %1.\n"
                                              "# Read by hygrovane-gateway --config FILE; the service\n"
                                              "# hygrovane-gateway@NAME reads /etc/hygrovane/NAME.conf. An option on\n"
                                              "# the command line overrides a key here.\n")
                      .arg(flat(c.port));
    const auto key = [&out](const char *name, const QString &value) {
        out += QLatin1String(name) + QStringLiteral(" = ") + flat(value) + QLatin1Char('\n');
    };
    key("port", c.port);
    key("baud", c.baudRate == 0 ? QStringLiteral("auto") : QString::number(c.baudRate));
    if (c.addresses.isEmpty())
        out += QCoreApplication::translate("gateway::Config", "# No addresses: all of 1-247 are scanned at start, and what answers is watched.\n");
    else
        key("addresses", addressList(c.addresses));
    if (c.answerMs > 0)
        key("answer-ms", QString::number(c.answerMs));
    key("period", QString::number(c.periodMs / 1000.0));
    if (!c.broker.isEmpty())
        key("broker", c.broker);
    if (!c.user.isEmpty())
        key("user", c.user);
    if (!c.passwordFile.isEmpty())
        key("password-file", c.passwordFile);
    else if (!c.user.isEmpty())
        out += QCoreApplication::translate("gateway::Config",
                                           "# The password is never written here. Put it alone in\n"
                                           "# /etc/hygrovane/NAME.password, readable by root only: the service\n"
                                           "# hygrovane-gateway@NAME hands the gateway its own copy, named so:\n"
                                           "# password-file = /run/credentials/hygrovane-gateway@NAME.service/password\n");
    if (!c.caFile.isEmpty())
        key("ca", c.caFile);
    if (!c.prefix.isEmpty())
        key("prefix", c.prefix);
    if (!c.discovery)
        key(kNoDiscovery, QStringLiteral("true"));
    if (!c.record.isEmpty())
        key("record", c.record);
    if (!c.modbusTcp.isEmpty())
        key("modbus-tcp", c.modbusTcp);
    if (!c.rtuOverTcp.isEmpty())
        key("rtu-over-tcp", c.rtuOverTcp);
    if (c.allowWrites)
        key(kAllowWrites, QStringLiteral("true"));
    if (c.cacheMs >= 0)
        key("cache-ms", QString::number(c.cacheMs));
    if (c.maxClients != 16)
        key("max-clients", QString::number(c.maxClients));
    return out;
}

} // namespace gateway
