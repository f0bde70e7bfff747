#include "modulesim.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace modsim {

namespace {

constexpr quint8 FnReadRegisters = 0x03;
constexpr quint8 FnWriteRegister = 0x06;
constexpr quint8 ExIllegalFunction = 0x01;
constexpr quint8 ExIllegalAddress = 0x02;
constexpr quint8 ExIllegalValue = 0x03;

constexpr int RequestSize = 8;
constexpr quint8 LoggerStart0 = 0x7B;
constexpr quint8 LoggerStart1 = 0x22;
constexpr quint8 LoggerEnd0 = 0x22;
constexpr quint8 LoggerEnd1 = 0x7D;
// 7B 22, command, length, payload, checksum, 22 7D
constexpr int LoggerOverhead = 7;
constexpr quint8 LoggerInfoRequest = 0x0A;
constexpr quint8 LoggerInfoReply = 0x0C;
constexpr quint8 LoggerSettingsRequest = 0x1A;
constexpr quint8 LoggerSettingsReply = 0x1C;
constexpr quint8 LoggerLongFrame = 0x2C;
constexpr quint8 LoggerSetup = 0x4A;
constexpr quint8 LoggerSerialWrite = 0xAA;
constexpr quint8 LoggerSerialAck = 0xAB;
constexpr int SettingsPayloadSize = 29;
constexpr int SerialWritePayloadSize = 7;
constexpr int InfoPayloadSize = 16;
// Wire offsets of the settings fields, in a setup frame and in the reply.
constexpr int SettingsNowAt = 4;
constexpr int SettingsModeAt = 10;
constexpr int SettingsIntervalAt = 17;
constexpr int SettingsStartAt = 27;
// The long frame's first piece ends right after a 22 7D inside its payload,
// so that a client taking that pair for the end of the frame is caught out.
constexpr int LongFrameInnerEndAt = 60;
constexpr int LongFrameSecondCut = 100;

// Room for the longest logger frame plus a request behind it; anything
// beyond that is line garbage and the oldest bytes go first.
constexpr int MaxBuffered = 512;

// Noise is only useful if a client can still tell it from a reply, so it
// comes well after one and a reply never follows it closely.
constexpr int NoiseAfterReplyMs = 100;
constexpr int QuietAfterNoiseMs = 50;

constexpr int FirstMeasureRegister = ModuleSim::RegTemperature;
constexpr int LastMeasureRegister = ModuleSim::RegStatus;

struct RateCode {
    int code;
    qint32 baud;
    speed_t speed;
};
constexpr RateCode Rates[] = {
    {1, 1200, B1200},   {2, 2400, B2400},   {3, 4800, B4800},
    {4, 9600, B9600},   {5, 19200, B19200}, {6, 115200, B115200},
};

speed_t speedFor(qint32 baud)
{
    for (const RateCode &r : Rates) {
        if (r.baud == baud)
            return r.speed;
    }
    return B0;
}

qint16 toTenths(double value)
{
    const double t = std::round(value * 10.0);
    return static_cast<qint16>(std::clamp(t, double(std::numeric_limits<qint16>::min()),
                                          double(std::numeric_limits<qint16>::max())));
}

// Magnus formula with the Sonntag constants the module uses.
double dewPointC(double t, double rh)
{
    const double a = 17.62;
    const double b = 243.12;
    const double gamma = std::log(rh / 100.0) + a * t / (b + t);
    return b * gamma / (a - gamma);
}

// Stull (2011), valid for 5..99 % and -20..50 degC, which covers the drift.
double wetBulbC(double t, double rh)
{
    return t * std::atan(0.151977 * std::sqrt(rh + 8.313659)) + std::atan(t + rh)
           - std::atan(rh - 1.676331) + 0.00391838 * std::pow(rh, 1.5) * std::atan(0.023101 * rh)
           - 4.686035;
}

void putBigEndian(QByteArray &out, quint16 v)
{
    out.append(char(v >> 8));
    out.append(char(v & 0xFF));
}

quint32 wireU32(const QByteArray &settings, int wireOffset)
{
    const auto *b = reinterpret_cast<const quint8 *>(settings.constData()) + wireOffset - 4;
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3];
}

void setWireU32(QByteArray &settings, int wireOffset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        settings[wireOffset - 4 + i] = char(v >> (24 - 8 * i));
}

QByteArray loggerFrame(quint8 command, const QByteArray &payload)
{
    QByteArray frame;
    frame.append(char(LoggerStart0));
    frame.append(char(LoggerStart1));
    frame.append(char(command));
    frame.append(char(payload.size()));
    frame.append(payload);
    quint8 sum = 0;
    for (int i = 2; i < frame.size(); ++i)
        sum = quint8(sum + quint8(frame.at(i)));
    frame.append(char(sum));
    frame.append(char(LoggerEnd0));
    frame.append(char(LoggerEnd1));
    return frame;
}

