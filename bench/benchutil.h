#ifndef HYGROVANE_BENCHUTIL_H
#define HYGROVANE_BENCHUTIL_H

// What the benchmark, soak, memcheck and screenshot programs share: quiet
// traces, waits that keep the event loop turning, and the process's own CPU
// time.
#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <cstdio>
#include <functional>

#include <sys/resource.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define HYGROVANE_HAVE_CALLGRIND 1
#endif

namespace bench {

// The reception traces would dominate every figure; warnings still show.
inline void dropDebug(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

inline bool underValgrind()
{
#ifdef HYGROVANE_HAVE_CALLGRIND
    return RUNNING_ON_VALGRIND;
#else
    return false;
#endif
}

// Turns the event loop until done() holds; false after timeoutMs. Sleeps
// between events rather than spinning (the CPU figures would count the
// spinning); the deadline is a timer of its own, so that a quiet line cannot
// make the wait outlast it.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(timeoutMs);
    while (!done()) {
        if (!deadline.isActive())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets the event loop run undisturbed for a while: nothing of ours wakes it.
inline void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// User plus system CPU time of this process, in seconds.
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace bench

#endif
