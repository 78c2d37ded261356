// Curve tool figures: interpolating all 100 points of the timing curve, from the key that asks for
// it to the last byte of its last point message at the unit, with the live poll running. Every
// inner point changes, so about 300 bytes must cross the 19200 baud line (about 156 ms of wire).
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/MapToolsWidget.h"
#include "ui/TForm1.h"

#include "EmuSimulator.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

qint64 nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void runUntil(const std::function<bool()>& done, int timeoutMs) {
    const qint64 end = nowUs() + qint64(timeoutMs) * 1000;
    while (!done() && nowUs() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

void runFor(int ms) {
    runUntil([] { return false; }, ms);
}

QList<SimCommand> setsOf(const EmuSimulator& sim) {
    QList<SimCommand> out;
    for (const SimCommand& c : sim.commands())
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFC)
            out << c;
    return out;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    window.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    QCoreApplication::processEvents();
    MapChartWidget* chart = window.chart(QStringLiteral("TimingChart"));
    chart->replot();
    MapToolsWidget* tools = window.mapPages().tools(ChartId::Timing);
    window.link().startPoll();

    constexpr int kRounds = 7;
    std::vector<double> toLastByte;
    std::vector<double> handling;
    std::vector<double> onRealLine;
    int messages = 0;
    for (int round = 0; round < kRounds; ++round) {
        // A curve whose every inner point is off the line from point 1 to point 100.
        tools->setSelection({1, 100});
        tools->run(CurveTool::SetTo, round % 2 ? 40 : 2);
        tools->setSelection({1, 1});
        tools->run(CurveTool::SetTo, 0);
        tools->setSelection({100, 100});
        tools->run(CurveTool::SetTo, 45);
        runUntil([&] { return window.link().queuedSets() == 0; }, 5000);
        runFor(200);
        sim.clearRecord();

        tools->setSelection({1, 100});
        QAction* interpolate = tools->findChild<QAction*>(QStringLiteral("TimingChartInterpolate"));
        if (!interpolate) {
            std::printf("no Interpolate action\n");
            return 1;
        }
        int expected = 0;
        const auto counter =
            QObject::connect(&window.editor(), &CalibrationEditor::edited, [&] { ++expected; });
        // The menu item's click.
        const qint64 start = nowUs();
        interpolate->trigger();
        handling.push_back((nowUs() - start) / 1000.0);
        QObject::disconnect(counter);
        runUntil([&] { return setsOf(sim).size() >= expected; }, 5000);
        runFor(50);
        const QList<SimCommand> sent = setsOf(sim);
        messages = int(sent.size());
        if (sent.isEmpty())
            continue;
        toLastByte.push_back((sent.last().receivedUs - start) / 1000.0);
        // A pty hands bytes over at once; a real line carries 10 bits a byte at 19200 baud. Each
        // byte the PC sent (point messages and poll queries alike) arrives when the line has
        // carried the bytes before it, and never before the PC wrote it.
        constexpr double kByteUs = 10 * 1e6 / 19200;
        double lineFreeUs = static_cast<double>(start);
        for (const SimCommand& c : sim.commands())
            if (c.receivedUs >= start)
                lineFreeUs =
                    std::max(lineFreeUs, static_cast<double>(c.receivedUs)) + c.bytes.size() * kByteUs;
        onRealLine.push_back((lineFreeUs - start) / 1000.0);
    }
    window.link().stopPoll();
    sim.stop();

    std::printf(
        "interpolate 100 timing points (poll running): %d point messages, handling median %.1f ms; "
        "click to last byte at the simulator (a pty, no line time) median %.1f ms, worst %.1f ms; "
        "on a 19200-baud line (each byte 0.52 ms after the one before) median %.1f ms, worst %.1f ms, "
        "over %d rounds (target <= 250 ms; the wire alone needs about 156 ms)\n",
        messages, median(handling), median(toLastByte),
        toLastByte.empty() ? 0.0 : *std::max_element(toLastByte.begin(), toLastByte.end()),
        median(onRealLine),
        onRealLine.empty() ? 0.0 : *std::max_element(onRealLine.begin(), onRealLine.end()),
        int(toLastByte.size()));
    return 0;
}