bool looksLikeLoggerFrame(const QByteArray &frame)
{
    return frame.size() >= LoggerOverhead && quint8(frame.at(0)) == LoggerStart0
           && quint8(frame.at(1)) == LoggerStart1;
}

// Where a reply carries its check: a logger frame's checksum sits before the
// 22 7D trailer, an RTU frame's CRC ends it.
int checkByteAt(const QByteArray &frame)
{
    return looksLikeLoggerFrame(frame) ? frame.size() - 3 : frame.size() - 1;
}

// Whether a client would take the bytes for a whole frame.
bool checkHolds(const QByteArray &frame)
{
    const auto *b = reinterpret_cast<const quint8 *>(frame.constData());
    const int size = frame.size();
    if (looksLikeLoggerFrame(frame) && b[3] + LoggerOverhead == size) {
        quint8 sum = 0;
        for (int i = 2; i < size - 3; ++i)
            sum = quint8(sum + b[i]);
        if (b[size - 3] == sum && b[size - 2] == LoggerEnd0 && b[size - 1] == LoggerEnd1)
            return true;
    }
    return size >= 4 && crc16(frame.constData(), size - 2) == quint16(b[size - 2] | (b[size - 1] << 8));
}

QByteArray longFrameBytes()
{
    // A stand-in for a block of records: counting bytes, plus the inner 22 7D.
    QByteArray payload(ModuleSim::LongFrameSize - LoggerOverhead, '\0');
    for (int i = 0; i < payload.size(); ++i)
        payload[i] = char(i);
    payload[LongFrameInnerEndAt - 4] = char(LoggerEnd0);
    payload[LongFrameInnerEndAt - 3] = char(LoggerEnd1);
    return loggerFrame(LoggerLongFrame, payload);
}

} // namespace

quint16 crc16(const char *data, int size)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

quint16 crc16(const QByteArray &data)
{
    return crc16(data.constData(), data.size());
}

QByteArray withCrc(const QByteArray &frame)
{
    const quint16 crc = crc16(frame);
    QByteArray out = frame;
    out.append(char(crc & 0xFF));
    out.append(char(crc >> 8));
    return out;
}

// ---- a module --------------------------------------------------------------

Module::Module(int index, QObject *parent)
    : QObject(parent)
    , m_driftTimer(new QTimer(this))
{
    // A module fresh from the factory: a serial number (each module made gets
    // one of its own), only monitoring, one sample a minute, never set up.
    m_serial = QByteArray::fromHex("180b14091e2d");
    m_serial[5] = char(quint8(m_serial.at(5)) + index);
    m_recordSettings = QByteArray::fromHex("00000000" "0000" "60" "00000000" "ffff" "003c"
                                           "0320014003200140" "00000000" "0000");

    m_driftTimer->setInterval(1000);
    connect(m_driftTimer, &QTimer::timeout, this, &Module::advanceDrift);

    // A little spread so that two simulators side by side do not show the
    // same numbers.
    QRandomGenerator *rng = QRandomGenerator::global();
    setMeasured(22.0 + rng->bounded(4.0), 40.0 + rng->bounded(20.0));
    m_driftTimer->start();
}

quint8 Module::address() const
{
    return m_address;
}

bool Module::setAddress(quint8 address)
{
    if (address < 1 || address > 247)
        return false;
    if (address != m_address) {
        m_address = address;
        emit addressChanged(address);
    }
    return true;
}

qint32 Module::baudRate() const
{
    return m_baud;
}

bool Module::setBaudRate(qint32 baud)
{
    if (ModuleSim::baudCode(baud) == 0)
        return false;
    if (baud != m_baud) {
        m_baud = baud;
        emit baudRateChanged(baud);
    }
    return true;
}

void Module::setValues(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb)
{
    setDrift(false);
    m_temperatureC = temperature / 10.0;
    m_humidityPct = humidity / 10.0;
    m_temperature = temperature;
    m_humidity = humidity;
    m_dewPoint = dewPoint;
    m_wetBulb = wetBulb;
    emit valuesChanged();
}

void Module::setClimate(qint16 temperature, quint16 humidity)
{
    setDrift(false);
    setMeasured(temperature / 10.0, humidity / 10.0);
}

void Module::setMeasured(double temperatureC, double humidityPct)
{
    m_temperatureC = temperatureC;
    m_humidityPct = humidityPct;
    m_temperature = toTenths(temperatureC);
    m_humidity = quint16(std::clamp(std::round(humidityPct * 10.0), 0.0, 65535.0));
    // Derived from the reported figures, so that a client recomputing them
    // from the registers lands on the same numbers. The logarithm needs a
    // humidity above zero.
    const double t = m_temperature / 10.0;
    const double rh = std::clamp(m_humidity / 10.0, 0.1, 100.0);
    m_dewPoint = toTenths(dewPointC(t, rh));
    m_wetBulb = toTenths(wetBulbC(t, rh));
    emit valuesChanged();
}

