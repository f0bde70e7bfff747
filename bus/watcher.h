#ifndef HYGROVANE_BUS_WATCHER_H
#define HYGROVANE_BUS_WATCHER_H

#include "bus/scan.h"
#include "bus/schedule.h"
#include "link/request.h"
#include "trend/history.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

class Line;
class QTimer;

namespace bus {

class ModuleTable;

// A watch under way: the table's watched rows polled in turn over the line,
// a round at most once a period, every answer (a late one too) put in the
// table and its readings told.
class Watcher : public QObject
{
    Q_OBJECT

public:
    Watcher(Line *line, ModuleTable *table, QObject *parent = nullptr);

    // Polls the rows found at `baudRate` that are ticked.
    void start(qint32 baudRate, int answerMs, qint64 roundMs = 1000);
    void stop();
    void setAnswerMs(int answerMs) { m_answerMs = answerMs; }
    // The addresses not watched are looked at once every `minutes` (0: never),
    // between the polls; a module found there is added to the table, watched.
    void setRescan(int minutes) { m_rescan = Rescan(minutes); }
    // A module silent SilentAfter polls in a row is polled once in
    // Schedule::RestRounds rounds only, until it answers again.
    void setResting(bool on) { m_resting = on; }
    bool isRunning() const { return m_running; }
    // Running, and between two rounds: nothing of its on the line.
    bool isWaiting() const;
    // How long the last whole round took, from one start of the rows to the
    // next, its wait included; until one is over, the first one's so far.
    qint64 roundMs() const;

signals:
    void reading(const QDateTime &when, quint8 address, const trend::Values &values);
    // A round is over: the time from its start to the next one's, as roundMs() has it.
    void roundEnded(qint64 roundMs);
    // The rescan found a module at an address not watched; its row is watched from now on.
    void discovered(quint8 address, qint32 baudRate);
    // The rescan had garbled answers only from an address not watched.
    void garbledOnly(quint8 address, qint32 baudRate);
    // A poll is over, having kept the line this long; or a late answer to
    // one has come.
    void polled(const bus::Answer &answer, qint64 lineUs, bool late);
    // A poll's request and what came of it, in its wait (a late answer is no news of now).
    void exchanged(const QByteArray &request, Exchange::Outcome outcome, const QByteArray &reply);

private:
    void pollNext();
    // Waits for the next round, or the next address the rescan asks.
    void waitFor(qint64 waitMs);
    void rescan(quint8 address);

    Line *m_line;
    ModuleTable *m_table;
    QTimer *m_roundTimer;
    Schedule m_schedule;
    Rescan m_rescan;
    QElapsedTimer m_clock;
    qint32 m_rate = 0;
    int m_answerMs = 0;
    int m_run = 0;             // watches begun: a late answer belongs to its own
    bool m_running = false;
    bool m_resting = false;
    qint64 m_roundStartMs = -1; // the round under way: when its first poll began
    qint64 m_roundMs = -1;      // how long the last whole round took
    int m_lastRow = -1;         // the row polled last in it
};

} // namespace bus

#endif
