#include "app/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

bool installCatalogue(QTranslator *translator, QTranslator *toolkit)
{
    // The working directory, not the executable's folder: the same binary
    // starts in Chinese from a folder that holds the catalogue.
    const QString path = QDir::currentPath() + QStringLiteral("/Qm/Chinese.qm");
    const bool loaded = translator->load(path, QString(), QString(), QString());
    QCoreApplication::installTranslator(translator);
    if (!loaded)
        return false;
    // The toolkit's own texts (OK and Cancel, the file dialogs, the editors'
    // menus) would stay English otherwise. Without Qt's Chinese catalogue
    // installed they do, and nothing else changes.
    if (!toolkit)
        toolkit = new QTranslator(QCoreApplication::instance());
    if (toolkit->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
    return true;
}
