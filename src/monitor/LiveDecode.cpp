#include "monitor/LiveDecode.h"
#include "link/ImageLayout.h"
#include "link/SetupIds.h"

#include "calibration/Rounding.h"

#include <algorithm>
#include <cmath>

namespace {

// A check box stored as plain 2 (wire 3) is ticked.
constexpr std::uint8_t kCheckedByte = 3;

double plain(std::uint8_t wire) {
    return plainFromWire(wire);
}

} // namespace

void LiveFrameBuffer::take(const QByteArray& reply) {
    int copied = 0;
    while (copied < kFrameBytes && copied < reply.size() && reply.at(copied) != 0) {
        bytes_[static_cast<size_t>(copied)] = static_cast<std::uint8_t>(reply.at(copied));
        ++copied;
    }
    bytes_[static_cast<size_t>(copied)] = 0;
}

bool LiveFrameBuffer::isWhole(const QByteArray& reply) {
    if (reply.size() < kDecodedBytes)
        return false;
    for (int i = 0; i < kDecodedBytes; ++i)
        if (reply.at(i) == 0)
            return false;
    return true;
}

LiveSettings liveSettings(const CalibrationData& cal) {
    LiveSettings s;
    s.vacuumRange = cal.VacuumRange;
    s.rpmRange = cal.RpmRange;
    s.timingPointCount = cal.TimingPointCount;
    const auto& setup = cal.SetupBlock;
    s.mapSensor = setup[SetupId::MapSensor] == kCheckedByte;
    s.twoStroke = setup[SetupId::TwoStroke] == kCheckedByte;
    // The vacuum thresholds show 0.1 and 0.9 for a zero byte, as the Setup page fills them.
    const auto threshold = [&](int offset, double whenZero) {
        const std::uint8_t b = setup[static_cast<size_t>(offset)];
        return b <= 1 ? whenZero : plain(b) / 100.0;
    };
    s.lowThrottleVacuum = threshold(SetupId::LowVacuum, 0.1);
    s.highThrottleVacuum = threshold(SetupId::HighVacuum, 0.9);
    const std::uint8_t target = setup[SetupId::TargetVolts];
    if (target > 1 && target != 255)
        s.lambdaTarget = plain(target) / 100.0;
    return s;
}

namespace LiveDecode {

double roundHundredths(double x) {
    if (!std::isfinite(x))
        return 0;
    return roundHalfEven(x * 100.0) / 100.0;
}

int clampedPoint(double x, int lo, int hi) {
    if (std::isnan(x) || x <= lo)
        return lo;
    if (x >= hi)
        return hi;
    return std::clamp(roundHalfEven(x), lo, hi);
}

void decodeFrame(const LiveFrameBuffer& frame, int vacuumRange, LiveValues& live) {
    live.RpmHundreds = plain(frame.at(0));
    live.Vacuum =
        roundHundredths(plain(frame.at(1)) / 255.0 * vacuumAxisLength(MapScales{.vacuumRange = vacuumRange}));
    live.ThrottlePercent = plain(frame.at(2));
    live.LambdaHundredths = plain(frame.at(3));
    live.WaterTemp = plain(frame.at(4));
    live.AirTemp = static_cast<double>(frame.at(5)) - 21.0;
    live.PotPercent = roundHundredths(plain(frame.at(6)) / 255.0 * 100.0);
    live.BatteryTenths = plain(frame.at(7));
    live.InjectorTenthsMs = plain(frame.at(8));
    live.received = true;
}

double liveTiming(const LiveValues& live, const CalibrationData& cal, const LiveSettings& s) {
    const int points = std::clamp(s.timingPointCount, 1, kMaxMapPoints);
    const MapScales scales{s.rpmRange, s.vacuumRange, points};
    // A zero range (no sensor scale loaded) puts the reading on the first point, never NaN.
    const double rpmPoint = s.rpmRange > 0 ? mapPointAt(MapId::Timing, live.RpmHundreds, scales) : 0.0;
    const double vacuumPoint = s.vacuumRange > 0 ? mapPointAt(MapId::VacuumTiming, live.Vacuum, scales) : 0.0;
    const double airPoint = mapPointAt(MapId::AirTempTiming, live.AirTemp, scales);
    const int p = clampedPoint(rpmPoint, 1, points);
    const int v = clampedPoint(vacuumPoint, 1, mapInfo(MapId::VacuumTiming).points);
    const int a = clampedPoint(airPoint, 1, mapInfo(MapId::AirTempTiming).points);
    double timing = cal.map(MapId::Timing)[static_cast<size_t>(p)] +
                    cal.map(MapId::VacuumTiming)[static_cast<size_t>(v)] +
                    cal.map(MapId::AirTempTiming)[static_cast<size_t>(a)];
    if (!s.mapSensor)
        timing -= 1.0;
    return timing;
}

int injectorDuty(const LiveValues& live, bool twoStroke, int previous) {
    if (live.RpmHundreds == 0)
        return previous;
    const double pulseSeconds = live.InjectorTenthsMs / 100.0 / 100.0 / 2.0;
    const double turnSeconds = 60.0 / (live.RpmHundreds * 100.0);
    return roundHalfEven(pulseSeconds / turnSeconds * 100.0) * (twoStroke ? 2 : 1);
}

LambdaHalves lambdaHalves(double lambda) {
    LambdaHalves h;
    if (lambda >= 50)
        h.right = roundHalfEven(lambda - 50);
    if (lambda <= 50)
        h.left = roundHalfEven(50 - lambda);
    return h;
}

FuelCurve trackedCurve(double vacuum, double low, double high) {
    if (vacuum < low)
        return FuelCurve::Low;
    if (vacuum > high)
        return FuelCurve::High;
    if (vacuum > low && vacuum < high)
        return FuelCurve::Cruise;
    return FuelCurve::None;
}

void update(LiveValues& live, const LiveFrameBuffer& frame, const CalibrationData& cal) {
    const LiveSettings s = liveSettings(cal);
    decodeFrame(frame, s.vacuumRange, live);
    live.LiveTiming = liveTiming(live, cal, s);
    live.InjectorDuty = injectorDuty(live, s.twoStroke, live.InjectorDuty);
}

} // namespace LiveDecode
