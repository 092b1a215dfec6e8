// The editor refresh: the cost of one Timer1 tick, and the process's CPU time
// while the window sits untouched with the refresh running.
//
//   editor_bench [idle seconds, default 60] [baseline]
//
// With "baseline", two idle phases of the same length run first, with the
// refresh stopped: one with nothing else, and one with an empty 200 ms timer,
// the floor of any five-a-second wake-up on the machine. Uses the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.
#include "app/TForm1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void runEventLoop(QApplication& app, int milliseconds) {
    QTimer::singleShot(milliseconds, &app, &QCoreApplication::quit);
    app.exec();
}

// Prints the CPU time spent while the event loop runs for the given time.
void idlePhase(QApplication& app, const char* name, int seconds, int ticks0, const int& ticks) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = cpuSeconds();
    runEventLoop(app, seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    std::printf("%s: %.1f s wall, %.3f s CPU = %.4f %% of one core, %d ticks\n", name, elapsed, cpu,
                100.0 * cpu / elapsed, ticks - ticks0);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const bool baseline = argc > 2 && std::strcmp(argv[2], "baseline") == 0;

    TForm1 form;
    form.show();
    runEventLoop(app, 500);
    form.ComboBox1->setCurrentIndex(0);
    form.ComboBox1Change();
    form.Timer1->stop();
    int ticks = 0;
    QObject::connect(form.Timer1, &QTimer::timeout, &form, [&ticks] { ++ticks; });

    // Repaints that a tick asks for run in the event loop, between ticks, as
    // in the program; the idle phase below includes them.
    constexpr int TickCount = 20000;
    std::vector<double> micros;
    micros.reserve(TickCount);
    for (int i = 0; i < TickCount; ++i) {
        const auto start = std::chrono::steady_clock::now();
        form.Timer1Timer();
        const auto end = std::chrono::steady_clock::now();
        form.Timer1->stop();
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        if (i % 50 == 0)
            app.processEvents();
    }
    std::sort(micros.begin(), micros.end());
    std::printf("one refresh tick (%d ticks): median %.2f us, 90th percentile %.2f us, "
                "max %.2f us\n",
                TickCount, micros[micros.size() / 2], micros[micros.size() * 9 / 10],
                micros.back());

    if (baseline) {
        idlePhase(app, "idle, refresh stopped", idleSeconds, ticks, ticks);
        int wakeUps = 0;
        QTimer empty;
        empty.setInterval(200);
        QObject::connect(&empty, &QTimer::timeout, &form, [&wakeUps] { ++wakeUps; });
        empty.start();
        idlePhase(app, "idle, empty 200 ms timer instead", idleSeconds, 0, wakeUps);
    }
    form.Timer1->start();
    idlePhase(app, "idle, refresh running", idleSeconds, ticks, ticks);
    return 0;
}
