#include "calibration/CalibrationData.h"
#include "monitor/DataLogClock.h"
#include "monitor/LinkWatch.h"
#include "monitor/LiveDecode.h"
#include "monitor/LiveMonitor.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>

namespace {

QByteArray frame(std::initializer_list<int> bytes) {
    QByteArray f;
    for (int b : bytes)
        f.append(static_cast<char>(b));
    return f;
}

const QByteArray kSample = frame({31, 129, 51, 46, 86, 41, 128, 131, 61, 1});

CalibrationData calibration(int vacuumRange = 30, bool twoStroke = false, bool mapSensor = true) {
    CalibrationData cal;
    cal.VacuumRange = vacuumRange;
    cal.RpmRange = 7000;
    cal.TimingPointCount = 70;
    cal.SetupBlock[49] = twoStroke ? 3 : 2;
    cal.SetupBlock[9] = mapSensor ? 3 : 2;
    cal.SetupBlock[40] = 51; // low threshold 0.50 bar
    cal.SetupBlock[41] = 91; // high threshold 0.90 bar
    for (int i = 1; i <= kMaxMapPoints; ++i)
        cal.map(MapId::Timing)[static_cast<size_t>(i)] = i; // timing point p gives p degrees
    for (int i = 1; i <= 32; ++i)
        cal.map(MapId::VacuumTiming)[static_cast<size_t>(i)] = -i / 2.0;
    for (int i = 1; i <= 24; ++i)
        cal.map(MapId::AirTempTiming)[static_cast<size_t>(i)] = 100 * i;
    return cal;
}

} // namespace

class TestLiveDecode : public QObject {
    Q_OBJECT

  private slots:
    void decodesTheSampleFrame() {
        LiveFrameBuffer buffer;
        buffer.take(kSample);
        LiveValues v;
        LiveDecode::update(v, buffer, calibration());
        QCOMPARE(v.RpmHundreds, 30.0);
        QCOMPARE(v.Vacuum, 1.51);
        QCOMPARE(v.ThrottlePercent, 50.0);
        QCOMPARE(v.LambdaHundredths, 45.0);
        QCOMPARE(v.WaterTemp, 85.0);
        QCOMPARE(v.AirTemp, 20.0);
        QCOMPARE(v.PotPercent, 49.8);
        QCOMPARE(v.BatteryTenths, 130.0);
        QCOMPARE(v.InjectorTenthsMs, 60.0);
        QCOMPARE(v.InjectorDuty, 15);
    }

    void injectorDutyDoublesOnTwoStroke() {
        LiveFrameBuffer buffer;
        buffer.take(kSample);
        LiveValues v;
        LiveDecode::update(v, buffer, calibration(30, true));
        QCOMPARE(v.InjectorDuty, 30);
    }

    void dutyKeepsItsValueWhileTheEngineStands() {
        LiveValues v;
        v.RpmHundreds = 0;
        v.InjectorTenthsMs = 60;
        QCOMPARE(LiveDecode::injectorDuty(v, false, 17), 17);
    }

    // Point numbers: p from RPM, v from vacuum, a from air temperature; readings beyond an axis
    // take its last point, an engine at rest or no vacuum the first.
    void liveTimingTakesTheNearestRealPoint_data() {
        QTest::addColumn<double>("rpm");
        QTest::addColumn<double>("vacuum");
        QTest::addColumn<double>("air");
        QTest::addColumn<bool>("mapSensor");
        QTest::addColumn<double>("timing");
        // p = 30, v = round(1.51 * 32 / 3) = 16, a = round(40 / (120/23) + 1) = 9
        QTest::newRow("sample") << 30.0 << 1.51 << 20.0 << true << 30.0 - 8.0 + 900.0;
        QTest::newRow("no map sensor takes 1 off") << 30.0 << 1.51 << 20.0 << false << 30.0 - 8.0 + 900.0 - 1;
        QTest::newRow("engine at rest") << 0.0 << 0.0 << -20.0 << true << 1.0 - 0.5 + 100.0;
        QTest::newRow("no frame (rpm -1, air -21)") << -1.0 << 0.0 << -21.0 << true << 1.0 - 0.5 + 100.0;
        QTest::newRow("beyond every axis") << 254.0 << 9.0 << 234.0 << true << 70.0 - 16.0 + 2400.0;
    }
    void liveTimingTakesTheNearestRealPoint() {
        QFETCH(double, rpm);
        QFETCH(double, vacuum);
        QFETCH(double, air);
        QFETCH(bool, mapSensor);
        QFETCH(double, timing);
        const CalibrationData cal = calibration(30, false, mapSensor);
        LiveValues v;
        v.RpmHundreds = rpm;
        v.Vacuum = vacuum;
        v.AirTemp = air;
        QCOMPARE(LiveDecode::liveTiming(v, cal, liveSettings(cal)), timing);
    }

