#include "gateway/config.h"

#include "gateway/identity.h"
#include "link/rfc2217.h"
#include "protocol/rtu.h"
#include "share/modbus.h"
#include "publish/topics.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QLocale>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTextCodec>

#include <algorithm>
#include <variant>

// Texts are translated in the context "gateway::Config", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

namespace {

// How a key's value is read.
enum class Kind {
    Text,      // as it stands
    Port,      // a device, or a network serial server's URL
    Rate,      // one of the six rates, or auto
    Addresses, // 1-32,40
    Integer,   // digits, within the key's range
    Seconds,   // a decimal number of seconds; the range in ms
    Broker,    // mqtt:// or mqtts://
    Prefix,    // the first levels of MQTT topics
    Listener,  // [HOST:]PORT, a bare port on 127.0.0.1
    On,        // alone on the command line, true or false in a file: the field true
    Off,       // the same, the field false
};

using Field = std::variant<QString Config::*, int Config::*, qint64 Config::*, bool Config::*, QVector<quint8> Config::*>;

// Every key of the file, which is an option without its dashes; a new one is
// a line here (and one in --help).
struct Key
{
    const char *name;
    Kind kind;
    Field field;
    qint64 least = 0;
    qint64 most = 0;
    // Integer and Seconds: what is wrong with a value out of range, %1 where,
    // %2 the value, %3 and %4 the ends.
    const char *range = nullptr;
};

const char kMilliseconds[] = QT_TRANSLATE_NOOP("gateway::Config", "%1: %2 is not a number of milliseconds from %3 to %4");

const Key kKeys[] = {
    {"port", Kind::Port, &Config::port},
    {"baud", Kind::Rate, &Config::baudRate},
    {"addresses", Kind::Addresses, &Config::addresses},
    {"answer-ms", Kind::Integer, &Config::answerMs, 5, 1000, kMilliseconds},
    {"period", Kind::Seconds, &Config::periodMs, 100, 3600000,
     QT_TRANSLATE_NOOP("gateway::Config", "%1: %2 is not a number of seconds from %3 to %4")},
    {"broker", Kind::Broker, &Config::broker},
    {"user", Kind::Text, &Config::user},
    {"password-file", Kind::Text, &Config::passwordFile},
    {"ca", Kind::Text, &Config::caFile},
    {"prefix", Kind::Prefix, &Config::prefix},
    {"no-discovery", Kind::Off, &Config::discovery},
    {"record", Kind::Text, &Config::record},
    {"rescan", Kind::Integer, &Config::rescanMinutes, 0, 1440,
     QT_TRANSLATE_NOOP("gateway::Config", "%1: %2 is not a number of minutes from %3 to %4")},
    {"spool", Kind::Text, &Config::spool},
    {"spool-max", Kind::Integer, &Config::spoolMax, 1, 100000000,
     QT_TRANSLATE_NOOP("gateway::Config", "%1: %2 is not a number of readings from %3 to %4")},
    {"modbus-tcp", Kind::Listener, &Config::modbusTcp},
    {"rtu-over-tcp", Kind::Listener, &Config::rtuOverTcp},
    {"allow-writes", Kind::On, &Config::allowWrites},
    {"cache-ms", Kind::Integer, &Config::cacheMs, 0, 3600000, kMilliseconds},
    {"max-clients", Kind::Integer, &Config::maxClients, 1, 1024,
     QT_TRANSLATE_NOOP("gateway::Config", "%1: %2 is not a number of clients from %3 to %4")},
};

const Key *keyNamed(const QString &name)
{
    for (const Key &key : kKeys) {
        if (name == QLatin1String(key.name))
            return &key;
    }
    return nullptr;
}

bool isSwitch(const Key *key)
{
    return key && (key->kind == Kind::On || key->kind == Kind::Off);
}

constexpr qint64 kConfigMost = 1 << 20;
// A password file holds one line; anything much longer is another file.
constexpr qint64 kPasswordMost = 4096;
// As the publisher reads a CA file: a system bundle is a few hundred kB.
constexpr qint64 kCaMost = 16 << 20;

QString passwordRefused(const QString &where)
{
    return QCoreApplication::translate("gateway::Config",
                                       "%1: a password given here can be read by others; put it alone in a file only the gateway "
                                       "reads and give that file with --password-file")
        .arg(where);
}

// Bytes that are no text: a NUL (which would end the text read there) or
// what is not UTF-8; empty when they are text.
QString notText(const QByteArray &bytes, const QString &where)
{
    if (bytes.contains('\0'))
        return QCoreApplication::translate("gateway::Config", "%1: a NUL byte: this is not a text file").arg(where);
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 || state.remainingChars > 0)
        return QCoreApplication::translate("gateway::Config", "%1: not UTF-8 text").arg(where);
    return QString();
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
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString at = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        *error = notText(lines[i], at);
        if (!error->isEmpty())
            return false;
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
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
        if (!keyNamed(key)) {
            *error = QCoreApplication::translate("gateway::Config", "%1: no such key").arg(where);
            return false;
        }
        // A key left behind by an earlier edit would be taken without a word.
        if (lineOf.contains(key)) {
            *error = QCoreApplication::translate("gateway::Config", "%1: given already on line %2").arg(where).arg(lineOf[key]);
            return false;
        }
        // "baud = 9600 # main line" would be a value, not a comment: said
        // rather than taken as a rate, a file name or a user.
        const QString value = line.mid(equals + 1).trimmed();
        if (value.contains(QRegularExpression(QStringLiteral("\\s[#;]")))) {
            *error = QCoreApplication::translate("gateway::Config", "%1: a comment cannot follow a value: put it on a line of its own").arg(where);
            return false;
        }
        lineOf[key] = i + 1;
        keys->insert(key, {value, where});
    }
    error->clear();
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
        const Key *key = keyNamed(name);
        const bool isConfig = name == QLatin1String("config");
        QString problem;
        QString value;
        if (name == QLatin1String("password")) {
            problem = passwordRefused(where);
        } else if (!key && !isConfig) {
            problem = QCoreApplication::translate("gateway::Config", "%1: no such option").arg(where);
        } else if (isSwitch(key)) {
            if (equals >= 0)
                problem = QCoreApplication::translate("gateway::Config", "%1 takes no value").arg(where);
            value = QStringLiteral("true");
        } else if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--"))) {
            value = arguments[++i];
        } else {
            problem = QCoreApplication::translate("gateway::Config", "%1 needs a value").arg(where);
        }
        // The second of two would win over the first without a word.
        if (problem.isEmpty() && (isConfig ? !config->isNull() : options->contains(name)))
            problem = QCoreApplication::translate("gateway::Config", "%1: given twice").arg(where);
        if (problem.isEmpty() && isConfig)
            *config = value.isNull() ? QStringLiteral("") : value;
        else if (problem.isEmpty())
            options->insert(name, {value.trimmed(), where});
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

