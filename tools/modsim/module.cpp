// The modules themselves: registers, readings and their drift, the data
// logger's memory, and the faults a module brings to the line. Nothing here
// knows of the pseudo-terminal or of time on the wire.
#include "module.h"

#include "frames.h"
#include "modulesim.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace modsim {

using namespace frames;

namespace {

constexpr quint8 FnReadRegisters = 0x03;
constexpr quint8 FnWriteRegister = 0x06;
constexpr quint8 ExIllegalFunction = 0x01;
constexpr quint8 ExIllegalAddress = 0x02;
constexpr quint8 ExIllegalValue = 0x03;

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

constexpr int FirstMeasureRegister = ModuleSim::RegTemperature;
constexpr int LastMeasureRegister = ModuleSim::RegStatus;

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

Module::Module(int index, ModuleSim *line)
    : QObject(line)
    , m_line(line)
    , m_driftTimer(new QTimer(this))
    , m_switchTimer(new QTimer(this))
{
    // A module fresh from the factory: a serial number (each module made gets
    // one of its own), only monitoring, one sample a minute, never set up.
    m_serial = QByteArray::fromHex("180b14091e2d");
    m_serial[5] = char(quint8(m_serial.at(5)) + index);
    m_recordSettings = QByteArray::fromHex("00000000" "0000" "60" "00000000" "ffff" "003c"
                                           "0320014003200140" "00000000" "0000");

    m_driftTimer->setInterval(1000);
    connect(m_driftTimer, &QTimer::timeout, this, &Module::advanceDrift);
    m_switchTimer->setSingleShot(true);
    m_switchTimer->setTimerType(Qt::PreciseTimer);
    connect(m_switchTimer, &QTimer::timeout, this, [this] { setBaudRate(m_switchingTo); });

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
    m_switchTimer->stop();
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

void Module::setAnswerDelay(int ms)
{
    m_answerDelayMs = std::max(-1, ms);
}

int Module::answerDelay() const
{
    return m_answerDelayMs;
}

void Module::setSwitchDelay(int ms)
{
    m_switchDelayMs = std::max(-1, ms);
}

int Module::switchDelay() const
{
    return m_switchDelayMs;
}

int Module::effectiveAnswerDelay() const
{
    return m_answerDelayMs >= 0 ? m_answerDelayMs : m_line->replyDelay();
}

int Module::effectiveSwitchDelay() const
{
    return m_switchDelayMs >= 0 ? m_switchDelayMs : m_line->switchDelay();
}

void Module::switchBaudRate(qint32 baud)
{
    const int late = effectiveSwitchDelay();
    if (late <= 0) {
        setBaudRate(baud);
        return;
    }
    // A second write before the switch: the UART ends at the last rate written.
    m_switchingTo = baud;
    m_switchTimer->start(late);
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
    // Cut so that a client taking the inner 22 7D for the end is caught out.
    if (m_longFrame)
        return {longFrameBytes(), {LongFrameInnerEndAt + 2, LongFrameSecondCut}, ModuleSim::LongFrameGapMs, {}};
    return {frame, {}, 0, {}};
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
            return {exceptionReply(function, ExIllegalValue), {}, 0, {}};
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
            return {exceptionReply(function, ExIllegalAddress), {}, 0, {}};
        }
        return {withCrc(reply), {}, 0, {}};
    }

    if (function == FnWriteRegister) {
        if (m_refusing)
            return {exceptionReply(function, ExIllegalAddress), {}, 0, {}};
        // The change waits for the echo, which may outlive the module.
        const QPointer<Module> self(this);
        if (reg == ModuleSim::RegAddress) {
            if (value < 1 || value > 247)
                return {exceptionReply(function, ExIllegalValue), {}, 0, {}};
            return {frame, {}, 0, [self, value] {
                        if (self)
                            self->setAddress(quint8(value));
                    }};
        }
        if (reg == ModuleSim::RegBaudCode) {
            const qint32 baud = ModuleSim::baudForCode(value);
            if (baud == 0)
                return {exceptionReply(function, ExIllegalValue), {}, 0, {}};
            // The echo still goes out at the old rate; only then does the
            // UART switch over, or later still.
            return {frame, {}, 0, [self, baud] {
                        if (self)
                            self->switchBaudRate(baud);
                    }};
        }
        return {exceptionReply(function, ExIllegalAddress), {}, 0, {}};
    }

    return {exceptionReply(function, ExIllegalFunction), {}, 0, {}};
}

QByteArray Module::exceptionReply(quint8 function, quint8 code) const
{
    QByteArray reply;
    reply.append(char(m_address));
    reply.append(char(function | 0x80));
    reply.append(char(code));
    return withCrc(reply);
}

} // namespace modsim
