// The window side the benchmarks share: a simulated unit on a pty, the window connected to it, the
// tabs, a drag step on a chart, and the cost of one live tick beyond the exchange.
#pragma once

#include "BenchSupport.h"

#include "link/SetupIds.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/LiveMonitor.h"
#include "monitor/LiveRefresh.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTabWidget>
#include <QThread>

#include <cstdio>
#include <memory>

namespace bench {

// A simulated unit in a folder of its own, announced to the window through EMU_PORTS. With
// hundredPoints its tune has a 10000 RPM range: a 100-point timing curve.
struct BenchUnit {
    explicit BenchUnit(bool hundredPoints = false) {
        SimConfig config;
        config.linkPath = dir.filePath(QStringLiteral("ttyEMU"));
        if (hundredPoints) {
            auto image = EmuSimulator::baseTune(3, config.serial);
            image[SetupId::RpmRange] = 101; // 10000 RPM (plain 100)
            config.image = image;
        }
        sim = std::make_unique<EmuSimulator>(config);
        started = sim->start();
        if (started)
            qputenv("EMU_PORTS", QFile::encodeName(sim->devicePath()));
        else
            std::printf("simulator did not start\n");
    }
    QTemporaryDir dir;
    std::unique_ptr<EmuSimulator> sim;
    bool started = false;
};

// Shows the window, waits out the start-up search and connects; false when no unit answered.
inline bool connectWindow(TForm1& w, int width = 1280, int height = 860) {
    w.resize(width, height);
    w.show();
    while (!w.startupSearchDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    w.spConnectClick();
    while (w.flowsRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (!w.state().link.EmuConnected)
        std::printf("no unit\n");
    return w.state().link.EmuConnected;
}

inline void showTab(TForm1& w, const QString& title) {
    auto* tabs = w.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->tabText(i) == title)
            tabs->setCurrentIndex(i);
    QCoreApplication::processEvents();
}

// One mouse move with the left button held, at chart coordinates (x, y).
inline void dragMove(MapChartWidget* chart, double x, double y) {
    const QPointF at = chart->pixelAt(x, y);
    QMouseEvent move(QEvent::MouseMove, at, chart->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(chart, &move);
}

// The user-interface work of one live tick beyond the exchange with the tab shown: the decode, then
// the display update it causes at the next screen refresh and the painting. The idle wait for the
// refresh timer is left out; the displays' work is counted whenever it runs. Stop the poll first.
inline std::vector<double> tickCost(TForm1& w, const QString& tab, int ticks = 400) {
    showTab(w, tab);
    runFor(200);
    std::vector<double> cost;
    for (int i = 0; i < ticks; ++i) {
        QByteArray frame("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10);
        frame[0] = char(10 + i % 60);
        frame[4] = char(20 + i % 90);
        QElapsedTimer t;
        t.start();
        w.liveMonitor().takeFrame(frame);
        double ms = t.nsecsElapsed() / 1e6;
        QThread::msleep(LiveRefresh::kScreenRefreshMs + 2);
        t.restart();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        ms += t.nsecsElapsed() / 1e6;
        cost.push_back(ms);
        QThread::msleep(20);
    }
    return cost;
}

} // namespace bench
