// qrv "program --band 1" to one pseudo-terminal, then to ten at once from one
// process: the wall time of ten should be that of one (each port runs on its
// own thread, and the plan's pauses dominate), and the CPU time small.
//
// Usage: qrv_ports_bench [runs]
#include "PtyPeer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct Figures {
    double WallMs = 0;
    double CpuMs = 0;
    bool Ok = false;
};

double ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
}

Figures programTo(int ports) {
    std::vector<std::unique_ptr<PtyPeer>> peers;
    std::vector<std::string> arguments{QRV_BINARY, "program", QRV_SETTINGS_FILE,
                                       "--band",   "1",       "--quiet"};
    for (int i = 0; i < ports; ++i) {
        peers.push_back(std::make_unique<PtyPeer>());
        arguments.push_back("--port");
        arguments.push_back(peers.back()->SlavePath());
    }
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    Figures figures;
    const auto start = PtyPeer::Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, QRV_BINARY, nullptr, nullptr, argv.data(), environ) != 0)
        return figures;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    figures.WallMs =
        std::chrono::duration<double, std::milli>(PtyPeer::Clock::now() - start).count();
    figures.CpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    figures.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    for (const auto& peer : peers)
        figures.Ok = figures.Ok && peer->Frames().size() == 7;
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bool ok = true;
    double wall[2] = {1e9, 1e9};
    double cpu[2] = {1e9, 1e9};
    const int counts[2] = {1, 10};
    for (int run = 0; run < runs; ++run) {
        for (int c = 0; c < 2; ++c) {
            const Figures f = programTo(counts[c]);
            ok = ok && f.Ok;
            wall[c] = std::min(wall[c], f.WallMs);
            cpu[c] = std::min(cpu[c], f.CpuMs);
            std::printf("run %d, %2d port(s): wall %7.1f ms, CPU %6.1f ms%s\n", run + 1, counts[c],
                        f.WallMs, f.CpuMs, f.Ok ? "" : "  FAILED");
        }
    }
    std::printf("best of %d:  1 port: wall %.1f ms, CPU %.1f ms\n", runs, wall[0], cpu[0]);
    std::printf("best of %d: 10 ports: wall %.1f ms, CPU %.1f ms (wall %+.2f %% of 1 port)\n", runs,
                wall[1], cpu[1], (wall[1] / wall[0] - 1) * 100);
    return ok ? 0 : 1;
}
