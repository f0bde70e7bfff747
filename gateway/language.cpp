#include "gateway/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace gateway {

namespace {

// "zh_CN.UTF-8", "zh_TW@variant" or "zh" to its language: "zh".
QString languageOf(const QString &locale)
{
    return locale.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
}

} // namespace

QString catalogueFor(const QProcessEnvironment &environment)
{
    QString locale;
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = environment.value(QLatin1String(name));
        if (!locale.isEmpty())
            break;
    }
    if (locale.isEmpty() || locale == QLatin1String("C") || locale == QLatin1String("POSIX") || locale.startsWith(QLatin1String("C.")))
        return QString();
    // The first language of the list that the program speaks: Chinese, or
    // English, in which its texts are written.
    QStringList wanted = environment.value(QStringLiteral("LANGUAGE")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    wanted << locale;
    for (const QString &one : qAsConst(wanted)) {
        const QString language = languageOf(one);
        if (language == QLatin1String("zh"))
            return QStringLiteral("Chinese");
        if (language == QLatin1String("en"))
            return QString();
    }
    return QString();
}

bool installLanguage(QTranslator *own, QTranslator *toolkit)
{
    const QString name = catalogueFor(QProcessEnvironment::systemEnvironment());
    if (name.isEmpty())
        return false;
    const QString bin = QCoreApplication::applicationDirPath();
    if (!own->load(name, bin + QStringLiteral("/../share/hygrovane-gateway")) && !own->load(name, bin + QStringLiteral("/Qm")))
        return false;
    QCoreApplication::installTranslator(own);
    // Qt's own texts (a socket's error) too, where the system has them.
    if (toolkit->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
    return true;
}

} // namespace gateway
