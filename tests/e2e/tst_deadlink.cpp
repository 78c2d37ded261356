// A unit that stops answering without changes pending: every display says that no data arrives,
// the logger leaves a gap, and all of it comes back with the frames.
#include "e2e_helpers.h"

#include "controls/TA3nalogGauge.h"
#include "controls/TALProgressBar.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveMonitor.h"
#include "monitor/LogTraceDisplay.h"
#include "monitor/TRT.h"
#include "ui/TCommsLostFrm.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

const QByteArray kSample("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10);
const char* const kReadouts[] = {"Label49", "Label50", "Label51", "Label53", "Label54",
                                 "Label55", "Label10", "Label13", "Label19", "Label56"};
const char* const kDials[] = {"RPMGauge",  "VacuumGauge", "AnalogTiming", "TempGauge",
                              "VoltGauge", "LambdaGauge", "InjectorGauge"};

LogTraceDisplay* rpmLog(TForm1& w) {
    return w.dataLogger()->series(0);
}

} // namespace

class TestDeadLink : public QObject {
    Q_OBJECT

  private slots:
    void silentUnitShowsNoDataAndResumes() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(!w.state().link.hasPendingChanges());
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        const QString statusBefore = w.statusText(0);
        QVERIFY(statusBefore != LiveMonitor::kNoDataText);
        QSignalSpy resumed(&w.liveMonitor(), &LiveMonitor::framesResumed);
        DataLoggerPage* logger = w.dataLogger();
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton1"))->click();
        QVERIFY(waitUntil([&] { return rpmLog(w)->dataCount() >= 3; }, 5000));

        // The unit goes quiet: every read-out of every frame says so, the dials park, the
        // markers go, the status panel tells why.
        unit.setSilent(true);
        QVERIFY(waitUntil([&] { return w.statusText(0) == LiveMonitor::kNoDataText; }, 3000));
        QVERIFY(waitUntil([&] { return rtText(w, 4, "Label50") == QLatin1String("NA"); }, 1000));
        for (int n = 1; n <= 4; ++n) {
            for (const char* label : kReadouts)
                QCOMPARE(rtText(w, n, label), QStringLiteral("NA"));
            QCOMPARE(w.rtFrame(n)->bar(QStringLiteral("WaterBar"))->position(), 0.0);
            QCOMPARE(w.rtFrame(n)->bar(QStringLiteral("BATBar"))->position(), 80.0);
        }
        for (const char* name : kDials) {
            TA3nalogGauge* dial = w.engineMonitor()->gauge(QString::fromLatin1(name));
            QVERIFY2(dial->parked(), name);
            QCOMPARE(dial->needleValue(), 0.0);
        }
        QCOMPARE(chartOf(w, "TimingChart")->bars(1)->dataCount(), 0);
        QCOMPARE(chartOf(w, "VoltageChart")->bars(1)->dataCount(), 0);
        QVERIFY(w.state().link.EmuConnected);
        QVERIFY(!w.commsLostForm()->isVisible());

        // The poll keeps asking; the logger leaves one break and copies nothing.
        unit.clearRecord();
        QVERIFY(waitUntil([&] { return std::isnan(rpmLog(w)->value(rpmLog(w)->dataCount() - 1)); }, 2000));
        const int logged = rpmLog(w)->dataCount();
        QTest::qWait(400);
        QCOMPARE(rpmLog(w)->dataCount(), logged);
        QVERIFY(pollsRecorded(unit) >= 5);
        QCOMPARE(resumed.count(), 0);

        // Frames come back: values, dials, markers, status and the log all follow.
        QByteArray faster = kSample;
        faster[0] = 41; // 4000 RPM
        unit.setFixedFrame(faster);
        unit.setSilent(false);
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("4000"); }, 3000));
        QCOMPARE(resumed.count(), 1);
        QCOMPARE(w.statusText(0), statusBefore);
        QVERIFY(waitUntil([&] { return rtText(w, 4, "Label53") == QLatin1String("85"); }, 1000));
        TA3nalogGauge* rpmDial = w.engineMonitor()->gauge(QStringLiteral("RPMGauge"));
        QVERIFY(!rpmDial->parked());
        QCOMPARE(rpmDial->value(), 40.0);
        QCOMPARE(chartOf(w, "TimingChart")->bars(1)->data()->at(0)->key, 40.0);
        QVERIFY(waitUntil([&] { return rpmLog(w)->dataCount() > logged; }, 3000));
        QCOMPARE(rpmLog(w)->value(rpmLog(w)->dataCount() - 1), 4000.0);
        logger->findChild<QAbstractButton*>(QStringLiteral("SpeedButton2"))->click();
    }

    // Replies cut short say nothing more than no reply: after three, no data.
    void shortRepliesAreNoData() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        unit.setShortReplies(4);
        QVERIFY(waitUntil([&] { return w.statusText(0) == LiveMonitor::kNoDataText; }, 3000));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label53") == QLatin1String("NA"); }, 1000));
        unit.setShortReplies(-1);
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label53") == QLatin1String("85"); }, 3000));
        QVERIFY(w.statusText(0) != LiveMonitor::kNoDataText);
    }

    // With the maps closed there is no timing to show, while the other readings go on.
    void closeAllLeavesNoTiming() {
        Bench bench;
        EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
        unit.setFixedFrame(kSample);
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label50") == QLatin1String("3000"); }));
        QVERIFY(rtText(w, 1, "Label49") != QLatin1String("NA"));
        QTest::mouseClick(button(w, "spClose"), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return rtText(w, 1, "Label49") == QLatin1String("NA"); }, 1000));
        unit.clearRecord();
        QTest::qWait(300);
        QVERIFY(pollsRecorded(unit) > 0);
        for (int n = 1; n <= 4; ++n) {
            QCOMPARE(rtText(w, n, "Label49"), QStringLiteral("NA"));
            QCOMPARE(rtText(w, n, "Label50"), QStringLiteral("3000"));
        }
        QVERIFY(w.engineMonitor()->gauge(QStringLiteral("AnalogTiming"))->parked());
        QVERIFY(!w.engineMonitor()->gauge(QStringLiteral("RPMGauge"))->parked());
    }
};

QTEST_MAIN(TestDeadLink)
#include "tst_deadlink.moc"
