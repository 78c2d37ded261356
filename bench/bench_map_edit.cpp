// Map editing figures: the user-interface time of one drag event on a 100-point timing curve
// (point set, curve rebuilt, chart replotted), and the time from a drag step or a key release to
// its three bytes at the unit, with the live poll running.
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "ui/TForm1.h"

#include "EmuSimulator.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

qint64 nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p / 100.0 * static_cast<double>(v.size())))];
}

void dragMove(MapChartWidget* chart, double x, double y) {
    const QPointF at = chart->pixelAt(x, y);
    QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
}

QList<SimCommand> setsOf(const EmuSimulator& sim) {
    QList<SimCommand> out;
    for (const SimCommand& c : sim.commands())
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFC)
            out << c;
    return out;
}

// Posts `count` user actions from another thread every `periodMs`, as a user's hand would, and
// returns when each was posted; the action itself runs on the user-interface thread.
template <typename Action>
std::vector<qint64> postActions(QObject* target, int count, int periodMs, Action action) {
    std::vector<qint64> posted(static_cast<size_t>(count));
    std::atomic<int> done{0};
    std::thread feeder([&] {
        for (int k = 0; k < count; ++k) {
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
            posted[static_cast<size_t>(k)] = nowUs();
            QMetaObject::invokeMethod(
                target,
                [&, k] {
                    action(k);
                    done.fetch_add(1);
                },
                Qt::QueuedConnection);
        }
    });
    while (done.load() < count)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    feeder.join();
    return posted;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    SimConfig config;
    config.linkPath = dir.filePath("ttyEMU");
    auto image = EmuSimulator::baseTune(3, config.serial);
    image[81] = 101; // 10000 RPM: a 100-point timing curve
    config.image = image;
    EmuSimulator sim(config);
    if (!sim.start()) {
        std::printf("simulator did not start\n");
        return 1;
    }
    qputenv("EMU_PORTS", QFile::encodeName(sim.devicePath()));

    TForm1 window;
    window.resize(1280, 800);
    window.show();
    while (!window.startupSearchDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    window.spConnectClick();
    while (window.flowsRunning())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (window.state().cal.TimingPointCount != 100) {
        std::printf("the timing curve has %d points, not 100\n", window.state().cal.TimingPointCount);
        return 1;
    }
    window.findChild<QAbstractButton*>(QStringLiteral("SpeedButton3"))->click();
    window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    QCoreApplication::processEvents();
    MapChartWidget* chart = window.chart(QStringLiteral("TimingChart"));
    chart->replot();

    // 1. One drag event on the user-interface thread: the door, the curve rebuild and the replot.
    window.link().stopPoll();
    std::vector<double> handling;
    for (int k = 0; k < 600; ++k) {
        QElapsedTimer t;
        t.start();
        dragMove(chart, 1 + k % 100, 5 + k % 35);
        chart->replot(QCustomPlot::rpImmediateRefresh); // what the queued replot does once per pass
        handling.push_back(t.nsecsElapsed() / 1e6);
    }
    QCoreApplication::processEvents();

    // 2. Edit to wire with the poll running: drag steps, then key releases, from a user's hand.
    window.link().startPoll();
    sim.clearRecord();
    constexpr int kDrags = 300;
    const auto dragPosted =
        postActions(chart, kDrags, 37, [&](int k) { dragMove(chart, 1 + k % 100, 10 + k % 30); });
    const qint64 settle = nowUs() + 500000;
    while (nowUs() < settle)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QList<SimCommand> dragSets = setsOf(sim);

    sim.clearRecord();
    constexpr int kKeys = 200;
    const auto keyPosted = postActions(chart, kKeys, 41, [&](int k) {
        QKeyEvent press(QEvent::KeyPress, k % 2 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(chart, &press);
        QKeyEvent release(QEvent::KeyRelease, k % 2 ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(chart, &release);
    });
    const qint64 settle2 = nowUs() + 500000;
    while (nowUs() < settle2)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QList<SimCommand> keySets = setsOf(sim);
    window.link().stopPoll();
    sim.stop();

    const auto latencies = [](const std::vector<qint64>& posted, const QList<SimCommand>& arrived) {
        std::vector<double> out;
        for (size_t k = 0; k < posted.size() && k < static_cast<size_t>(arrived.size()); ++k)
            out.push_back((arrived[static_cast<qsizetype>(k)].receivedUs - posted[k]) / 1000.0);
        return out;
    };
    const auto dragWire = latencies(dragPosted, dragSets);
    const auto keyWire = latencies(keyPosted, keySets);

    std::printf(
        "drag event handling, 100-point timing curve (set, rebuild, replot): median %.2f ms, p99 %.2f ms "
        "(no target of its own; it is part of the edit-to-wire budget)\n",
        percentile(handling, 50), percentile(handling, 99));
    std::printf("edit to wire, drag step (poll running): %d of %d arrived, median %.1f ms, p99 %.1f ms "
                "(target p99 <= 25 ms)\n",
                static_cast<int>(dragSets.size()), kDrags, percentile(dragWire, 50),
                percentile(dragWire, 99));
    std::printf("edit to wire, key release (poll running): %d of %d arrived, median %.1f ms, p99 %.1f ms "
                "(target p99 <= 25 ms)\n",
                static_cast<int>(keySets.size()), kKeys, percentile(keyWire, 50), percentile(keyWire, 99));
    return 0;
}
