// The real main window on a real X server (run it under xvfb-run): the time
// from asking for a file to its picture painted in the view. Two 24 MP 14-bit
// lossless-JPEG DNGs from the fixture library, hard-linked under ten names
// that alternate between them, so plain next-file stepping goes A, B, A, ...
// with default preferences (RGB on).
//
// For the first open and each step it prints the time until the load has
// returned (tiles in the scene) and until the view's viewport has painted all
// of the image it shows and the window has been flushed. The main window has
// no "shown" signal; the bench watches the viewport's paint events.

#include "BenchClock.h"
#include "LoadScene.h"
#include "RawImage.h"
#include "SamplesController.h"
#include "TessivaneSampleWindow.h"
#include "TessivaneTableView.h"
#include "Tessivane.h"
#include "TW_SignalingView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGraphicsRectItem>
#include <QPaintEvent>
#include <QRegion>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using BenchClock::loadAverage;
using BenchClock::median;
using BenchClock::best;

constexpr int Steps = 9;
constexpr int TimeoutMs = 20000;

// Times one load from the call to the painted picture. A paint counts only
// once the load has returned and the window holds the wanted file: the
// status texts repaint the window in the middle of a load.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(Tessivane *window)
        : window(window)
    {
        window->view->viewport()->installEventFilter(this);
    }

    struct Times {
        double loaded = 0, painted = 0;
        bool ok = false;
    };

    Times run(const QString &wanted, const std::function<void()> &start)
    {
        target = wanted;
        armed = false;
        Times t;
        QEventLoop loop;
        done = &loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, [&loop]() { loop.exit(1); });

        clock.start();
        start();
        t.loaded = double(clock.nsecsElapsed()) / 1e6;
        if (!holdsTarget()) {
            std::fprintf(stderr, "the window did not load %s (it shows %s)\n", qPrintable(fileNameOf(wanted)),
                         window->image ? qPrintable(fileNameOf(window->image->path)) : "nothing");
            done = nullptr;
            return t;
        }
        paintedRegion = QRegion();
        armed = true;
        timeout.start(TimeoutMs);
        const bool onScreen = loop.exec() == 0;
        armed = false;
        done = nullptr;
        if (!onScreen) {
            std::fprintf(stderr, "no paint of %s within %d ms\n", qPrintable(fileNameOf(wanted)), TimeoutMs);
            return t;
        }
        t.painted = paintedMs;
        t.ok = true;
        return t;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && armed && holdsTarget()) {
            // The picture is on screen once the paints since the load have
            // covered all of the image that the viewport shows.
            paintedRegion += static_cast<QPaintEvent *>(event)->region();
            QWidget *viewport = window->view->viewport();
            const QRect shown =
                window->view->mapFromScene(window->frameItem->rect()).boundingRect() & viewport->rect();
            if (!(QRegion(shown) - paintedRegion).isEmpty())
                return QObject::eventFilter(watched, event);
            armed = false;
            // Posted from inside the paint: it runs once the repaint that
            // sent this event has painted and flushed the window.
            QTimer::singleShot(0, this, [this]() {
                paintedMs = double(clock.nsecsElapsed()) / 1e6;
                if (done)
                    done->exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool holdsTarget() const
    {
        return !window->isLoading() && window->image && window->frameItem && window->image->path == target;
    }

    Tessivane *window;
    QString target;
    QElapsedTimer clock;
    QEventLoop *done = nullptr;
    bool armed = false;
    QRegion paintedRegion;
    double paintedMs = 0;
};

// Minor page faults of the process so far: each fresh page the kernel had
// to clear counts (a huge page once).
long minorFaults()
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

bool waitForExposed(QWidget *w)
{
    QElapsedTimer t;
    t.start();
    while (!(w->windowHandle() && w->windowHandle()->isExposed())) {
        if (t.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// Lets the events left from the last load (a deferred frame reload, the
// EXIF read) run before the next clock starts.
void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The share of one core the window uses over `ms` of idle running.
double idleCpuShare(int ms)
{
    const double cpu0 = processCpuMs();
    QElapsedTimer t;
    t.start();
    // A real event loop: settle() polls and would measure itself.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (processCpuMs() - cpu0) / double(t.elapsed());
}

// 10,000 samples of 32x32 on the image, the blinking of none, then of one
// selected sample: the blink should cost only the repaint of its rectangle.
void measureBlink(Tessivane &window)
{
    QVector<SampleCoordinatesReader::Row> rows;
    for (int i = 0; i < 10000; ++i)
        rows.push_back({area_t{(i % 100) * 60, (i / 100) * 40, 32, 32}, QString()});
    if (!window.samplesController->addSamples(rows, true)) {
        std::fprintf(stderr, "the samples were not added\n");
        return;
    }
    settle(1000);
    const double idle = idleCpuShare(3000);
    window.samplesWindow->view->selectRow(5050);
    settle(500);
    const double blinking = idleCpuShare(3000);
    std::printf("\n10000 samples, one core's share: none selected %.1f %%, one blinking %.1f %% (target under 2 %%)\n",
                idle * 100, blinking * 100);
}

} // namespace

int main(int argc, char **argv)
{
    // Settings in a folder of our own, never the user's.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    for (QSettings::Format f : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(f, QSettings::UserScope, config.filePath(QStringLiteral("user")));
        QSettings::setPath(f, QSettings::SystemScope, config.filePath(QStringLiteral("system")));
    }
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        std::fprintf(stderr, "platform \"%s\", not an X server: run it under xvfb-run\n",
                     qPrintable(QGuiApplication::platformName()));

    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.raw-source"));
    const QString b = dir.filePath(QStringLiteral("b.raw-source"));
    if (!LoadScene::write(a, 6000, 4000, 14, 0.0) || !LoadScene::write(b, 6000, 4000, 14, 1.7))
        return 1;
    const QString folder = dir.filePath(QStringLiteral("files"));
    QDir().mkpath(folder);
    QStringList names;
    for (int i = 0; i <= Steps; ++i) {
        const QString name = QDir(folder).filePath(QStringLiteral("step_%1.dng").arg(i, 2, 10, QLatin1Char('0')));
        if (::link(QFile::encodeName(i % 2 ? b : a).constData(), QFile::encodeName(name).constData()) != 0) {
            std::fprintf(stderr, "cannot link %s\n", qPrintable(name));
            return 1;
        }
        names << name;
    }

    Tessivane window;
    window.showAsLastSaved();
    window.systemPaletteChanged(app.palette(), true);
    if (!waitForExposed(&window)) {
        std::fprintf(stderr, "the main window was not exposed within %d ms\n", TimeoutMs);
        return 1;
    }
    settle(300);

    const QSize viewport = window.view->viewport()->size();
    std::printf("main window %dx%d, viewport %dx%d, platform %s\n", window.width(), window.height(),
                viewport.width(), viewport.height(), qPrintable(QGuiApplication::platformName()));
    std::printf("load average %.2f, %d threads\n", loadAverage(), QThread::idealThreadCount());

    PaintWatch watch(&window);
    const PaintWatch::Times first = watch.run(names[0], [&]() { window.openFile(names[0]); });
    if (!first.ok)
        return 1;
    std::printf("\n24 MP 14-bit lossless JPEG, RGB on\n");
    std::printf("  %-16s %-12s %10s %10s %10s %10s\n", "", "file", "loaded ms", "painted ms", "paint ms", "faults");
    std::printf("  %-16s %-12s %10.1f %10.1f %10.1f\n", "first open", qPrintable(fileNameOf(names[0])), first.loaded,
                first.painted, first.painted - first.loaded);
    settle(500);

    std::vector<double> loaded, painted, paint, faults;
    for (int i = 1; i <= Steps; ++i) {
        const long faultsBefore = minorFaults();
        const PaintWatch::Times t = watch.run(names[i], [&]() { window.nextFile(); });
        if (!t.ok)
            return 1;
        faults.push_back(double(minorFaults() - faultsBefore));
        std::printf("  %-16s %-12s %10.1f %10.1f %10.1f %10.0f\n", qPrintable(QStringLiteral("next file %1").arg(i)),
                    qPrintable(fileNameOf(names[i])), t.loaded, t.painted, t.painted - t.loaded, faults.back());
        loaded.push_back(t.loaded);
        painted.push_back(t.painted);
        paint.push_back(t.painted - t.loaded);
        settle(300);
    }
    std::printf("  %-16s %-12s %10.1f %10.1f %10.1f %10.0f\n", "median", "", median(loaded), median(painted),
                median(paint), median(faults));
    std::printf("  %-16s %-12s %10.1f %10.1f %10.1f\n", "best", "", best(loaded), best(painted), best(paint));
    std::printf("  painted / loaded (medians): %.2f; bench_load gives the load path without the window\n",
                median(painted) / median(loaded));
    std::printf("target: next-file step, load returned, 70 ms: %s (%.2fx of it); page faults a step (median) %.0f\n",
                median(loaded) <= 70 ? "met" : "missed", median(loaded) / 70, median(faults));
    measureBlink(window);
    std::printf("load average at the end %.2f\n", loadAverage());
    return 0;
}
