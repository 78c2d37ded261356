#pragma once

#include "SimMixture.h"

#include <QByteArray>

#include <cstdint>

// A small engine for the live frames: idle near 900 RPM with some jitter, a blip of the throttle
// every few seconds that takes the revs to 4500-6000 RPM, manifold vacuum following the throttle,
// water warming from 20 to 85 C over two minutes. The same seed and time give the same frame.
//
// The road cycle (roadStateAt) is an engine that answers the unit's tune: a minute of idle, a
// pull to cruise, a cruise sweeping the revs, a pull at high load, an overrun with the fuel cut,
// light load and back to idle, each minute a little different, warming from cold over the first
// minutes. Its lambda reading follows the unit's fuel points against the engine's hidden need
// (SimMixture), seen through a narrowband sensor after the exhaust's transport delay.
class SimEngineModel {
  public:
    struct State {
        double rpmHundreds;
        double vacuumFraction; // share of the map sensor's range, 0.2..1.0
        double throttlePercent;
        double lambdaHundredths;
        double waterC;
        double airC;
        double potPercent;
        double batteryTenths;
        double injectorTenthsMs;
    };

    static constexpr double kCycleSeconds = 6.0;
    static constexpr double kRoadCycleSeconds = 60.0;
    static constexpr double kRoadWarmUpSeconds = 150.0; // water from 20 to 85 C
    static constexpr double kSensorHeatSeconds = 20.0;  // the lambda sensor reads near 0 V before

    // What the road cycle does at a moment, before the sensor: what the unit sees and does.
    struct Drive {
        double rpmHundreds = 0;
        double throttlePercent = 0;
        double vacuumFraction = 0;
        double waterC = 0;
        bool fuelCut = false;        // overrun: the injectors stay shut
        double transientPercent = 0; // accelerator-pump enrichment (+) or closing lean-out (-)
    };
    Drive driveAt(double seconds) const;
    // The unit's operating point and load band for a drive, on the tune's sensor scales.
    static SimMixture::OperatingPoint operatingPoint(const Drive& drive, const SimMixture::UnitTune& tune);
    static FuelCurve bandOf(const SimMixture::OperatingPoint& op, const SimMixture::UnitTune& tune);

    State roadStateAt(double seconds, const SimMixture::UnitTune& tune) const;
    QByteArray roadFrameAt(double seconds, const SimMixture::UnitTune& tune) const;

    explicit SimEngineModel(std::uint32_t seed = 1) : seed_(seed) {}

    State stateAt(double seconds) const;

    // The 10-byte real-time frame in wire form: each plain byte (clamped to 0..254) plus 1.
    QByteArray frameAt(double seconds) const;
    static QByteArray encode(const State& state);

  private:
    double noise(std::int64_t slot, int channel) const; // 0..1

    std::uint32_t seed_;
};
