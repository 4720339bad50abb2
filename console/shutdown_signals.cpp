#include "console/shutdown_signals.h"

#include "platform/error_line.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kShutdownSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler; -1 while no instance is installed.
std::atomic<int> g_writeFd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free descriptor");

// Only async-signal-safe calls: one non-blocking write. A full socket buffer
// loses nothing that matters, the shutdown is asked already.
void OnShutdownSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent)
{
    if (g_writeFd.load() >= 0) {
        platform::WriteErrorLine("kelvor-server", "shutdown signals are handled by another instance already");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        platform::WriteErrorLine("kelvor-server: no socket pair for the shutdown signals", std::strerror(errno));
        m_fds[0] = m_fds[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(m_fds[0], QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &ShutdownSignals::ReadPending);
    g_writeFd = m_fds[1];

    struct sigaction action {};
    action.sa_handler = OnShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        if (::sigaction(kShutdownSignals[i], &action, &m_previous[i]) != 0) {
            const std::string what = std::string("kelvor-server: ") + Name(kShutdownSignals[i]) + " is not handled";
            platform::WriteErrorLine(what.c_str(), std::strerror(errno));
        }
    }
    m_installed = true;
}

ShutdownSignals::~ShutdownSignals()
{
    if (!m_installed)
        return;
    // Dispositions first, so no handler writes to a descriptor closed (and
    // perhaps reused) below.
    for (int i = 0; i < 3; ++i)
        ::sigaction(kShutdownSignals[i], &m_previous[i], nullptr);
    g_writeFd = -1;
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void ShutdownSignals::Enable()
{
    if (m_notifier)
        m_notifier->setEnabled(true);
}

const char *ShutdownSignals::Name(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "signal";
    }
}

int ShutdownSignals::TakePending()
{
    if (m_fds[0] < 0)
        return 0;
    unsigned char received = 0;
    return ::read(m_fds[0], &received, 1) == 1 ? received : 0;
}

void ShutdownSignals::ReadPending()
{
    unsigned char received[16];
    const ssize_t n = ::read(m_fds[0], received, sizeof received);
    for (ssize_t i = 0; i < n; ++i)
        emit Received(received[i]);
}