void Module::setDrift(bool on)
{
    m_drift = on;
    if (on)
        m_driftTimer->start();
    else
        m_driftTimer->stop();
}

bool Module::drift() const
{
    return m_drift;
}

void Module::setDriftInterval(int ms)
{
    m_driftTimer->setInterval(std::max(1, ms));
}

void Module::advanceDrift()
{
    // A random walk with a gentle pull towards the middle of the range, so
    // values wander for hours without sticking to a limit.
    QRandomGenerator *rng = QRandomGenerator::global();
    double t = m_temperatureC + (rng->generateDouble() - 0.5) * 0.2 + (25.0 - m_temperatureC) * 0.01;
    double h = m_humidityPct + (rng->generateDouble() - 0.5) * 0.8 + (55.0 - m_humidityPct) * 0.01;
    t = std::clamp(t, 20.0, 30.0);
    h = std::clamp(h, 30.0, 80.0);
    setMeasured(t, h);
}

qint16 Module::temperature() const
{
    return m_temperature;
}

quint16 Module::humidity() const
{
    return m_humidity;
}

qint16 Module::dewPoint() const
{
    return m_dewPoint;
}

qint16 Module::wetBulb() const
{
    return m_wetBulb;
}

void Module::setSilent(bool on)
{
    m_silent = on;
}

bool Module::silent() const
{
    return m_silent;
}

void Module::setRefusing(bool on)
{
    m_refusing = on;
}

bool Module::refusing() const
{
    return m_refusing;
}

void Module::setLoggerSilent(bool on)
{
    m_loggerSilent = on;
}

bool Module::loggerSilent() const
{
    return m_loggerSilent;
}

void Module::setSetupUnacknowledged(bool on)
{
    m_setupUnacknowledged = on;
}

bool Module::setupUnacknowledged() const
{
    return m_setupUnacknowledged;
}

void Module::setLongFrame(bool on)
{
    m_longFrame = on;
}

bool Module::longFrame() const
{
    return m_longFrame;
}

int Module::loggerModel() const
{
    return m_loggerModel;
}

bool Module::setLoggerModel(int model)
{
    if (model < 0 || model > 9999)
        return false;
    m_loggerModel = model;
    return true;
}

QByteArray Module::serialBytes() const
{
    return m_serial;
}

quint8 Module::serialPrefix() const
{
    return m_serialPrefix;
}

bool Module::setSerialBytes(const QByteArray &six, quint8 prefix)
{
    if (six.size() != 6)
        return false;
    m_serial = six;
    m_serialPrefix = prefix;
    return true;
}

QByteArray Module::recordSettings() const
{
    return m_recordSettings;
}

quint8 Module::modeByte() const
{
    return quint8(m_recordSettings.at(SettingsModeAt - 4));
}

int Module::recordMode() const
{
    return (modeByte() >> 5) & 3;
}

bool Module::setRecordMode(int mode)
{
    if (mode < 1 || mode > 3)
        return false;
    m_recordSettings[SettingsModeAt - 4] = char(mode << 5);
    return true;
}

quint16 Module::sampleInterval() const
{
    const int at = SettingsIntervalAt - 4;
    return quint16((quint8(m_recordSettings.at(at)) << 8) | quint8(m_recordSettings.at(at + 1)));
}

void Module::setSampleInterval(quint16 seconds)
{
    m_recordSettings[SettingsIntervalAt - 4] = char(seconds >> 8);
    m_recordSettings[SettingsIntervalAt - 3] = char(seconds & 0xFF);
}

quint32 Module::recordStart() const
{
    return wireU32(m_recordSettings, SettingsStartAt);
}

void Module::setRecordStart(quint32 unixSeconds)
{
    setWireU32(m_recordSettings, SettingsStartAt, unixSeconds);
}

quint32 Module::setupClock() const
{
    return wireU32(m_recordSettings, SettingsNowAt);
}

QByteArray Module::infoReply() const
{
    QByteArray payload(InfoPayloadSize, '\0');
    const QByteArray digits = QByteArray::number(m_loggerModel).rightJustified(4, '0');
    payload.replace(2, 4, digits);
    payload[7] = char(m_serialPrefix);
    payload.replace(8, 6, m_serial);
    return loggerFrame(LoggerInfoReply, payload);
}

QByteArray Module::settingsReply() const
{
    return loggerFrame(LoggerSettingsReply, m_recordSettings);
}

Module::Answer Module::loggerReply(const QByteArray &frame) const
{
    if (m_longFrame)
        return {longFrameBytes(), true, {}};
    return {frame, false, {}};
}