// A value read as its key's kind says.
struct Value
{
    QString text;
    qint64 number = 0;
    bool on = false;
    QVector<quint8> list;
};

QString number(qint64 n, Kind kind)
{
    return kind == Kind::Seconds ? QString::number(double(n) / 1000, 'g', 10) : QString::number(n);
}

// `text` as `key` takes it; false, with what is wrong said for `where`.
bool read(const Key &key, const QString &text, const QString &where, Value *v, QString *error)
{
    const auto bad = [error](const QString &why) {
        *error = why;
        return false;
    };
    v->text = text;
    switch (key.kind) {
    case Kind::Text:
        return true;
    case Kind::Port: {
        if (!rfc2217::isNetworkPort(text))
            return true;
        const rfc2217::PortUrl server = rfc2217::parsePortUrl(text);
        return server.error.isEmpty() || bad(QStringLiteral("%1: %2").arg(where, server.error));
    }
    case Kind::Rate:
        // Exactly as written here: "96OO" or "0" is no rate, and no search either.
        if (text.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
            return true;
        for (const qint32 rate : rtu::SearchRates) {
            if (text == QString::number(rate)) {
                v->number = rate;
                return true;
            }
        }
        return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not 1200, 2400, 4800, 9600, 19200, 115200 or auto").arg(where, text));
    case Kind::Addresses: {
        QString problem;
        return parseAddresses(text, &v->list, &problem) || bad(QStringLiteral("%1: %2").arg(where, problem));
    }
    case Kind::Integer:
    case Kind::Seconds: {
        // Digits, and for seconds a point: no sign, no unit, no exponent.
        const QRegularExpression shape(key.kind == Kind::Seconds ? QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)$") : QStringLiteral("^\\d+$"));
        bool ok = shape.match(text).hasMatch();
        const double n = ok ? QLocale::c().toDouble(text, &ok) * (key.kind == Kind::Seconds ? 1000 : 1) : 0;
        if (!ok || !(n >= double(key.least) && n <= double(key.most)))
            return bad(QCoreApplication::translate("gateway::Config", key.range)
                           .arg(where, text, number(key.least, key.kind), number(key.most, key.kind)));
        v->number = qRound64(n);
        return true;
    }
    case Kind::Broker:
        return publish::parseBroker(text).valid
            || bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT] with a port from 1 to 65535")
                       .arg(where, text));
    case Kind::Prefix: {
        const QString problem = publish::prefixProblem(text);
        return problem.isEmpty() || bad(QStringLiteral("%1: %2").arg(where, problem));
    }
    case Kind::Listener: {
        QHostAddress host;
        quint16 port = 0;
        QString problem;
        return share::parseEndpoint(text, &host, &port, &problem) || bad(QStringLiteral("%1: %2").arg(where, problem));
    }
    case Kind::On:
    case Kind::Off: {
        const QString word = text.toLower();
        const QStringList yes{QStringLiteral("true"), QStringLiteral("yes"), QStringLiteral("on"), QStringLiteral("1")};
        const QStringList no{QStringLiteral("false"), QStringLiteral("no"), QStringLiteral("off"), QStringLiteral("0")};
        if (!yes.contains(word) && !no.contains(word))
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not true or false").arg(where, text));
        v->on = yes.contains(word) == (key.kind == Kind::On);
        return true;
    }
    }
    return true;
}

