// The real timeline of "Programar": the window sends to "Com3", mapped to a
// pseudo-terminal, and the peer stamps the arrival of every byte. Each frame
// should arrive 500 ms after the end of the previous one (the first line
// 250 + 500 ms after the end of frame "e"), and the sequence should end
// 500 ms after frame 18.
//
// Usage: programar_timeline_bench [runs] [--coarse]
//   --coarse  gives Timer2 Qt's default coarse timer type, for comparison.
#include "PtyPeer.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

using Clock = PtyPeer::Clock;

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

int main(int argc, char** argv) {
    int runs = 10;
    bool coarse = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--coarse") == 0)
            coarse = true;
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir configHome;
    PtyPeer peer;
    peer.MapPort(QFile::encodeName(configHome.path()).toStdString(), 3);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));

    TForm1 form;
    QStringList errors;
    form.ShowError = [&errors](const QString& text) { errors << text; };
    if (coarse)
        form.Timer2->setTimerType(Qt::CoarseTimer);
    form.ComboBox5->setCurrentIndex(2);
    form.ComboBox5Click();
    form.ComboBox5Change();
    form.ComboBox1->setCurrentIndex(0);
    form.ComboBox1Change();
    if (!form.PortOpen) {
        std::fprintf(stderr, "Com3 did not open\n");
        return 1;
    }

    Clock::time_point endStep;
    QObject::connect(form.Timer2, &QTimer::timeout, &form, [&] {
        if (form.SendStep == 7)
            endStep = Clock::now();
    });

    const char* names[] = {"e", "line 1", "line 2", "line 3", "line 4", "17", "18", "end"};
    constexpr int Events = 8;
    double worst[Events] = {};
    double sum[Events] = {};
    double worstOverall = 0;
    double worstFromClick = 0;

    std::printf("Timer2 type: %s; %d runs\n", coarse ? "coarse" : "precise", runs);
    std::printf("deviation from nominal (ms), nominal = previous step end + 500:\n");
    std::printf("%-5s", "run");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8s", names[i]);
    std::printf(" %10s\n", "end@click");

    for (int run = 1; run <= runs; ++run) {
        peer.Clear();
        const Clock::time_point click = Clock::now();
        form.Button1->click();
        QElapsedTimer limit;
        limit.start();
        while (!(form.SendStep == 7 && !form.Timer2->isActive()) && limit.elapsed() < 10000)
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        const std::vector<PtyPeer::Frame> frames = peer.Frames();
        if (frames.size() != 7 || !errors.isEmpty()) {
            std::fprintf(stderr, "run %d: %zu frames, %lld errors\n", run, frames.size(),
                         static_cast<long long>(errors.size()));
            return 1;
        }
        std::printf("%-5d", run);
        for (int i = 1; i < Events; ++i) {
            const Clock::time_point previousEnd = frames[static_cast<std::size_t>(i - 1)].LastByte;
            const double nominal = (i == 1 ? 750.0 : 500.0);
            const Clock::time_point actual =
                i < 7 ? frames[static_cast<std::size_t>(i)].FirstByte : endStep;
            const double deviation = msBetween(previousEnd, actual) - nominal;
            std::printf(" %8.2f", deviation);
            worst[i] = std::max(worst[i], std::abs(deviation));
            sum[i] += deviation;
            worstOverall = std::max(worstOverall, std::abs(deviation));
        }
        const double fromClick = msBetween(click, endStep) - 3750.0;
        worstFromClick = std::max(worstFromClick, std::abs(fromClick));
        std::printf(" %10.2f\n", fromClick);
        // Let the refresh run once between sequences, as an operator would.
        QElapsedTimer gap;
        gap.start();
        while (gap.elapsed() < 300)
            app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    std::printf("%-5s", "mean");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8.2f", sum[i] / runs);
    std::printf("\n%-5s", "|max|");
    for (int i = 1; i < Events; ++i)
        std::printf(" %8.2f", worst[i]);
    std::printf("\nlargest deviation of a step from its nominal time: %.2f ms (goal 10 ms)\n",
                worstOverall);
    std::printf("largest deviation of the end from click + 3750 ms: %.2f ms\n", worstFromClick);
    return worstOverall <= 10.0 ? 0 : 2;
}
