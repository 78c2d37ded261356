// The mixture analysis on made-up logs: which point a reading lands on (after the exhaust's delay),
// which readings are left out and why, and what each point's readings make of it.

#include "mixture/FuelPoints.h"
#include "mixture/MixtureAnalysis.h"

#include "link/ImageLayout.h"

#include <QTest>

#include <cmath>
#include <functional>

namespace {

constexpr int kRowMs = 40;
constexpr int kCruisePoint3000 = 12; // 3000 / 8000 x 32
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The base tune's scales and thresholds: 8000 RPM, a 1.0 bar sensor, Low below 0.30 bar, High above
// 0.70, target 0.45 V. Every fuel point at 0 %.
CalibrationData calibration() {
    CalibrationData cal;
    cal.RpmRange = 8000;
    cal.VacuumRange = 10;
    cal.TimingPointCount = 80;
    cal.SetupBlock[40] = wireFromPlain(30);
    cal.SetupBlock[41] = wireFromPlain(70);
    cal.SetupBlock[10] = wireFromPlain(45);
    return cal;
}

struct Row {
    double rpm = 3000;
    double vacuum = 0.5;
    double throttle = 25;
    double lambda = 0.1;
    double water = 85;
    double injector = 3.0;
    bool gap = false;
};

// A log of rows 40 ms apart; the row maker is called with each row's index.
DataLog makeLog(int rows, const std::function<void(int, Row&)>& shape) {
    DataLog log;
    for (int i = 0; i < rows; ++i) {
        Row r;
        shape(i, r);
        LogSample s;
        s.timeMs = i * kRowMs;
        s.sample = static_cast<std::uint32_t>(i + 1);
        s.values.fill(std::numeric_limits<float>::quiet_NaN());
        if (!r.gap) {
            s.values[0] = static_cast<float>(r.rpm);
            s.values[1] = static_cast<float>(r.vacuum);
            s.values[2] = static_cast<float>(r.throttle);
            s.values[3] = static_cast<float>(r.lambda);
            s.values[4] = static_cast<float>(r.water);
            s.values[5] = 25;
            s.values[6] = 50;
            s.values[7] = 13.8f;
            s.values[8] = static_cast<float>(r.injector);
        }
        log.append(s);
    }
    return log;
}

// Lean for the given share of each ten rows, rich for the rest.
std::function<void(int, Row&)> leanShare(int leanOfTen) {
    return [leanOfTen](int i, Row& r) { r.lambda = i % 10 < leanOfTen ? 0.1 + 0.001 * (i % 7) : 0.85; };
}

const MixtureCurve& curve(const MixtureResult& result, MapId map) {
    for (const MixtureCurve& c : result.curves)
        if (c.map == map)
            return c;
    qFatal("no curve");
}

const MixturePoint& point(const MixtureResult& result, MapId map, int n) {
    return curve(result, map).points.at(static_cast<size_t>(n - 1));
}

std::int64_t rejected(const MixtureResult& r, MixtureReject why) {
    return r.rejects[static_cast<size_t>(why)];
}

} // namespace

class TestMixtureAnalysis : public QObject {
    Q_OBJECT

  private slots:
    void pointRules();
    void delayShrinksWithRpm();
    void stepFollowsTheReadings_data();
    void stepFollowsTheReadings();
    void pointsWithFewHitsAreLeftAlone_data();
    void pointsWithFewHitsAreLeftAlone();
    void stepStaysInTheMapsRange();
    void filtersCountTheirReason_data();
    void filtersCountTheirReason();
    void gapAndTheSecondsAfterIt();
    void readingsAreShiftedByTheDelay();
    void bandFollowsTheThresholds();
    void oneMapTakesTheSuggestions();
    void coldEngineGivesNoSuggestion();
    void stuckSensorIsNoInformation_data();
    void stuckSensorIsNoInformation();
};

