#include "trend/record.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

namespace trend {

QByteArray csvHeader()
{
    return "time,address,temperature_C,humidity_pct,dew_point_C,wet_bulb_C\r\n";
}

QString isoTime(const QDateTime &when)
{
    const int offset = when.offsetFromUtc() / 60;
    return QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3").arg(offset < 0 ? '-' : '+').arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
              .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QByteArray csvRow(const QDateTime &when, quint8 address, const Values &values)
{
    QString row = isoTime(when) + QLatin1Char(',') + QString::number(address);
    for (double value : values)
        row += QLatin1Char(',') + (std::isnan(value) ? QString() : QString::number(value, 'f', 1));
    return row.toUtf8() + "\r\n";
}

} // namespace trend
