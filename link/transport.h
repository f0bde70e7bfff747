#ifndef HYGROVANE_TRANSPORT_H
#define HYGROVANE_TRANSPORT_H

#include <QByteArray>
#include <QObject>
#include <QString>

// What carries the line's bytes: a serial port today, a network serial
// server next. The line above it frames, queues and times; a transport only
// opens, moves the rate, writes and reads, and says when it dies.
class Transport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The name it was made for, as the technician gave it.
    virtual QString name() const = 0;
    // Opened 8N1 without flow control at `rate`, whatever else was asked
    // before: false, and `error` in the tool's words, when it cannot be.
    virtual bool open(qint32 rate, QString *error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // False until the bytes written go out: a network server still
    // connecting, or one that has not yet agreed to a new rate.
    virtual bool isReady() const { return isOpen(); }
    virtual qint32 rate() const = 0;
    // A server that carries the bytes only keeps the rate it was set up with.
    virtual bool canChangeRate() const { return true; }
    // Opened again at another rate, it keeps its connection and moves the
    // rate only: a server would take a second connection for a second client.
    virtual bool keepsConnection() const { return false; }
    // Moves the line to another rate; false when this transport cannot.
    virtual bool setRate(qint32 rate) = 0;
    // Puts the bytes on their way now, not when the event loop next runs.
    virtual void write(const QByteArray &bytes) = 0;
    // What has come and was not read yet.
    virtual QByteArray readAll() = 0;
    // What the system holds and has not handed over yet is handed over
    // now, through readyRead: a wait is judged on everything that came.
    virtual void takeWaiting() = 0;
    // Bytes that came while nobody listened belong to no request.
    virtual void discard() = 0;
    // The answer to what was just written is this many bytes long, and
    // cannot have ended before `withinUs` from now: nothing need be handed
    // over before they are all in, which saves a wake-up a byte. takeWaiting()
    // hands over whatever has come all the same, so a short, garbled or late
    // answer is not lost. 0 bytes: each byte as it comes.
    virtual void expect(int bytes, qint64 withinUs) { Q_UNUSED(bytes) Q_UNUSED(withinUs) }

signals:
    void readyRead();
    // isReady() became true.
    void ready();
    // It died in use (an adapter pulled, a connection dropped): why, in the
    // tool's words. It is closed by then.
    void failed(const QString &reason);
};

#endif