Module::Answer Module::answerLoggerFrame(const QByteArray &frame)
{
    const auto *b = reinterpret_cast<const quint8 *>(frame.constData());
    const quint8 command = b[2];
    const int length = b[3];

    switch (command) {
    case LoggerInfoRequest:
        return loggerReply(infoReply());
    case LoggerSettingsRequest:
        return loggerReply(settingsReply());
    case LoggerSetup:
        if (length != SettingsPayloadSize || m_setupUnacknowledged)
            return {};
        m_recordSettings = frame.mid(4, SettingsPayloadSize);
        return loggerReply(settingsReply());
    case LoggerSerialWrite:
        if (length != SerialWritePayloadSize)
            return {};
        m_serialPrefix = b[4];
        m_serial = frame.mid(5, 6);
        return loggerReply(loggerFrame(LoggerSerialAck, QByteArray()));
    default:
        return {};
    }
}

Module::Answer Module::answerRequest(const QByteArray &frame)
{
    const auto *b = reinterpret_cast<const quint8 *>(frame.constData());
    const quint8 function = b[1];
    const int reg = (b[2] << 8) | b[3];
    const int value = (b[4] << 8) | b[5];

    if (function == FnReadRegisters) {
        const int count = value;
        if (count < 1 || count > 125)
            return {exceptionReply(function, ExIllegalValue), false, {}};
        QByteArray reply;
        reply.append(char(m_address));
        reply.append(char(function));
        reply.append(char(2 * count));
        if (reg >= FirstMeasureRegister && reg + count - 1 <= LastMeasureRegister) {
            const quint16 regs[] = {quint16(m_temperature), m_humidity, quint16(m_dewPoint),
                                    quint16(m_wetBulb), 0};
            for (int i = 0; i < count; ++i)
                putBigEndian(reply, regs[reg - FirstMeasureRegister + i]);
        } else if (reg == ModuleSim::RegAddress && count == 1) {
            putBigEndian(reply, m_address);
        } else {
            return {exceptionReply(function, ExIllegalAddress), false, {}};
        }
        return {withCrc(reply), false, {}};
    }

    if (function == FnWriteRegister) {
        if (m_refusing)
            return {exceptionReply(function, ExIllegalAddress), false, {}};
        // The change waits for the echo, which may outlive the module.
        const QPointer<Module> self(this);
        if (reg == ModuleSim::RegAddress) {
            if (value < 1 || value > 247)
                return {exceptionReply(function, ExIllegalValue), false, {}};
            return {frame, false, [self, value] {
                        if (self)
                            self->setAddress(quint8(value));
                    }};
        }
        if (reg == ModuleSim::RegBaudCode) {
            const qint32 baud = ModuleSim::baudForCode(value);
            if (baud == 0)
                return {exceptionReply(function, ExIllegalValue), false, {}};
            // The echo still goes out at the old rate; only then does the
            // UART switch over.
            return {frame, false, [self, baud] {
                        if (self)
                            self->setBaudRate(baud);
                    }};
        }
        return {exceptionReply(function, ExIllegalAddress), false, {}};
    }

    return {exceptionReply(function, ExIllegalFunction), false, {}};
}

QByteArray Module::exceptionReply(quint8 function, quint8 code) const
{
    QByteArray reply;
    reply.append(char(m_address));
    reply.append(char(function | 0x80));
    reply.append(char(code));
    return withCrc(reply);
}

// ---- the line --------------------------------------------------------------

ModuleSim::ModuleSim(QObject *parent)
    : QObject(parent)
    , m_gapTimer(new QTimer(this))
    , m_sendTimer(new QTimer(this))
    , m_noiseTimer(new QTimer(this))
{
    m_gapTimer->setSingleShot(true);
    m_gapTimer->setInterval(ResyncGapMs);
    connect(m_gapTimer, &QTimer::timeout, this, &ModuleSim::onResyncGap);

    m_sendTimer->setSingleShot(true);
    m_sendTimer->setTimerType(Qt::PreciseTimer);
    connect(m_sendTimer, &QTimer::timeout, this, &ModuleSim::onSendTimer);

    m_noiseTimer->setSingleShot(true);
    m_noiseTimer->setInterval(NoiseAfterReplyMs);
    connect(m_noiseTimer, &QTimer::timeout, this, &ModuleSim::onNoiseTimer);

    // The first module stays for the life of the line, so what is said of
    // "the module" can be said through the line.
    addModule(1, 9600);
    connect(first(), &Module::addressChanged, this, &ModuleSim::addressChanged);
    connect(first(), &Module::baudRateChanged, this, &ModuleSim::baudRateChanged);
    connect(first(), &Module::valuesChanged, this, &ModuleSim::valuesChanged);
}

ModuleSim::~ModuleSim()
{
    stop();
}

