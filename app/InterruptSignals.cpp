#include "app/InterruptSignals.h"

#include "platform/Application.h"

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t CaughtSignal = 0;
// Written by the handler, read by the event loop's notifier.
int WakePipe[2] = { -1, -1 };

static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free atomics");

extern "C" void OnInterrupt(int Signal)
{
    const int savedErrno = errno;
    if (CaughtSignal == 0)
        CaughtSignal = Signal;
    ApplicationDetail::TerminateRequested.store(true);
    if (WakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(WakePipe[1], &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

void InstallInterruptHandlers()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        if (::pipe2(WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
            WakePipe[0] = WakePipe[1] = -1;
        struct sigaction action
        {
        };
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        // SA_RESETHAND: the second signal meets the default action and ends the program at once.
        action.sa_flags = SA_RESETHAND | SA_RESTART;
        for (int signal : { SIGINT, SIGTERM, SIGHUP })
            ::sigaction(signal, &action, nullptr);
        ::signal(SIGXFSZ, SIG_IGN);
    });
}

int CaughtInterruptSignal()
{
    return CaughtSignal;
}

void ResetCaughtInterruptSignal()
{
    CaughtSignal = 0;
}

QString InterruptSignalName(int Signal)
{
    switch (Signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(Signal);
    }
}

int InterruptExitCode(int Signal)
{
    return 128 + Signal;
}

void WatchInterruptsFromEventLoop(QObject* Parent)
{
    if (WakePipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(WakePipe[0], QSocketNotifier::Read, Parent);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char bytes[16];
        while (::read(WakePipe[0], bytes, sizeof bytes) > 0) { }
        // The flag stops a preparation at its next record; exit() ends the event loops, the modal
        // ones included. quit() is not used here: it also closes every window at once, the progress
        // window of a preparation still running among them, which that run then frees a second time.
        ApplicationDetail::TerminateRequested.store(true);
        QCoreApplication::exit(0);
    });
}
