#include "SimEngineModel.h"

#include "calibration/Rounding.h"
#include "link/EmuProtocol.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kIdleRpmHundreds = 9.0;
constexpr double kIdleThrottle = 2.0;
constexpr double kWarmUpSeconds = 120.0;

// splitmix64: a good spread from a plain counter.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint8_t wireByte(double plain) {
    return wireFromPlain(std::clamp(roundHalfEven(plain), 0, 254));
}

} // namespace

double SimEngineModel::noise(std::int64_t slot, int channel) const {
    const std::uint64_t key = (static_cast<std::uint64_t>(seed_) << 40) ^
                              (static_cast<std::uint64_t>(channel) << 56) ^ static_cast<std::uint64_t>(slot);
    return static_cast<double>(mix(key) >> 11) / static_cast<double>(1ull << 53);
}

SimEngineModel::State SimEngineModel::stateAt(double seconds) const {
    const double t = std::max(0.0, seconds);
    const auto cycle = static_cast<std::int64_t>(std::floor(t / kCycleSeconds));
    const double blipStart = 2.0 + 2.0 * noise(cycle, 1);
    const double peakRpm = 45.0 + 15.0 * noise(cycle, 2);
    const double peakThrottle = 50.0 + 50.0 * noise(cycle, 3);
    const double s = t - cycle * kCycleSeconds - blipStart; // seconds into this cycle's blip

    // Throttle: snapped open, held, closed again.
    double throttle = kIdleThrottle;
    if (s >= 0 && s < 0.15)
        throttle += (peakThrottle - kIdleThrottle) * s / 0.15;
    else if (s >= 0.15 && s < 0.65)
        throttle = peakThrottle;
    else if (s >= 0.65 && s < 0.85)
        throttle = peakThrottle - (peakThrottle - kIdleThrottle) * (s - 0.65) / 0.2;

    // Revs lag the throttle and fall back slowly.
    const auto tenth = static_cast<std::int64_t>(std::floor(t * 10.0));
    double rpm = kIdleRpmHundreds + 1.2 * (noise(tenth, 4) - 0.5);
    if (s >= 0 && s < 0.7)
        rpm += (peakRpm - kIdleRpmHundreds) * std::sin(std::numbers::pi / 2 * s / 0.7);
    else if (s >= 0.7)
        rpm += (peakRpm - kIdleRpmHundreds) * std::exp(-(s - 0.7) / 0.5);

    State st{};
    st.rpmHundreds = rpm;
    st.throttlePercent = throttle;
    st.vacuumFraction = std::clamp(0.25 + 0.75 * throttle / 100.0 + 0.02 * (noise(tenth, 5) - 0.5), 0.2, 1.0);
    const double rich = throttle > 20.0 ? 25.0 : 0.0;
    st.lambdaHundredths = std::clamp(45.0 + 30.0 * std::sin(2 * std::numbers::pi * t / 1.1) +
                                         10.0 * (noise(tenth, 6) - 0.5) + rich,
                                     5.0, 95.0);
    st.waterC = 20.0 + 65.0 * std::min(1.0, t / kWarmUpSeconds);
    st.airC = 25.0;
    st.potPercent = 50.0;
    st.batteryTenths = 138.0 + 2.4 * (noise(tenth, 7) - 0.5);
    st.injectorTenthsMs =
        std::clamp(20.0 + 55.0 * throttle / 100.0 + 5.0 * (rpm - kIdleRpmHundreds) / 50.0, 20.0, 80.0);
    return st;
}

QByteArray SimEngineModel::encode(const State& st) {
    QByteArray frame(EmuLength::kRealTimeFrame, '\0');
    const double plain[EmuLength::kRealTimeFrame] = {
        st.rpmHundreds, st.vacuumFraction * 255.0,     st.throttlePercent, st.lambdaHundredths, st.waterC,
        st.airC + 20.0, st.potPercent / 100.0 * 255.0, st.batteryTenths,   st.injectorTenthsMs, 0.0,
    };
    for (int i = 0; i < EmuLength::kRealTimeFrame; ++i)
        frame[i] = static_cast<char>(wireByte(plain[i]));
    return frame;
}

QByteArray SimEngineModel::frameAt(double seconds) const {
    return encode(stateAt(seconds));
}