void TestMixtureAnalysis::pointRules() {
    QCOMPARE(FuelPoints::rpmPoint(3000, 8000), 12);
    QCOMPARE(FuelPoints::rpmPoint(0, 8000), 1);
    QCOMPARE(FuelPoints::rpmPoint(9000, 8000), 32);
    QCOMPARE(FuelPoints::vacuumPoint(0.5, 10), 32);
    QCOMPARE(FuelPoints::vacuumPoint(1.5, 10), 64);
    QCOMPARE(FuelPoints::waterPoint(85), 17);
    QCOMPARE(FuelPoints::airPoint(-20), 1);
    QCOMPARE(FuelPoints::airPoint(100), 24);
    QCOMPARE(FuelPoints::voltagePoint(8.0), 1);
    QCOMPARE(FuelPoints::voltagePoint(16.0), 16);
    QCOMPARE(FuelPoints::bandFor(0.2, 0.3, 0.7), FuelCurve::Low);
    QCOMPARE(FuelPoints::bandFor(0.5, 0.3, 0.7), FuelCurve::Cruise);
    QCOMPARE(FuelPoints::bandFor(0.8, 0.3, 0.7), FuelCurve::High);
    QCOMPARE(FuelPoints::bandFor(0.3, 0.3, 0.7, FuelCurve::Low), FuelCurve::Low);
    QCOMPARE(FuelPoints::bandFor(0.7, 0.3, 0.7, FuelCurve::Cruise), FuelCurve::Cruise);
}

void TestMixtureAnalysis::delayShrinksWithRpm() {
    const MixtureOptions o;
    QCOMPARE(mixtureDelayMs(800, o), 300);
    QCOMPARE(mixtureDelayMs(3000, o), 220);
    QCOMPARE(mixtureDelayMs(6500, o), 100);
}

void TestMixtureAnalysis::stepFollowsTheReadings_data() {
    QTest::addColumn<int>("leanOfTen");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("verdict");
    QTest::newRow("always lean") << 10 << 3 << int(MixtureVerdict::Lean);
    QTest::newRow("nine of ten lean") << 9 << 2 << int(MixtureVerdict::Lean);
    QTest::newRow("mostly lean") << 8 << 1 << int(MixtureVerdict::Lean);
    QTest::newRow("switching") << 5 << 0 << int(MixtureVerdict::OnTarget);
    QTest::newRow("a little rich") << 4 << 0 << int(MixtureVerdict::OnTarget);
    QTest::newRow("mostly rich") << 2 << -1 << int(MixtureVerdict::Rich);
    QTest::newRow("always rich") << 0 << -3 << int(MixtureVerdict::Rich);
}

void TestMixtureAnalysis::stepFollowsTheReadings() {
    QFETCH(int, leanOfTen);
    QFETCH(int, step);
    QFETCH(int, verdict);
    CalibrationData cal = calibration();
    cal.map(MapId::FuelRpmCruise)[kCruisePoint3000] = 5;
    const MixtureResult r = analyseMixture(makeLog(500, leanShare(leanOfTen)), cal);
    const MixturePoint& p = point(r, MapId::FuelRpmCruise, kCruisePoint3000);
    QCOMPARE(p.hits, r.used);
    QVERIFY(p.hits > 480);
    QCOMPARE(int(p.verdict), verdict);
    QCOMPARE(p.confidence, MixtureConfidence::High);
    QCOMPARE(p.step, step);
    QCOMPARE(p.suggested, 5.0 + step);
    QVERIFY(std::abs(p.leanShare - leanOfTen / 10.0) < 0.02);
    QVERIFY(std::abs(p.leanShare + p.richShare - 1.0) < 1e-9);
    // Nothing else was visited, and nothing else is moved.
    QCOMPARE(r.suggestionCount(), step != 0 ? 1 : 0);
    QCOMPARE(point(r, MapId::FuelRpmCruise, kCruisePoint3000 + 1).verdict, MixtureVerdict::NoHits);
    QCOMPARE(point(r, MapId::FuelRpmLow, kCruisePoint3000).hits, 0);
}

void TestMixtureAnalysis::pointsWithFewHitsAreLeftAlone_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("confidence");
    QTest::addColumn<int>("step");
    // The first six rows' exhaust was made before the log began.
    QTest::newRow("19 hits") << 25 << int(MixtureConfidence::Low) << 0;
    QTest::newRow("20 hits") << 26 << int(MixtureConfidence::Medium) << 1;
    QTest::newRow("99 hits") << 105 << int(MixtureConfidence::Medium) << 1;
    QTest::newRow("100 hits") << 106 << int(MixtureConfidence::High) << 3;
}

