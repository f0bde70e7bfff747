// The simulated temperature-and-humidity modules: a line of one or more of
// them sits on the master side of a Linux pseudo-terminal and answers the
// program (or any Modbus-RTU master) that opens the slave side, the way
// modules wired to one RS-485 pair answer on their serial line.
//
// Everything but reading runs in the thread that owns the object, driven by
// the Qt event loop: a reader thread stamps what the client writes and hands
// it over, and timers pace the replies, so a test can keep the simulator
// in-process next to the code it exercises. The modules are in module.h, the
// line here.
#pragma once

#include "module.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QTimer;

namespace modsim {

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
    // it obeys. Each reply goes out when its module is ready, whoever else
    // is talking, and replies on the wire at the same time collide: a bit is
    // low when any sender drives it low. Modules that answer one frame after
    // the same delay start together and make one reply, their bytes ANDed,
    // as long as the longest. Replies that overlap in part share the wire
    // where they overlap: it carries the characters of the one on its way
    // first (its request heard first, or of one request, its module the
    // sooner), each ANDed with every byte of the others that overlaps it in
    // time; the rest of each reply passes unchanged. A reply with a collided
    // byte never has a CRC or checksum that holds.
    //
    // What the client has been handed is never taken back, and what it had
    // been handed before it asked cannot meet the answer on the wire. With
    // pacing that is only wire time (a byte is handed over once it has
    // crossed). Without it a reply is handed over whole at its start though
    // it takes the wire for its wire time, ten bits a byte: it collides with
    // the replies already on their way or asked for before the client had
    // it, not with the answer to a request the client wrote once it had it,
    // which on a real line could only have begun after it had ended.
    //
    // A module joins the running line with its own readings, drift and
    // serial number. Returns its index, or -1 (and no module added) for an
    // address outside 1..247 or an unknown rate.
    int addModule(quint8 address, qint32 baud = 9600);
    // The whole line as typed after --address: "1,5,17@19200" is three
    // modules, the last at 19200 baud, the others at `baud`. Each entry is
    // ADDR[@RATE][~MS][/MS]: ~MS is its own answer delay, /MS its own switch
    // delay ("1~35,2,5@19200~35/200"); without them it takes the line's.
    // Modules already on the line keep their readings and other switches and
    // take the new address, rate and delays in order; those beyond the list
    // go. False, and no change, for a bad list.
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
    //
    // A module's first byte leaves ms after the request ended: when its last
    // byte was read, or with pacing when it had crossed the wire. A module
    // with an answer delay of its own (Module::setAnswerDelay) keeps it.
    void setReplyDelay(int ms);
    int replyDelay() const;
    void setSplit(int chunks, int gapMs); // write each reply in `chunks` pieces, gapMs apart
    void setExtraByte(bool on);         // a stray 0x00 after each reply
    void setStray(bool on);             // a stray 0x00 before each reply, as a driver switching on
    void setCorruptCrc(bool on);        // last CRC byte of each reply inverted
    // 1..4 random bytes in the silence after each reply: 100 ms after it if
    // no request came in meanwhile, and a reply never follows them by less
    // than 50 ms, so a reader that resynchronises on silence can cope.
    void setNoise(bool on);
    // The switch delay of every module without one of its own
    // (Module::setSwitchDelay): the old rate kept ms after a baud-rate echo.
    void setSwitchDelay(int ms);
    int switchDelay() const;

    // The line as a USB adapter on a two-wire RS-485 pair shows it, all off
    // by default, each combining with the rest.
    //
    // Echo: every byte the client writes comes back to it unchanged, at any
    // rate and whether or not a module hears it; at once, or with pacing as
    // each byte has crossed the wire.
    void setEcho(bool on);
    // Pacing: bytes take their wire time, ten bits each (8N1) at the rate
    // they go at, both ways. A request has ended, and modules hear it, once
    // its last byte has crossed; a reply reaches the client byte by byte, as
    // it crosses, one character after another whoever sent it.
    void setPace(bool on);
    // Latency: what reaches the adapter is handed to the client at the next
    // tick of an ms period, in one piece per tick, as an adapter's latency
    // timer does; 0 hands it over at once.
    void setLatency(int ms);
    // The wire time of that many bytes at a rate, ten bits a byte (8N1).
    static qint64 wireMicroseconds(qint32 baud, int bytes);
    // With pacing, the silence the client kept before each frame it began:
    // from the end of the last byte on either wire (a reply, noise, its own
    // frame before) to the start of its first byte, in µs; below 0 when it
    // began while something else was on the wire. Kept until cleared, and
    // told as each frame begins.
    QVector<qint64> requestGaps() const { return m_gaps; }
    void clearRequestGaps() { m_gaps.clear(); }

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
    // A reply, as put on the line (faults included), after its last piece:
    // the characters it drove, what other replies made of them included.
    // Replies that start together are one reply.
    void replySent(const QByteArray &frame);
    // Bytes thrown away: heard at a rate no module runs at, a partial
    // request that timed out, or bytes skipped while looking for a valid
    // frame.
    void discarded(const QByteArray &bytes);
    // A complete logger frame with valid length, checksum and trailer,
    // heard by at least one module, before the modules act on it.
    void loggerFrameHeard(const QByteArray &frame);
    // The client began a frame after this silence (see requestGaps).
    void requestGap(qint64 gapUs);
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
    // line was last heard at, the line's reply delay after the frame being
    // handled ended; afterSent runs once the last byte has left (or at once
    // when not running).
    void sendReply(const QByteArray &frame, std::function<void()> afterSent = {});

private:
    // What happens at a moment on the line, in microseconds of m_clock:
    // bytes reaching the modules, the echo handed to the client, the wire's
    // characters due by then handed to it, or something due once a reply
    // has left.
    struct Event {
        enum Kind { Hear, Deliver, HandOver, Run };
        qint64 atUs = 0;
        Kind kind = Run;
        QByteArray bytes;
        qint32 baud = 0; // Hear: the rate they were sent at; Deliver: the one they go at, 0 any
        std::function<void()> run;
    };
    // One character on the upstream wire, a byte's wire time long: what its
    // senders make of it together, and when the adapter hands it over.
    struct Slot {
        qint64 fromUs = 0;
        qint64 toUs = 0;
        qint64 dueUs = 0;
        qint32 baud = 0; // the rate of the one that put it there
        char byte = 0;
        bool collided = false;
        bool handed = false;
    };
    using SlotPtr = std::shared_ptr<Slot>;
    // A reply on the wire: the characters it drove, each once, in order.
    struct Talk {
        std::vector<SlotPtr> all;
        std::vector<SlotPtr> frame; // without a stray byte before it or an extra one after
        int frameFrom = 0;          // where the frame lies in the bytes sent
        int frameTo = 0;
    };
    struct Said {
        Module *module;
        Module::Answer answer;
    };

