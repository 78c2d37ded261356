// The tuning rules without a window: point index from a position, the accepted drag area and the
// value it gives, the keyboard cursor and value steps, and the three bytes of a point.
#include "calibration/CalibrationData.h"
#include "mapeditor/MapTuning.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(ChartId)
Q_DECLARE_METATYPE(MapId)
Q_DECLARE_METATYPE(TuningKey)

namespace {

MapScales scales(int rpmRange = 7000, int vacuumRange = 10, int points = 70) {
    return {rpmRange, vacuumRange, points};
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

class TestMapTuning : public QObject {
    Q_OBJECT

  private slots:
    void pointIndex_data();
    void pointIndex();
    void dragEdit_data();
    void dragEdit();
    void pointWrite_data();
    void pointWrite();
    void keyPlan_data();
    void keyPlan();
    void keyStepsAlongTheAirAndVoltageCharts();
    void pageShift_data();
    void pageShift();
    void timingPointCountIsBounded_data();
    void timingPointCountIsBounded();
    void vacuumKeysDoNothingWithoutARange();
    void pointerReadouts_data();
    void pointerReadouts();
    void curveSelection();
    void everyPointSitsWhereItsIndexIsFound();
};

void TestMapTuning::pointIndex_data() {
    QTest::addColumn<ChartId>("chart");
    QTest::addColumn<double>("x");
    QTest::addColumn<int>("vacuumRange");
    QTest::addColumn<int>("index");

    QTest::newRow("timing x=30") << ChartId::Timing << 30.0 << 10 << 30;
    QTest::newRow("timing x=0 is no point") << ChartId::Timing << 0.0 << 10 << 0;
    QTest::newRow("timing 12.5 ties to even") << ChartId::Timing << 12.5 << 10 << 12;
    QTest::newRow("vacuum full range is 32") << ChartId::Vacuum << 1.0 << 10 << 32;
    QTest::newRow("vacuum left of point 1") << ChartId::Vacuum << 0.01 << 10 << 0;
    QTest::newRow("vacuum cursor 0.14125 is point 5") << ChartId::Vacuum << 0.14125 << 10 << 5;
    QTest::newRow("vacuum range 0") << ChartId::Vacuum << 0.5 << 0 << 0;
    QTest::newRow("fuel vacuum range 0") << ChartId::FuelVacuum << 0.5 << 0 << 0;
    QTest::newRow("fuel vacuum x=1 bar") << ChartId::FuelVacuum << 1.0 << 10 << 64;
    QTest::newRow("fuel rpm top") << ChartId::FuelRpm << 70.0 << 10 << 32;
    QTest::newRow("water 120") << ChartId::Water << 120.0 << 10 << 24;
    QTest::newRow("air -20 is point 1") << ChartId::Air << -20.0 << 10 << 1;
    QTest::newRow("air 100 is point 24") << ChartId::Air << 100.0 << 10 << 24;
    QTest::newRow("air point 2 at -14.78") << ChartId::Air << -14.78 << 10 << 2;
    QTest::newRow("voltage 16.0 is point 16") << ChartId::Voltage << 16.0 << 10 << 16;
    QTest::newRow("voltage 8.0 is point 1") << ChartId::Voltage << 8.0 << 10 << 1;
    QTest::newRow("NaN is no point") << ChartId::Timing << kNaN << 10 << 0;
    QTest::newRow("infinity is no point")
        << ChartId::Water << std::numeric_limits<double>::infinity() << 10 << 0;
    QTest::newRow("huge x is no point") << ChartId::Water << 1e300 << 10 << 0;
}

void TestMapTuning::pointIndex() {
    QFETCH(ChartId, chart);
    QFETCH(double, x);
    QFETCH(int, vacuumRange);
    QFETCH(int, index);
    QCOMPARE(MapTuning::pointIndex(chart, x, scales(7000, vacuumRange)), index);
}

void TestMapTuning::dragEdit_data() {
    QTest::addColumn<ChartId>("chart");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<int>("vacuumRange");
    QTest::addColumn<int>("point"); // 0: rejected
    QTest::addColumn<double>("value");

    QTest::newRow("timing exactly 45") << ChartId::Timing << 10.0 << 45.0 << 10 << 10 << 45.0;
    QTest::newRow("timing 45.4 rejected") << ChartId::Timing << 10.0 << 45.4 << 10 << 0 << 0.0;
    QTest::newRow("timing 45.3 rejected") << ChartId::Timing << 10.0 << 45.3 << 10 << 0 << 0.0;
    QTest::newRow("timing 0") << ChartId::Timing << 10.0 << 0.0 << 10 << 10 << 0.0;
    QTest::newRow("timing -0.1 rejected") << ChartId::Timing << 10.0 << -0.1 << 10 << 0 << 0.0;
    QTest::newRow("timing 12.5 ties to 12") << ChartId::Timing << 10.0 << 12.5 << 10 << 10 << 12.0;
    QTest::newRow("timing 13.5 ties to 14") << ChartId::Timing << 10.0 << 13.5 << 10 << 10 << 14.0;
    QTest::newRow("timing past the last point") << ChartId::Timing << 71.0 << 20.0 << 10 << 0 << 0.0;
    QTest::newRow("vacuum -14.5 ties to -14") << ChartId::Vacuum << 0.5 << -14.5 << 10 << 16 << -14.0;
    QTest::newRow("vacuum point 32 at -15") << ChartId::Vacuum << 1.0 << -15.0 << 10 << 32 << -15.0;
    QTest::newRow("vacuum left of point 1") << ChartId::Vacuum << 0.01 << 5.0 << 10 << 0 << 0.0;
    QTest::newRow("vacuum beyond the range") << ChartId::Vacuum << 1.05 << 5.0 << 10 << 0 << 0.0;
    QTest::newRow("vacuum negative x") << ChartId::Vacuum << -0.05 << 5.0 << 10 << 0 << 0.0;
    QTest::newRow("vacuum range 0") << ChartId::Vacuum << 0.0 << 5.0 << 0 << 0 << 0.0;
    QTest::newRow("fuel vacuum point 1 at +50") << ChartId::FuelVacuum << 1.0 / 64 << 50.0 << 10 << 1 << 50.0;
    QTest::newRow("fuel vacuum 50.2 rejected") << ChartId::FuelVacuum << 0.5 << 50.2 << 10 << 0 << 0.0;
    QTest::newRow("water -60") << ChartId::Water << 60.0 << -60.0 << 10 << 12 << -60.0;
    QTest::newRow("air left of -20 rejected") << ChartId::Air << -20.5 << 5.0 << 10 << 0 << 0.0;
    QTest::newRow("air 20.5 rejected") << ChartId::Air << 50.0 << 20.5 << 10 << 0 << 0.0;
    QTest::newRow("voltage 16 V") << ChartId::Voltage << 16.0 << -7.6 << 10 << 16 << -8.0;
    QTest::newRow("NaN y") << ChartId::Water << 60.0 << kNaN << 10 << 0 << 0.0;
}

void TestMapTuning::dragEdit() {
    QFETCH(ChartId, chart);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(int, vacuumRange);
    QFETCH(int, point);
    QFETCH(double, value);
    const auto edit = MapTuning::dragEdit(chart, x, y, scales(7000, vacuumRange));
    if (point == 0) {
        QVERIFY(!edit);
        return;
    }
    QVERIFY(edit);
    QCOMPARE(edit->point, point);
    QCOMPARE(edit->value, value);
}

void TestMapTuning::pointWrite_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("byte");

    QTest::newRow("timing 30 at 45") << MapId::Timing << 30 << 45.0 << 0xE8 << 30 << 45;
    QTest::newRow("timing 1 at 0") << MapId::Timing << 1 << 0.0 << 0xE8 << 1 << 0;
    QTest::newRow("vacuum 32 at -15") << MapId::VacuumTiming << 32 << -15.0 << 0xE8 << 131 << 0;
    QTest::newRow("vacuum 1 at +15") << MapId::VacuumTiming << 1 << 15.0 << 0xE8 << 100 << 30;
    QTest::newRow("fuel vacuum 1 at +50") << MapId::FuelVacuum << 1 << 50.0 << 0xDE << 0 << 150;
    QTest::newRow("fuel vacuum 64") << MapId::FuelVacuum << 64 << -50.0 << 0xDE << 63 << 50;
    QTest::newRow("cruise 1") << MapId::FuelRpmCruise << 1 << 0.0 << 0xDE << 64 << 100;
    QTest::newRow("cruise 32") << MapId::FuelRpmCruise << 32 << 3.0 << 0xDE << 95 << 103;
    QTest::newRow("water 1") << MapId::WaterTemp << 1 << -60.0 << 0xD4 << 0 << 40;
    QTest::newRow("air fuel 1") << MapId::AirTempFuel << 1 << 20.0 << 0xD4 << 24 << 120;
    QTest::newRow("voltage 16") << MapId::Voltage << 16 << -8.0 << 0xD4 << 63 << 92;
    QTest::newRow("low 1") << MapId::FuelRpmLow << 1 << 5.0 << 0xCA << 0 << 105;
    QTest::newRow("high 1") << MapId::FuelRpmHigh << 1 << 5.0 << 0xCA << 32 << 105;
    QTest::newRow("air timing 24") << MapId::AirTempTiming << 24 << -20.0 << 0xCA << 87 << 80;
}

void TestMapTuning::pointWrite() {
    QFETCH(MapId, map);
    QFETCH(int, point);
    QFETCH(double, value);
    QFETCH(int, command);
    QFETCH(int, id);
    QFETCH(int, byte);
    const MapPointWrite w = MapTuning::pointWrite(map, point, value);
    QCOMPARE(int(w.command), command);
    QCOMPARE(int(w.id), id);
    QCOMPARE(int(w.value), byte);
}

void TestMapTuning::keyPlan_data() {
    QTest::addColumn<ChartId>("chart");
    QTest::addColumn<TuningKey>("key");
    QTest::addColumn<double>("cursor");
    QTest::addColumn<double>("pointValue"); // value of every point
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("cursorAfter");
    QTest::addColumn<double>("value");

    // Timing axis 1..70, 70 points.
    QTest::newRow("right one point") << ChartId::Timing << TuningKey::Right << 10.0 << 20.0 << 11 << 11.0
                                     << 20.0;
    QTest::newRow("left at point 1 stays")
        << ChartId::Timing << TuningKey::Left << 1.0 << 20.0 << 1 << 1.0 << 20.0;
    QTest::newRow("right at point 70 stays")
        << ChartId::Timing << TuningKey::Right << 70.0 << 20.0 << 70 << 70.0 << 20.0;
    QTest::newRow("cursor 0 after a read is point 1")
        << ChartId::Timing << TuningKey::Up << 0.0 << 20.0 << 1 << 1.0 << 21.0;
    QTest::newRow("up at 45 stays") << ChartId::Timing << TuningKey::Up << 5.0 << 45.0 << 5 << 5.0 << 45.0;
    QTest::newRow("down at 0 stays") << ChartId::Timing << TuningKey::Down << 5.0 << 0.0 << 5 << 5.0 << 0.0;
    QTest::newRow("up above the limit stays")
        << ChartId::Timing << TuningKey::Up << 5.0 << 50.0 << 5 << 5.0 << 50.0;
    QTest::newRow("down above the limit comes in")
        << ChartId::Timing << TuningKey::Down << 5.0 << 50.0 << 5 << 5.0 << 49.0;
    QTest::newRow("other key keeps the value")
        << ChartId::Timing << TuningKey::Other << 5.0 << 7.0 << 5 << 5.0 << 7.0;
    QTest::newRow("vacuum up at +15 stays")
        << ChartId::Vacuum << TuningKey::Up << 0.5 << 15.0 << 16 << 0.5 << 15.0;
    QTest::newRow("vacuum down to -15")
        << ChartId::Vacuum << TuningKey::Down << 0.5 << -14.0 << 16 << 0.5 << -15.0;
    QTest::newRow("vacuum cursor 0.14125")
        << ChartId::Vacuum << TuningKey::Up << 0.14125 << 1.0 << 5 << 0.14125 << 2.0;
    QTest::newRow("vacuum left at point 1")
        << ChartId::Vacuum << TuningKey::Left << 1.0 / 32 << 0.0 << 1 << 1.0 / 32 << 0.0;
    QTest::newRow("fuel vacuum snaps to its point")
        << ChartId::FuelVacuum << TuningKey::Right << 0.1 << 0.0 << 7 << 0.109375 << 0.0;
    QTest::newRow("water up at +60 stays")
        << ChartId::Water << TuningKey::Up << 60.0 << 60.0 << 12 << 60.0 << 60.0;
    QTest::newRow("air down at -20 stays")
        << ChartId::Air << TuningKey::Down << 0.0 << -20.0 << 5 << 0.0 << -20.0;
    QTest::newRow("voltage right at 16 V stays")
        << ChartId::Voltage << TuningKey::Right << 16.0 << 0.0 << 16 << 16.0 << 0.0;
}

void TestMapTuning::keyPlan() {
    QFETCH(ChartId, chart);
    QFETCH(TuningKey, key);
    QFETCH(double, cursor);
    QFETCH(double, pointValue);
    QFETCH(int, point);
    QFETCH(double, cursorAfter);
    QFETCH(double, value);
    MapArray values{};
    values.fill(pointValue);
    const double axisMin = chart == ChartId::Timing    ? 1
                           : chart == ChartId::Air     ? -20
                           : chart == ChartId::Voltage ? 8
                                                       : 0;
    const double axisMax = chart == ChartId::Timing    ? 70
                           : chart == ChartId::Water   ? 120
                           : chart == ChartId::Air     ? 100
                           : chart == ChartId::Voltage ? 16
                                                       : 1.2;
    const auto plan = MapTuning::keyPlan(chart, key, cursor, axisMin, axisMax, scales(), values);
    QVERIFY(plan);
    QCOMPARE(plan->point, point);
    QVERIFY2(std::abs(plan->cursorX - cursorAfter) < 1e-9, qPrintable(QString::number(plan->cursorX)));
    QCOMPARE(plan->value, value);
    QCOMPARE(plan->shift, 0);
}

void TestMapTuning::keyStepsAlongTheAirAndVoltageCharts() {
    // The air step (5 degC) is shorter than the point spacing (120/23): the cursor may stay on a
    // point for two presses, but it walks from point 1 to point 24 and never past it.
    MapArray values{};
    double x = -20;
    QList<int> points;
    for (int press = 0; press < 30; ++press) {
        const auto plan = MapTuning::keyPlan(ChartId::Air, TuningKey::Right, x, -20, 100, scales(), values);
        QVERIFY(plan);
        QVERIFY(plan->point >= 1 && plan->point <= 24);
        points << plan->point;
        x = plan->cursorX;
    }
    QCOMPARE(points.first(), 2);
    QCOMPARE(points.last(), 24);
    QVERIFY(points.count(24) > 1);
    // Voltage: 0.5 V steps over 8/15 V spacing, stopping on point 16 at 16 V.
    x = 8;
    int last = 0;
    for (int press = 0; press < 20; ++press) {
        const auto plan = MapTuning::keyPlan(ChartId::Voltage, TuningKey::Right, x, 8, 16, scales(), values);
        QVERIFY(plan->point >= last);
        last = plan->point;
        x = plan->cursorX;
    }
    QCOMPARE(last, 16);
    QVERIFY(x <= 16.0);
}

void TestMapTuning::pageShift_data() {
    QTest::addColumn<int>("direction");
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::newRow("up 10") << 1 << 10.0 << 11.0;
    QTest::newRow("up 20") << 1 << 20.0 << 21.0;
    QTest::newRow("up 45 stays") << 1 << 45.0 << 45.0;
    QTest::newRow("up 44.5 stops at 45") << 1 << 44.5 << 45.0;
    QTest::newRow("up 50 loaded out of range stays") << 1 << 50.0 << 50.0;
    QTest::newRow("down 0 stays") << -1 << 0.0 << 0.0;
    QTest::newRow("down -3 stays") << -1 << -3.0 << -3.0;
    QTest::newRow("down 10") << -1 << 10.0 << 9.0;
    QTest::newRow("down 50 comes in") << -1 << 50.0 << 49.0;
}

void TestMapTuning::pageShift() {
    QFETCH(int, direction);
    QFETCH(double, before);
    QFETCH(double, after);
    QCOMPARE(MapTuning::shiftedTimingValue(before, direction), after);
    MapArray values{};
    values.fill(before);
    const auto plan = MapTuning::keyPlan(
        ChartId::Timing, direction > 0 ? TuningKey::PageUp : TuningKey::PageDown, 5, 1, 70, scales(), values);
    QCOMPARE(plan->shift, direction);
    QCOMPARE(plan->point, 5);
}

void TestMapTuning::timingPointCountIsBounded_data() {
    QTest::addColumn<int>("rpmByte"); // wire byte at setup offset 81
    QTest::addColumn<int>("points");
    QTest::newRow("7000 rpm") << 71 << 70;
    QTest::newRow("10000 rpm") << 101 << 100;
    QTest::newRow("15000 rpm stops at 100") << 151 << 100;
    QTest::newRow("25300 rpm stops at 100") << 255 - 1 << 100;
    QTest::newRow("100 rpm") << 2 << 1;
}

void TestMapTuning::timingPointCountIsBounded() {
    QFETCH(int, rpmByte);
    QFETCH(int, points);
    CalibrationData data;
    data.SetupBlock.fill(255);
    data.SetupBlock[81] = static_cast<std::uint8_t>(rpmByte);
    deriveSetupValues(data);
    QCOMPARE(data.TimingPointCount, points);
    const MapScales s = data.scales();
    QCOMPARE(MapTuning::chartPoints(ChartId::Timing, s), points);
    QCOMPARE(mapShownPoints(MapId::Timing, s), points);
    // The last point sits at the top of the RPM axis; beyond it nothing is addressed, so no vacuum
    // id (100 and up) can come from the timing chart.
    const double top = data.RpmRange / 100.0;
    QCOMPARE(MapTuning::pointIndex(ChartId::Timing, top, s), points);
    QVERIFY(!MapTuning::dragEdit(ChartId::Timing, top * 1.6, 20, s));
    QVERIFY(MapTuning::pointWrite(MapId::Timing, points, 20).id <= 100);
    // Even a count that was never bounded is taken as at most 100.
    MapScales wild = s;
    wild.timingPointCount = 150;
    QCOMPARE(MapTuning::chartPoints(ChartId::Timing, wild), 100);
    QCOMPARE(mapShownPoints(MapId::Timing, wild), 100);
}

void TestMapTuning::vacuumKeysDoNothingWithoutARange() {
    MapArray values{};
    for (ChartId chart : {ChartId::Vacuum, ChartId::FuelVacuum})
        for (TuningKey key : {TuningKey::Left, TuningKey::Right, TuningKey::Up, TuningKey::Other})
            QVERIFY(!MapTuning::keyPlan(chart, key, 0.5, 0, 0.2, scales(7000, 0), values));
    // The other charts do not depend on it.
    QVERIFY(MapTuning::keyPlan(ChartId::Water, TuningKey::Up, 60, 0, 120, scales(7000, 0), values));
}

void TestMapTuning::pointerReadouts_data() {
    QTest::addColumn<ChartId>("chart");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("cursor");
    QTest::addColumn<QString>("value"); // "-": left as it was
    QTest::addColumn<QString>("position");

    QTest::newRow("timing") << ChartId::Timing << 29.6 << 20.4 << 30.0 << "20"
                            << "3000";
    QTest::newRow("timing above the axis") << ChartId::Timing << 29.6 << 46.0 << 30.0 << "-"
                                           << "3000";
    QTest::newRow("timing left of point 1") << ChartId::Timing << 0.4 << 20.0 << 0.0 << "20"
                                            << "-";
    QTest::newRow("vacuum") << ChartId::Vacuum << 0.456 << -3.2 << 0.46 << "-3"
                            << "0.46";
    QTest::newRow("vacuum beyond range") << ChartId::Vacuum << 1.16 << 0.0 << 1.16 << "0"
                                         << "-";
    QTest::newRow("fuel rpm") << ChartId::FuelRpm << 40.2 << 12.0 << 40.0 << "12"
                              << "4000";
    QTest::newRow("water") << ChartId::Water << 64.6 << -61.0 << 65.0 << "-"
                           << "65";
    QTest::newRow("voltage") << ChartId::Voltage << 12.34 << 5.0 << 12.3 << "5"
                             << "12.3";
}

void TestMapTuning::pointerReadouts() {
    QFETCH(ChartId, chart);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, cursor);
    QFETCH(QString, value);
    QFETCH(QString, position);
    const PointerReadout r = MapTuning::pointerReadout(chart, x, y, scales());
    QCOMPARE(r.cursorX, cursor);
    QCOMPARE(r.valueText.value_or(QStringLiteral("-")), value);
    QCOMPARE(r.positionText.value_or(QStringLiteral("-")), position);
}

