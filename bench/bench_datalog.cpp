// Data logs at their largest: an 8-hour run at 25 samples a second on every channel. Prints the
// memory the log holds, the time to open it from its CSV file, the replot of a 30 s window of it
// on the "Data Logger" page, and what one sample costs while recording.
#include "BenchSupport.h"

#include "calibration/EmuState.h"
#include "monitor/DataLog.h"
#include "monitor/DataLogFile.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/LogReplay.h"
#include "monitor/TThreadedTimer.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include <qcustomplot.h>

#include <cmath>
#include <cstdio>

using namespace bench;

namespace {

// A plausible engine: every channel moves, a gap now and then.
LogSample synthetic(std::int64_t i) {
    LogSample s;
    s.timeMs = static_cast<std::int32_t>(i * 40);
    s.sample = static_cast<std::uint32_t>(i + 1);
    const double t = static_cast<double>(i) / 25.0;
    s.values = {static_cast<float>(std::round(3000 + 2500 * std::sin(t / 7))),
                static_cast<float>(std::round(100 * (0.9 + 0.6 * std::sin(t / 5))) / 100),
                static_cast<float>(std::round(50 + 45 * std::sin(t / 3))),
                static_cast<float>(std::round(45 + 40 * std::sin(t)) / 100),
                static_cast<float>(80 + (i / 2500) % 15),
                static_cast<float>(20 + (i / 9000) % 10),
                49.8f,
                static_cast<float>(130 + (i % 7)) / 10,
                static_cast<float>(60 + (i % 23)) / 10,
                static_cast<float>(15 + (i % 9)),
                static_cast<float>(12 + (i % 11)) + 0.5f,
                static_cast<float>(1 + (i / 5000) % 3)};
    if (i % 50000 == 49999)
        s.values.fill(NAN);
    return s;
}

// The picture of a replayed run: two minutes with three pulls through the gears, three markers,
// the cursor on the second pull, the displays following the replay.
int picture(const QString& path) {
    QTemporaryDir dir;
    DataLog run;
    for (std::int64_t i = 0; i < 120 * 25; ++i) {
        const double t = static_cast<double>(i) / 25.0;
        const double pull = std::fmod(t, 40.0);
        LogSample s = synthetic(i);
        const double rpm =
            pull < 25 ? 1500 + 4800 * std::pow(std::fmod(pull, 8.3) / 8.3, 0.8) : 1200 + 300 * std::sin(t);
        const double throttle = pull < 25 ? 85 + 10 * std::sin(t) : 8;
        s.values[0] = static_cast<float>(std::round(rpm / 10) * 10);
        s.values[1] =
            static_cast<float>(std::round(100 * (pull < 25 ? 0.25 + 0.1 * std::sin(t) : 0.75)) / 100);
        s.values[2] = static_cast<float>(std::round(throttle));
        s.values[3] = static_cast<float>(
            std::round(100 * (pull < 25 ? 0.82 + 0.05 * std::sin(t / 2) : 0.35 + 0.25 * std::sin(t / 3))) /
            100);
        s.values[4] = static_cast<float>(std::round(84 + t / 20));
        s.values[5] = 24;
        s.values[7] = static_cast<float>(std::round(135 + 3 * std::sin(t / 2)) / 10);
        s.values[8] = static_cast<float>(std::round(pull < 25 ? 80 + 30 * std::sin(pull / 8) : 25) / 10);
        s.values[9] =
            static_cast<float>(std::round(std::min(95.0, s.values[8] * 10 / 2 / (60 / rpm * 1000) * 100)));
        s.values[10] = static_cast<float>(std::round(pull < 25 ? 18 + rpm / 600 : 12));
        if (i >= 1450 && i < 1470)
            s.values.fill(NAN); // half a second without frames
        run.append(s);
    }
    run.addMarker(25 * 12, QStringLiteral("2nd gear"));
    run.addMarker(25 * 50, QStringLiteral("3rd gear, 4000"));
    run.addMarker(25 * 92, QString());
    const QString log = dir.filePath(QStringLiteral("2026-12-09 14-02-11 EMU2 AB-010203-04.csv"));
    if (!DataLogFile::save(run, log, DataLogFile::Format::Csv).isEmpty())
        return 1;
    TForm1 w;
    w.resize(1366, 768);
    w.show();
    runFor(500);
    DataLoggerPage* page = w.dataLogger();
    w.findChild<QTabWidget*>()->setCurrentWidget(page);
    if (!page->openLog(log))
        return 1;
    page->replay().seek(54300);
    page->chart()->xAxis->setRange(30, 100);
    runFor(400);
    if (!w.grab().save(path))
        return 1;
    std::printf("picture of a replayed run: %s\n", qPrintable(path));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--picture")); at > 0 && at + 1 < args.size())
        return picture(args.at(at + 1));
    QTemporaryDir dir;
    constexpr std::int64_t kRows = 8LL * 3600 * 25;

    // 1. Memory: the 8-hour log in its chunks.
    const long before = rssKb();
    DataLog log;
    QElapsedTimer fill;
    fill.start();
    for (std::int64_t i = 0; i < kRows; ++i)
        log.append(synthetic(i));
    const double fillMs = fill.elapsed();
    const long afterFill = rssKb();
    if (log.markers().empty())
        for (int m = 0; m < 40; ++m)
            log.addMarker(m * (kRows / 40), QStringLiteral("marker %1").arg(m + 1));
    std::printf("8 h log at 25 samples/s (%lld rows, 12 channels): %.1f MB held (process grew %.1f MB), "
                "filled in %.0f ms (target <= 60 MB)\n",
                static_cast<long long>(log.size()), log.bytes() / 1048576.0, (afterFill - before) / 1024.0,
                fillMs);

    // 2. Open: the CSV file of that log, read and checked line by line.
    const QString path = dir.filePath(QStringLiteral("eight-hours.csv"));
    QElapsedTimer save;
    save.start();
    if (!DataLogFile::save(log, path, DataLogFile::Format::Csv).isEmpty())
        return 1;
    const double saveMs = save.elapsed();
    std::vector<double> opens;
    for (int k = 0; k < 3; ++k) {
        QElapsedTimer open;
        open.start();
        const DataLogFile::ReadResult r = DataLogFile::readFile(path);
        opens.push_back(static_cast<double>(open.elapsed()));
        if (!r.ok || r.log.size() != log.size())
            return 1;
    }
    std::printf(
        "open of the 8 h CSV log (%.0f MB file, written in %.0f ms): median %.0f ms (target <= 2000 ms)\n",
        QFileInfo(path).size() / 1048576.0, saveMs, percentile(opens, 0.5));
    log.clear();

    // 3. Replot: the page with the opened log, a 30 s window in the middle of the run, all eleven lines.
    EmuState state;
    auto* page = new DataLoggerPage(state);
    page->resize(1280, 760);
    const long beforeOpen = rssKb();
    QElapsedTimer pageOpen;
    pageOpen.start();
    if (!page->openLog(path))
        return 1;
    const double pageOpenMs = pageOpen.elapsed();
    const long afterOpen = rssKb();
    page->show();
    runFor(300);
    const auto replotMedian = [&](double from, double to) {
        page->chart()->xAxis->setRange(from, to);
        std::vector<double> replot;
        for (int i = 0; i < 40; ++i) {
            page->setCursorTime(from + (to - from) * i / 40);
            QElapsedTimer t;
            t.start();
            page->chart()->replot(QCustomPlot::rpImmediateRefresh);
            replot.push_back(t.nsecsElapsed() / 1e6);
        }
        return percentile(replot, 0.5);
    };
    const double window = replotMedian(4 * 3600, 4 * 3600 + 30);
    const double hour = replotMedian(3600, 7200);
    const double whole = replotMedian(0, 8 * 3600);
    std::printf(
        "page opens the 8 h log in %.0f ms (process grew %.1f MB); replot median: 30 s window %.2f ms "
        "(target <= 5 ms), 1 h %.2f ms, whole run %.2f ms\n",
        pageOpenMs, (afterOpen - beforeOpen) / 1024.0, window, hour, whole);
    delete page;

    // 4. Append: one sample while recording to a file, on the page (chart hidden) and on its own.
    EmuState live;
    live.link.EmuConnected = true;
    live.live.received = true;
    live.live.RpmHundreds = 30;
    long long now = 1000;
    auto* recorder = new DataLoggerPage(live);
    recorder->setClock([&now] { return now; });
    recorder->setLogFolder(dir.path());
    recorder->findChild<QCheckBox*>(QStringLiteral("RecordToFile"))->click();
    recorder->selectInterval(50);
    recorder->SpeedButton1Click();
    recorder->dataLogTimer().setEnabled(false);
    constexpr int kAppends = 100000;
    QElapsedTimer appendClock;
    appendClock.start();
    for (int i = 0; i < kAppends; ++i) {
        live.live.readMs = 1000 + i * 40LL;
        live.live.RpmHundreds = 30 + (i % 40);
        ++live.live.frame;
        now = live.live.readMs + 1;
        recorder->ThreadedTimer1Timer();
    }
    const double perSampleUs = appendClock.nsecsElapsed() / 1e3 / kAppends;
    const bool recorded = !recorder->recordingPath().isEmpty();
    delete recorder;
    DataLogWriter writer;
    writer.open(dir.filePath(QStringLiteral("writer.csv")), DataLogFile::Format::Csv);
    DataLog bare;
    QElapsedTimer bareClock;
    bareClock.start();
    for (int i = 0; i < kAppends; ++i) {
        const LogSample s = synthetic(i);
        bare.append(s);
        writer.append(s);
    }
    const double bareUs = bareClock.nsecsElapsed() / 1e3 / kAppends;
    std::printf("append per sample while recording: %.1f us on the page (log, file, legend; %s), %.1f us log "
                "and file alone\n",
                perSampleUs, recorded ? "recorded" : "NOT recorded", bareUs);
    return 0;
}