void TestMixtureAnalysis::pointsWithFewHitsAreLeftAlone() {
    QFETCH(int, rows);
    QFETCH(int, confidence);
    QFETCH(int, step);
    const MixtureResult r = analyseMixture(makeLog(rows, leanShare(10)), calibration());
    const MixturePoint& p = point(r, MapId::FuelRpmCruise, kCruisePoint3000);
    QCOMPARE(rejected(r, MixtureReject::BeforeStart), 6);
    QCOMPARE(p.hits, rows - 6);
    QCOMPARE(int(p.confidence), confidence);
    QCOMPARE(p.step, step);
    QCOMPARE(p.verdict, step ? MixtureVerdict::Lean : MixtureVerdict::TooFew);
}

void TestMixtureAnalysis::stepStaysInTheMapsRange() {
    CalibrationData cal = calibration();
    cal.map(MapId::FuelRpmCruise)[kCruisePoint3000] = 49;
    const MixtureResult lean = analyseMixture(makeLog(300, leanShare(10)), cal);
    QCOMPARE(point(lean, MapId::FuelRpmCruise, kCruisePoint3000).step, 1);
    QCOMPARE(point(lean, MapId::FuelRpmCruise, kCruisePoint3000).suggested, 50.0);
    cal.map(MapId::FuelRpmCruise)[kCruisePoint3000] = 50;
    const MixtureResult atLimit = analyseMixture(makeLog(300, leanShare(10)), cal);
    QCOMPARE(point(atLimit, MapId::FuelRpmCruise, kCruisePoint3000).step, 0);
    QCOMPARE(point(atLimit, MapId::FuelRpmCruise, kCruisePoint3000).verdict, MixtureVerdict::Lean);
    QVERIFY(mixtureChanges(atLimit).empty());
}

// Rows 100..199 of 300 lean rows carry the condition; the other rows are good readings.
void TestMixtureAnalysis::filtersCountTheirReason_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<double>("minWater");
    QTest::addColumn<std::function<void(Row&)>>("condition");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("onPoint"); // of them on the 3000 RPM point
    QTest::newRow("cold engine") << int(MixtureReject::Cold) << 70.0
                                 << std::function<void(Row&)>([](Row& r) { r.water = 69; }) << 100 << 100;
    QTest::newRow("cold threshold lowered")
        << -1 << 60.0 << std::function<void(Row&)>([](Row& r) { r.water = 69; }) << 0 << 0;
    QTest::newRow("overrun") << int(MixtureReject::Overrun) << 70.0
                             << std::function<void(Row&)>([](Row& r) { r.injector = 0; }) << 100 << 100;
    QTest::newRow("engine stopped") << int(MixtureReject::EngineStopped) << 70.0
                                    << std::function<void(Row&)>([](Row& r) { r.rpm = 0; }) << 106 << 8;
    QTest::newRow("sensor cold") << int(MixtureReject::SensorRange) << 70.0
                                 << std::function<void(Row&)>([](Row& r) { r.lambda = 0.02; }) << 100 << 100;
    QTest::newRow("sensor open") << int(MixtureReject::SensorRange) << 70.0
                                 << std::function<void(Row&)>([](Row& r) { r.lambda = 1.2; }) << 100 << 100;
    QTest::newRow("lambda not measured")
        << int(MixtureReject::NotMeasured) << 70.0
        << std::function<void(Row&)>([](Row& r) { r.lambda = kNaN; }) << 100 << 0;
}

void TestMixtureAnalysis::filtersCountTheirReason() {
    QFETCH(int, reason);
    QFETCH(double, minWater);
    QFETCH(std::function<void(Row&)>, condition);
    QFETCH(int, count);
    QFETCH(int, onPoint);
    MixtureOptions o;
    o.minWaterC = minWater;
    // The sensor's own row says whether it reads; the exhaust's row (six rows before at 3000 RPM)
    // whether the engine was warm and fuelled. A stopped engine is seen on either: the rows up to
    // six after the stop read the exhaust of a stopped engine (106), and the first eight stopped
    // rows (whose exhaust, 300 ms back at 0 RPM, was made at 3000 RPM) are on the 3000 RPM point.
    const DataLog log = makeLog(300, [&](int i, Row& r) {
        leanShare(10)(i, r);
        if (i >= 100 && i < 200)
            condition(r);
    });
    const MixtureResult r = analyseMixture(log, calibration(), o);
    if (reason >= 0)
        QCOMPARE(rejected(r, MixtureReject(reason)), count);
    std::int64_t total = 0;
    for (int k = 0; k < kMixtureRejectCount; ++k)
        total += r.rejects[static_cast<size_t>(k)];
    QCOMPARE(total, 6 + count); // the six before the start
    QCOMPARE(r.used, 300 - 6 - count);
    const MixturePoint& p = point(r, MapId::FuelRpmCruise, kCruisePoint3000);
    QCOMPARE(p.hits, r.used);
    if (reason >= 0)
        QCOMPARE(p.rejects[static_cast<size_t>(reason)], onPoint);
}

