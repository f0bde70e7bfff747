#ifndef HYGROVANE_LINE_H
#define HYGROVANE_LINE_H

#include "link/request.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

class QTimer;
class Transport;

// The main window's side of its own requests (a poll, the address read, the
// writes, the logger's frames): what writing one starts, and how its reply
// is read and its wait ends. Another window's requests are exchanges, which
// the line serves whole.
class LineHost
{
public:
    virtual ~LineHost() = default;
    // The baud-rate search holds the line from probe to probe.
    virtual bool searching() const = 0;
    // Written and on its way: its watchdog starts.
    virtual void written(const LineRequest &request) = 0;
    // A logger reply (or the start of one) for the request on the line.
    virtual bool takeLoggerReply(const QByteArray &buffer) = 0;
    // The RTU reply to the request on the line; the first of several at address 0.
    virtual void answered(const QByteArray &reply) = 0;
    // A poll's second is over unanswered, or address 0 has been listened out.
    virtual void waitOver() = 0;
};

// One serial line and everything that knows it: the transport, the queue
// and its one writer, the reception (an echo learnt, stray bytes, late
// answers), the waits and the claims. One request is on the line at a
// time, the main window's and other rooms' alike; a reply is taken only as
// the answer to the request on the line, so a late reply can never pass for
// another's.
class Line : public QObject
{
    Q_OBJECT

public:
    explicit Line(QObject *parent = nullptr);
    ~Line() override;

    void setHost(LineHost *host) { m_host = host; }
    // The buffer the bytes collect in until they make a frame, and the timer
    // that drops them after a silence: the main window keeps both as its own.
    void shareBuffer(QByteArray *buffer) { m_rx = buffer; }
    void useClearTimer(QTimer *timer);

    // The port Link chose: what was found on the line before belongs to the
    // one chosen then.
    void choose(const QString &port);
    // The port the line opens next, chosen before.
    void usePort(const QString &port);
    // Opened 8N1 at `rate` on the port chosen; false, and why, when it cannot be.
    bool open(qint32 rate, QString *error);
    void close();
    bool isOpen() const;
    // The port's name as it was chosen; empty while no port is open.
    QString portName() const;
    // Opened and carrying bytes since (see carrying()).
    bool carries() const { return isOpen() && m_carried; }
    // The rate it was opened at; 0 while no port is open.
    qint32 rate() const;
    Transport *transport() const { return m_transport; }
    // The port chosen keeps the rate it was set up with (a server that
    // carries bytes only): the technician's words for it.
    bool canChangeRate() const;
    QString fixedRateText() const;
    // What the last link learnt goes: the next adapter may not echo, the
    // next module answer at another pace.
    void forget();

    // Another room's request, in turn with the main window's. False, and
    // nothing queued, when no port is open.
    bool exchange(QObject *owner, const Exchange &request);
    // Requests waiting their turn, not yet on the line.
    int queued() const { return int(m_pending.size()); }
    // Drops what the owner still has queued; one on the line runs out its
    // wait, but neither its outcome nor a late answer reaches the owner.
    void cancelExchanges(QObject *owner);
    // A room takes the line for a while (a scan, a watch, commissioning):
    // `claimed` is emitted, and whatever else would send is told `busy`.
    // The next Link, or a port that dies, ends the claim and runs `ended`.
    // Returns the holder's message when another holds the line already.
    QString claim(QObject *owner, const QString &busy, std::function<void()> ended);
    void release(QObject *owner);
    bool claimed() const { return !m_claim.owner.isNull(); }
    QString busyText() const { return m_claim.busy; }
    // Ends the claim for its holder, `why` being the message the line's user
    // was given (empty for Link).
    void endClaim(const QString &why);
    // Why the last claim was ended for its holder.
    QString claimEndedBy() const { return m_claimEnd; }

    // How long the module linked last took to answer, past its request, the
    // gap before a reply and the answer's own wire time, to the answer's
    // last byte, in ms; -1 before one answered.
    int measuredAnswerMs() const { return m_answerUs < 0 ? -1 : int((m_answerUs + 999) / 1000); }
    // Modules the last request to address 0 heard; from garbled bytes, at
    // least that many.
    int modules() const { return m_modules; }
    bool modulesAtLeast() const { return m_modulesAtLeast; }
    void setModules(int modules, bool atLeast = false) { m_modules = modules, m_modulesAtLeast = atLeast; }

    // A room moved a module of the line to another address, rate or both,
    // and read it back there (or had the write confirmed): `moved` tells it.
    void noteMoved(quint8 address, qint32 rate, quint8 newAddress, qint32 newRate)
    {
        emit moved(address, rate, newAddress, newRate);
    }

