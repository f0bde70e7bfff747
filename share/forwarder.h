#ifndef HYGROVANE_SHARE_FORWARDER_H
#define HYGROVANE_SHARE_FORWARDER_H

#include "link/request.h"
#include "share/modbus.h"

#include <QElapsedTimer>
#include <QObject>

#include <deque>
#include <functional>
#include <map>

class Line;

namespace bus {
class Changer;
class ModuleTable;
}

namespace share {

// What became of a client's request.
struct Answer
{
    enum Kind {
        Pdu,     // `pdu` goes back
        Silent,  // no module answered (or the line is down)
        Garbled, // twice: bytes that make no frame, in `garbled`
    };
    enum Source { Gateway, Memory, Line };
    Kind kind = Pdu;
    Source source = Gateway;
    QByteArray pdu;
    QByteArray garbled;
    bool refusedWrite = false;
};

// The other masters' requests onto the one line the gateway watches: each
// client's in order, the clients in turn, one request on the line at a time
// and ahead of the watch's polls, yet never twice in a row past a poll that
// waits. What needs no line (a refusal, a read of what the watch just
// polled) is answered at once, in the client's order.
class Forwarder : public QObject
{
    Q_OBJECT

public:
    // Requests of one client answered yet; the next gets exception 06.
    static constexpr int MostWaiting = 16;
    using Reply = std::function<void(const Answer &)>;

    Forwarder(Line *line, bus::ModuleTable *table, QObject *parent = nullptr);

    // The line linked at `rate`, each module having `answerMs` to answer, as
    // the watch waits for it; 0: not linked, nothing goes on the line.
    void linked(qint32 rate, int answerMs);
    void setAllowWrites(bool allow) { m_allowWrites = allow; }
    void setCacheMs(int ms) { m_cacheMs = ms; }
    // The watch's poll and what came of it: a reading is kept for reads
    // from memory, a miss forgets it.
    void polled(const QByteArray &request, Exchange::Outcome outcome, const QByteArray &reply);

    // A client's request (`peer` names it in the log), answered in its turn.
    void ask(quint64 client, const QString &peer, const Request &request, Reply reply);
    // The client is gone: what it still has waiting goes; one on the line
    // runs out unheard.
    void forget(quint64 client);
    // The line went: what is on it is answered as unanswered, and what waits
    // finds no line until the next link.
    void lineLost();
    void stop();

signals:
    void said(const QString &text);
    // A client's write moved a module the watch polls: the watch follows it.
    void moved(quint8 from, quint8 to);

private:
    struct Job
    {
        QString peer;
        Request request;
        Verdict verdict;
        Reply reply;
        bool retried = false;
    };
    struct Reading
    {
        QByteArray poll;
        QByteArray reply;
        QElapsedTimer age;
    };

    bool answerAtOnce(Job &job, Answer *answer);
    void advance(quint64 client);
    void pump();
    void send(quint64 client, Job &job);
    void changeAddress(quint64 client, Job &job);
    void lineAnswered(Exchange::Outcome outcome, const QByteArray &reply);
    void changed(Exchange::Outcome outcome, const QByteArray &reply);
    void changeEnded(const QString &failure);
    // The client's first request answered, its write said with `why` it went as it did.
    void finish(quint64 client, const Answer &answer, const QString &why = QString());
    void logWrite(const Job &job, const Answer &answer, const QString &extra = QString());

    Line *m_line;
    bus::ModuleTable *m_table;
    bus::Changer *m_changer;
    qint32 m_rate = 0;
    int m_answerMs = 0;
    bool m_allowWrites = false;
    int m_cacheMs = 0;
    std::map<quint64, std::deque<Job>> m_queues; // a client's requests not answered yet, the first being worked on
    std::deque<quint64> m_turns;                  // clients whose first request waits for the line, in turn
    quint64 m_onLine = 0;   // whose request is on the line (0: none)
    bool m_orphan = false;  // its client is gone
    bool m_changing = false;
    bool m_written = false; // the change's write has been answered
    // The line's last exchange was a client's, not a poll: a client that asks
    // again at once, as soon as it has its answer, must not keep the watch off.
    bool m_clientsLast = false;
    std::map<quint8, Reading> m_readings;
};

} // namespace share

#endif
