// One simulated temperature-and-humidity module: its registers, its data
// logger's memory and the faults that belong to it. What it hears and how
// its answers travel is the line's business (modulesim.h).
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

class QTimer;

namespace modsim {

// CRC-16/MODBUS (init 0xFFFF, reflected polynomial 0xA001, no final xor).
// On the wire it follows the frame low byte first.
quint16 crc16(const char *data, int size);
quint16 crc16(const QByteArray &data);

// The frame with its CRC appended, low byte first.
QByteArray withCrc(const QByteArray &frame);

class ModuleSim;

// One module on the line: its address and rate, its readings, its logger
// memory and the faults that belong to it. The line owns it, hands it what
// it hears and puts its answers on the wire.
class Module : public QObject
{
    Q_OBJECT

public:
    // Bus address, 1..247. Also changed by the client writing RegAddress.
    // Two modules may share one; their replies then collide.
    quint8 address() const;
    bool setAddress(quint8 address); // false, and no change, outside 1..247

    // Line rate: 1200, 2400, 4800, 9600, 19200 or 115200. The module only
    // hears and answers while the client's slave side is set to this rate
    // and one stop bit (it runs 8N1). Setting it cancels a late switch
    // still to come (see setSwitchDelay).
    qint32 baudRate() const;
    bool setBaudRate(qint32 baud); // false, and no change, for other rates

    // Freezes the four measurement registers at exactly these values
    // (tenths) and stops the drift.
    void setValues(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb);
    // Freezes temperature and humidity and derives dew point (Magnus) and
    // wet bulb (Stull) from them as the module does; stops the drift.
    void setClimate(qint16 temperature, quint16 humidity);

    // With drift on (the default) temperature wanders in 20..30 degC and
    // humidity in 30..80 %, one small step per drift interval (1 s by
    // default); dew point and wet bulb follow.
    void setDrift(bool on);
    bool drift() const;
    void setDriftInterval(int ms);
    // One drift step now, whether or not drift is on.
    void advanceDrift();

    // The register values currently reported.
    qint16 temperature() const;
    quint16 humidity() const;
    qint16 dewPoint() const;
    qint16 wetBulb() const;

    // Fault switches, all off by default.
    void setSilent(bool on);       // hears (and obeys writes), answers nothing
    bool silent() const;
    void setRefusing(bool on);     // every register write refused (exception 2), nothing changed
    bool refusing() const;
    void setLoggerSilent(bool on); // obeys logger frames, sends no logger reply
    bool loggerSilent() const;
    void setSetupUnacknowledged(bool on); // ignores the logger setup frame altogether
    bool setupUnacknowledged() const;
    // Every logger reply replaced by the long frame (see ModuleSim).
    void setLongFrame(bool on);
    bool longFrame() const;

    // Timing of this module alone; -1 (the default) takes the line's.
    // Answer delay: its first byte leaves ms after the request has ended.
    void setAnswerDelay(int ms);
    int answerDelay() const;
    // Switch delay: after echoing a baud-rate write the module keeps its old
    // rate for ms more, hearing and answering at it, as a UART set late.
    void setSwitchDelay(int ms);
    int switchDelay() const;

    // ---- data logger (frames described at ModuleSim) -----------------------
    int loggerModel() const;
    bool setLoggerModel(int model); // false, and no change, outside 0..9999

    QByteArray serialBytes() const; // always six bytes
    quint8 serialPrefix() const;
    bool setSerialBytes(const QByteArray &six, quint8 prefix = 0); // false unless six bytes

    // The recording settings as the last setup left them: the 29 payload
    // bytes of its frame (offset 0 here is offset 4 on the wire).
    QByteArray recordSettings() const;
    quint8 modeByte() const;         // wire offset 10: record mode << 5
    int recordMode() const;          // bits 5 and 6 of the mode byte
    bool setRecordMode(int mode);    // 1 after setup, 2 from start time, 3 monitor only
    quint16 sampleInterval() const;  // seconds, wire offsets 17-18
    void setSampleInterval(quint16 seconds);
    quint32 recordStart() const;     // Unix seconds, wire offsets 27-30
    void setRecordStart(quint32 unixSeconds);
    quint32 setupClock() const;      // the client's clock in the last setup, offsets 4-7

signals:
    void addressChanged(int address);
    void baudRateChanged(int baud);
    void valuesChanged();

private:
    friend class ModuleSim;

    // What the module puts on the line for a frame it heard: nothing when
    // `reply` is empty (silent, say); `afterSent` runs once the reply is out,
    // or at once when none goes out, and does nothing once the module is
    // gone. A reply with `cuts` goes out in pieces cut there, gapMs apart,
    // whatever the line's split.
    struct Answer {
        QByteArray reply;
        QList<int> cuts;
        int gapMs = 0;
        std::function<void()> afterSent;
    };

    Module(int index, ModuleSim *line);
    Answer answerRequest(const QByteArray &frame);
    Answer answerLoggerFrame(const QByteArray &frame);
    Answer loggerReply(const QByteArray &frame) const;
    QByteArray exceptionReply(quint8 function, quint8 code) const;
    QByteArray infoReply() const;
    QByteArray settingsReply() const;
    void setMeasured(double temperatureC, double humidityPct);
    // The rate written to it, taken now or after its switch delay.
    void switchBaudRate(qint32 baud);
    // The delays in force: its own, or else the line's.
    int effectiveAnswerDelay() const;
    int effectiveSwitchDelay() const;

    ModuleSim *m_line = nullptr;
    quint8 m_address = 1;
    qint32 m_baud = 9600;

    double m_temperatureC = 24.0;
    double m_humidityPct = 50.0;
    qint16 m_temperature = 0;
    quint16 m_humidity = 0;
    qint16 m_dewPoint = 0;
    qint16 m_wetBulb = 0;
    bool m_drift = true;
    QTimer *m_driftTimer = nullptr;

    bool m_silent = false;
    bool m_refusing = false;
    bool m_loggerSilent = false;
    bool m_setupUnacknowledged = false;
    bool m_longFrame = false;

    int m_answerDelayMs = -1;
    int m_switchDelayMs = -1;
    QTimer *m_switchTimer = nullptr;
    qint32 m_switchingTo = 0;

    int m_loggerModel = 2021;
    QByteArray m_serial;
    quint8 m_serialPrefix = 0;
    QByteArray m_recordSettings;
};

} // namespace modsim
