#include "mixture/MixtureAnalysis.h"

#include "calibration/Rounding.h"
#include "mixture/FuelPoints.h"
#include "monitor/LiveDecode.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using LogChannels::kLambda;
using LogChannels::kRpm;
using LogChannels::kThrottle;
using LogChannels::kVacuum;
using LogChannels::kWater;
constexpr int kInjector = LogChannels::kInjectorPulse;

constexpr MapId kCurves[] = {MapId::FuelRpmLow, MapId::FuelRpmCruise, MapId::FuelRpmHigh, MapId::FuelVacuum};
constexpr int kCurveCount = 4;
constexpr int kVacuumCurve = 3;

int curveIndexOf(FuelCurve band) {
    switch (band) {
    case FuelCurve::Low:
        return 0;
    case FuelCurve::High:
        return 2;
    default:
        return 1;
    }
}

// The readings on one point, in the order they came: -1 lean, +1 rich, 0 near the target.
struct PointReadings {
    std::vector<std::int8_t> sides;
    std::int64_t inSwitchZone = 0;
    double sumVolts = 0;
    MixtureRejectCounts rejects{};
};

struct Balance {
    double lean = 0;
    double rich = 0;
};

Balance balanceOf(const std::vector<std::int8_t>& sides, size_t from, size_t to) {
    Balance b;
    if (to <= from)
        return b;
    for (size_t i = from; i < to; ++i) {
        b.lean += sides[i] < 0;
        b.rich += sides[i] > 0;
    }
    const double n = static_cast<double>(to - from);
    b.lean /= n;
    b.rich /= n;
    return b;
}

MixturePoint summarise(MapId map, int point, const PointReadings& r, bool adjusted,
                       const CalibrationData& cal, const MixtureOptions& o) {
    MixturePoint p;
    p.point = point;
    p.axis = mapPointX(map, point, cal.scales());
    p.current = cal.map(map)[static_cast<size_t>(point)];
    p.suggested = p.current;
    p.rejects = r.rejects;
    p.hits = static_cast<std::int64_t>(r.sides.size());
    if (p.hits == 0)
        return p;
    const Balance all = balanceOf(r.sides, 0, r.sides.size());
    p.leanShare = all.lean;
    p.richShare = all.rich;
    p.meanVolts = r.sumVolts / static_cast<double>(p.hits);
    if (p.hits < o.lowHits) {
        p.confidence = MixtureConfidence::Low;
        p.verdict = MixtureVerdict::TooFew;
        return p;
    }
    const size_t half = r.sides.size() / 2;
    const Balance first = balanceOf(r.sides, 0, half);
    const Balance second = balanceOf(r.sides, half, r.sides.size());
    const bool steady =
        std::abs((first.rich - first.lean) - (second.rich - second.lean)) <= o.steadyTolerance;
    p.confidence = p.hits >= o.highHits && steady ? MixtureConfidence::High : MixtureConfidence::Medium;
    // A working sensor swings through its middle quickly; resting there it tells nothing.
    if (static_cast<double>(r.inSwitchZone) / static_cast<double>(p.hits) >= 0.5) {
        p.verdict = MixtureVerdict::NoInformation;
        return p;
    }
    const double balance = all.rich - all.lean;
    if (std::abs(balance) < o.deadband) {
        p.verdict = MixtureVerdict::OnTarget;
        return p;
    }
    p.verdict = balance < 0 ? MixtureVerdict::Lean : MixtureVerdict::Rich;
    if (!adjusted)
        return p;
    // The sensor cannot say how far off a point is, only how steadily it reads one side; with the
    // cycle-to-cycle spread of a real engine that grows with the distance from the switching point.
    // A point that (almost) never switches moves the whole step, one that mostly reads one side less.
    const double strength = (std::abs(balance) - o.deadband) / std::max(1e-9, o.fullBalance - o.deadband);
    const int maxStep = std::max(1, o.maxStep);
    int step = std::min(maxStep, 1 + static_cast<int>(std::floor(strength * (maxStep - 1))));
    if (p.confidence != MixtureConfidence::High)
        step = 1;
    const MapInfo& info = mapInfo(map);
    const double current = roundHalfEven(p.current);
    p.suggested = std::clamp(current + (balance < 0 ? step : -step), info.minValue, info.maxValue);
    p.step = roundHalfEven(p.suggested - current);
    if (p.step == 0)
        p.suggested = p.current;
    return p;
}

} // namespace

