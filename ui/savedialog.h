#ifndef HYGROVANE_SAVEDIALOG_H
#define HYGROVANE_SAVEDIALOG_H

#include <QDateTime>
#include <QFileDialog>
#include <QString>

// A name for a new file, the moment in it: bus-2026-12-09-0930.csv.
QString suggestedFileName(const QString &stem, const QDateTime &when, const QString &suffix);

// The file to save to, or an empty path when the user cancels. A name typed
// without a suffix gets the given one; a stem, if any, suggests a name with
// the clock's time; the dialog opens where the last one of this run was left.
QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &suffix,
                       const QString &stem = QString(), QFileDialog::Options options = QFileDialog::Options());

#endif
