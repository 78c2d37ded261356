// The road cycle's engine answers the unit's fuel points: the lambda reading follows the tune against
// the engine's hidden need through a narrowband sensor and the exhaust's delay.

#include "EmuSimulator.h"
#include "SimEngineModel.h"
#include "SimMixture.h"
#include "sim_client_helpers.h"

#include "calibration/Rounding.h"
#include "link/EmuProtocol.h"
#include "mixture/FuelPoints.h"

#include <QTest>

#include <cmath>

namespace {

using Wire = std::array<std::uint8_t, kImageReplySize>;

Wire baseWire() {
    return EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
}

void setPoint(Wire& wire, MapId map, int point, double value) {
    const MapInfo& info = mapInfo(map);
    wire[static_cast<size_t>(info.imageOffset + point - 1)] =
        wireFromPlain(roundHalfEven(value + info.plainOffset));
}

// Every point of the fuel maps at the engine's need, shifted by the given percent per RPM curve.
Wire tuneAtNeed(double lowShift = 0, double cruiseShift = 0, double highShift = 0) {
    Wire wire = baseWire();
    const SimMixture::UnitTune base = SimMixture::decodeTune(wire);
    const MapScales scales = base.cal.scales();
    for (int n = 1; n <= FuelPoints::kVacuumPoints; ++n)
        setPoint(wire, MapId::FuelVacuum, n,
                 SimMixture::need(MapId::FuelVacuum, mapPointX(MapId::FuelVacuum, n, scales)));
    const std::pair<MapId, double> curves[] = {
        {MapId::FuelRpmLow, lowShift}, {MapId::FuelRpmCruise, cruiseShift}, {MapId::FuelRpmHigh, highShift}};
    for (const auto& [map, shift] : curves)
        for (int n = 1; n <= FuelPoints::kRpmPoints; ++n)
            setPoint(wire, map, n, SimMixture::need(map, mapPointX(map, n, scales)) + shift);
    for (MapId map : {MapId::WaterTemp, MapId::AirTempFuel, MapId::Voltage})
        for (int n = 1; n <= mapInfo(map).points; ++n)
            setPoint(wire, map, n, SimMixture::need(map, mapPointX(map, n, scales)));
    wire[2] = wireFromPlain(128); // both jets neutral
    wire[3] = wireFromPlain(128);
    return wire;
}

struct BandShares {
    int samples = 0;
    int lean = 0; // below 0.3 V
    int rich = 0; // above 0.6 V
};

// The warm part of ten road minutes, by the load band the unit was in when the exhaust left.
std::array<BandShares, 4> sharesByBand(const Wire& wire) {
    const SimEngineModel engine(3);
    const SimMixture::UnitTune tune = SimMixture::decodeTune(wire);
    std::array<BandShares, 4> out{};
    for (double t = 180.0; t < 780.0; t += 0.04) {
        const SimEngineModel::Drive now = engine.driveAt(t);
        const auto opNow = SimEngineModel::operatingPoint(now, tune);
        const SimEngineModel::Drive then = engine.driveAt(t - SimMixture::transportDelaySeconds(opNow.rpm));
        if (then.fuelCut || then.transientPercent != 0 ||
            std::abs(now.throttlePercent - then.throttlePercent) > 2)
            continue;
        const FuelCurve band = SimEngineModel::bandOf(SimEngineModel::operatingPoint(then, tune), tune);
        const double volts = engine.roadStateAt(t, tune).lambdaHundredths / 100.0;
        BandShares& s = out[static_cast<size_t>(band)];
        ++s.samples;
        s.lean += volts < 0.3;
        s.rich += volts > 0.6;
    }
    return out;
}

} // namespace

class TestSimMixture : public QObject {
    Q_OBJECT

  private slots:
    void narrowbandSensor();
    void delayShrinksWithRpm();
    void tuneAtNeedRunsOnTarget();
    void roadCycleVisitsEveryCondition();
    void lambdaAnswersTheTune();
    void readingLagsTheFuelCut_data();
    void readingLagsTheFuelCut();
    void roadCycleIsSwitchedOn();
    void unitOnThePtyAnswersASetMessage();
};

void TestSimMixture::narrowbandSensor() {
    QVERIFY(SimMixture::sensorVolts(-5) < 0.12);
    QVERIFY(SimMixture::sensorVolts(5) > 0.88);
    QVERIFY(std::abs(SimMixture::sensorVolts(0) - 0.5) < 1e-9);
    // Steep: a 1 % step either side of the need is most of the swing.
    QVERIFY(SimMixture::sensorVolts(-1) < 0.22);
    QVERIFY(SimMixture::sensorVolts(1) > 0.78);
    for (double e = -10; e < 10; e += 0.5)
        QVERIFY(SimMixture::sensorVolts(e) < SimMixture::sensorVolts(e + 0.5));
}