void TestMapTuning::curveSelection() {
    MapEditorState state;
    // Nothing is edited on the two-curve charts until a curve is selected.
    QVERIFY(!MapTuning::editedMap(ChartId::FuelRpm, state));
    QVERIFY(!MapTuning::editedMap(ChartId::Air, state));
    state.FuelRpmCurveSelection = MapId::FuelRpmHigh;
    state.AirTempCurveSelection = MapId::AirTempTiming;
    QCOMPARE(*MapTuning::editedMap(ChartId::FuelRpm, state), MapId::FuelRpmHigh);
    QCOMPARE(*MapTuning::editedMap(ChartId::Air, state), MapId::AirTempTiming);
    QCOMPARE(*MapTuning::editedMap(ChartId::Vacuum, state), MapId::VacuumTiming);
    // The vacuum charts share one cursor.
    state.cursorX(ChartId::Vacuum) = 0.5;
    QCOMPARE(state.cursorX(ChartId::FuelVacuum), 0.5);
}

void TestMapTuning::everyPointSitsWhereItsIndexIsFound() {
    // The charts place points with mapPointX; a click, the keys and the live marker find them with
    // the inverse. Both must agree for every point of every map, at odd ranges too.
    for (const MapScales& sc : {scales(), scales(10000, 25, 100), scales(3700, 7, 37), scales(1200, 1, 12)})
        for (const MapInfo& info : mapTable()) {
            const int points = mapShownPoints(info.id, sc);
            for (int i = 1; i <= points; ++i) {
                const double x = mapPointX(info.id, i, sc);
                QVERIFY2(std::abs(mapPointAt(info.id, x, sc) - i) < 1e-9,
                         qPrintable(QStringLiteral("%1 point %2 at x %3").arg(info.name).arg(i).arg(x)));
                if (i > 1)
                    QVERIFY(x > mapPointX(info.id, i - 1, sc)); // the axis runs one way
            }
        }
    QVERIFY(!std::isfinite(mapPointAt(MapId::VacuumTiming, 0.5, scales(7000, 0))));
}

QTEST_GUILESS_MAIN(TestMapTuning)
#include "tst_maptuning.moc"
