#ifndef HYGROVANE_COMMISSION_DRIVER_H
#define HYGROVANE_COMMISSION_DRIVER_H

#include <QObject>

class Line;

namespace commission {

class Run;

// Puts a commissioning run's requests on the line one at a time and hands
// each outcome back to the run. Whoever holds the run decides when the next
// one goes: a question to the technician may come between them.
class Driver : public QObject
{
    Q_OBJECT

public:
    explicit Driver(Line *line, QObject *parent = nullptr);

    enum Next { Sent, Over, NoLine };
    // The run's next request on the line; Over when it has none left, NoLine
    // when no port is open to take it.
    Next next(Run *run);
    // Ended before the answer came: the run may not say it was written, nor
    // that it was not.
    void cutOff(Run *run);
    // Nothing of the run's stays queued, nor reaches it.
    void drop();
    // The run is over: where it left the module, as far as it was set, the
    // line is told.
    void tellMoved(const Run &run);
    bool onLine() const { return m_onLine; }

signals:
    // The request on the line has its outcome, taken by the run.
    void taken();

private:
    Line *m_line;
    bool m_onLine = false; // an exchange of the run's is on the line
};

} // namespace commission

#endif