    void zeroVacuumRangeNeverGivesNaN() {
        CalibrationData cal = calibration(0);
        LiveFrameBuffer buffer;
        buffer.take(kSample);
        LiveValues v;
        LiveDecode::update(v, buffer, cal);
        QCOMPARE(v.Vacuum, 0.0);
        QVERIFY(std::isfinite(v.LiveTiming));
        QCOMPARE(LiveDecode::clampedPoint(std::nan(""), 1, 32), 1);
        QCOMPARE(LiveDecode::clampedPoint(INFINITY, 1, 32), 32);
        QCOMPARE(LiveDecode::clampedPoint(-INFINITY, 1, 32), 1);
    }

    void lambdaHalves_data() {
        QTest::addColumn<double>("lambda");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::newRow("0.50") << 50.0 << 0 << 0;
        QTest::newRow("0.62") << 62.0 << 0 << 12;
        QTest::newRow("0.45") << 45.0 << 5 << 0;
        QTest::newRow("2.54 beyond the bar") << 254.0 << 0 << 204;
    }
    void lambdaHalves() {
        QFETCH(double, lambda);
        QFETCH(int, left);
        QFETCH(int, right);
        const LambdaHalves h = LiveDecode::lambdaHalves(lambda);
        QCOMPARE(h.left, left);
        QCOMPARE(h.right, right);
    }

    void trackedCurve_data() {
        QTest::addColumn<double>("vacuum");
        QTest::addColumn<int>("curve");
        QTest::newRow("below low") << 0.49 << int(FuelCurve::Low);
        QTest::newRow("equal to low keeps") << 0.50 << int(FuelCurve::None);
        QTest::newRow("between") << 0.70 << int(FuelCurve::Cruise);
        QTest::newRow("equal to high keeps") << 0.90 << int(FuelCurve::None);
        QTest::newRow("above high") << 0.91 << int(FuelCurve::High);
    }
    void trackedCurve() {
        QFETCH(double, vacuum);
        QFETCH(int, curve);
        QCOMPARE(int(LiveDecode::trackedCurve(vacuum, 0.5, 0.9)), curve);
    }

    // A short reply changes only what it brought; the byte after it reads as the terminator.
    void shortReplyKeepsTheRestOfThePreviousFrame() {
        LiveFrameBuffer buffer;
        buffer.take(kSample);
        buffer.take(frame({41, 129}));
        QCOMPARE(int(buffer.at(0)), 41);
        QCOMPARE(int(buffer.at(1)), 129);
        QCOMPARE(int(buffer.at(2)), 0);
        QCOMPARE(int(buffer.at(3)), 46);
        buffer.take(QByteArray());
        QVERIFY(buffer.empty());
        QCOMPARE(int(buffer.at(4)), 86);
    }

