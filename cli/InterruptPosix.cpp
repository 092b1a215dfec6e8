#include "cli/Interrupt.h"

#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

struct InterruptReport::State {
    sigset_t signals{};
    sigset_t before{};
    int signalFd = -1;
    int stopFd = -1;
    std::thread watcher;
};

InterruptReport::InterruptReport(std::function<void(int)> report) : state(new State) {
    sigemptyset(&state->signals);
    for (const int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&state->signals, s);
    pthread_sigmask(SIG_BLOCK, &state->signals, &state->before);
    state->signalFd = ::signalfd(-1, &state->signals, SFD_CLOEXEC);
    state->stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (state->signalFd < 0 || state->stopFd < 0)
        throw std::runtime_error("signalfd/eventfd");
    state->watcher = std::thread([s = state.get(), report = std::move(report)] {
        pollfd fds[2] = {{s->signalFd, POLLIN, 0}, {s->stopFd, POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0)
                continue; // EINTR
            if (fds[1].revents != 0)
                return;
            signalfd_siginfo info{};
            if (::read(s->signalFd, &info, sizeof info) != sizeof info)
                continue;
            const int signal = static_cast<int>(info.ssi_signo);
            report(signal);
            std::signal(signal, SIG_DFL);
            sigset_t one;
            sigemptyset(&one);
            sigaddset(&one, signal);
            pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
            ::raise(signal);
        }
    });
}

InterruptReport::~InterruptReport() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(state->stopFd, &one, sizeof one);
    state->watcher.join();
    ::close(state->signalFd);
    ::close(state->stopFd);
    pthread_sigmask(SIG_SETMASK, &state->before, nullptr);
}