    Module *first() const { return m_modules.first(); }
    // The answers of the modules that heard one frame, onto the line.
    void answer(const QList<Said> &said);
    // Puts a reply on the wire through the fault switches, its first byte at
    // earliestUs or after the quiet that follows noise, whatever else is on
    // the wire: cut at the given offsets, or the line's split. A collided
    // reply is already several ANDed into one.
    void transmit(const QByteArray &frame, QList<int> cuts, int gapMs, bool collided,
                  std::function<void()> afterSent, qint64 earliestUs);
    // Bytes on the upstream wire from startUs, pieces gapMs apart, colliding
    // with what the client has not had before askedUs, each byte handed over
    // as the pace and latency have it; the characters the talk drove noted
    // in it. Returns when the last has left: with pacing its wire end,
    // without it the last piece's start.
    qint64 putOnWire(const QList<QByteArray> &pieces, int gapMs, qint32 baud, qint64 startUs, qint64 askedUs,
                     Talk *talk = nullptr);
    // The replies on the wire with a collided byte, none left whole.
    void spoilCollisions();

    void schedule(Event event);
    void arm();
    void pump();
    qint64 nowUs() const;
    qint64 handOverUs(qint64 arrivedUs) const; // through the adapter's latency

    void listen(int master, int wake, quint64 run); // the reader thread
    void fromClient(const QByteArray &bytes, qint64 atUs, qint32 heardAt);
    void consume(const QByteArray &bytes, qint32 baud);
    void parseBuffer();
    void onResyncGap();
    void handleRequest(const QByteArray &frame);
    void onNoiseTimer();
    bool writeLine(const QByteArray &bytes, qint32 baud);
    qint32 clientBaud() const;
    qint32 portRate() const; // the slave side's rate, whatever else it is set to
    bool anyModuleAt(qint32 baud) const;

    int m_master = -1;
    int m_slaveKeeper = -1;
    // The client's bytes are read and stamped on a thread of their own, so
    // that a module hears a request when it is written, however busy the
    // thread the line lives in; what they cause happens there.
    std::thread m_reader;
    int m_wake[2] = {-1, -1}; // a byte here ends the reader
    quint64 m_run = 0;        // which start() the reader's bytes belong to
    QString m_slavePath;
    QString m_linkPath;
    QString m_error;

    QList<Module *> m_modules;
    int m_created = 0; // modules ever made, to set each one apart

    QByteArray m_rx;
    qint32 m_rxBaud = 0; // the rate m_rx was heard at
    QTimer *m_gapTimer = nullptr;

    QElapsedTimer m_clock;
    std::deque<Event> m_events; // by time; at one time, in the order scheduled
    QTimer *m_pumpTimer = nullptr;
    // The upstream wire's characters by their start, until they are past;
    // the replies with some not handed over yet.
    std::vector<SlotPtr> m_wire;
    std::vector<std::shared_ptr<Talk>> m_talks;
    qint64 m_heardUs = 0;     // when the frame being handled ended
    qint64 m_downFreeUs = 0;  // the client's last byte off the wire (paced)
    qint64 m_upFreeUs = 0;    // the last byte of any reply or noise off the wire
    QVector<qint64> m_gaps;
    qint64 m_quietUntilUs = 0; // no reply before, after noise
    int m_repliesOnWire = 0;
    QTimer *m_noiseTimer = nullptr;
    qint32 m_noiseBaud = 0;

    int m_replyDelayMs = 0;
    int m_switchDelayMs = 0;
    int m_splitChunks = 1;
    int m_splitGapMs = 0;
    bool m_extraByte = false;
    bool m_stray = false;
    bool m_corruptCrc = false;
    bool m_noise = false;
    bool m_echo = false;
    bool m_pace = false;
    qint64 m_latencyUs = 0;
};

} // namespace modsim
