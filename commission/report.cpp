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

} // namespace

QByteArray reportHeader()
{
    return "time,old_address,old_baud,new_address,new_baud,serial_number,logger_model,work_mode,start_mode,start_time,"
           "sampling_s,temperature_C,humidity_pct,dew_point_C,wet_bulb_C,result,failed_step,reason\r\n";
}

QByteArray reportRow(const QDateTime &when, const Run &run)
{
    const Plan &plan = run.plan();
    const bool monitoring = plan.recordMode == logger::MonitorOnly;
    QStringList fields{trend::isoTime(when),
                       number(run.oldAddress()),
                       number(run.oldBaudRate()),
                       QString::number(plan.address),
                       QString::number(plan.baudRate),
                       run.serialNumber(),
                       number(run.loggerModel()),
                       monitoring ? QStringLiteral("monitoring") : QStringLiteral("recording"),
                       monitoring ? QString()
                                  : plan.recordMode == logger::RecordFromStartTime ? QStringLiteral("timing start")
                                                                                    : QStringLiteral("after setup"),
                       trend::isoTime(QDateTime::fromSecsSinceEpoch(plan.start)),
                       QString::number(plan.sampleSeconds)};
    for (const double value : run.readings())
        fields << (std::isnan(value) ? QString() : QString::number(value, 'f', 1));
    // Written before the run is told how the writing went: a run still
    // running here went through every step, unless it was stopped.
    const Run::Verdict *failure = run.failure();
    fields << QLatin1String(failure ? "failed" : run.step() == Step::Report ? "ok" : "stopped")
           << (failure ? QLatin1String(stepKey(failure->step)) : QString()) << trend::csvField(failure ? failure->text : QString());
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

} // namespace commission
