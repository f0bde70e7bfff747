#include "gateway/logline.h"

#include "app/clock.h"
#include "trend/record.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace gateway {

bool stderrIsJournal()
{
#ifdef Q_OS_UNIX
    // "DEV:INODE" in decimal. A program started from the service (a shell,
    // say) inherits the variable with another standard error: only a match
    // counts.
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const int colon = stream.indexOf(':');
    bool devOk = false, inodeOk = false;
    const qulonglong dev = stream.left(colon).toULongLong(&devOk);
    const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
    struct stat st;
    return colon > 0 && devOk && inodeOk && fstat(STDERR_FILENO, &st) == 0 && qulonglong(st.st_dev) == dev
        && qulonglong(st.st_ino) == inode;
#else
    return false;
#endif
}

QByteArray logLine(const QString &text)
{
    // Asked once: standard error stays what it was at the start.
    static const bool journal = stderrIsJournal();
    const QString line = journal ? text : trend::isoTime(currentDateTime()) + QLatin1Char(' ') + text;
    return line.toUtf8() + '\n';
}

} // namespace gateway
