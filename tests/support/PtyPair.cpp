#include "PtyPair.h"
#include "PortMapPath.h"
#include "serial/PrinterLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

PtyPair::PtyPair() {
    try {
        simulator::pty::Pair pair = simulator::pty::OpenPair(true);
        master_ = std::move(pair.Master);
        slave_ = std::move(pair.Slave);
        slavePath_ = std::move(pair.SlavePath);
    } catch (const std::runtime_error&) {
        // IsOpen tells.
    }
}

QByteArray PtyPair::ReadMaster(int count, int timeoutMs) {
    QByteArray got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(master_.get(), buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, static_cast<int>(n));
    }
    return got;
}

QByteArray PtyPair::DrainMaster(int timeoutMs) {
    return ReadMaster(1 << 30, timeoutMs);
}

void PtyPair::WriteMaster(const QByteArray& bytes) {
    const ssize_t n = ::write(master_.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    (void)n;
}

void PtyPair::CloseMaster() {
    master_.reset();
}

termios PtyPair::SlaveSettings() const {
    return simulator::pty::LineSettings(slave_.get()).value_or(termios{});
}

PortMapFolder::PortMapFolder() {
    hadValue_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    oldValue_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    QDir().mkpath(Folder());
}

PortMapFolder::~PortMapFolder() {
    if (hadValue_)
        qputenv("XDG_CONFIG_HOME", oldValue_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString PortMapFolder::Folder() const {
    return QString::fromStdString(PortMapPath(dir_.path().toStdString()).string());
}

void PortMapFolder::Map(const QString& name, const QString& target) {
    QFile::remove(Folder() + "/" + name);
    QFile::link(target, Folder() + "/" + name);
}

TVaPostToMain QtMainThreadPoster() {
    return [](std::function<void()> work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work),
                                  Qt::QueuedConnection);
    };
}

namespace {

std::set<long> NumericEntries(const char* folder) {
    std::set<long> ids;
    if (DIR* dir = opendir(folder)) {
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] >= '0' && e->d_name[0] <= '9')
                ids.insert(std::stol(e->d_name));
        closedir(dir);
    }
    return ids;
}

} // namespace

std::set<long> ThreadIds() {
    return NumericEntries("/proc/self/task");
}

int OpenDescriptorCount() {
    // opendir itself holds one descriptor while it lists.
    return static_cast<int>(NumericEntries("/proc/self/fd").size()) - 1;
}

long ThreadCpuMs(long threadId) {
    std::ifstream in("/proc/self/task/" + std::to_string(threadId) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    // Fields after the name start at "state" (3); utime and stime are 14, 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15)
            stime = std::stol(field);
    }
    return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

long NewThread(const std::set<long>& before, const std::set<long>& after) {
    std::vector<long> added;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(added));
    return added.size() == 1 ? added.front() : 0;
}

void WindowSettings(TVaComm& port) {
    SetPrinterLine(port);
}
