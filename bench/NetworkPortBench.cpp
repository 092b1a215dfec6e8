// Network ports through a real ser2net on 127.0.0.1:
//  - time from starting qrv to the first frame at the printer, over RFC 2217
//    and over a local pseudo-terminal (the difference is the connection and
//    the com port negotiation);
//  - "program --band 1" to one printer behind one server, then to ten
//    printers behind ten servers at once: the wall time of ten should be
//    that of one.
//
// Usage: network_port_bench [runs]
#include "PtyPeer.h"
#include "Ser2Net.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = PtyPeer::Clock;

double msSince(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Runs qrv to its end; the moment it was started, or nothing when it failed.
bool runQrv(std::vector<std::string> arguments, Clock::time_point& started) {
    arguments.insert(arguments.begin(), QRV_BINARY);
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    started = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, QRV_BINARY, nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// ms from start to the first byte of "Re Iniciar" at the peer.
double firstFrame(const std::string& port, PtyPeer& peer) {
    peer.Clear();
    Clock::time_point started;
    if (!runQrv({"restart", "--port", port, "--quiet"}, started))
        return -1;
    const auto frames = peer.Frames();
    return frames.empty() ? -1 : msSince(started, frames.front().FirstByte);
}

double programTo(int printers) {
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::vector<std::unique_ptr<Ser2Net>> servers;
    std::vector<std::string> arguments{"program", QRV_SETTINGS_FILE, "--band", "1", "--quiet"};
    for (int i = 0; i < printers; ++i) {
        peers.push_back(std::make_unique<PtyPeer>());
        servers.push_back(std::make_unique<Ser2Net>(
            std::vector<Ser2Net::Connection>{{Ser2Net::Kind::Rfc2217, peers.back()->SlavePath()}}));
        if (!servers.back()->Start())
            return -1;
        arguments.push_back("--port");
        arguments.push_back(servers.back()->Address(0).toStdString());
    }
    Clock::time_point started;
    const bool ok = runQrv(arguments, started);
    const double wall = msSince(started, Clock::now());
    for (const auto& peer : peers)
        if (peer->Frames().size() != 7)
            return -1;
    return ok ? wall : -1;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    PtyPeer local;
    PtyPeer remote;
    Ser2Net server({{Ser2Net::Kind::Rfc2217, remote.SlavePath()}});
    if (!server.Start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.Error()));
        return 1;
    }
    std::vector<double> localMs, remoteMs;
    for (int i = 0; i < runs; ++i) {
        localMs.push_back(firstFrame(local.SlavePath(), local));
        remoteMs.push_back(firstFrame(server.Address(0).toStdString(), remote));
        // ser2net closes the device after a client leaves; let it settle.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (std::count(localMs.begin(), localMs.end(), -1.0) +
            std::count(remoteMs.begin(), remoteMs.end(), -1.0) >
        0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    std::printf("first frame, median of %d: local pty %.1f ms, rfc2217 on loopback %.1f ms "
                "(+%.1f ms)\n",
                runs, median(localMs), median(remoteMs), median(remoteMs) - median(localMs));

    std::vector<double> one, ten;
    for (int i = 0; i < std::max(1, runs / 2); ++i) {
        one.push_back(programTo(1));
        ten.push_back(programTo(10));
    }
    if (std::count(one.begin(), one.end(), -1.0) + std::count(ten.begin(), ten.end(), -1.0) > 0) {
        std::fprintf(stderr, "a program run failed\n");
        return 1;
    }
    const double a = median(one), b = median(ten);
    std::printf("program --band 1, median of %zu: 1 server %.0f ms, 10 servers at once %.0f ms "
                "(%+.1f %%)\n",
                one.size(), a, b, (b - a) / a * 100.0);
    return 0;
}
