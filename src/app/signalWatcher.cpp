#include "app/signalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Only one watcher is active at a time; the handler reaches it through this
// descriptor, which is written before the handlers are installed.
volatile sig_atomic_t gWriteFd = -1;
int gPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onQuitSignal(int sig)
{
    const int savedErrno = errno;
    const int fd = gWriteFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(sig);
        // A full pipe already holds a pending request: losing this byte is fine.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}
}

TsignalWatcher::TsignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (gPipe[0] >= 0)
        return; // another watcher owns the handlers
    if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return;
    }
    gWriteFd = gPipe[1];
    struct sigaction sa = {};
    sa.sa_handler = onQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TsignalWatcher::drain);
}

TsignalWatcher::~TsignalWatcher()
{
    if (!notifier)
        return;
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &sa, nullptr);
    gWriteFd = -1;
    delete notifier;
    notifier = nullptr;
    ::close(gPipe[0]);
    ::close(gPipe[1]);
    gPipe[0] = gPipe[1] = -1;
}

void TsignalWatcher::drain()
{
    unsigned char buf[64];
    for (;;) {
        const ssize_t n = ::read(gPipe[0], buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            Q_EMIT quitSignal(buf[i]);
    }
}
