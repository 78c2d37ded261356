// The live poll against the simulator: every display follows the unit's frames, late frames are
// held, a silent unit shows no data, and a lost link raises the dialog once.
#include "e2e_helpers.h"

#include "controls/TA3nalogGauge.h"
#include "controls/TALProgressBar.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "monitor/DataLogFile.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LiveMonitor.h"
#include "monitor/LogTraceDisplay.h"
#include "monitor/TRT.h"
#include "monitor/TThreadedTimer.h"
#include "ui/TCommsLostFrm.h"
#include "ui/WindowSettings.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kSample("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10);

} // namespace

class TestLive : public QObject {
    Q_OBJECT

  private slots:
    void everyDisplayFollowsTheFrame() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 4, "Label50") == QLatin1String("3000"); }));
        for (int n = 1; n <= 4; ++n) {
            QCOMPARE(rtText(w, n, "Label50"), QStringLiteral("3000"));
            QCOMPARE(rtText(w, n, "Label53"), QStringLiteral("85"));
            QCOMPARE(rtText(w, n, "Label54"), QStringLiteral("20"));
            QCOMPARE(rtText(w, n, "Label55"), QStringLiteral("13"));
            QCOMPARE(rtText(w, n, "Label10"), QStringLiteral("6"));
            QCOMPARE(rtText(w, n, "Label56"), QStringLiteral("0.45"));
        }
        const LiveValues& live = w.state().live;
        // The unit's own map sensor scale decodes the vacuum byte.
        QCOMPARE(rtText(w, 1, "Label51"),
                 QString::number(std::nearbyint(128.0 / 255 * w.state().cal.VacuumRange / 10 * 100) / 100,
                                 'g', QLocale::FloatingPointShortest));
        EngineMonitorPage* monitor = w.engineMonitor();
        QCOMPARE(monitor->gauge(QStringLiteral("RPMGauge"))->value(), 30.0);
        QCOMPARE(monitor->gauge(QStringLiteral("VoltGauge"))->value(), 13.0);
        QCOMPARE(monitor->gauge(QStringLiteral("LambdaGauge"))->value(), 4.5);
        QCOMPARE(monitor->gauge(QStringLiteral("TempGauge"))->value(), 85.0);
        QCOMPARE(monitor->gauge(QStringLiteral("AnalogTiming"))->value(), std::nearbyint(live.LiveTiming));
        QCOMPARE(rtText(w, 1, "Label49"), shortestText(live.LiveTiming));

        QCPBars* timingMarker = chartOf(w, "TimingChart")->bars(1);
        QCOMPARE(timingMarker->dataCount(), 1);
        QCOMPARE(timingMarker->data()->at(0)->key, 30.0);
        QCOMPARE(timingMarker->data()->at(0)->value, 45.0);
        QCOMPARE(chartOf(w, "VoltageChart")->bars(1)->data()->at(0)->key, 13.0);
        QCOMPARE(chartOf(w, "FuelVacChart")->bars(3)->data()->at(0)->key, live.Vacuum);

        // The poll asks for nothing but frames, and at most 25 a second.
        unit.clearRecord();
        QTest::qWait(1000);
        const QList<int> bytes = commandBytes(unit);
        QVERIFY(!bytes.isEmpty());
        QCOMPARE(bytes.count(0xFC), bytes.size());
        QVERIFY2(bytes.size() <= 26, qPrintable(QString::number(bytes.size())));
    }

    void realtimeTrackingFollowsTheOperatingPoint() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample); // 3000 RPM, 0.50 bar: between the base tune's 0.3 and 0.7
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        const MapEditorState& editing = w.mapPages().editing();
        QVERIFY(waitUntil([&] { return w.state().live.Vacuum > 0; }));
        QCOMPARE(editing.TimingCursorX, 0.0); // not tracking yet

        w.findChild<QCheckBox*>(QStringLiteral("RT_Track"))->click();
        QVERIFY(waitUntil([&] { return editing.TimingCursorX == 30.0; }));
        QCOMPARE(editing.FuelRpmCursorX, 30.0);
        QCOMPARE(editing.VacuumCursorX, w.state().live.Vacuum);
        QCOMPARE(editing.FuelRpmCurveSelection, std::optional<MapId>(MapId::FuelRpmCruise));

        // Heavy vacuum, then light: the curve follows the load.
        QByteArray high = kSample;
        high[1] = char(0xF1);
        unit.setFixedFrame(high);
        QVERIFY(waitUntil([&] { return editing.FuelRpmCurveSelection == MapId::FuelRpmHigh; }));
        QByteArray low = kSample;
        low[1] = char(0x30);
        unit.setFixedFrame(low);
        QVERIFY(waitUntil([&] { return editing.FuelRpmCurveSelection == MapId::FuelRpmLow; }));
    }

    void analogSignalsOffFreezesTheReadouts() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        auto* analog = w.findChild<QCheckBox*>(QStringLiteral("AnalogEn"));
        analog->click();
        QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("RT_Track"))->isEnabled());
        QTest::qWait(60);
        unit.clearRecord();
        unit.setFixedFrame(QByteArray("\x29\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10));
        QTest::qWait(200);
        QCOMPARE(pollsRecorded(unit), 0);
        QCOMPARE(rtText(w, 1, "Label50"), QStringLiteral("3000"));
    }

    void silentUnitWithChangesRaisesTheDialogOnce() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        QVERIFY(w.editor().setSetupValue(40, 30)); // a change the unit has not stored
        QVERIFY(w.state().link.SetupChanged);
        unit.setSilent(true);
        QVERIFY(waitUntil([&] { return w.commsLostForm()->isVisible(); }, 3000));
        QVERIFY(!w.state().link.EmuConnected);
        QCOMPARE(w.liveMonitor().watch().missedFrames(), 3);
        unit.clearRecord();
        QTest::qWait(200);
        QCOMPARE(pollsRecorded(unit), 0);                          // the poll has stopped asking
        QCOMPARE(rtText(w, 1, "Label50"), QStringLiteral("3000")); // the last frame stays shown
        QVERIFY(button(w, "spConnect")->isEnabled());
        QVERIFY(button(w, "spRead")->isEnabled());
        w.commsLostForm()->hide();
    }

    void lateFramesAreHeld() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        w.link().stopPoll();
        w.state().link.MapsChanged = true;
        LiveMonitor& m = w.liveMonitor();
        LiveDisplays& displays = w.liveDisplays();
        // The real poll may have missed a frame of its own before it stopped.
        const int missedBefore = m.watch().missedFrames();
        const int pollsBefore = m.watch().polls();
        m.takeFrame(kSample);
        m.takeFrame(QByteArray());
        displays.flush();
        QCOMPARE(rtText(w, 2, "Label50"), QStringLiteral("3000"));
        m.takeFrame(QByteArray());
        m.takeFrame(kSample);
        m.takeFrame(QByteArray());
        displays.flush();
        QCOMPARE(rtText(w, 2, "Label50"), QStringLiteral("3000"));
        QVERIFY(!w.commsLostForm()->isVisible());
        QVERIFY(w.state().link.EmuConnected);
        QVERIFY(w.rtFrame(1)->toolTip().contains(
            QStringLiteral("%1 of %2").arg(missedBefore + 3).arg(pollsBefore + 5)));
        w.state().link.MapsChanged = false;
    }

    void loggerRecordsTheEngine() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        DataLoggerPage* logger = w.dataLogger();
        QCOMPARE(logger->selectedInterval(), 100); // Connect chose it
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(waitUntil([&] { return logger->series(0)->dataCount() >= 5; }, 5000));
        QCOMPARE(logger->series(0)->value(0), 3000.0);
        QCOMPARE(logger->series(4)->value(0), 13.0);
        for (int i = 1; i < 5; ++i) { // each sample at its frame's time, about 100 ms apart
            const double step = logger->series(0)->key(i) - logger->series(0)->key(i - 1);
            QVERIFY2(step > 0.05 && step < 0.15, qPrintable(QString::number(step)));
        }
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
        QVERIFY(!logger->dataLogTimer().Enabled());
    }

    // The time axis is the wall clock: a hundred samples at "100 ms" take ten seconds of real
    // time, and the last one's time is within 1 % of the time since "On".
    void loggerTimeIsTheWallClock() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        DataLoggerPage* logger = w.dataLogger();
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        QElapsedTimer wall;
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        wall.start();
        QVERIFY(waitUntil([&] { return logger->series(0)->dataCount() >= 100; }, 20000));
        const double seconds = wall.elapsed() / 1000.0;
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
        const double last = logger->series(0)->key(99);
        QVERIFY2(std::abs(last - seconds) <= 0.01 * seconds,
                 qPrintable(QStringLiteral("last sample at %1 s, %2 s since On").arg(last).arg(seconds)));
        QVERIFY2(seconds > 9.8 && seconds < 10.4, qPrintable(QString::number(seconds)));
    }

    // A recording goes on whatever tab is shown; "On" during it asks, and "No" keeps it.
    void recordingGoesOnOnEveryTab() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        auto* tabs = w.findChild<QTabWidget*>();
        tabs->setCurrentWidget(w.dataLogger());
        DataLoggerPage* logger = w.dataLogger();
        QTemporaryDir logs;
        bench.prompts.folderNames << logs.path();
        logger->findChild<QAbstractButton*>(QStringLiteral("RecordToFile"))->click();
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        const QString path = logger->recordingPath();
        QVERIFY(!path.isEmpty());
        tabs->setCurrentIndex(0); // "Setup"
        QTest::qWait(1500);
        const DataLogFile::ReadResult r = DataLogFile::readFile(path);
        QVERIFY2(r.ok, qPrintable(r.error));
        QVERIFY2(r.log.size() >= 12, qPrintable(QString::number(r.log.size())));
        QCOMPARE(r.log.value(0, 0), 3000.f);
        bench.prompts.expect(QStringLiteral("A recording is running"));
        tabs->setCurrentWidget(logger);
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        QCOMPARE(bench.prompts.confirmTexts.size(), 1);
        QCOMPARE(logger->recordingPath(), path);
        QVERIFY(logger->log().size() >= r.log.size());
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
        QVERIFY(logger->recordingPath().isEmpty());
        QCOMPARE(w.settings().logFolder(), logs.path());
        // Off, then On: a new recording without a question.
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        QCOMPARE(bench.prompts.confirmTexts.size(), 1);
        QVERIFY(!logger->recordingPath().isEmpty() && logger->recordingPath() != path);
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
    }
};

QTEST_MAIN(TestLive)
#include "tst_live.moc"
