#include "SimEngineModel.h"

#include "calibration/Rounding.h"
#include "link/EmuProtocol.h"
#include "mixture/FuelPoints.h"

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

namespace {

double smoothStep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

double ramp(double from, double to, double x) {
    return from + (to - from) * std::clamp(x, 0.0, 1.0);
}

} // namespace

// One minute of the road cycle, u seconds into it:
//   0-8 idle, 8-11 pull to cruise, 11-29 cruise sweeping the revs up and down, 29-40 high load,
//   40-46 overrun (throttle shut, fuel cut), 46-55 light load, 55-60 back to idle.
SimEngineModel::Drive SimEngineModel::driveAt(double seconds) const {
    const double t = std::max(0.0, seconds);
    const auto cycle = static_cast<std::int64_t>(std::floor(t / kRoadCycleSeconds));
    const double u = t - cycle * kRoadCycleSeconds;
    const double cruiseLow = 21.0 + 5.0 * noise(cycle, 11);
    const double cruiseHigh = 38.0 + 8.0 * noise(cycle, 12);
    const double peak = 64.0 + 8.0 * noise(cycle, 13);
    const double cruiseThrottle = 24.0 + 10.0 * noise(cycle, 14);
    const double overrunFloor = 18.0;
    const double overrunEnd = overrunFloor + (peak - overrunFloor) * std::exp(-6.0 / 1.8);

    const auto throttleAt = [&](double x) {
        if (x < 8.0)
            return kIdleThrottle;
        if (x < 11.0)
            return ramp(kIdleThrottle, cruiseThrottle, (x - 8.0) / 0.3);
        if (x < 29.0)
            return cruiseThrottle + 6.0 * std::sin(2.0 * std::numbers::pi * (x - 11.0) / 9.0);
        if (x < 40.0)
            return ramp(cruiseThrottle, 85.0, (x - 29.0) / 0.4);
        if (x < 46.0)
            return ramp(85.0, 0.0, (x - 40.0) / 0.2);
        if (x < 55.0)
            return ramp(0.0, 4.0, (x - 46.0) / 0.5);
        return ramp(4.0, kIdleThrottle, (x - 55.0) / 0.5);
    };

    double rpm = kIdleRpmHundreds;
    if (u < 8.0)
        rpm = kIdleRpmHundreds;
    else if (u < 11.0)
        rpm = kIdleRpmHundreds + (cruiseLow - kIdleRpmHundreds) * smoothStep((u - 8.0) / 3.0);
    else if (u < 29.0)
        rpm = cruiseLow + (cruiseHigh - cruiseLow) * (1.0 - std::abs((u - 11.0) / 9.0 - 1.0));
    else if (u < 40.0)
        rpm = cruiseLow + (peak - cruiseLow) * std::pow((u - 29.0) / 11.0, 0.8);
    else if (u < 46.0)
        rpm = overrunFloor + (peak - overrunFloor) * std::exp(-(u - 40.0) / 1.8);
    else if (u < 55.0)
        rpm = overrunEnd + (15.0 - overrunEnd) * (u - 46.0) / 9.0 +
              8.0 * std::sin(std::numbers::pi * (u - 46.0) / 9.0);
    else
        rpm = kIdleRpmHundreds + 6.0 * std::exp(-(u - 55.0) / 1.0);
    const auto tenth = static_cast<std::int64_t>(std::floor(t * 10.0));
    rpm += 0.6 * (noise(tenth, 4) - 0.5);

    Drive d;
    d.rpmHundreds = rpm;
    d.throttlePercent = throttleAt(u);
    d.vacuumFraction =
        std::clamp(0.22 + 0.75 * d.throttlePercent / 100.0 + 0.01 * (noise(tenth, 5) - 0.5), 0.2, 1.0);
    d.waterC = 20.0 + 65.0 * std::min(1.0, t / kRoadWarmUpSeconds);
    d.fuelCut = d.throttlePercent < 1.0 && rpm > 15.0;
    // The throttle's travel over the last 0.3 s: an opening is met by the accelerator pump's
    // extra fuel, a closing leans the mixture for a moment.
    const double rate = (d.throttlePercent - throttleAt(std::max(0.0, u - 0.3))) / 0.3; // percent a second
    if (rate > 20.0)
        d.transientPercent = 12.0 * std::min(1.0, (rate - 20.0) / 100.0);
    else if (rate < -20.0)
        d.transientPercent = -6.0 * std::min(1.0, (-rate - 20.0) / 100.0);
    return d;
}