bool ModuleSim::start(const QString &linkPath)
{
    stop();
    m_error.clear();

    auto fail = [this](const QString &what) {
        m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
        stop();
        return false;
    };

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (::grantpt(m_master) != 0)
        return fail(QStringLiteral("grantpt"));
    if (::unlockpt(m_master) != 0)
        return fail(QStringLiteral("unlockpt"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_slavePath = QString::fromLocal8Bit(name);

    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(QStringLiteral("fcntl"));

    // Holding the slave open ourselves means the master never sees a hang-up
    // when the client closes and reopens the port; raw mode keeps the line
    // discipline from echoing our replies back to us before a client has set
    // the line up.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveKeeper < 0)
        return fail(QStringLiteral("open %1").arg(m_slavePath));
    termios tio {};
    if (::tcgetattr(m_slaveKeeper, &tio) != 0)
        return fail(QStringLiteral("tcgetattr"));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, speedFor(first()->baudRate()));
    ::cfsetospeed(&tio, speedFor(first()->baudRate()));
    if (::tcsetattr(m_slaveKeeper, TCSANOW, &tio) != 0)
        return fail(QStringLiteral("tcsetattr"));

    if (!linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(linkPath);
        struct stat st {};
        if (::lstat(link.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(QStringLiteral("%1 exists and is not a link").arg(linkPath));
            }
            if (::unlink(link.constData()) != 0)
                return fail(QStringLiteral("remove stale link %1").arg(linkPath));
        }
        if (::symlink(name, link.constData()) != 0)
            return fail(QStringLiteral("symlink %1").arg(linkPath));
        m_linkPath = linkPath;
    }

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ModuleSim::onReadable);
    return true;
}

