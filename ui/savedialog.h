#ifndef HYGROVANE_SAVEDIALOG_H
#define HYGROVANE_SAVEDIALOG_H

#include <QDateTime>
#include <QFileDialog>
#include <QString>

// A name for a new file, the moment in it: bus-2026-12-09-0930.csv.
QString suggestedFileName(const QString &stem, const QDateTime &when, const QString &suffix);

// The first name of stem1.suffix, stem2.suffix ... that the folder holds no
// file of: line1.conf, or line2.conf beside it.
QString numberedFileName(const QString &folder, const QString &stem, const QString &suffix);

// How a stem names the file a dialog suggests: with the clock's time, or
// numbered, the first number free in the folder.
enum class Naming { Stamped, Numbered };

// The file to save to, or an empty path when the user cancels. A name typed
// without a suffix gets the given one; a stem, if any, suggests a name; the
// dialog opens where the last one of this run was left.
QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix,
                       const QString &stem = QString(), QFileDialog::Options options = QFileDialog::Options(),
                       Naming naming = Naming::Stamped);

#endif