// A silence of ten rows; the two seconds after it are left out, and so is a throttle snap and the
// half second after it.
void TestMixtureAnalysis::gapAndTheSecondsAfterIt() {
    const DataLog log = makeLog(400, [](int i, Row& r) {
        leanShare(10)(i, r);
        r.gap = i >= 200 && i < 210;
        // 5 % every 40 ms is 125 % a second.
        r.throttle = i < 100 ? 25.0 : i <= 110 ? 25.0 + 5.0 * (i - 100) : 75.0;
    });
    const MixtureResult r = analyseMixture(log, calibration());
    QCOMPARE(rejected(r, MixtureReject::Gap), 10);
    QCOMPARE(rejected(r, MixtureReject::AfterGap), 50); // 2 s of 40 ms rows
    // Moves on rows 101..110 (t 4.04..4.40 s); a reading is out while its exhaust (220 ms earlier)
    // was made within 500 ms of the last move: rows 101..128.
    QCOMPARE(rejected(r, MixtureReject::ThrottleMoving), 28);
    QCOMPARE(r.used, 400 - 6 - 10 - 50 - 28);

    // A silence without gap rows: the log just jumps.
    DataLog jumped;
    const DataLog before = makeLog(150, leanShare(10));
    for (std::int64_t i = 0; i < before.size(); ++i) {
        LogSample s = before.sample(i);
        if (i >= 100)
            s.timeMs += 5000;
        jumped.append(s);
    }
    const MixtureResult j = analyseMixture(jumped, calibration());
    QCOMPARE(rejected(j, MixtureReject::Gap), 0);
    QCOMPARE(rejected(j, MixtureReject::AfterGap), 50);
}

// The engine steps from 3000 to 5000 RPM at row 200; the sensor turns from lean to rich one delay
// later (140 ms at 5000 RPM). Shifted back, every lean reading is on the 3000 RPM point and every rich
// one on the 5000 RPM point.
void TestMixtureAnalysis::readingsAreShiftedByTheDelay() {
    const int atStep = 200 * kRowMs;
    const DataLog log = makeLog(400, [&](int i, Row& r) {
        const int t = i * kRowMs;
        r.rpm = i < 200 ? 3000 : 5000;
        r.lambda = t < atStep + 140 ? 0.1 : 0.85;
    });
    const MixtureResult r = analyseMixture(log, calibration());
    const MixturePoint& before = point(r, MapId::FuelRpmCruise, kCruisePoint3000);
    const MixturePoint& after = point(r, MapId::FuelRpmCruise, 20);
    QCOMPARE(before.richShare, 0.0);
    QCOMPARE(before.leanShare, 1.0);
    QCOMPARE(after.leanShare, 0.0);
    QCOMPARE(after.richShare, 1.0);
    QCOMPARE(before.hits + after.hits, r.used);
    QCOMPARE(before.hits, 194 + 4); // four readings after the step still came from 3000 RPM
    // Without the shift the first readings at 5000 RPM would have counted lean there.
    MixtureOptions unshifted;
    unshifted.delayIdleMs = 0;
    unshifted.delayFastMs = 0;
    const MixtureResult u = analyseMixture(log, calibration(), unshifted);
    QVERIFY(point(u, MapId::FuelRpmCruise, 20).leanShare > 0);
}

void TestMixtureAnalysis::bandFollowsTheThresholds() {
    // Below the low threshold, then exactly on it (keeps Low), then cruise, then on it again (keeps
    // Cruise), then above the high one.
    const double vacuum[] = {0.2, 0.3, 0.5, 0.3, 0.9};
    const DataLog log = makeLog(500, [&](int i, Row& r) {
        r.vacuum = vacuum[i / 100];
        r.lambda = 0.1;
    });
    const MixtureResult r = analyseMixture(log, calibration());
    const int p = kCruisePoint3000;
    // Each reading lands on the row six before it (220 ms at 3000 RPM), so the blocks move by six rows
    // and the last six rows' exhaust was never read.
    QCOMPARE(point(r, MapId::FuelRpmLow, p).hits, 200);
    QCOMPARE(point(r, MapId::FuelRpmCruise, p).hits, 200);
    QCOMPARE(point(r, MapId::FuelRpmHigh, p).hits, 100 - 6);
    // The fuel-vacuum points by the manifold reading: 0.2, 0.3, 0.5 and 0.9 bar.
    QCOMPARE(point(r, MapId::FuelVacuum, 13).hits, 100);
    QCOMPARE(point(r, MapId::FuelVacuum, 19).hits, 200);
    QCOMPARE(point(r, MapId::FuelVacuum, 32).hits, 100);
    QCOMPARE(point(r, MapId::FuelVacuum, 58).hits, 100 - 6);
}

