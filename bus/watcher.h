#ifndef HYGROVANE_BUS_WATCHER_H
#define HYGROVANE_BUS_WATCHER_H

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
    bool isRunning() const { return m_running; }
    // How long the last whole round took, from one start of the rows to the
    // next, its wait included; until one is over, the first one's so far.
    qint64 roundMs() const;

signals:
    void reading(const QDateTime &when, quint8 address, const trend::Values &values);
    // A poll's request and what came of it, in its wait (a late answer is no news of now).
    void polled(const QByteArray &request, Exchange::Outcome outcome, const QByteArray &reply);

private:
    void pollNext();

    Line *m_line;
    ModuleTable *m_table;
    QTimer *m_roundTimer;
    Schedule m_schedule;
    QElapsedTimer m_clock;
    qint32 m_rate = 0;
    int m_answerMs = 0;
    int m_run = 0;             // watches begun: a late answer belongs to its own
    bool m_running = false;
    qint64 m_roundStartMs = -1; // the round under way: when its first poll began
    qint64 m_roundMs = -1;      // how long the last whole round took
    int m_lastRow = -1;         // the row polled last in it
};

} // namespace bus

#endif
