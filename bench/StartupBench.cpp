// Start-up cost of the main window against an empty window built the same
// way (the floor): construct, show, first paint, close. Prints one line:
//   <kind> <ms from main() to first paint> <ms total> <peak RSS KiB>
// Run it through bench/startup.sh, which repeats it and takes medians.
#include "app/TForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace {

class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer clock;
    clock.start();
    const bool floor = argc > 1 && std::strcmp(argv[1], "floor") == 0;

    QApplication app(argc, argv);
    std::unique_ptr<QWidget> window;
    if (floor) {
        window = std::make_unique<QWidget>();
        window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        window->setFixedSize(429, 363);
        window->setWindowTitle(QStringLiteral("Impressora - QRV 1.1"));
    } else {
        window = std::make_unique<TForm1>();
    }
    PaintWatch watch;
    window->installEventFilter(&watch);
    window->show();
    while (!watch.painted)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const double firstPaint = clock.nsecsElapsed() / 1e6;
    window->close();
    window.reset();
    const double total = clock.nsecsElapsed() / 1e6;

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%s %.2f %.2f %ld\n", floor ? "floor" : "window", firstPaint, total,
                usage.ru_maxrss);
    return 0;
}
