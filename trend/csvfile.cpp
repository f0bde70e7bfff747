#include "trend/csvfile.h"

#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#else
#include <QFileInfo>
#endif

namespace trend {

bool writeWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    errno = 0;
    // Flushed first: commit() loses the error of the flush it closes with, and
    // would put a cut file in place of the earlier one.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit())
        return true;
    // After a short write QSaveFile knows no reason and says "Unknown error";
    // errno still holds the system's.
    const int system = errno;
    const QString said = file.errorString();
    *error = system && said == QFile().errorString() ? qt_error_string(system) : said;
    return false;
}

CsvFile::Opened CsvFile::open(const QString &path, const QByteArray &header)
{
    m_file.close();
    m_file.setFileName(path);
    m_rows = 0;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return Failed;
    }
    if (m_file.size() == 0)
        return write(header) ? Ok : Failed;
    // Rows added to a file of another kind would spoil it for whoever made it.
    QFile existing(path);
    existing.open(QIODevice::ReadOnly);
    if (existing.readLine(header.size() + 2).trimmed() != header.trimmed()) {
        m_file.close();
        return Foreign;
    }
    const bool ended = existing.seek(existing.size() - 1) && existing.read(1) == "\n";
    return ended || write("\r\n") ? Ok : Failed;
}

int CsvFile::gone()
{
    // A file deleted or moved away while open would take rows that no one
    // will ever see: the path must still name the file being written.
#ifdef Q_OS_UNIX
    struct stat open, named;
    if (fstat(m_file.handle(), &open) != 0 || stat(QFile::encodeName(m_file.fileName()).constData(), &named) != 0)
        return errno;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino ? 0 : ENOENT;
#else
    return QFileInfo::exists(m_file.fileName()) ? 0 : ENOENT;
#endif
}

bool CsvFile::write(const QByteArray &row)
{
    const qint64 rowStart = m_file.size();
    errno = 0;
    const int missing = gone();
    if (!missing && m_file.write(row) == row.size() && m_file.flush()) {
        ++m_rows;
        return true;
    }
    // After a short write QFile knows no reason and says "Unknown error";
    // errno still holds the system's.
    const int error = missing ? missing : errno;
    const QString said = m_file.errorString();
    m_error = error && (missing || said == QFile().errorString()) ? qt_error_string(error) : said;
    // Half a row would be glued to the next one written, by us or anyone.
    m_file.resize(rowStart);
    m_file.close();
    return false;
}

} // namespace trend
