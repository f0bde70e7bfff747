#include "app/buildstamp.h"

#include <QLocale>

QDate parseBuildDate(const QString &compilerDate)
{
    QString text = compilerDate;
    text.replace(QStringLiteral("  "), QStringLiteral(" 0"));
    return QLocale(QLocale::English).toDate(text, QStringLiteral("MMM dd yyyy"));
}

QTime parseBuildTime(const QString &compilerTime)
{
    return QTime::fromString(compilerTime, QStringLiteral("hh:mm:ss"));
}

// The compiler's own texts: the stamp is the moment this unit was compiled,
// which a clean build (every release, every CI run) makes the build's moment.
const QDate BuildDate = parseBuildDate(QStringLiteral(__DATE__));
const QTime BuildTime = parseBuildTime(QStringLiteral(__TIME__));
