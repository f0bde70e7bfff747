#include "commission/plan.h"

#include <QLocale>

namespace commission {

int nextAddress(int done, const QSet<int> &given)
{
    for (int address = done + 1; address <= 247; ++address) {
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
