#include "commission/report.h"

#include "protocol/logger.h"
#include "trend/record.h"

#include <cmath>

namespace commission {

namespace {

// The report's own words: fixed, whatever the window's language.
const char *stepKey(Step step)
{
    static const char *const keys[] = {"find", "address", "serial_number", "logger_setup", "baud_rate", "report"};
    return keys[int(step)];
}

QString number(int value)
{
    return value ? QString::number(value) : QString();
}

// A value a write may have left in the module: said as unsure when the
// write's answer never came, for the module may well hold it.
QString written(Run::Written how, const QString &value)
{
    if (how == Run::NotWritten || value.isEmpty())
        return QString();
    return how == Run::Unconfirmed ? value + QLatin1String(" (not confirmed)") : value;
}

} // namespace

QByteArray reportHeader()
{
    return "time,old_address,old_baud,new_address,new_baud,serial_number,logger_model,work_mode,start_mode,start_time,"
           "sampling_s,temperature_C,humidity_pct,dew_point_C,wet_bulb_C,result,failed_step,reason\r\n";
}

QByteArray reportRow(const QDateTime &when, const Run &run)
{
    // Only what happened: a field the run did not get to is empty.
    const Plan &plan = run.plan();
    const bool monitoring = plan.recordMode == logger::MonitorOnly;
    const Run::Written setup = run.written(Step::LoggerSetup);
    QStringList fields{trend::isoTime(when),
                       number(run.oldAddress()),
                       number(run.oldBaudRate()),
                       written(run.written(Step::Address), QString::number(plan.address)),
                       written(run.written(Step::BaudRate), QString::number(plan.baudRate)),
                       written(run.written(Step::SerialNumber), run.serialNumber()),
                       number(run.loggerModel()),
                       written(setup, monitoring ? QStringLiteral("monitoring") : QStringLiteral("recording")),
                       written(setup, monitoring ? QString()
                                          : plan.recordMode == logger::RecordFromStartTime ? QStringLiteral("timing start")
                                                                                           : QStringLiteral("after setup")),
                       written(setup, trend::isoTime(QDateTime::fromSecsSinceEpoch(plan.start))),
                       written(setup, QString::number(plan.sampleSeconds))};
    for (const double value : run.readings())
        fields << (std::isnan(value) ? QString() : QString::number(value, 'f', 1));
    // Written before the run is told how the writing went: a run still
    // running here went through every step, unless it was stopped, and a
    // stopped one names the step it had reached, or was told it had.
    const Run::Verdict *failure = run.failure();
    const bool ok = !failure && run.step() == Step::Report;
    fields << QLatin1String(failure ? "failed" : ok ? "ok" : "stopped")
           << (failure ? QLatin1String(stepKey(failure->step)) : ok ? QString() : QLatin1String(stepKey(run.stoppedAt())))
           << trend::csvField(failure ? failure->text : ok ? QString() : run.stopReason());
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace commission
