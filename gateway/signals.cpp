#include "gateway/signals.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QVarLengthArray>

#include <cerrno>
#include <iterator>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

// Texts are translated in the context "gateway::Signals", named in full at
// every text for the catalogue's tools to find.
namespace gateway {

namespace {

// SIGHUP asks for the configuration to be read again, as daemons do.
const int kCaught[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kCount = int(std::size(kCaught));
struct sigaction g_previous[kCount];
int g_fds[2] = {-1, -1};
// What the handler writes to: -1 while no Signals is there.
volatile sig_atomic_t g_writeFd = -1;

void onSignal(int signal)
{
    // Only what is safe in a handler: one send, and errno left as it was
    // found for the code the signal interrupted.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full socket loses this one: hundreds are already waiting to be read.
    [[maybe_unused]] const ssize_t sent = ::send(g_writeFd, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
    errno = saved;
}

QString systemError(int error)
{
    return QCoreApplication::translate("gateway::Signals", "SIGTERM, SIGINT and SIGHUP cannot be caught: %1").arg(qt_error_string(error));
}

} // namespace

Signals::Signals(QObject *parent)
    : QObject(parent)
{
    if (g_writeFd != -1) {
        m_error = QCoreApplication::translate("gateway::Signals", "SIGTERM, SIGINT and SIGHUP are caught already");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_fds) != 0) {
        m_error = systemError(errno);
        return;
    }
    g_writeFd = g_fds[1];
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kCount; ++i) {
        if (::sigaction(kCaught[i], &action, &g_previous[i]) != 0) {
            m_error = systemError(errno);
            for (int j = 0; j < i; ++j)
                ::sigaction(kCaught[j], &g_previous[j], nullptr);
            g_writeFd = -1;
            ::close(g_fds[0]);
            ::close(g_fds[1]);
            g_fds[0] = g_fds[1] = -1;
            return;
        }
    }
    m_notifier = new QSocketNotifier(g_fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Signals::drain);
}

Signals::~Signals()
{
    if (!m_notifier)
        return;
    delete m_notifier;
    for (int i = 0; i < kCount; ++i)
        ::sigaction(kCaught[i], &g_previous[i], nullptr);
    g_writeFd = -1;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void Signals::drain()
{
    QVarLengthArray<unsigned char, 64> caught;
    unsigned char buffer[64];
    ssize_t n;
    while ((n = ::read(g_fds[0], buffer, sizeof buffer)) > 0)
        caught.append(buffer, int(n));
    // A slot may end the program, and this object with it.
    const QPointer<Signals> self(this);
    for (int i = 0; i < caught.size() && self; ++i)
        emit received(caught[i]);
}

} // namespace gateway