// A reading is made by an RPM point and a fuel-vacuum point at once; one pass moves one of them.
void TestMixtureAnalysis::oneMapTakesTheSuggestions() {
    const DataLog log = makeLog(300, leanShare(10));
    const MixtureResult byRpm = analyseMixture(log, calibration());
    QVERIFY(curve(byRpm, MapId::FuelRpmCruise).adjusted);
    QVERIFY(!curve(byRpm, MapId::FuelVacuum).adjusted);
    QCOMPARE(point(byRpm, MapId::FuelRpmCruise, kCruisePoint3000).step, 3);
    QCOMPARE(point(byRpm, MapId::FuelVacuum, 32).verdict, MixtureVerdict::Lean);
    QCOMPARE(point(byRpm, MapId::FuelVacuum, 32).step, 0);
    MixtureOptions o;
    o.adjustVacuumMap = true;
    const MixtureResult byVacuum = analyseMixture(log, calibration(), o);
    QCOMPARE(point(byVacuum, MapId::FuelRpmCruise, kCruisePoint3000).step, 0);
    QCOMPARE(point(byVacuum, MapId::FuelVacuum, 32).step, 3);
    const std::vector<MixtureChange> changes = mixtureChanges(byVacuum);
    QCOMPARE(changes.size(), size_t(1));
    QCOMPARE(changes[0].map, MapId::FuelVacuum);
    QCOMPARE(changes[0].point, 32);
    QCOMPARE(changes[0].to, 3.0);
}

void TestMixtureAnalysis::coldEngineGivesNoSuggestion() {
    const DataLog log = makeLog(3000, [](int i, Row& r) {
        leanShare(10)(i, r);
        r.water = 20 + 45.0 * i / 3000; // warming, never reaching 70
        r.rpm = 1000 + (i % 200) * 25;
    });
    const MixtureResult r = analyseMixture(log, calibration());
    QCOMPARE(r.used, 0);
    QCOMPARE(r.suggestionCount(), 0);
    QCOMPARE(rejected(r, MixtureReject::Cold), 3000 - rejected(r, MixtureReject::BeforeStart));
    for (const MixtureCurve& c : r.curves)
        for (const MixturePoint& p : c.points)
            QCOMPARE(p.verdict, MixtureVerdict::NoHits);
}

void TestMixtureAnalysis::stuckSensorIsNoInformation_data() {
    QTest::addColumn<int>("targetPlain");
    QTest::addColumn<double>("stuckAt");
    QTest::newRow("0.45 V, target 0.45") << 45 << 0.45;
    QTest::newRow("0.45 V, target 0.25") << 25 << 0.45;
    QTest::newRow("0.45 V, target 0.75") << 75 << 0.45;
    QTest::newRow("0.55 V, target 0.45") << 45 << 0.55;
}

void TestMixtureAnalysis::stuckSensorIsNoInformation() {
    QFETCH(int, targetPlain);
    QFETCH(double, stuckAt);
    CalibrationData cal = calibration();
    cal.SetupBlock[10] = wireFromPlain(targetPlain);
    const MixtureResult r = analyseMixture(makeLog(500, [&](int, Row& row) { row.lambda = stuckAt; }), cal);
    const MixturePoint& p = point(r, MapId::FuelRpmCruise, kCruisePoint3000);
    QCOMPARE(p.hits, 494);
    QCOMPARE(p.verdict, MixtureVerdict::NoInformation);
    QCOMPARE(p.step, 0);
    QCOMPARE(r.suggestionCount(), 0);
    QVERIFY(std::abs(p.meanVolts - stuckAt) < 1e-6);
}

QTEST_GUILESS_MAIN(TestMixtureAnalysis)
#include "tst_mixtureanalysis.moc"
