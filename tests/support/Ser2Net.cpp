#include "Ser2Net.h"

#include <QFile>
#include <QTextStream>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

Ser2Net::Ser2Net(std::vector<Connection> connections) : connections_(std::move(connections)) {}

Ser2Net::~Ser2Net() {
    Kill();
}

int Ser2Net::FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t size = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool Ser2Net::Listening(int port) {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QString local =
        QStringLiteral("0100007F:%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    const QStringList lines = QString::fromLatin1(table.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() > 3 && f[1] == local && f[3] == QLatin1String("0A"))
            return true;
    }
    return false;
}

bool Ser2Net::Start() {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    // A port taken between FreePort and ser2net's bind makes it fail to
    // listen; a few rounds with new ports cover that.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString config = dir_.filePath(QStringLiteral("ser2net.yaml"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = QStringLiteral("cannot write %1").arg(config);
            return false;
        }
        QTextStream out(&file);
        int n = 0;
        for (Connection& c : connections_) {
            c.Port = FreePort();
            out << "connection: &c" << n++ << "\n"
                << "  accepter: " << (c.Protocol == Kind::Rfc2217 ? "telnet(rfc2217),tcp," : "tcp,")
                << "127.0.0.1," << c.Port << "\n"
                << "  connector: serialdev," << QString::fromStdString(c.Device)
                << ",115200n81,local\n"
                << "  options:\n    mdns: false\n";
        }
        out.flush();
        file.close();

        const std::string configPath = config.toStdString();
        const std::string pidPath = dir_.filePath(QStringLiteral("ser2net.pid")).toStdString();
        const char* argv[] = {"ser2net",       "-n",   "-u", "-c", configPath.c_str(), "-P",
                              pidPath.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int r =
            posix_spawnp(&pid_, "ser2net", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (r != 0) {
            pid_ = -1;
            error_ = QStringLiteral("ser2net cannot be started (is it installed?)");
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            bool all = true;
            for (const Connection& c : connections_)
                all = all && Listening(c.Port);
            if (all)
                return true;
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited = true;
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!exited)
            Kill();
    }
    error_ = QStringLiteral("ser2net did not listen on its ports");
    return false;
}

QString Ser2Net::Address(std::size_t i) const {
    const Connection& c = connections_.at(i);
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(c.Protocol == Kind::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("socket"))
        .arg(c.Port);
}

void Ser2Net::Stop() {
    if (pid_ > 0 && ::kill(pid_, SIGSTOP) == 0)
        stopped_ = true;
}

void Ser2Net::Continue() {
    if (pid_ > 0 && stopped_)
        ::kill(pid_, SIGCONT);
    stopped_ = false;
}

void Ser2Net::Kill() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    Continue();
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}
