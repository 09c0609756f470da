#include "platform/quit_signals_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>

namespace ruvello {
namespace {

int signalPipe[2] = {-1, -1};  // a signal handler can only reach a file-level slot

void WriteByte(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = write(signalPipe[1], &byte, 1);
}

}  // namespace

void OnQuitSignal(std::function<void()> onQuit) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);  // lives as long as the process
    QObject::connect(notifier, &QSocketNotifier::activated, [onQuit = std::move(onQuit)] {
        char byte = 0;
        [[maybe_unused]] const ssize_t ignored = read(signalPipe[0], &byte, 1);
        onQuit();
    });
    struct sigaction action {};
    action.sa_handler = WriteByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace ruvello