SimMixture::OperatingPoint SimEngineModel::operatingPoint(const Drive& drive,
                                                          const SimMixture::UnitTune& tune) {
    SimMixture::OperatingPoint op;
    op.rpm = drive.rpmHundreds * 100.0;
    // The unit's own reading of its sensor byte.
    const int vacuumByte = std::clamp(roundHalfEven(drive.vacuumFraction * 255.0), 0, 254);
    op.vacuumBar = vacuumByte / 255.0 * (tune.cal.VacuumRange / 10.0);
    op.waterC = drive.waterC;
    op.airC = 25.0;
    op.batteryV = 13.8;
    return op;
}

FuelCurve SimEngineModel::bandOf(const SimMixture::OperatingPoint& op, const SimMixture::UnitTune& tune) {
    return FuelPoints::bandFor(op.vacuumBar, tune.settings.lowThrottleVacuum,
                               tune.settings.highThrottleVacuum);
}

SimEngineModel::State SimEngineModel::roadStateAt(double seconds, const SimMixture::UnitTune& tune) const {
    const double t = std::max(0.0, seconds);
    const Drive now = driveAt(t);
    const SimMixture::OperatingPoint opNow = operatingPoint(now, tune);
    // The exhaust the sensor sees left the cylinder a transport delay ago.
    const double burnt = t - SimMixture::transportDelaySeconds(opNow.rpm);
    const Drive then = driveAt(burnt);
    const SimMixture::OperatingPoint opThen = operatingPoint(then, tune);

    const auto slot = static_cast<std::int64_t>(std::floor(t / 0.04));
    // Cycle-to-cycle spread of the mixture: normal, 1.5 % standard deviation.
    const double u1 = std::max(1e-12, noise(slot, 8));
    const double spread =
        1.5 * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * noise(slot, 9));
    const double electrical = 0.03 * (noise(slot, 10) - 0.5);
    double volts = 0;
    if (t < kSensorHeatSeconds)
        volts = 0.02 + electrical / 2.0;
    else if (then.fuelCut)
        volts = 0.06 + electrical / 2.0;
    else
        volts = SimMixture::sensorVolts(SimMixture::mixtureErrorPercent(tune, bandOf(opThen, tune), opThen) +
                                        then.transientPercent + spread) +
                electrical;

    State st{};
    st.rpmHundreds = now.rpmHundreds;
    st.throttlePercent = now.throttlePercent;
    st.vacuumFraction = now.vacuumFraction;
    st.lambdaHundredths = std::clamp(volts * 100.0, 0.0, 254.0);
    st.waterC = now.waterC;
    st.airC = opNow.airC;
    st.potPercent = 50.0;
    st.batteryTenths = opNow.batteryV * 10.0;
    const double basePulseMs = 2.0 + 8.0 * (now.vacuumFraction - 0.2) / 0.8;
    st.injectorTenthsMs =
        now.fuelCut
            ? 0.0
            : basePulseMs * SimMixture::deliveredPercent(tune, bandOf(opNow, tune), opNow) / 100.0 * 10.0;
    return st;
}

QByteArray SimEngineModel::roadFrameAt(double seconds, const SimMixture::UnitTune& tune) const {
    return encode(roadStateAt(seconds, tune));
}
