#ifndef HYGROVANE_BUS_CHANGER_H
#define HYGROVANE_BUS_CHANGER_H

#include "link/request.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class Line;

namespace bus {

class ModuleTable;

// One module's address or rate changed at its own address: the new address
// asked first (a module outside the scan may hold it), the write, its echo
// checked, and the module read back where it went; its row goes with it.
class Changer : public QObject
{
    Q_OBJECT

public:
    // A module's address or rate being changed: where it is, where it goes.
    struct Change
    {
        int row = -1; // of the table's own rows, not a view's; -1: a module the table does not hold
        quint8 address = 0;
        qint32 baudRate = 0;
        quint8 newAddress = 0;
        qint32 newBaudRate = 0;
        QByteArray write;
    };

    Changer(Line *line, ModuleTable *table, QObject *parent = nullptr);

    void start(const Change &change, int answerMs);
    // Nothing more of it goes out, and no answer reaches it.
    void stop();
    void setAnswerMs(int answerMs) { m_answerMs = answerMs; }
    bool isRunning() const { return m_running; }
    const Change &change() const { return m_change; }

signals:
    // The write's answer, as the line brought it, before it is judged.
    void written(Exchange::Outcome outcome, const QByteArray &reply);
    // Over: the module answers where it went (`failure` empty), or why not.
    void ended(const QString &failure);

private:
    void write();
    void readBack();
    void end(const QString &failure);

    Line *m_line;
    ModuleTable *m_table;
    Change m_change;
    QElapsedTimer m_since; // the echo
    int m_answerMs = 0;
    bool m_running = false;
};

} // namespace bus

#endif
