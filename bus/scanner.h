#ifndef HYGROVANE_BUS_SCANNER_H
#define HYGROVANE_BUS_SCANNER_H

#include "bus/scan.h"

#include <QObject>
#include <QSet>
#include <QVector>

class Line;

namespace bus {

class ModuleTable;

// A scan under way: every probe of its plan asked in turn over the line, and
// what each address said put in the table, a late answer included.
class Scanner : public QObject
{
    Q_OBJECT

public:
    Scanner(Line *line, ModuleTable *table, QObject *parent = nullptr);

    // The table is cleared first: its rows are what this scan finds.
    void start(const QVector<Probe> &plan, int answerMs);
    // What is still queued goes, and no answer reaches the table any more.
    void stop();
    // No plan and nothing found: the table's line is another's.
    void clear();
    // "Answer within", for the probes still to come.
    void setAnswerMs(int answerMs) { m_answerMs = answerMs; }
    bool isRunning() const { return m_running; }
    const QVector<Probe> &plan() const { return m_plan; }
    int probed() const { return m_probed; }
    int found() const { return m_found; }

signals:
    // A probe is over, or a late answer came; `news` when a module was found.
    void progressed(bool news);
    // The plan ran to its end (a scan stopped early says nothing)...
    void finished();
    // ... and these were the addresses it covered, and those a module
    // answered at, whole.
    void covered(quint8 first, quint8 last, const QSet<quint8> &present);
    // Asked three times, the address gave garbled answers only: two modules
    // there, or noise. Its row says so; it counts as no module found.
    void garbledOnly(quint8 address, qint32 baudRate);

private:
    void probeNext();
    // The probe's `asked`th time.
    void ask(const Probe &probe, int asked);
    void end();

    Line *m_line;
    ModuleTable *m_table;
    QVector<Probe> m_plan;
    // Addresses whose answer was garbled, to be asked again at the end,
    // and how often each has been asked.
    QVector<QPair<Probe, int>> m_again;
    int m_answerMs = 0;
    int m_probed = 0;
    int m_found = 0;
    int m_run = 0; // scans begun: a late answer belongs to its own
    bool m_running = false;
};

} // namespace bus

#endif
