#include "commission/plan.h"

#include <QLocale>

namespace commission {

int nextAddress(int done, const QSet<int> &given)
{
    // Upwards from the one done, then from the lowest: never one given twice.
    for (int step = 1; step <= 247; ++step) {
        const int address = (done + step - 1) % 247 + 1;
        if (!given.contains(address))
            return address;
    }
    return 0;
}

QString serialNumber(const QDateTime &now)
{
    // Machine digits whatever the desktop's language.
    return QLocale::c().toString(now, QStringLiteral("yyMMddhhmmss"));
}

int msUntilNewSerial(const QDateTime &now, const QString &lastGiven)
{
    if (serialNumber(now) != lastGiven)
        return 0;
    return 1000 - now.time().msec();
}

} // namespace commission
