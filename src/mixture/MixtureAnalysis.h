#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"
#include "monitor/DataLog.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// Mixture suggestions from a logged run. Each lambda reading is put on the fuel points that made the
// exhaust it measured, one transport delay earlier: the RPM curve of the load band by RPM, and the
// fuel-vacuum point by the manifold reading. Readings that say nothing about those points are left
// out, each counted with its reason. A narrowband sensor tells only lean or rich of its switching
// point, never by how much, so a point that reads one side steadily is moved a bounded step that way,
// and a point that switches around the target is left as it is.

// Why a sample was left out, in the order the tests are made (the first that applies counts).
enum class MixtureReject {
    Gap,            // the unit was silent: no values
    AfterGap,       // the first seconds after a silence
    BeforeStart,    // its exhaust was made before the log began
    NotMeasured,    // a channel the analysis needs is empty
    EngineStopped,  // RPM 0
    SensorRange,    // lambda outside the sensor's working range (cold or open)
    Cold,           // water below the warm threshold
    Overrun,        // injector pulse 0: the fuel cut
    ThrottleMoving, // the throttle moved fast (acceleration enrichment)
};
constexpr int kMixtureRejectCount = 9;
// A short text for tables ("throttle moving").
QString mixtureRejectText(MixtureReject reason);
// The key for scripts ("throttle_moving").
QString mixtureRejectKey(MixtureReject reason);

using MixtureRejectCounts = std::array<std::int64_t, kMixtureRejectCount>;

struct MixtureOptions {
    double minWaterC = 70;       // colder: the warm-up enrichment is at work
    double maxThrottleRate = 40; // percent a second; faster is acceleration enrichment
    int throttleSettleMs = 500;  // ... and so are the samples this long after such a move
    double minLambdaV = 0.05;    // the sensor's working range
    double maxLambdaV = 1.0;
    int settleAfterGapMs = 2000;  // left out after a silence
    int gapMs = 1000;             // two rows this far apart have a silence between them
    int delayIdleMs = 300;        // injector to sensor at 1000 RPM and below ...
    int delayFastMs = 100;        // ... and at 6000 RPM and above, in a straight line between
    double marginV = 0.05;        // lean below target - margin, rich above target + margin
    double switchLowV = 0.3;      // a working narrowband sensor passes through 0.3..0.6 V
    double switchHighV = 0.6;     // quickly and never rests there
    int lowHits = 20;             // fewer hits: low confidence, no suggestion
    int highHits = 100;           // at least this many and a steady reading: high confidence
    double steadyTolerance = 0.5; // the balance of the two halves of a point's hits differ less
    double deadband = 0.4;        // |rich share - lean share| below it: switching, on target
    double fullBalance = 0.93;    // from this balance on a point moves the whole step
    int maxStep = 3;              // a pass moves a point at most this much (map units)
    bool adjustVacuumMap = false; // which of the two maps a sample shares takes the suggestions
};

enum class MixtureConfidence { None, Low, Medium, High };
QString mixtureConfidenceText(MixtureConfidence c);

// What a point's readings say.
enum class MixtureVerdict {
    NoHits,        // never in use
    TooFew,        // too few hits to say anything
    NoInformation, // the sensor was not switching (stuck near its middle, or dead)
    OnTarget,      // switches around the target
    Lean,
    Rich,
};
QString mixtureVerdictText(MixtureVerdict v);

struct MixturePoint {
    int point = 0;      // 1-based
    double axis = 0;    // x of the point on its map's axis (RPM, bar)
    double current = 0; // the tune's value
    std::int64_t hits = 0;
    double leanShare = 0; // of the hits
    double richShare = 0;
    double meanVolts = 0;
    MixtureConfidence confidence = MixtureConfidence::None;
    MixtureVerdict verdict = MixtureVerdict::NoHits;
    int step = 0;                  // the suggested change in the map's unit: + more fuel, - less
    double suggested = 0;          // current + step, within the map's accepted range
    MixtureRejectCounts rejects{}; // left-out samples that were on this point
};

struct MixtureCurve {
    MapId map = MapId::FuelRpmCruise;
    bool adjusted = true; // false: statistics only, the pass adjusts the other map
    std::vector<MixturePoint> points;
};

struct MixtureResult {
    std::int64_t samples = 0; // rows of the log
    std::int64_t used = 0;
    MixtureRejectCounts rejects{};
    double targetVolts = 0.5;
    std::vector<MixtureCurve> curves; // Low, Cruise, High, then the fuel-vacuum map
    // The points a pass would change (step not 0), curve by curve.
    int suggestionCount() const;
};

// The transport delay assumed at an RPM.
int mixtureDelayMs(double rpm, const MixtureOptions& options);

MixtureResult analyseMixture(const DataLog& log, const CalibrationData& cal,
                             const MixtureOptions& options = {});

// One change a pass suggests.
struct MixtureChange {
    MapId map;
    int point;
    double from;
    double to;
};
std::vector<MixtureChange> mixtureChanges(const MixtureResult& result);