template<class... F> struct Overloaded : F... { using F::operator()...; };
template<class... F> Overloaded(F...) -> Overloaded<F...>;

void assign(Config *c, const Field &field, const Value &v)
{
    std::visit(Overloaded{[&](QString Config::*m) { c->*m = v.text; }, [&](int Config::*m) { c->*m = int(v.number); },
                          [&](qint64 Config::*m) { c->*m = v.number; }, [&](bool Config::*m) { c->*m = v.on; },
                          [&](QVector<quint8> Config::*m) { c->*m = v.list; }},
               field);
}

bool same(const Config &a, const Config &b, const Field &field)
{
    return std::visit([&](auto m) { return a.*m == b.*m; }, field);
}

// The field as its key is written in a file.
QString written(const Config &c, const Key &key)
{
    return std::visit(Overloaded{[&](const QString Config::*m) { return c.*m; },
                                 [&](int Config::*m) {
                                     return key.kind == Kind::Rate && c.*m == 0 ? QStringLiteral("auto") : number(c.*m, key.kind);
                                 },
                                 [&](qint64 Config::*m) { return number(c.*m, key.kind); },
                                 [&](bool Config::*m) { return c.*m == (key.kind == Kind::On) ? QStringLiteral("true") : QStringLiteral("false"); },
                                 [&](QVector<quint8> Config::*m) { return addressList(c.*m); }},
                      key.field);
}