    // Whole frames need bytes 0..8, none of them zero (every wire byte is value + 1).
    void wholeFrames_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("whole");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("eight bytes") << kSample.left(8) << false;
        QTest::newRow("nine bytes") << kSample.left(9) << true;
        QTest::newRow("ten bytes") << kSample << true;
        QByteArray holed = kSample;
        holed[5] = 0;
        QTest::newRow("a zero inside") << holed << false;
        QByteArray lastZero = kSample;
        lastZero[9] = 0;
        QTest::newRow("byte 9 zero") << lastZero << true;
    }
    void wholeFrames() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, whole);
        QCOMPARE(LiveFrameBuffer::isWhole(reply), whole);
    }

    void linkWatchRule() {
        using V = LinkWatch::Verdict;
        LinkWatch w;
        QCOMPARE(w.take(false, true), V::Show);
        QCOMPARE(w.take(true, true), V::Hold);
        QCOMPARE(w.take(true, true), V::Hold);
        QCOMPARE(w.take(false, true), V::Show); // two late frames are not silence
        QCOMPARE(w.take(true, true), V::Hold);
        QCOMPARE(w.take(true, true), V::Hold);
        QCOMPARE(w.take(true, true), V::Lost);
        QCOMPARE(w.missedFrames(), 5);
        QCOMPARE(w.polls(), 7);

        // Nothing pending: silence is reported once, held while it lasts, and ends with a frame.
        LinkWatch quiet;
        QCOMPARE(quiet.take(true, false), V::Hold);
        QCOMPARE(quiet.take(true, false), V::Hold);
        QVERIFY(!quiet.silent());
        QCOMPARE(quiet.take(true, false), V::Stopped);
        QVERIFY(quiet.silent());
        QCOMPARE(quiet.take(true, false), V::Hold);
        QCOMPARE(quiet.take(true, false), V::Hold);
        QCOMPARE(quiet.take(false, false), V::Resumed);
        QVERIFY(!quiet.silent());
        QCOMPARE(quiet.take(false, false), V::Show);
        // A second silence is a new one, after three misses again.
        QCOMPARE(quiet.take(true, false), V::Hold);
        QCOMPARE(quiet.take(true, false), V::Hold);
        QCOMPARE(quiet.take(true, false), V::Stopped);

        // A change made while the unit is silent cannot reach it: the link is lost.
        QCOMPARE(quiet.take(true, true), V::Lost);
        QVERIFY(!quiet.silent());
    }

    void monitorLosesTheLinkOnceAndKeepsTheLastValues() {
        EmuState state;
        state.cal = calibration();
        state.link.EmuConnected = true;
        state.link.SetupChanged = true;
        LiveMonitor monitor(state);
        QSignalSpy lost(&monitor, &LiveMonitor::linkLost);
        QSignalSpy updated(&monitor, &LiveMonitor::liveUpdated);
        monitor.takeFrame(kSample);
        monitor.takeFrame(QByteArray());
        monitor.takeFrame(QByteArray());
        QCOMPARE(lost.count(), 0);
        QCOMPARE(state.live.RpmHundreds, 30.0);
        monitor.takeFrame(QByteArray());
        QCOMPARE(lost.count(), 1);
        QVERIFY(!state.link.EmuConnected);
        QCOMPARE(updated.count(), 1);
        QCOMPARE(state.live.RpmHundreds, 30.0);
    }

    // A silent unit: the values go stale (never decoded from empty or short replies), the
    // silence is reported once, and the first whole frame brings values and "resumed", in order.
    void monitorReportsSilenceAndResumption() {
        EmuState state;
        state.cal = calibration();
        state.link.EmuConnected = true;
        state.link.CalibrationLoaded = true;
        LiveMonitor monitor(state);
        QStringList order;
        QList<bool> staleSeen;
        connect(&monitor, &LiveMonitor::liveUpdated, this, [&](const LiveValues& v) {
            order << "values";
            staleSeen << v.stale;
        });
        connect(&monitor, &LiveMonitor::dataStopped, this, [&] { order << "stopped"; });
        connect(&monitor, &LiveMonitor::framesResumed, this, [&] { order << "resumed"; });
        QSignalSpy lost(&monitor, &LiveMonitor::linkLost);
        monitor.takeFrame(kSample);
        monitor.takeFrame(frame({41, 129})); // short
        monitor.takeFrame(QByteArray());
        QCOMPARE(order, QStringList{"values"});
        QVERIFY(!monitor.noData());
        monitor.takeFrame(frame({41, 129, 51, 46})); // short: the third miss in a row
        QCOMPARE(order, (QStringList{"values", "values", "stopped"}));
        QVERIFY(monitor.noData());
        QVERIFY(state.live.stale);
        // The last frame's values stay as they were: nothing was decoded from the misses.
        QCOMPARE(state.live.RpmHundreds, 30.0);
        QCOMPARE(state.live.ThrottlePercent, 50.0);
        for (int i = 0; i < 5; ++i)
            monitor.takeFrame(QByteArray());
        QCOMPARE(order.size(), 3);
        QCOMPARE(lost.count(), 0);
        QVERIFY(state.link.EmuConnected);

        QByteArray next = kSample;
        next[0] = 41;
        monitor.takeFrame(next);
        QCOMPARE(order, (QStringList{"values", "values", "stopped", "values", "resumed"}));
        QCOMPARE(staleSeen, (QList<bool>{false, true, false}));
        QVERIFY(!state.live.stale);
        QCOMPARE(state.live.RpmHundreds, 40.0);
        QCOMPARE(monitor.watch().missedFrames(), 8);
        monitor.takeFrame(kSample);
        QCOMPARE(order.count("resumed"), 1);
    }

    // Without maps there is no timing to derive; closing them takes the timing away at once.
    void timingNeedsLoadedMaps() {
        EmuState state;
        state.cal = calibration();
        state.link.EmuConnected = true;
        LiveMonitor monitor(state);
        QSignalSpy updated(&monitor, &LiveMonitor::liveUpdated);
        monitor.takeFrame(kSample);
        QVERIFY(std::isnan(state.live.LiveTiming));
        state.link.CalibrationLoaded = true;
        monitor.calibrationChanged();
        QCOMPARE(updated.count(), 2);
        const double loaded = state.live.LiveTiming;
        QVERIFY(std::isfinite(loaded));
        monitor.calibrationChanged(); // nothing changed: nothing to show
        QCOMPARE(updated.count(), 2);
        monitor.takeFrame(kSample);
        QCOMPARE(state.live.LiveTiming, loaded);
        state.link.CalibrationLoaded = false;
        monitor.calibrationChanged();
        QCOMPARE(updated.count(), 4);
        QVERIFY(std::isnan(state.live.LiveTiming));
    }

    void trackingSignalsInOrder() {
        EmuState state;
        state.cal = calibration();
        LiveMonitor monitor(state);
        QStringList order;
        connect(&monitor, &LiveMonitor::fuelCurveTracked, this, [&](FuelCurve) { order << "curve"; });
        connect(&monitor, &LiveMonitor::liveUpdated, this, [&] { order << "displays"; });
        connect(&monitor, &LiveMonitor::operatingPointTracked, this, [&] { order << "cursor"; });
        monitor.takeFrame(kSample);
        QCOMPARE(order, QStringList{"displays"});
        order.clear();
        monitor.setTracking(true);
        monitor.takeFrame(kSample); // 1.51 bar: above the high threshold
        QCOMPARE(order, (QStringList{"curve", "displays", "cursor"}));
    }

    // Each frame carries the time its reply was read and its poll's number; the logger's clock
    // takes a frame once, at that time, and a silence once, as a gap.
    void framesAreStampedAndTakenOnce() {
        EmuState state;
        state.link.EmuConnected = true;
        LiveMonitor monitor(state);
        long long now = 5000;
        monitor.setClock([&now] { return now; });
        monitor.takeFrame(kSample);
        QCOMPARE(state.live.readMs, 5000LL);
        const unsigned long long first = state.live.frame;
        now = 5041;
        monitor.takeFrame(QByteArray()); // missed: no new stamp
        QCOMPARE(state.live.readMs, 5000LL);
        monitor.takeFrame(kSample);
        QCOMPARE(state.live.readMs, 5041LL);
        QCOMPARE(state.live.frame, first + 2); // the missed poll is counted

        DataLogClock clock;
        clock.start(100, 5020);
        QCOMPARE(DataLogClock::timerIntervalFor(100), 100);
        DataLogClock::Tick t = clock.take(state.live, 5100);
        QCOMPARE(t.take, DataLogClock::Take::Sample);
        QCOMPARE(t.timeMs, 21LL);
        QCOMPARE(clock.take(state.live, 5200).take, DataLogClock::Take::None); // no newer frame
        state.live.stale = true;
        t = clock.take(state.live, 5300);
        QCOMPARE(t.take, DataLogClock::Take::Gap);
        QCOMPARE(t.timeMs, 280LL);
        QCOMPARE(clock.take(state.live, 5400).take, DataLogClock::Take::None);
        QCOMPARE(clock.count(), 2LL);
        QCOMPARE(DataLogClock::windowStartAfter(30.0, 0), 0.0);
        QCOMPARE(DataLogClock::windowStartAfter(30.1, 0), 30.0);
        QCOMPARE(DataLogClock::windowStartAfter(95, 30), 90.0);
    }
};

QTEST_GUILESS_MAIN(TestLiveDecode)
#include "tst_livedecode.moc"
