// Interrupts on Linux: the three signals are blocked, so they stay pending
// instead of ending the process, and a signalfd reads them when asked. No
// handler runs and nothing is kept in a global variable; a read from the
// terminal waits on the terminal and the signalfd together, so a question
// still ends on Ctrl-C.
#include "platform/interrupts.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel {

struct InterruptWatch::State {
    sigset_t watched;
    sigset_t previous;
    int fd = -1;
    int first = 0;

    // Takes every interrupt that has come; keeps the first.
    void Drain() {
        if (fd < 0)
            return;
        signalfd_siginfo info{};
        while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (first == 0)
                first = static_cast<int>(info.ssi_signo);
        }
    }
};

InterruptWatch::InterruptWatch() : state_(std::make_unique<State>()) {
    sigemptyset(&state_->watched);
    sigaddset(&state_->watched, SIGINT);
    sigaddset(&state_->watched, SIGTERM);
    sigaddset(&state_->watched, SIGHUP);
    // The console has one thread: the process mask is its mask.
    ::sigprocmask(SIG_BLOCK, &state_->watched, &state_->previous);
    state_->fd = ::signalfd(-1, &state_->watched, SFD_NONBLOCK | SFD_CLOEXEC);
}

InterruptWatch::~InterruptWatch() {
    state_->Drain();
    if (state_->fd >= 0)
        ::close(state_->fd);
    ::sigprocmask(SIG_SETMASK, &state_->previous, nullptr);
}

int InterruptWatch::Pending() {
    state_->Drain();
    return state_->first;
}

std::optional<std::string> InterruptWatch::ReadLine(std::FILE* in, std::size_t keep) {
    std::string line;
    const int inFd = ::fileno(in);
    for (;;) {
        if (Pending() != 0)
            return std::nullopt;
        pollfd fds[2] = {{inFd, POLLIN, 0}, {state_->fd, POLLIN, 0}};
        int ready = ::poll(fds, state_->fd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return std::nullopt;
        if (fds[1].revents != 0)
            continue;  // an interrupt: Pending says so
        if (fds[0].revents == 0)
            continue;
        char c = 0;
        ssize_t got = ::read(inFd, &c, 1);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return std::nullopt;  // the input ended
        if (c == '\n')
            return line;
        if (line.size() < keep)
            line.push_back(c);
    }
}

std::string InterruptName(int signal) {
    switch (signal) {
        case SIGINT:
            return "Ctrl-C";
        case SIGTERM:
            return "a termination request";
        case SIGHUP:
            return "the terminal closing";
        default:
            return "signal " + std::to_string(signal);
    }
}

void ReportWriteFailuresAsErrors() {
    ::signal(SIGPIPE, SIG_IGN);  // EPIPE instead
    ::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead
}

}  // namespace ostrel