// Each setting from its value; false with what is wrong otherwise.
bool interpret(const QHash<QString, Given> &given, Config *c, QString *error)
{
    *c = Config();
    for (const Key &key : kKeys) {
        const Given g = given.value(QLatin1String(key.name));
        Value v;
        if (g.value.isEmpty())
            continue;
        if (!read(key, g.value, g.where, &v, error))
            return false;
        assign(c, key.field, v);
    }

    // What a key's value means for another's.
    const auto where = [&given](const char *key) {
        const QString w = given.value(QLatin1String(key)).where;
        return w.isEmpty() ? QStringLiteral("--") + QLatin1String(key) : w;
    };
    const auto bad = [error](const QString &text) {
        *error = text;
        return false;
    };
    if (c->port.isEmpty())
        return bad(QCoreApplication::translate("gateway::Config", "no line to watch: give --port PATH|URL, or port = in the file"));
    const rfc2217::PortUrl server = rfc2217::parsePortUrl(c->port);
    if (c->baudRate == 0 && rfc2217::isNetworkPort(c->port) && !server.rfc2217)
        return bad(QCoreApplication::translate("gateway::Config", "%1: a raw TCP server cannot change the rate: give the rate the line is set up with")
                       .arg(where("baud")));

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
        const QString problem = notText(bytes, where("password-file") + QStringLiteral(": ") + c->passwordFile);
        if (!problem.isEmpty())
            return bad(problem);
        if (bytes.isEmpty())
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 holds no password").arg(where("password-file"), c->passwordFile));
        if (bytes.contains('\n') || bytes.contains('\r'))
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 holds more than one line").arg(where("password-file"), c->passwordFile));
        c->password = QString::fromUtf8(bytes);
    }

    // Said now rather than at every connection the publisher would try.
    if (!c->caFile.isEmpty()) {
        QByteArray bytes;
        if (!readWhole(c->caFile, kCaMost, where("ca"), &bytes, error))
            return false;
        if (!publish::isPemCertificate(bytes))
            return bad(QCoreApplication::translate("gateway::Config", "%1: %2 is not a certificate in PEM form").arg(where("ca"), c->caFile));
    }

    if (!c->modbusTcp.isEmpty() && !c->rtuOverTcp.isEmpty()) {
        QHostAddress host[2];
        quint16 port[2] = {0, 0};
        QString problem;
        share::parseEndpoint(c->modbusTcp, &host[0], &port[0], &problem);
        share::parseEndpoint(c->rtuOverTcp, &host[1], &port[1], &problem);
        if (port[0] == port[1])
            return bad(QCoreApplication::translate("gateway::Config", "%1: port %2 is given to --modbus-tcp already").arg(where("rtu-over-tcp")).arg(port[1]));
    }
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
    return password == o.password
        && std::all_of(std::begin(kKeys), std::end(kKeys), [&](const Key &key) { return same(*this, o, key.field); });
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
    parsed.config.configFile = configFile;
    return parsed;
}

