#include "protocol/logframe.h"

#include <QLocale>

QString trafficLogLine(const QDateTime &when, const QString &hex, bool isRx)
{
    QString line;
    line.reserve(64 + hex.size());
    line += isRx ? QLatin1String("<font color=green>") : QLatin1String("<font color=red>");
    line += QLocale::c().toString(when, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    line += isRx ? QLatin1String("->RX  ") : QLatin1String("->TX  ");
    line += hex;
    line += QLatin1String("</font>");
    return line;
}
