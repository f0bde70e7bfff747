#ifndef HYGROVANE_COMMISSION_RUN_H
#define HYGROVANE_COMMISSION_RUN_H

#include "commission/plan.h"
#include "link/request.h"
#include "trend/history.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cmath>
#include <optional>

namespace commission {

enum class Step { Find, Address, SerialNumber, LoggerSetup, BaudRate, Report };
QString stepName(Step step);

// A request of the run, as the line is to carry it.
struct Request
{
    QByteArray frame;
    qint32 baudRate;
    qint64 waitUs; // the main window's watchdog for the same request
};

// One module's run, step by step, as data: it says which request goes on the
// line next, and takes what came back. Every write is checked by reading it
// back, and the first step that fails ends the run.
class Run
{
public:
    enum Result { Running, Ok, Failed, Stopped };
    struct Verdict
    {
        Step step;
        bool failed;
        QString text; // done, the value read back, or why it failed
    };

    Run(const Plan &plan, const QString &serialNumber);

    // The request to put on the line now, a setup frame stamped with `now`
    // (seconds since the epoch); none once every exchange is over.
    std::optional<Request> next(qint64 now) const;
    void take(Exchange::Outcome outcome, const QByteArray &reply);
    // Ends the run once the exchange on the line is over.
    void stop();
    // Whether the report row could be written, and why not: the run is over.
    void reported(bool ok, const QString &reason);

    Result result() const { return m_result; }
    Step step() const { return m_step; }
    const QVector<Verdict> &verdicts() const { return m_verdicts; }

    // What the report tells of the module.
    const Plan &plan() const { return m_plan; }
    const QString &serialNumber() const { return m_serial; }
    int oldAddress() const { return m_oldAddress; }
    qint32 oldBaudRate() const { return m_oldRate; }
    int loggerModel() const { return m_model; }
    const trend::Values &readings() const { return m_readings; }
    const Verdict *failure() const; // the step that failed, and why
    // More than one module answered while it was being found.
    bool collided() const { return m_collided; }

private:
    void done(const QString &text);
    void fail(const QString &why);
    bool answered(Exchange::Outcome outcome, const QByteArray &reply);

    Plan m_plan;
    QString m_serial;
    Step m_step = Step::Find;
    int m_phase = 0; // within a step: the rate tried, or the read after a write
    Result m_result = Running;
    bool m_stopping = false;
    bool m_collided = false;
    QVector<Verdict> m_verdicts;
    int m_oldAddress = 0;
    qint32 m_oldRate = 0;
    int m_model = 0;
    trend::Values m_readings{{NAN, NAN, NAN, NAN}};
};

} // namespace commission

#endif
