#include "Sredird.h"
#include "Ser2Net.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <utility>

extern char** environ;

Sredird::Sredird(std::string device) : device_(std::move(device)) {}

Sredird::~Sredird() {
    if (pid_ > 0) {
        // socat's children (a sredird per connection) end with their
        // connection; SIGTERM makes socat end them too.
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

bool Sredird::Start() {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = Ser2Net::FreePort();
        const std::string listen =
            "tcp-listen:" + std::to_string(port_) + ",fork,reuseaddr,bind=127.0.0.1";
        const std::string exec = "exec:sredird 5 " + device_ + " " +
                                 dir_.filePath(QStringLiteral("LCK..printer")).toStdString();
        const char* argv[] = {"socat", listen.c_str(), exec.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int r =
            posix_spawnp(&pid_, "socat", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0) {
            pid_ = -1;
            error_ = QStringLiteral("socat cannot be started (is it installed?)");
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Ser2Net::Listening(port_))
                return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break; // the port was taken meanwhile: another one
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }
    error_ = QStringLiteral("socat did not listen for sredird");
    return false;
}

QString Sredird::Address() const {
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_);
}
