// The real timeline of "Programar", without a window: the printer layer's
// runner sends the plan through the serial component to "Com3", mapped to a
// pseudo-terminal, and the peer stamps the arrival of every byte. Each frame
// should arrive 500 ms after the end of the previous one (the first line
// 250 + 500 ms after the end of frame "e"), and the run should end 500 ms
// after frame 18.
//
// Usage: programar_timeline_bench [runs]
#include "PtyPeer.h"
#include "printer/Plan.h"
#include "printer/Runner.h"
#include "serial/PrinterLine.h"
#include "serial/VaComm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

using Clock = PtyPeer::Clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    const std::filesystem::path configHome =
        std::filesystem::temp_directory_path() / ("programar-bench-" + std::to_string(::getpid()));
    PtyPeer peer;
    peer.MapPort(configHome, 3);
    ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);

    TVaComm port;
    SetPrinterLine(port);
    port.SetPortNum(3);
    port.Open();

    printer::PrinterConfiguration config;
    config.Model.SetPlaceholderTexts();
    config.Options = printer::FirstSelectionOptions();
    const printer::Plan plan = printer::ProgramPlan(config, 1);

    const char* names[] = {"e", "line 1", "line 2", "line 3", "line 4", "17", "18", "end"};
    constexpr int Events = 8;
    double worst[Events] = {};
    double sum[Events] = {};
    double worstOverall = 0;
    double worstFromStart = 0;

    std::printf("%d runs\ndeviation from nominal (ms), nominal = previous step end + 500:\n", runs);
    std::printf("%-5s", "run");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8s", names[i]);
    std::printf(" %10s\n", "end@start");

    for (int run = 1; run <= runs; ++run) {
        peer.Clear();
        const Clock::time_point start = Clock::now();
        const printer::RunResult result =
            printer::Run(plan, [&port](uint8_t byte) { port.SendChar(static_cast<char>(byte)); });
        const Clock::time_point end = Clock::now();
        const std::vector<PtyPeer::Frame> frames = peer.Frames();
        if (!result || frames.size() != 7) {
            std::fprintf(stderr, "run %d: %zu frames, %s\n", run, frames.size(),
                         result.Error.c_str());
            return 1;
        }
        std::printf("%-5d", run);
        for (int i = 1; i < Events; ++i) {
            const Clock::time_point previousEnd = frames[static_cast<std::size_t>(i - 1)].LastByte;
            const double nominal = (i == 1 ? 750.0 : 500.0);
            const Clock::time_point actual =
                i < 7 ? frames[static_cast<std::size_t>(i)].FirstByte : end;
            const double deviation = msBetween(previousEnd, actual) - nominal;
            std::printf(" %8.2f", deviation);
            worst[i] = std::max(worst[i], std::abs(deviation));
            sum[i] += deviation;
            worstOverall = std::max(worstOverall, std::abs(deviation));
        }
        const double fromStart = msBetween(start, end) - 3750.0;
        worstFromStart = std::max(worstFromStart, std::abs(fromStart));
        std::printf(" %10.2f\n", fromStart);
    }
    port.Close();
    std::filesystem::remove_all(configHome);

    std::printf("%-5s", "mean");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8.2f", sum[i] / runs);
    std::printf("\n%-5s", "|max|");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8.2f", worst[i]);
    std::printf("\nlargest deviation of a step from its nominal time: %.2f ms (goal 10 ms)\n",
                worstOverall);
    std::printf("largest deviation of the end from start + 3750 ms: %.2f ms\n", worstFromStart);
    return worstOverall <= 10.0 ? 0 : 2;
}
