#ifndef HYGROVANE_REQUEST_H
#define HYGROVANE_REQUEST_H

#include <QByteArray>
#include <QPointer>
#include <QtGlobal>

#include <functional>

// What a request to address 0 heard. Every module that hears such a request
// answers it, one after another or at once: the line listens for all of them
// until it has been quiet for the late window (the answer wait, and as long
// again for a late answer).
struct Chorus
{
    int answers = 0;       // whole answers
    bool garbled = false;  // bytes that make no answer: answers that collided
    qint64 firstUs = -1;   // when the first whole answer was in, past the write
    qint64 secondUs = -1;  // and the second
    QByteArray first;      // the first whole answer
    // Modules that answered: garbled bytes stand for two at least.
    int modules() const { return answers + (garbled ? (answers ? 1 : 2) : 0); }
};

// One request of another window's (the bus, commissioning), put on the line
// in turn with the main window's own, and what became of it.
struct Exchange
{
    enum Outcome { Answered, Garbled, Silent };
    QByteArray frame;      // an RTU request or a logger frame
    qint32 baudRate = 0;        // the rate to write it at; 0: the link's
    qint64 firstByteUs = 500000; // no byte this long after the write: silence
    qint64 silenceUs = 50000;    // once bytes came, this long without more ends the wait
    // The whole reply that answers the frame (a refusal included), or the
    // bytes that made none. It runs after the line has moved on, so it may
    // put the next exchange on it.
    std::function<void(Outcome, const QByteArray &)> done;
    // The whole answer to this frame, come after its wait had ended: `afterUs`
    // past the end of the request on the wire. Told at most once.
    std::function<void(const QByteArray &, qint64 afterUs)> late;
    // A request to address 0: what the line has heard from every module,
    // told at each answer and once more before `done`, when the late window
    // is over.
    std::function<void(const Chorus &)> heard;
    // Its answer's time is the line's answer time, as the link's probe's is.
    bool timed = false;
    // Another master's request, passed on by the gateway: it goes before
    // what waits in the queue that is not ahead itself.
    bool ahead = false;
};

// A request as the queue holds it until no earlier one waits for its answer.
struct LineRequest
{
    // What writing it does besides putting the frame on the line, and how
    // its wait ends.
    enum Kind : quint8 {
        Poll,         // a measurement read: not watched; the silence after it ends its wait
        AddressRead,  // the probe of every link and the Read button
        Command,      // the address write
        BaudWrite,    // holds the line until its watchdog has moved the port
        InfoRead,     // the logger's model and serial number
        SettingsRead, // the logger's recording settings
        SerialWrite,  // watched for 1500 ms
        Setup,        // judged by its own verdict timer
        Foreign,      // an Exchange: its outcome goes back to its owner
    };
    Kind kind = Poll;
    QByteArray frame;
    quint16 selector = 0; // the main window's RTU requests: what the reply will carry (readItem)
    qint32 baudRate = 0;  // BaudWrite: the rate the module moves to
    int refusal = -1;     // the exception code the module refused it with
    qint32 rate = 0;      // the rate it went out at
    Chorus chorus;        // a request to address 0: every module's answer
    Exchange exchange;    // Foreign only
    QPointer<QObject> owner;
};

#endif
