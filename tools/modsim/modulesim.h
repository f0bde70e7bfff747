// The simulated temperature-and-humidity modules: a line of one or more of
// them sits on the master side of a Linux pseudo-terminal and answers the
// program (or any Modbus-RTU master) that opens the slave side, the way
// modules wired to one RS-485 pair answer on their serial line.
//
// Everything runs in the thread that owns the object, driven by the Qt event
// loop: a QSocketNotifier wakes it when bytes arrive and timers pace the
// replies, so a test can keep the simulator in-process next to the code it
// exercises.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>

#include <functional>

class QSocketNotifier;
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
    // and one stop bit (it runs 8N1).
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
    // gone.
    struct Answer {
        QByteArray reply;
        bool longFrame = false;
        std::function<void()> afterSent;
    };

    Module(int index, QObject *parent);
    Answer answerRequest(const QByteArray &frame);
    Answer answerLoggerFrame(const QByteArray &frame);
    Answer loggerReply(const QByteArray &frame) const;
    QByteArray exceptionReply(quint8 function, quint8 code) const;
    QByteArray infoReply() const;
    QByteArray settingsReply() const;
    void setMeasured(double temperatureC, double humidityPct);

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

    int m_loggerModel = 2021;
    QByteArray m_serial;
    quint8 m_serialPrefix = 0;
    QByteArray m_recordSettings;
};

// The line: the pseudo-terminal, what travels on it, and the modules on it.
// There is always at least one module; the methods that stand for one
// module's state act on the first.
class ModuleSim : public QObject
{
    Q_OBJECT

public:
    // Register map of the module.
    enum Register : quint16 {
        RegTemperature = 0x0000, // int16, tenths of a degree Celsius
        RegHumidity = 0x0001,    // uint16, tenths of a percent
        RegDewPoint = 0x0002,    // int16, tenths of a degree Celsius
        RegWetBulb = 0x0003,     // int16, tenths of a degree Celsius
        RegStatus = 0x0004,      // uint16, always 0
        RegAddress = 0x0100,     // 1..247, read and write
        RegBaudCode = 0x0101,    // 1..6, write only
    };

    // One module, at address 1 and 9600 baud.
    explicit ModuleSim(QObject *parent = nullptr);
    ~ModuleSim() override;

    // Opens a fresh pseudo-terminal and starts listening on it. With a
    // linkPath, a symbolic link to the slave is made there (a stale link
    // left by an earlier run is replaced; anything that is not a link is
    // left alone and start() fails). Returns false with errorString() set
    // when something could not be set up; calling it while running restarts.
    bool start(const QString &linkPath = QString());

    // Closes both sides: a client that has the port open sees a hang-up, as
    // when the USB adapter is pulled. Pending replies are dropped and the
    // link is removed. Safe to call when not running.
    void stop();

    bool isRunning() const;
    QString errorString() const;

    // What a user types into the program: the link if one was asked for,
    // else the /dev/pts/N path. Empty when not running.
    QString portPath() const;
    // The /dev/pts/N path of the slave. Empty when not running.
    QString slavePath() const;

    // ---- the modules on the line -------------------------------------------
    // Every module hears what the client sends at its own rate. A request to
    // its address or to 0, and every logger frame, it answers; a write to 0
    // it obeys. When more than one module answers the same frame, the
    // replies collide: one reply goes out, the bytes of all of them ANDed
    // (a line driven low by any sender is low), as long as the longest, and
    // never with a CRC or checksum that holds.
    //
    // A module joins the running line with its own readings, drift and
    // serial number. Returns its index, or -1 (and no module added) for an
    // address outside 1..247 or an unknown rate.
    int addModule(quint8 address, qint32 baud = 9600);
    // The whole line as typed after --address: "1,5,17@19200" is three
    // modules, the last at 19200 baud, the others at `baud`. Modules already
    // on the line keep their readings and switches and take the new address
    // and rate in order; those beyond the list go. False, and no change, for
    // a bad list.
    bool setModules(const QString &list, qint32 baud = 9600);
    int moduleCount() const;
    Module *module(int index) const; // nullptr outside 0..moduleCount()-1

    // The first module's.
    quint8 address() const;
    bool setAddress(quint8 address);
    qint32 baudRate() const;
    bool setBaudRate(qint32 baud);

    // Baud-rate code of RegBaudCode for a rate and back; 0 when unknown.
    static int baudCode(qint32 baud);
    static qint32 baudForCode(int code);

    // The first module's (see Module).
    void setValues(qint16 temperature, quint16 humidity, qint16 dewPoint, qint16 wetBulb);
    void setClimate(qint16 temperature, quint16 humidity);
    void setDrift(bool on);
    bool drift() const;
    void setDriftInterval(int ms);
    void advanceDrift();
    qint16 temperature() const;
    quint16 humidity() const;
    qint16 dewPoint() const;
    qint16 wetBulb() const;
    void setSilent(bool on);

    // Fault switches of the line, all off by default: they shape every reply
    // put on it from then on, whichever module sent it.
    void setReplyDelay(int ms);         // answer ms after the request
    void setSplit(int chunks, int gapMs); // write each reply in `chunks` pieces, gapMs apart
    void setExtraByte(bool on);         // a stray 0x00 after each reply
    void setCorruptCrc(bool on);        // last CRC byte of each reply inverted
    // 1..4 random bytes in the silence after each reply: 100 ms after it if
    // no request came in meanwhile, and a reply never follows them by less
    // than 50 ms, so a reader that resynchronises on silence can cope.
    void setNoise(bool on);