bool parseAddresses(const QString &text, QVector<quint8> *addresses, QString *error)
{
    QVector<bool> listed(248, false);
    for (const QString &part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.split(QLatin1Char('-'));
        // Digits only: "+5" or "0x05" is a typo, not an address.
        const QRegularExpression digits(QStringLiteral("^\\d+$"));
        if (ends.size() > 2 || !digits.match(ends[0].trimmed()).hasMatch() || !digits.match(ends.last().trimmed()).hasMatch()) {
            *error = QCoreApplication::translate("gateway::Config", "\"%1\" is not an address nor a range like 1-32").arg(part.trimmed());
            return false;
        }
        for (const QString &end : {ends[0].trimmed(), ends.last().trimmed()}) {
            if (end.toInt() < 1 || end.toInt() > 247) {
                *error = QCoreApplication::translate("gateway::Config", "%1 is not an address: they run from 1 to 247").arg(end);
                return false;
            }
        }
        const int first = ends[0].trimmed().toInt();
        const int last = ends.last().trimmed().toInt();
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
    s.prefix = config.prefix.isEmpty() ? gatewayPrefix(QSysInfo::machineHostName(), lineName(config.configFile, config.port)) : config.prefix;
    s.discovery = config.discovery;
    s.retryRefused = true;
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
        "                        option given here overrides the file's key. A line\n"
        "                        that begins with # or ; is a comment\n"
        "  --port PATH|URL       the line: a serial port (/dev/ttyUSB0,\n"
        "                        /dev/serial/by-id/...) or a serial server's URL\n"
        "  --baud N|auto         1200, 2400, 4800, 9600, 19200 or 115200, or auto to\n"
        "                        search it as Link does (default auto)\n"
        "  --addresses LIST      the modules to watch, e.g. 1-32,40 (default: scan\n"
        "                        1-247 at start and watch what answers)\n"
        "  --answer-ms N         how long a module may take to answer, 5 to 1000 ms\n"
        "                        (default: from the answer time Link measures)\n"
        "  --period S            a round of the watch, 0.1 to 3600 s (default 1)\n"
        "  --rescan MINUTES      the addresses not watched are looked at again this\n"
        "                        often, 0 to 1440 (default 10; 0: never)\n"
        "  --broker URL          mqtt://host[:port] or mqtts://host[:port]\n"
        "  --user NAME           the user name the broker knows the gateway by\n"
        "  --password-file FILE  the password, alone in FILE (a password is never\n"
        "                        taken on the command line)\n"
        "  --ca FILE             the CA certificates (PEM) an mqtts:// broker's is\n"
        "                        checked against (default: the system's)\n"
        "  --prefix TOPIC        the topics' first levels, at most 200 characters\n"
        "                        (default hygrovane/<host name>/<line>, the line\n"
        "                        being the --config file's name without .conf, or\n"
        "                        else the port's last part)\n"
        "  --no-discovery        announce no sensors to Home Assistant\n"
        "  --spool FILE          the readings the broker has not acknowledged wait in\n"
        "                        FILE, through restarts and power cuts (default: in\n"
        "                        memory)\n"
        "  --spool-max N         the most readings waiting, 1 to 100000000 (default\n"
        "                        1000000); beyond, the oldest are dropped\n"
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
        "                        ago from memory, 0 to 3600000; 0 sends every read\n"
        "                        to the line (default: the period)\n"
        "  --max-clients N       connections a listener takes at most, 1 to 1024\n"
        "                        (default 16)\n"
        "  --version             the version, and nothing else\n"
        "  -h, --help            this text\n"
        "\n"
        "An empty value is as good as none. Each event is one line on standard error.\n"
        "On SIGTERM or SIGINT the gateway publishes \"offline\", gives the readings\n"
        "still waiting up to 5 s to reach the broker, and ends. On SIGHUP it reads its\n"
        "options and files again, and goes on with the old ones if they are bad. A\n"
        "bad option or key, one given twice, or a value out of its range ends it at\n"
        "once with exit code 2.\n");
}

QString configText(const Config &c)
{
    QString out = QCoreApplication::translate("gateway::Config",
                                              "# Hygrovane gateway: the modules on the line at %1.\n"
                                              "# Read by hygrovane-gateway --config FILE; the service\n"
                                              "# hygrovane-gateway@NAME reads /etc/hygrovane/NAME.conf. An option on\n"
                                              "# the command line overrides a key here.\n")
                      .arg(flat(c.port));
    const Config defaults;
    for (const Key &key : kKeys) {
        const QLatin1String name(key.name);
        // The line and its pace are written out even as they are by default,
        // and so is how often a permanent install looks for modules added.
        const bool always = name == QLatin1String("port") || name == QLatin1String("baud") || name == QLatin1String("period")
            || name == QLatin1String("rescan");
        if (always || !same(c, defaults, key.field))
            out += name + QStringLiteral(" = ") + flat(written(c, key)) + QLatin1Char('\n');
        else if (name == QLatin1String("addresses"))
            out += QCoreApplication::translate("gateway::Config", "# No addresses: all of 1-247 are scanned at start, and what answers is watched.\n");
        else if (name == QLatin1String("password-file") && !c.user.isEmpty())
            out += QCoreApplication::translate("gateway::Config",
                                               "# The password is never written here. Put it alone in\n"
                                               "# /etc/hygrovane/NAME.password, readable by root only: the service\n"
                                               "# hygrovane-gateway@NAME hands the gateway its own copy, named so:\n"
                                               "# password-file = /run/credentials/hygrovane-gateway@NAME.service/password\n");
    }
    return out;
}

} // namespace gateway
