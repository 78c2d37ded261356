#pragma once

#include <QByteArray>

#include <cstdint>

// A small engine for the live frames: idle near 900 RPM with some jitter, a blip of the throttle
// every few seconds that takes the revs to 4500-6000 RPM, manifold vacuum following the throttle,
// water warming from 20 to 85 C over two minutes. The same seed and time give the same frame.
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

    explicit SimEngineModel(std::uint32_t seed = 1) : seed_(seed) {}

    State stateAt(double seconds) const;

    // The 10-byte real-time frame in wire form: each plain byte (clamped to 0..254) plus 1.
    QByteArray frameAt(double seconds) const;
    static QByteArray encode(const State& state);

  private:
    double noise(std::int64_t slot, int channel) const; // 0..1

    std::uint32_t seed_;
};