QString mixtureRejectText(MixtureReject reason) {
    switch (reason) {
    case MixtureReject::Gap:
        return QStringLiteral("no data (unit silent)");
    case MixtureReject::AfterGap:
        return QStringLiteral("settling after a silence");
    case MixtureReject::BeforeStart:
        return QStringLiteral("exhaust from before the log");
    case MixtureReject::NotMeasured:
        return QStringLiteral("channel not measured");
    case MixtureReject::EngineStopped:
        return QStringLiteral("engine stopped");
    case MixtureReject::SensorRange:
        return QStringLiteral("lambda sensor cold or open");
    case MixtureReject::Cold:
        return QStringLiteral("engine cold");
    case MixtureReject::Overrun:
        return QStringLiteral("overrun (injector off)");
    case MixtureReject::ThrottleMoving:
        return QStringLiteral("throttle moving (acceleration enrichment)");
    }
    return {};
}

QString mixtureRejectKey(MixtureReject reason) {
    switch (reason) {
    case MixtureReject::Gap:
        return QStringLiteral("gap");
    case MixtureReject::AfterGap:
        return QStringLiteral("after_gap");
    case MixtureReject::BeforeStart:
        return QStringLiteral("before_start");
    case MixtureReject::NotMeasured:
        return QStringLiteral("not_measured");
    case MixtureReject::EngineStopped:
        return QStringLiteral("engine_stopped");
    case MixtureReject::SensorRange:
        return QStringLiteral("sensor_range");
    case MixtureReject::Cold:
        return QStringLiteral("cold");
    case MixtureReject::Overrun:
        return QStringLiteral("overrun");
    case MixtureReject::ThrottleMoving:
        return QStringLiteral("throttle_moving");
    }
    return {};
}

QString mixtureConfidenceText(MixtureConfidence c) {
    switch (c) {
    case MixtureConfidence::None:
        return QStringLiteral("none");
    case MixtureConfidence::Low:
        return QStringLiteral("low");
    case MixtureConfidence::Medium:
        return QStringLiteral("medium");
    case MixtureConfidence::High:
        return QStringLiteral("high");
    }
    return {};
}

QString mixtureVerdictText(MixtureVerdict v) {
    switch (v) {
    case MixtureVerdict::NoHits:
        return QStringLiteral("not visited");
    case MixtureVerdict::TooFew:
        return QStringLiteral("too few hits");
    case MixtureVerdict::NoInformation:
        return QStringLiteral("no information");
    case MixtureVerdict::OnTarget:
        return QStringLiteral("switching");
    case MixtureVerdict::Lean:
        return QStringLiteral("lean");
    case MixtureVerdict::Rich:
        return QStringLiteral("rich");
    }
    return {};
}

int MixtureResult::suggestionCount() const {
    int n = 0;
    for (const MixtureCurve& c : curves)
        for (const MixturePoint& p : c.points)
            n += p.step != 0;
    return n;
}

int mixtureDelayMs(double rpm, const MixtureOptions& o) {
    const double share = std::clamp((rpm - 1000.0) / 5000.0, 0.0, 1.0);
    return roundHalfEven(o.delayIdleMs - (o.delayIdleMs - o.delayFastMs) * share);
}

