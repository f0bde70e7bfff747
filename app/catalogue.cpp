#include "app/catalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

bool installCatalogue(QTranslator *translator)
{
    // The working directory, not the executable's folder: the same binary
    // starts in Chinese from a folder that holds the catalogue.
    const QString path = QDir::currentPath() + QStringLiteral("/Qm/Chinese.qm");
    const bool loaded = translator->load(path, QString(), QString(), QString());
    QCoreApplication::installTranslator(translator);
    return loaded;
}
