#include "trend/record.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

namespace trend {

QByteArray csvHeader()
{
    return "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C\r\n";
}

QByteArray csvRow(const QDateTime &when, quint8 address, const Values &values)
{
    const int offset = when.offsetFromUtc() / 60;
    QString row = QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3").arg(offset < 0 ? '-' : '+').arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
              .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'))
        + QLatin1Char(',') + QString::number(address);
    for (double value : values)
        row += QLatin1Char(',') + (std::isnan(value) ? QString() : QString::number(value, 'f', 1));
    return row.toUtf8() + "\r\n";
}

} // namespace trend