void ModuleSim::stop()
{
    m_gapTimer->stop();
    m_sendTimer->stop();
    m_noiseTimer->stop();
    m_outgoing.clear();
    m_rx.clear();

    if (m_notifier) {
        // stop() may be reached from a slot run by this very notifier.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }

    if (!m_linkPath.isEmpty()) {
        // Only our own link goes: another run may have taken the name over.
        const QByteArray link = QFile::encodeName(m_linkPath);
        char target[256] = {};
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0 && QString::fromLocal8Bit(target, int(n)) == m_slavePath)
            ::unlink(link.constData());
        m_linkPath.clear();
    }
    if (m_slaveKeeper >= 0) {
        ::close(m_slaveKeeper);
        m_slaveKeeper = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_slavePath.clear();
}

bool ModuleSim::isRunning() const
{
    return m_master >= 0;
}

QString ModuleSim::errorString() const
{
    return m_error;
}

QString ModuleSim::portPath() const
{
    return m_linkPath.isEmpty() ? m_slavePath : m_linkPath;
}

QString ModuleSim::slavePath() const
{
    return m_slavePath;
}

// ---- the modules on the line -----------------------------------------------

int ModuleSim::addModule(quint8 address, qint32 baud)
{
    if (address < 1 || address > 247 || baudCode(baud) == 0)
        return -1;
    auto *module = new Module(m_created++, this);
    module->m_address = address;
    module->m_baud = baud;
    // A line whose modules show the same numbers could hide which one answered.
    const auto same = [module](const Module *other) {
        return other->temperature() == module->temperature() && other->humidity() == module->humidity();
    };
    while (std::any_of(m_modules.cbegin(), m_modules.cend(), same))
        module->advanceDrift();
    m_modules.append(module);
    return m_modules.size() - 1;
}

bool ModuleSim::setModules(const QString &list, qint32 baud)
{
    if (baudCode(baud) == 0)
        return false;
    QList<QPair<int, qint32>> wanted;
    for (const QString &entry : list.split(QLatin1Char(','))) {
        const QString item = entry.trimmed();
        bool addressOk = false;
        bool rateOk = true;
        const int address = item.section(QLatin1Char('@'), 0, 0).toInt(&addressOk);
        const qint32 rate = item.contains(QLatin1Char('@')) ? item.section(QLatin1Char('@'), 1).toInt(&rateOk) : baud;
        if (!addressOk || !rateOk || address < 1 || address > 247 || baudCode(rate) == 0)
            return false;
        wanted.append({address, rate});
    }
    for (int i = 0; i < wanted.size(); ++i) {
        if (i < m_modules.size()) {
            m_modules.at(i)->setAddress(quint8(wanted.at(i).first));
            m_modules.at(i)->setBaudRate(wanted.at(i).second);
        } else {
            addModule(quint8(wanted.at(i).first), wanted.at(i).second);
        }
    }
    while (m_modules.size() > wanted.size()) {
        // Later: this may run from a slot of the module's own signal.
        Module *gone = m_modules.takeLast();
        gone->setDrift(false);
        gone->deleteLater();
    }
    return true;
}

int ModuleSim::moduleCount() const
{
    return m_modules.size();
}

Module *ModuleSim::module(int index) const
{
    return index >= 0 && index < m_modules.size() ? m_modules.at(index) : nullptr;
}

quint8 ModuleSim::address() const
{
    return first()->address();
}

bool ModuleSim::setAddress(quint8 address)
{
    return first()->setAddress(address);
}

qint32 ModuleSim::baudRate() const
{
    return first()->baudRate();
}

bool ModuleSim::setBaudRate(qint32 baud)
{
    return first()->setBaudRate(baud);
}

int ModuleSim::baudCode(qint32 baud)
{
    for (const RateCode &r : Rates) {
        if (r.baud == baud)
            return r.code;
    }
    return 0;
}

qint32 ModuleSim::baudForCode(int code)
{
    for (const RateCode &r : Rates) {
        if (r.code == code)
            return r.baud;
    }
    return 0;
}

void ModuleSim::setValues(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb)
{
    first()->setValues(temperature, humidity, dewPoint, wetBulb);
}

void ModuleSim::setClimate(qint16 temperature, quint16 humidity)
{
    first()->setClimate(temperature, humidity);
}

void ModuleSim::setDrift(bool on)
{
    first()->setDrift(on);
}

bool ModuleSim::drift() const
{
    return first()->drift();
}

void ModuleSim::setDriftInterval(int ms)
{
    first()->setDriftInterval(ms);
}

void ModuleSim::advanceDrift()
{
    first()->advanceDrift();
}

qint16 ModuleSim::temperature() const
{
    return first()->temperature();
}

quint16 ModuleSim::humidity() const
{
    return first()->humidity();
}

qint16 ModuleSim::dewPoint() const
{
    return first()->dewPoint();
}

qint16 ModuleSim::wetBulb() const
{
    return first()->wetBulb();
}

void ModuleSim::setSilent(bool on)
{
    first()->setSilent(on);
}

void ModuleSim::setReplyDelay(int ms)
{
    m_replyDelayMs = std::max(0, ms);
}

void ModuleSim::setSplit(int chunks, int gapMs)
{
    m_splitChunks = std::max(1, chunks);
    m_splitGapMs = std::max(0, gapMs);
}

void ModuleSim::setExtraByte(bool on)
{
    m_extraByte = on;
}

void ModuleSim::setCorruptCrc(bool on)
{
    m_corruptCrc = on;
}

void ModuleSim::setNoise(bool on)
{
    m_noise = on;
    if (!on)
        m_noiseTimer->stop();
}

int ModuleSim::loggerModel() const
{
    return first()->loggerModel();
}

bool ModuleSim::setLoggerModel(int model)
{
    return first()->setLoggerModel(model);
}

QByteArray ModuleSim::serialBytes() const
{
    return first()->serialBytes();
}

quint8 ModuleSim::serialPrefix() const
{
    return first()->serialPrefix();
}

bool ModuleSim::setSerialBytes(const QByteArray &six, quint8 prefix)
{
    return first()->setSerialBytes(six, prefix);
}

QByteArray ModuleSim::recordSettings() const
{
    return first()->recordSettings();
}

quint8 ModuleSim::modeByte() const
{
    return first()->modeByte();
}

int ModuleSim::recordMode() const
{
    return first()->recordMode();
}

bool ModuleSim::setRecordMode(int mode)
{
    return first()->setRecordMode(mode);
}

quint16 ModuleSim::sampleInterval() const
{
    return first()->sampleInterval();
}

void ModuleSim::setSampleInterval(quint16 seconds)
{
    first()->setSampleInterval(seconds);
}

quint32 ModuleSim::recordStart() const
{
    return first()->recordStart();
}

void ModuleSim::setRecordStart(quint32 unixSeconds)
{
    first()->setRecordStart(unixSeconds);
}

quint32 ModuleSim::setupClock() const
{
    return first()->setupClock();
}

void ModuleSim::setLongFrame(bool on)
{
    first()->setLongFrame(on);
}

bool ModuleSim::longFrame() const
{
    return first()->longFrame();
}

// ---- receiving -------------------------------------------------------------

qint32 ModuleSim::clientBaud() const
{
    // On Linux the master reports the termios of the slave, i.e. what the
    // client has set. glibc keeps one rate for both directions, but accept
    // an input rate of 0 ("same as output") as POSIX allows.
    termios tio {};
    if (m_master < 0 || ::tcgetattr(m_master, &tio) != 0)
        return 0;
    //
    // The modules run 8N1. Of the rest of the line setting only the stop bits
    // reach us: Linux forces every pseudo-terminal to 8 data bits without
    // parity whatever the client asks for, so those two cannot be checked.
    const speed_t out = ::cfgetospeed(&tio);
    const speed_t in = ::cfgetispeed(&tio);
    if ((tio.c_cflag & CSTOPB) || (in != out && in != B0))
        return 0;
    for (const RateCode &r : Rates) {
        if (r.speed == out)
            return r.baud;
    }
    return 0;
}

bool ModuleSim::anyModuleAt(qint32 baud) const
{
    return std::any_of(m_modules.cbegin(), m_modules.cend(),
                       [baud](const Module *m) { return m->baudRate() == baud; });
}

void ModuleSim::onReadable()
{
    char chunk[256];
    for (;;) {
        if (m_master < 0)
            return;
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            consume(chunk, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EIO would mean no slave is open, which our own slave fd prevents;
        // stop listening rather than spin on it.
        if (m_notifier)
            m_notifier->setEnabled(false);
        return;
    }
}

void ModuleSim::consume(const char *data, int size)
{
    const qint32 baud = clientBaud();
    // Part of a request heard at one rate and the rest at another is no
    // request at all.
    QByteArray lost;
    if (!m_rx.isEmpty() && baud != m_rxBaud) {
        lost = m_rx;
        m_rx.clear();
        m_gapTimer->stop();
    }
    if (!anyModuleAt(baud)) {
        // At a rate or line setting no module runs at, their UARTs would
        // only see framing or parity errors.
        lost.append(data, size);
        emit discarded(lost);
        return;
    }
    if (!lost.isEmpty())
        emit discarded(lost);
    m_rxBaud = baud;
    m_rx.append(data, size);
    if (m_rx.size() > MaxBuffered) {
        const int excess = m_rx.size() - MaxBuffered;
        const QByteArray dropped = m_rx.left(excess);
        m_rx.remove(0, excess);
        emit discarded(dropped);
    }
    parseBuffer();
    if (m_rx.isEmpty())
        m_gapTimer->stop();
    else
        m_gapTimer->start();
}

void ModuleSim::onResyncGap()
{
    if (m_rx.isEmpty())
        return;
    const QByteArray lost = m_rx;
    m_rx.clear();
    emit discarded(lost);
}

void ModuleSim::parseBuffer()
{
    QByteArray skipped;
    auto skipOne = [&] {
        skipped.append(m_rx.at(0));
        m_rx.remove(0, 1);
    };

    while (!m_rx.isEmpty() && m_master >= 0) {
        const auto *b = reinterpret_cast<const quint8 *>(m_rx.constData());
        const int size = m_rx.size();

        if (b[0] == LoggerStart0 && (size < 2 || b[1] == LoggerStart1)) {
            if (size < 4)
                break;
            const int total = b[3] + LoggerOverhead;
            if (size < total)
                break;
            quint8 sum = 0;
            for (int i = 2; i < total - 3; ++i)
                sum = quint8(sum + b[i]);
            if (b[total - 3] == sum && b[total - 2] == LoggerEnd0 && b[total - 1] == LoggerEnd1) {
                const QByteArray frame = m_rx.left(total);
                m_rx.remove(0, total);
                emit loggerFrameHeard(frame);
                handleLoggerFrame(frame);
            } else {
                skipOne();
            }
            continue;
        }

        if (size < RequestSize)
            break;
        const quint16 crc = quint16(b[6] | (b[7] << 8));
        if (crc16(m_rx.constData(), RequestSize - 2) == crc) {
            const QByteArray frame = m_rx.left(RequestSize);
            m_rx.remove(0, RequestSize);
            handleRequest(frame);
        } else {
            skipOne();
        }
    }
    if (!skipped.isEmpty())
        emit discarded(skipped);
}

void ModuleSim::handleRequest(const QByteArray &frame)
{
    const quint8 target = quint8(frame.at(0));
    const auto hears = [this, target](const Module *m) {
        return m->baudRate() == m_rxBaud && (target == 0 || target == m->address());
    };
    if (std::none_of(m_modules.cbegin(), m_modules.cend(), hears))
        return;
    emit requestHeard(frame);

    QList<Module::Answer> answers;
    for (Module *m : m_modules) {
        if (!hears(m))
            continue;
        Module::Answer a = m->answerRequest(frame);
        if (m->silent())
            a.reply.clear();
        answers.append(a);
    }
    answer(answers);
}

void ModuleSim::handleLoggerFrame(const QByteArray &frame)
{
    QList<Module::Answer> answers;
    for (Module *m : m_modules) {
        if (m->baudRate() != m_rxBaud)
            continue;
        Module::Answer a = m->answerLoggerFrame(frame);
        if (m->silent() || m->loggerSilent())
            a.reply.clear();
        answers.append(a);
    }
    answer(answers);
}

// ---- sending ---------------------------------------------------------------

void ModuleSim::answer(const QList<Module::Answer> &answers)
{
    QList<Module::Answer> replies;
    for (const Module::Answer &a : answers) {
        if (!a.reply.isEmpty())
            replies.append(a);
        else if (a.afterSent)
            a.afterSent();
    }
    if (replies.isEmpty())
        return;
    if (replies.size() == 1) {
        transmit(replies.first().reply, replies.first().longFrame, false, replies.first().afterSent);
        return;
    }

    // Several modules talking at once: a bit is low on the line when any of
    // them drives it low, and a module that has finished leaves it idle high.
    int size = 0;
    for (const Module::Answer &a : replies)
        size = std::max(size, int(a.reply.size()));
    QByteArray line(size, char(0xFF));
    bool longFrame = false;
    for (const Module::Answer &a : replies) {
        for (int i = 0; i < a.reply.size(); ++i)
            line[i] = char(quint8(line.at(i)) & quint8(a.reply.at(i)));
        longFrame = longFrame || (a.longFrame && a.reply.size() == size);
    }
    transmit(line, longFrame, true, [replies] {
        for (const Module::Answer &a : replies) {
            if (a.afterSent)
                a.afterSent();
        }
    });
}

void ModuleSim::sendReply(const QByteArray &frame, std::function<void()> afterSent)
{
    transmit(frame, false, false, std::move(afterSent));
}

void ModuleSim::transmit(const QByteArray &frame, bool longFrame, bool collided,
                         std::function<void()> afterSent)
{
    if (longFrame) {
        enqueue(frame, {LongFrameInnerEndAt + 2, LongFrameSecondCut}, LongFrameGapMs, collided,
                std::move(afterSent));
        return;
    }
    const int size = frame.size() + (m_extraByte ? 1 : 0);
    const int pieces = std::clamp(m_splitChunks, 1, std::max(1, size));
    QList<int> cuts;
    for (int i = 1; i < pieces; ++i)
        cuts.append(int(qint64(size) * i / pieces));
    enqueue(frame, cuts, m_splitGapMs, collided, std::move(afterSent));
}

void ModuleSim::enqueue(const QByteArray &frame, const QList<int> &cuts, int gapMs, bool collided,
                        std::function<void()> afterSent)
{
    if (m_master < 0) {
        if (afterSent)
            afterSent();
        return;
    }

    Outgoing out;
    out.bytes = frame;
    if (m_corruptCrc && !out.bytes.isEmpty()) {
        const int at = checkByteAt(out.bytes);
        out.bytes[at] = char(~quint8(out.bytes.at(at)));
    }
    // Colliding replies that happen to add up to a valid frame (two echoes
    // of one write are the same bytes) would hide the collision.
    if (collided && checkHolds(out.bytes)) {
        const int at = checkByteAt(out.bytes);
        out.bytes[at] = char(~quint8(out.bytes.at(at)));
    }
    if (m_extraByte)
        out.bytes.append('\0');

    const int size = out.bytes.size();
    int from = 0;
    for (const int cut : cuts) {
        if (cut <= from || cut >= size)
            continue;
        out.pieces.append(out.bytes.mid(from, cut - from));
        from = cut;
    }
    out.pieces.append(out.bytes.mid(from));
    out.gapMs = gapMs;
    // Replies go out at the rate of the frame they answer.
    out.baud = m_rxBaud != 0 ? m_rxBaud : first()->baudRate();
    out.afterSent = std::move(afterSent);

    m_outgoing.enqueue(std::move(out));
    if (m_outgoing.size() == 1)
        scheduleHead();
}

void ModuleSim::scheduleHead()
{
    int wait = m_replyDelayMs;
    if (m_sinceNoise.isValid()) {
        const qint64 quietLeft = QuietAfterNoiseMs - m_sinceNoise.elapsed();
        if (quietLeft > wait)
            wait = int(quietLeft);
    }
    m_noiseTimer->stop();
    m_sendTimer->start(wait);
}

void ModuleSim::onSendTimer()
{
    if (m_outgoing.isEmpty())
        return;
    Outgoing &head = m_outgoing.head();
    writeLine(head.pieces.at(head.next), head.baud);
    ++head.next;
    if (head.next < head.pieces.size()) {
        m_sendTimer->start(head.gapMs);
        return;
    }

    Outgoing done = m_outgoing.dequeue();
    m_noiseBaud = done.baud;
    if (done.afterSent)
        done.afterSent();
    emit replySent(done.bytes);
    if (m_master < 0)
        return; // a receiver stopped us
    if (!m_outgoing.isEmpty())
        scheduleHead();
    else if (m_noise)
        m_noiseTimer->start();
}

void ModuleSim::onNoiseTimer()
{
    if (!m_outgoing.isEmpty() || !m_noise)
        return;
    QRandomGenerator *rng = QRandomGenerator::global();
    QByteArray noise(1 + int(rng->bounded(4)), '\0');
    for (char &c : noise)
        c = char(rng->bounded(256));
    writeLine(noise, m_noiseBaud);
    m_sinceNoise.start();
}

bool ModuleSim::writeLine(const QByteArray &bytes, qint32 baud)
{
    // A client at another rate would only get framing errors; it hears nothing.
    if (m_master < 0 || clientBaud() != baud)
        return false;
    const char *p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_master, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // nobody draining the slave: the bytes are lost, as on a wire
        p += n;
        left -= n;
    }
    return true;
}

} // namespace modsim
