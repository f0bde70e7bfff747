#ifndef HYGROVANE_CSVFILE_H
#define HYGROVANE_CSVFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

namespace trend {

// A CSV file written row by row and kept whole: the readings record, the
// commissioning report. Rows go under the file's own header, each written
// whole or not at all and straight to the disk, so that a crash, a pulled
// stick or a full disk leave no half row for the next one to be glued onto.
// Replaces the file at `path` by `bytes`, whole or not at all: written beside
// it and renamed over it, so an earlier file stays as it was when the new one
// cannot be written. False, with the system's reason in `error`, on failure.
bool writeWhole(const QString &path, const QByteArray &bytes, QString *error);

class CsvFile
{
public:
    enum Opened { Ok, Failed, Foreign };
    // Opens the file to append to: an empty one gets the header; one that
    // starts otherwise is not this kind of file and is left alone; a last row
    // without its line end is ended.
    Opened open(const QString &path, const QByteArray &header);
    bool write(const QByteArray &row);
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    // The system's reason for the last failure.
    QString error() const { return m_error; }
    // Rows written since the file was opened.
    qint64 rows() const { return m_rows; }

private:
    int gone();
    QFile m_file;
    QString m_error;
    qint64 m_rows = 0;
};

} // namespace trend

#endif