    // The main window's requests.
    void submit(LineRequest request);
    // The link's probe, ahead of anything waiting: whatever was on the line
    // went at a rate it no longer has. None: the line is only free again.
    void probe(std::optional<LineRequest> request);
    void dispatch();
    LineRequest *onLine() { return m_outstanding ? &*m_outstanding : nullptr; }
    bool listensToAll() const;
    // Address 0 is being listened out, or an exchange or a poll waits.
    bool waiting() const;
    qint64 waitLeftMs() const;
    // Bytes came for the request on the line that make no answer.
    bool heardOther() const { return m_heardOther; }
    // The request on the line was answered (refused: with that exception).
    void answered(bool refused, quint8 exceptionCode = 0);
    void finish();
    // Nothing on the line, nothing waiting, no late answer expected.
    void clear();
    // What the system holds is read before a wait is judged.
    void takeWaiting();
    // Bytes as the transport delivered them.
    void receive(const QByteArray &chunk);

signals:
    // A room claimed the line: the main window's own reading gives way.
    void claimStarted();
    // Link chose a port and opened it.
    void linked(const QString &port);
    // The module at `address` and `rate` answers at `newAddress` and `newRate` now.
    void moved(quint8 address, qint32 rate, quint8 newAddress, qint32 newRate);
    // The frames the traffic log shows: an RTU request written, a reply taken.
    void sent(const QByteArray &frame);
    void received(const QByteArray &frame);
    // Opened, it carries bytes now: at once for a serial port, once
    // connected for a network server, and over RFC 2217 once the rate is
    // confirmed. Not when the connection is refused or times out.
    void carrying();
    // The port died in use; it is closed.
    // `opening`: it never carried a byte since it was opened (a server that
    // could not be reached).
    void failed(const QString &reason, bool opening);

private:
    void attach(Transport *transport);
    void writeRequest(LineRequest request);
    void waitFor(qint64 dueNs);
    void waitEnded();
    void endExchange(Exchange::Outcome outcome, const QByteArray &bytes);
    void receiveForExchange(const QByteArray &buffer);
    void decodeRtuReply();
    void heardAnswer(const QByteArray &reply);
    void listenOn();
    qint64 lateWindowUs() const;
    void keepLateHead(qint32 rate);
    bool beginsLateAnswer(const QByteArray &bytes, qint32 rate) const;
    int lateHeadAt(const QByteArray &bytes, qint32 rate) const;
    void dropEcho();
    void echoMissed();
    void awaitEcho(const QByteArray &frame);
    void dropLateAnswer();
    // The answer to the probe on the line ended at `endNs` (on m_clock), or
    // bytes that make none (answers that collided) did, so far.
    void noteAnswerTime(qint64 endNs, int answerSize, bool whole);
    // How much longer the line must stay quiet before the next frame.
    qint64 quietLeftNs() const;
    bool moveTo(qint32 rate);
    qint32 rateFor(const LineRequest &request) const;

    LineHost *m_host = nullptr;
    Transport *m_transport = nullptr;
    QString m_port;
    QByteArray m_ownBuffer;
    QByteArray *m_rx = &m_ownBuffer;
    QTimer *m_clear;
    qint32 m_rate = 0; // the rate the port was opened at
    // One request on the line at a time: the one written whose wait is not
    // over, and those waiting their turn.
    std::optional<LineRequest> m_outstanding;
    std::deque<LineRequest> m_pending;
    std::optional<LineRequest> m_probe; // the link's, ahead of everything
    QTimer *m_wait;              // the wait of a request no watchdog judges: a poll, another room's
    QTimer *m_quiet;             // the silence before the next frame
    QElapsedTimer m_waitClock;   // since it was written
    qint64 m_waitDueNs = 0;      // when its wait ends
    quint64 m_written = 0;       // tells the request on the line from the one before
    quint64 m_cancels = 0;       // owners' exchanges cancelled, ever
    qint64 m_deadlineNs = 0;     // when an exchange ends however the line chatters
    QByteArray m_exchangeBytes;  // what the line brought it that makes no frame
    // A two-wire adapter hears its own request: learnt when a request comes
    // back at the start of the buffer, and known until the next Link.
    bool m_echoes = false;
    bool m_echoAwaited = false; // the request on the line has not come back yet
    qint64 m_echoLagUs = 0;     // how long past its own wire time a request came back
    int m_echoMisses = 0;       // requests in a row answered without coming back first
    // Another room's request that went unanswered, for a late answer to be
    // told to its owner rather than taken for the next request's. A slow
    // module's answer may come while the next module's request waits its
    // turn behind it on the wire: the last few are kept. A late answer is
    // timed from the chunk that ended it, which an adapter's latency or a
    // busy event loop hands over later than it came.
    static constexpr qint64 kLateSlackNs = 30 * 1000000LL;
    static constexpr qint64 kLongAgoNs = 3600 * 1000000000LL;
    struct Unanswered
    {
        LineRequest request;
        qint64 writtenNs; // on m_clock
        qint64 lateNs;    // past that, an answer is too old to be told from another's
    };
    std::deque<Unanswered> m_unanswered;
    QElapsedTimer m_clock;
    qint64 m_answerUs = -1;  // the linked module's answer time
    bool m_probing = false;  // the link's probe is on the line, its answer not timed yet
    // On m_clock: when the line last brought a byte, when the request on the
    // line was written and when it had left the wire (long ago, before any).
    qint64 m_lastByteNs = -kLongAgoNs;
    qint64 m_writeNs = -kLongAgoNs;
    qint64 m_wireEndNs = -kLongAgoNs;
    bool m_echoEnded = false; // the request's echo came whole with the bytes just received
    int m_modules = 0;
    bool m_modulesAtLeast = false;
    bool m_heardOther = false;
    bool m_carried = false; // the transport has been ready since it was opened
    struct Claim
    {
        QPointer<QObject> owner;
        QString busy;
        std::function<void()> ended;
    } m_claim;
    QString m_claimEnd;

    friend struct WidgetAccess;
};

#endif
