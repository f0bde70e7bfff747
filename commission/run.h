#ifndef HYGROVANE_COMMISSION_RUN_H
#define HYGROVANE_COMMISSION_RUN_H

#include "commission/plan.h"
#include "link/request.h"
#include "trend/history.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <optional>

namespace commission {

enum class Step { Find, Address, SerialNumber, LoggerSetup, BaudRate, Report };
QString stepName(Step step);
// A serial number as the logger reads it back, each byte in hexadecimal, in
// the twelve decimal digits a write takes: "1a0c06031f1d" is "261206033129".
QString serialDigits(const QString &readBack);

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
    // What a write left in the module: nothing (not sent, or refused), what
    // no one knows (sent, and its answer never came), or the value written.
    enum Written { NotWritten, Unconfirmed, Taken };
    struct Verdict
    {
        Step step;
        bool failed;
        // done, the value read back, why it failed, or what a write whose
        // answer never came may have set
        QString text;
    };

    // `intervals` names the sampling intervals as the main window's list
    // shows them, in its order; an interval not among them is said in seconds.
    Run(const Plan &plan, const QString &serialNumber, const QStringList &intervals = QStringList());

    // The request to put on the line now, a setup frame stamped with `now`
    // (seconds since the epoch); none once every exchange is over.
    std::optional<Request> next(qint64 now) const;
    void take(Exchange::Outcome outcome, const QByteArray &reply);
    // What the request to address 0 on the line has heard from every module
    // so far: told at each answer, and before its outcome is taken.
    void heard(const Chorus &chorus) { m_chorus = chorus; }
    // Ends the run once the exchange on the line is over.
    void stop();
    // Ends it now, at the step the technician was told it had reached (one
    // answer may have moved it on since).
    void stop(Step told);
    // Ends it before its next request, for a reason its row and the step
    // list give.
    void stop(const QString &why);
    // The exchange on the line is dropped before its answer came: a write in
    // it may have been taken or not. The run is to be ended after it.
    void cutOff();
    // Ends it at once, at the step it reached, for a reason outside it (the
    // port died under it).
    void abort(const QString &why);
    // Whether the report row could be written, and why not: the run is over.
    void reported(bool ok, const QString &reason);

    Result result() const { return m_result; }
    Step step() const { return m_step; }
    // Where a stopped run's row says it stopped.
    Step stoppedAt() const { return m_told.value_or(m_step); }
    const QString &stopReason() const { return m_stopReason; }
    // The run's last line: ok, or the step it failed or stopped at.
    QString outcome() const;
    const QVector<Verdict> &verdicts() const { return m_verdicts; }

    // What the report tells of the module.
    const Plan &plan() const { return m_plan; }
    const QString &serialNumber() const { return m_serial; }
    // What the module held when it was found: its serial number as the
    // twelve digits a write takes; empty when its logger did not say.
    const QString &foundSerial() const { return m_foundSerial; }
    // How far the writes went: what the report may say was set. The baud
    // rate counts as set too when it was kept and the module answered at it.
    Written written(Step step) const { return step < Step::Report ? m_written[int(step)] : NotWritten; }
    int oldAddress() const { return m_oldAddress; }
    qint32 oldBaudRate() const { return m_oldRate; }
    int loggerModel() const { return m_model; }
    const trend::Values &readings() const { return m_readings; }
    const Verdict *failure() const; // the step that failed, and why
    // More than one module answered while it was being found.
    bool collided() const { return m_collided; }

private:
    void find(Exchange::Outcome outcome, const QByteArray &reply, const Chorus &chorus);
    void done(const QString &text);
    void fail(const QString &why);
    bool answered(Exchange::Outcome outcome, const QByteArray &reply);
    bool writing() const;
    void unconfirmed();
    QString interval(int seconds) const;

    Plan m_plan;
    QString m_serial;
    QStringList m_intervals;
    Step m_step = Step::Find;
    int m_phase = 0; // within a step: the rate tried, or the read after a write
    Result m_result = Running;
    bool m_stopping = false;
    bool m_collided = false;
    std::optional<Step> m_told;
    QString m_stopReason;
    Written m_written[int(Step::Report)] = {};
    QVector<qint32> m_answeredAt; // the rates a module answered the search at
    QVector<qint32> m_garbledAt;  // the rates where answers garbled
    Chorus m_chorus;              // of the request on the line, to address 0
    QString m_foundSerial;
    QVector<Verdict> m_verdicts;
    int m_oldAddress = 0;
    qint32 m_oldRate = 0;
    int m_model = 0;
    trend::Values m_readings{{NAN, NAN, NAN, NAN}};
};

} // namespace commission

#endif