void TestSimMixture::delayShrinksWithRpm() {
    QCOMPARE(SimMixture::transportDelaySeconds(900), 0.3);
    QCOMPARE(SimMixture::transportDelaySeconds(6500), 0.1);
    double last = 1;
    for (double rpm = 500; rpm <= 8000; rpm += 250) {
        const double d = SimMixture::transportDelaySeconds(rpm);
        QVERIFY(d >= 0.1 - 1e-12 && d <= 0.3 + 1e-12);
        QVERIFY(d <= last);
        last = d;
    }
}

void TestSimMixture::tuneAtNeedRunsOnTarget() {
    const SimMixture::UnitTune atNeed = SimMixture::decodeTune(tuneAtNeed());
    const SimMixture::UnitTune lean = SimMixture::decodeTune(tuneAtNeed(0, -10, 0));
    for (double rpm = 1000; rpm <= 7000; rpm += 500)
        for (double vac : {0.25, 0.5, 0.9}) {
            const SimMixture::OperatingPoint op{rpm, vac, 85, 25, 13.8};
            const FuelCurve band = FuelPoints::bandFor(vac, 0.3, 0.7);
            // Only the rounding of the points to whole percent and the point spacing remain.
            QVERIFY2(std::abs(SimMixture::mixtureErrorPercent(atNeed, band, op)) < 1.5,
                     qPrintable(QStringLiteral("%1 rpm %2 bar").arg(rpm).arg(vac)));
            const double leanError = SimMixture::mixtureErrorPercent(lean, band, op);
            if (band == FuelCurve::Cruise)
                QVERIFY(leanError < -8 && leanError > -12);
        }
    // A cold engine wants more than the water curve gives.
    const SimMixture::OperatingPoint cold{1500, 0.25, 25, 25, 13.8};
    const SimMixture::UnitTune base = SimMixture::decodeTune(baseWire());
    QVERIFY(SimMixture::mixtureErrorPercent(base, FuelCurve::Low, cold) < -2);
}

void TestSimMixture::roadCycleVisitsEveryCondition() {
    const SimEngineModel engine(7);
    const SimMixture::UnitTune tune = SimMixture::decodeTune(baseWire());
    std::array<int, 4> bands{};
    int idle = 0, cut = 0, pump = 0, leanOut = 0, coldSensor = 0;
    double minRpm = 1e9, maxRpm = 0;
    for (int i = 0; i < 15000; ++i) {
        const double t = i * 0.04;
        const SimEngineModel::Drive d = engine.driveAt(t);
        const auto op = SimEngineModel::operatingPoint(d, tune);
        ++bands[static_cast<size_t>(SimEngineModel::bandOf(op, tune))];
        idle += d.rpmHundreds < 10 && d.throttlePercent < 3;
        cut += d.fuelCut;
        pump += d.transientPercent > 0;
        leanOut += d.transientPercent < 0;
        minRpm = std::min(minRpm, op.rpm);
        maxRpm = std::max(maxRpm, op.rpm);
        const SimEngineModel::State s = engine.roadStateAt(t, tune);
        if (t < SimEngineModel::kSensorHeatSeconds)
            coldSensor += s.lambdaHundredths < 5;
        if (d.fuelCut)
            QCOMPARE(s.injectorTenthsMs, 0.0);
    }
    QVERIFY(bands[1] > 1000 && bands[2] > 1000 && bands[3] > 1000);
    QVERIFY(idle > 1000);
    QVERIFY(cut > 100 && pump > 50 && leanOut > 10);
    QCOMPARE(coldSensor, int(SimEngineModel::kSensorHeatSeconds / 0.04));
    QVERIFY(minRpm < 1000 && maxRpm > 6400);
    QCOMPARE(engine.driveAt(0).waterC, 20.0);
    QVERIFY(engine.driveAt(100).waterC < 70);
    QCOMPARE(engine.driveAt(300).waterC, 85.0);
}

