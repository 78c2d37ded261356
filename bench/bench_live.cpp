// Live monitoring figures: the cost of one poll tick with the Engine Monitor and with a map page
// shown, pictures of the live pages, and the strip chart after 8 hours. The cadence, the input
// latency and the frame integrity are measured by bench-targets.
// Usage: bench-live [--shots DIR] [--tick-only]
//   (DIR: pictures after a few seconds of live data; --tick-only: the tick cost alone)
#include "BenchWindow.h"

#include "monitor/DataLoggerPage.h"
#include "monitor/TThreadedTimer.h"

#include <QAbstractButton>

#include <qcustomplot.h>

using namespace bench;

namespace {

void shot(TForm1& w, const QString& dir, const QString& tab, const QString& file) {
    showTab(w, tab);
    runFor(300);
    w.grab().save(QDir(dir).filePath(file));
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString shots;
    const bool tickOnly = args.contains(QLatin1String("--tick-only"));
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == QLatin1String("--shots"))
            shots = args[i + 1];

    BenchUnit unit;
    if (!unit.started)
        return 1;
    EmuSimulator& sim = *unit.sim;
    TForm1 w;
    if (!connectWindow(w))
        return 1;
    if (!shots.isEmpty()) {
        DataLoggerPage* logger = w.dataLogger();
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        showTab(w, QStringLiteral("Engine Monitor"));
        runFor(5000);
        shot(w, shots, QStringLiteral("Engine Monitor"), QStringLiteral("engine-monitor.png"));
        shot(w, shots, QStringLiteral("Data Logger"), QStringLiteral("data-logger.png"));
        shot(w, shots, QStringLiteral("Timing Map"), QStringLiteral("timing-map-live.png"));
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
    }

    w.link().stopPoll();
    const std::vector<double> monitorCost = tickCost(w, QStringLiteral("Engine Monitor"));
    std::printf("tick cost beyond the exchange (Engine Monitor shown, decode + display update + painting): "
                "median %.2f ms, p99 %.2f ms (target median <= 2 ms)\n",
                percentile(monitorCost, 0.5), percentile(monitorCost, 0.99));
    const std::vector<double> timingCost = tickCost(w, QStringLiteral("Timing Map"));
    std::printf("tick cost beyond the exchange (Timing Map shown, decode + display update + painting): "
                "median %.2f ms, p99 %.2f ms (target median <= 2 ms)\n",
                percentile(timingCost, 0.5), percentile(timingCost, 0.99));
    if (tickOnly) {
        sim.stop();
        return 0;
    }

    // Strip chart: 8 hours of 50 ms samples on all eleven series.
    EmuState state;
    state.link.EmuConnected = true;
    state.live.RpmHundreds = 30;
    auto* page = new DataLoggerPage(state);
    long long now = 1000;
    page->setClock([&now] { return now; }); // the samples' times are synthesised, 50 ms apart
    state.live.received = true;
    page->resize(1100, 700);
    page->selectInterval(50);
    page->SpeedButton1Click();
    page->dataLogTimer().setEnabled(false);
    const long before = rssKb();
    const int samples = 8 * 3600 * 20;
    QElapsedTimer fill;
    fill.start();
    for (int i = 0; i < samples; ++i) {
        state.live.RpmHundreds = 30 + (i % 400) / 10.0;
        state.live.WaterTemp = 80 + (i % 100) / 10.0;
        state.live.readMs = 1000 + i * 50LL;
        ++state.live.frame;
        now = state.live.readMs + 1;
        page->ThreadedTimer1Timer();
    }
    const double fillMs = fill.elapsed();
    const long after = rssKb();
    page->show();
    runFor(200);
    std::vector<double> replot;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        page->chart()->replot(QCustomPlot::rpImmediateRefresh);
        replot.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("strip chart after 8 h of 50 ms samples on 11 series: %.1f MB per logged hour, replot of the "
                "30 s window "
                "median %.2f ms (target <= 20 MB per hour; <= 5 ms); %d samples appended in %.0f ms\n",
                (after - before) / 1024.0 / 8, percentile(replot, 0.5), samples, fillMs);
    delete page;
    sim.stop();
    return 0;
}