    // Silence after which a partial request is thrown away.
    static constexpr int ResyncGapMs = 50;

    // ---- data logger -------------------------------------------------------
    // Logger frames: 7B 22, command, length n, n payload bytes, checksum (sum
    // of command through payload, mod 256), 22 7D. They carry no address:
    // every module that hears one answers it:
    //   0A information request -> 0C reply, 23 bytes: model number as four
    //      ASCII digits at offsets 6-9, serial prefix at 11, the six serial
    //      bytes at 12-17, the rest zero;
    //   1A settings request    -> 1C reply laid out like a setup frame, the
    //      stored recording settings as its 29 payload bytes;
    //   4A setup (29 payload bytes) -> stores them, then the 1C reply;
    //   AA serial-number write (prefix and six bytes) -> stores them, then
    //      the short acknowledgement 7B 22 AB 00 AB 22 7D.
    // A write of the wrong length, or any other command, is heard and
    // otherwise ignored.
    //
    // The first module's (see Module).
    int loggerModel() const;
    bool setLoggerModel(int model);
    QByteArray serialBytes() const;
    quint8 serialPrefix() const;
    bool setSerialBytes(const QByteArray &six, quint8 prefix = 0);
    QByteArray recordSettings() const;
    quint8 modeByte() const;
    int recordMode() const;
    bool setRecordMode(int mode);
    quint16 sampleInterval() const;
    void setSampleInterval(quint16 seconds);
    quint32 recordStart() const;
    void setRecordStart(quint32 unixSeconds);
    quint32 setupClock() const;

    // The first module's fault switch: while on, every logger reply is
    // replaced by the 135-byte long frame (command 2C) with 22 7D also
    // inside its payload at offsets 60-61, written in three pieces
    // LongFrameGapMs apart, the first ending right after that inner pair.
    // What a request would change still changes.
    void setLongFrame(bool on);
    bool longFrame() const;
    static constexpr int LongFrameSize = 135;
    static constexpr int LongFrameGapMs = 20;

signals:
    // A complete, CRC-valid request that at least one module hears: at its
    // rate, addressed to it or to 0. Once, however many hear it.
    void requestHeard(const QByteArray &frame);
    // A reply, as put on the line (faults included), after its last piece.
    // Colliding replies are one reply.
    void replySent(const QByteArray &frame);
    // Bytes thrown away: heard at a rate no module runs at, a partial
    // request that timed out, or bytes skipped while looking for a valid
    // frame.
    void discarded(const QByteArray &bytes);
    // A complete logger frame with valid length, checksum and trailer,
    // heard by at least one module, before the modules act on it.
    void loggerFrameHeard(const QByteArray &frame);
    // The first module's.
    void addressChanged(int address);
    void baudRateChanged(int baud);
    void valuesChanged();

protected:
    // A complete data-logger frame (7B 22 .. 22 7D, length, checksum and
    // trailer verified), after loggerFrameHeard. Every module that heard it
    // answers as described above; a test double may override it to record
    // frames instead.
    virtual void handleLoggerFrame(const QByteArray &frame);

    // Puts a reply on the line through the fault switches, at the rate the
    // line was last heard at; afterSent runs once the last byte has been
    // written (or at once when not running).
    void sendReply(const QByteArray &frame, std::function<void()> afterSent = {});

private:
    struct Outgoing {
        QByteArray bytes;
        QList<QByteArray> pieces;
        int next = 0;
        int gapMs = 0;
        qint32 baud = 0;
        std::function<void()> afterSent;
    };

    Module *first() const { return m_modules.first(); }
    // The answers of the modules that heard one frame, onto the line.
    void answer(const QList<Module::Answer> &answers);
    void transmit(const QByteArray &frame, bool longFrame, bool collided, std::function<void()> afterSent);
    // Puts bytes on the line cut at the given offsets (faults applied first).
    void enqueue(const QByteArray &frame, const QList<int> &cuts, int gapMs, bool collided,
                 std::function<void()> afterSent);

    void onReadable();
    void consume(const char *data, int size);
    void parseBuffer();
    void onResyncGap();
    void handleRequest(const QByteArray &frame);
    void scheduleHead();
    void onSendTimer();
    void onNoiseTimer();
    bool writeLine(const QByteArray &bytes, qint32 baud);
    qint32 clientBaud() const;
    bool anyModuleAt(qint32 baud) const;

    int m_master = -1;
    int m_slaveKeeper = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;

    QList<Module *> m_modules;
    int m_created = 0; // modules ever made, to set each one apart

    QByteArray m_rx;
    qint32 m_rxBaud = 0; // the rate m_rx was heard at
    QTimer *m_gapTimer = nullptr;

    QQueue<Outgoing> m_outgoing;
    QTimer *m_sendTimer = nullptr;
    QTimer *m_noiseTimer = nullptr;
    QElapsedTimer m_sinceNoise;
    qint32 m_noiseBaud = 0;

    int m_replyDelayMs = 0;
    int m_splitChunks = 1;
    int m_splitGapMs = 0;
    bool m_extraByte = false;
    bool m_corruptCrc = false;
    bool m_noise = false;
};

} // namespace modsim