void TestSimMixture::lambdaAnswersTheTune() {
    const auto onTarget = sharesByBand(tuneAtNeed());
    const auto leanCruise = sharesByBand(tuneAtNeed(0, -10, 8));
    for (int band = 1; band <= 3; ++band) {
        const BandShares& s = onTarget[static_cast<size_t>(band)];
        QVERIFY(s.samples > 500);
        // At the need the sensor switches: plenty of both sides.
        QVERIFY2(s.lean > s.samples / 5 && s.rich > s.samples / 5, qPrintable(QString::number(band)));
    }
    const BandShares& cruise = leanCruise[static_cast<size_t>(FuelCurve::Cruise)];
    const BandShares& high = leanCruise[static_cast<size_t>(FuelCurve::High)];
    const BandShares& low = leanCruise[static_cast<size_t>(FuelCurve::Low)];
    QVERIFY(cruise.lean > cruise.samples * 9 / 10);
    QVERIFY(high.rich > high.samples * 9 / 10);
    // The curve left at its need still switches.
    QVERIFY(low.lean > low.samples / 5 && low.rich > low.samples / 5);
}

// With both jets wide open the mixture is rich everywhere but in the fuel cut; the reading turns lean
// one transport delay after the injectors shut (about 100 ms near 7000 RPM) and rich again one delay
// after they open (about 260 ms near 2000 RPM).
void TestSimMixture::readingLagsTheFuelCut_data() {
    QTest::addColumn<double>("cycleSecond");
    QTest::addColumn<bool>("lean");
    const double cutStarts = 40.0 + 0.2 * 84.0 / 85.0;
    QTest::newRow("cut, before the delay") << cutStarts + 0.05 << false;
    QTest::newRow("cut, after the delay") << cutStarts + 0.16 << true;
    const double cutEnds = 46.0 + 0.5 / 4.0;
    QTest::newRow("fuel back, before the delay") << cutEnds + 0.2 << true;
    QTest::newRow("fuel back, after the delay") << cutEnds + 0.32 << false;
}

void TestSimMixture::readingLagsTheFuelCut() {
    QFETCH(double, cycleSecond);
    QFETCH(bool, lean);
    Wire wire = tuneAtNeed();
    wire[2] = wireFromPlain(255);
    wire[3] = wireFromPlain(255);
    const SimMixture::UnitTune tune = SimMixture::decodeTune(wire);
    const SimEngineModel engine(5);
    for (int cycle = 3; cycle < 8; ++cycle) {
        const double volts = engine.roadStateAt(cycle * SimEngineModel::kRoadCycleSeconds + cycleSecond, tune)
                                 .lambdaHundredths /
                             100;
        QVERIFY2(lean ? volts < 0.1 : volts > 0.8,
                 qPrintable(QStringLiteral("cycle %1: %2 V").arg(cycle).arg(volts)));
    }
}

// Off by default (the blips stay as they were); the road cycle's reading depends on the tune.
void TestSimMixture::roadCycleIsSwitchedOn() {
    QVERIFY(!SimConfig{}.mixtureFollowsTune);
    const SimEngineModel engine(1);
    const SimMixture::UnitTune lean = SimMixture::decodeTune(tuneAtNeed(-10, -10, -10));
    const SimMixture::UnitTune rich = SimMixture::decodeTune(tuneAtNeed(10, 10, 10));
    bool differs = false;
    for (double t = 30; t < 40; t += 0.04)
        differs |=
            engine.roadStateAt(t, lean).lambdaHundredths != engine.roadStateAt(t, rich).lambdaHundredths;
    QVERIFY(differs);
    QCOMPARE(engine.frameAt(12.34), SimEngineModel(1).frameAt(12.34));
}

// Over the pty: idling, the injector pulse the unit reports grows as soon as the idle jet is opened.
void TestSimMixture::unitOnThePtyAnswersASetMessage() {
    SimConfig config;
    config.mixtureFollowsTune = true;
    EmuSimulator sim(config);
    QVERIFY(sim.start());
    PtyClient client(sim.devicePath());
    QVERIFY(client.isOpen());
    const auto pulseTenths = [&client]() -> int {
        if (!client.send(QByteArray(1, static_cast<char>(EmuCommand::kRealTimeFrame))))
            return -1;
        const QByteArray frame = client.read(10, 1000);
        return frame.size() == 10 ? static_cast<std::uint8_t>(frame.at(8)) - 1 : -1;
    };
    const int before = pulseTenths();
    QVERIFY(before > 15 && before < 35);
    QVERIFY(client.send(QByteArray("\xF2\x02\xFF", 3)));
    QVERIFY(sim.waitForCommands(2, 1000));
    const int after = pulseTenths();
    QVERIFY2(after >= before * 1.25, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
}

QTEST_GUILESS_MAIN(TestSimMixture)
#include "tst_simmixture.moc"
