#include "platform/termination_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <stdexcept>

namespace platform {
namespace {

sigset_t termination_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

termination_signals::termination_signals() {
    const sigset_t set = termination_set();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) throw std::runtime_error("sigmask failed");
    fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("signalfd failed");
}

termination_signals::~termination_signals() { ::close(fd_); }

int termination_signals::take() {
    signalfd_siginfo info{};
    if (::read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

}  // namespace platform