MixtureResult analyseMixture(const DataLog& log, const CalibrationData& cal, const MixtureOptions& o) {
    const LiveSettings settings = liveSettings(cal);
    MixtureResult result;
    result.samples = log.size();
    result.targetVolts = settings.lambdaTarget;
    const std::int64_t n = log.size();

    // Per row: a silence, the band the unit was in, when the line came back after the last silence
    // and when the throttle last moved fast.
    constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min() / 2;
    std::vector<bool> gap(static_cast<size_t>(n));
    std::vector<FuelCurve> band(static_cast<size_t>(n), FuelCurve::None);
    std::vector<std::int64_t> resumedMs(static_cast<size_t>(n), kNever);
    std::vector<std::int64_t> movedMs(static_cast<size_t>(n), kNever);
    FuelCurve previous = FuelCurve::None;
    bool silence = false;
    std::int64_t resumed = kNever;
    std::int64_t moved = kNever;
    for (std::int64_t i = 0; i < n; ++i) {
        const auto k = static_cast<size_t>(i);
        gap[k] = log.sample(i).isGap();
        const std::int64_t t = log.timeMs(i);
        if (gap[k]) {
            silence = true;
        } else {
            if (silence || (i > 0 && t - log.timeMs(i - 1) > o.gapMs))
                resumed = t;
            silence = false;
            // The log holds floats; the thresholds and the readings are hundredths of a bar.
            const double vacuum = LiveDecode::roundHundredths(log.value(i, kVacuum));
            if (!std::isnan(log.value(i, kVacuum)))
                previous = FuelPoints::bandFor(vacuum, settings.lowThrottleVacuum,
                                               settings.highThrottleVacuum, previous);
            if (i > 0 && !gap[k - 1]) {
                const double dt = (t - log.timeMs(i - 1)) / 1000.0;
                const double dThrottle = log.value(i, kThrottle) - log.value(i - 1, kThrottle);
                if (dt > 0 && std::abs(dThrottle) / dt > o.maxThrottleRate)
                    moved = t;
            }
        }
        band[k] = previous;
        resumedMs[k] = resumed;
        movedMs[k] = moved;
    }

    std::array<std::vector<PointReadings>, kCurveCount> readings;
    for (int c = 0; c < kCurveCount; ++c)
        readings[static_cast<size_t>(c)].resize(static_cast<size_t>(mapInfo(kCurves[c]).points) + 1);

    const std::int64_t firstMs = n ? log.timeMs(0) : 0;
    for (std::int64_t i = 0; i < n; ++i) {
        const auto k = static_cast<size_t>(i);
        const std::int64_t t = log.timeMs(i);
        const auto reject = [&](MixtureReject why, PointReadings* a = nullptr, PointReadings* b = nullptr) {
            ++result.rejects[static_cast<size_t>(why)];
            for (PointReadings* r : {a, b})
                if (r)
                    ++r->rejects[static_cast<size_t>(why)];
        };
        if (gap[k]) {
            reject(MixtureReject::Gap);
            continue;
        }
        if (resumedMs[k] != kNever && t - resumedMs[k] < o.settleAfterGapMs) {
            reject(MixtureReject::AfterGap);
            continue;
        }
        const float rpmNow = log.value(i, kRpm);
        const float volts = log.value(i, kLambda);
        if (std::isnan(rpmNow)) {
            reject(MixtureReject::NotMeasured);
            continue;
        }
        // The exhaust at the sensor was made one transport delay ago.
        const std::int64_t made = t - mixtureDelayMs(rpmNow, o);
        if (made < firstMs) {
            reject(MixtureReject::BeforeStart);
            continue;
        }
        const std::int64_t j = log.rowAt(static_cast<std::int32_t>(made));
        const auto kj = static_cast<size_t>(j);
        if (gap[kj] || resumedMs[k] > log.timeMs(j)) {
            reject(MixtureReject::AfterGap);
            continue;
        }
        const float rpm = log.value(j, kRpm);
        const double vacuum = LiveDecode::roundHundredths(log.value(j, kVacuum));
        const float water = log.value(j, kWater);
        const float injector = log.value(j, kInjector);
        if (std::isnan(volts) || std::isnan(rpm) || std::isnan(log.value(j, kVacuum)) || std::isnan(water) ||
            std::isnan(injector) || std::isnan(log.value(j, kThrottle))) {
            reject(MixtureReject::NotMeasured);
            continue;
        }
        PointReadings& onCurve = readings[static_cast<size_t>(curveIndexOf(band[kj]))]
                                         [static_cast<size_t>(FuelPoints::rpmPoint(rpm, cal.RpmRange))];
        PointReadings& onVacuum =
            readings[kVacuumCurve][static_cast<size_t>(FuelPoints::vacuumPoint(vacuum, cal.VacuumRange))];
        if (rpm <= 0 || rpmNow <= 0) {
            reject(MixtureReject::EngineStopped, &onCurve, &onVacuum);
            continue;
        }
        if (volts < o.minLambdaV || volts > o.maxLambdaV) {
            reject(MixtureReject::SensorRange, &onCurve, &onVacuum);
            continue;
        }
        if (water < o.minWaterC) {
            reject(MixtureReject::Cold, &onCurve, &onVacuum);
            continue;
        }
        if (injector <= 0) {
            reject(MixtureReject::Overrun, &onCurve, &onVacuum);
            continue;
        }
        if (movedMs[k] != kNever && movedMs[k] >= log.timeMs(j) - o.throttleSettleMs) {
            reject(MixtureReject::ThrottleMoving, &onCurve, &onVacuum);
            continue;
        }
        ++result.used;
        const std::int8_t side = volts < result.targetVolts - o.marginV   ? -1
                                 : volts > result.targetVolts + o.marginV ? 1
                                                                          : 0;
        const bool switchZone = volts >= o.switchLowV && volts <= o.switchHighV;
        for (PointReadings* r : {&onCurve, &onVacuum}) {
            r->sides.push_back(side);
            r->inSwitchZone += switchZone;
            r->sumVolts += volts;
        }
    }

    for (int c = 0; c < kCurveCount; ++c) {
        MixtureCurve curve;
        curve.map = kCurves[c];
        curve.adjusted = (c == kVacuumCurve) == o.adjustVacuumMap;
        const auto& onMap = readings[static_cast<size_t>(c)];
        for (int p = 1; p < static_cast<int>(onMap.size()); ++p)
            curve.points.push_back(
                summarise(curve.map, p, onMap[static_cast<size_t>(p)], curve.adjusted, cal, o));
        result.curves.push_back(std::move(curve));
    }
    return result;
}

std::vector<MixtureChange> mixtureChanges(const MixtureResult& result) {
    std::vector<MixtureChange> out;
    for (const MixtureCurve& c : result.curves)
        for (const MixturePoint& p : c.points)
            if (p.step != 0)
                out.push_back({c.map, p.point, p.current, p.suggested});
    return out;
}
