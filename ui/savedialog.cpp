#include "ui/savedialog.h"
#include "app/clock.h"
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

namespace {
// Remembered for this run only: the tool keeps nothing of its own on disk.
QString &lastFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString suggestedFileName(const QString &stem, const QDateTime &when, const QString &suffix)
{
    // Digits as a file name wants them, whatever the user's language writes.
    return stem + QLatin1Char('-') + QLocale::c().toString(when.toLocalTime(), QStringLiteral("yyyy-MM-dd-hhmm"))
           + QLatin1Char('.') + suffix;
}

QString numberedFileName(const QString &folder, const QString &stem, const QString &suffix)
{
    const QDir in(folder);
    QString name;
    for (int n = 1; name.isEmpty() || QFileInfo::exists(in.filePath(name)); ++n)
        name = stem + QString::number(n) + QLatin1Char('.') + suffix;
    return name;
}

QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix,
                       const QString &stem, QFileDialog::Options options, Naming naming)
{
    QString folder = lastFolder();
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // The dialog itself adds the suffix, so that the question about replacing
    // a file is asked about the file that will be written.
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOptions(options);
    dialog.setDefaultSuffix(suffix);
    if (!stem.isEmpty())
        dialog.selectFile(naming == Naming::Numbered ? numberedFileName(folder, stem, suffix)
                                                     : suggestedFileName(stem, currentDateTime(), suffix));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QString path = dialog.selectedFiles().value(0);
    if (!path.isEmpty())
        lastFolder() = QFileInfo(path).absolutePath();
    return path;
}
