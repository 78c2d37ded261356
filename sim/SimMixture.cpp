#include "SimMixture.h"

#include "mixture/FuelPoints.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace SimMixture {

namespace {

constexpr double kRpmRangeHundreds = 80.0; // the axis the need is drawn on (the base tune's range)
constexpr int kJetNeutral = 128;
constexpr double kJetPercentPerStep = 0.25;
constexpr double kSwitchWidthPercent = 0.5;

double factor(double percent) {
    return 1.0 + percent / 100.0;
}

// The idle jet works at idle and fades out by 2000 RPM; the main jet everywhere above.
double idleShare(double rpm) {
    return std::clamp((2000.0 - rpm) / 800.0, 0.0, 1.0);
}

} // namespace

UnitTune decodeTune(const std::array<std::uint8_t, kImageSize>& wire, int model) {
    UnitTune t;
    t.cal.ReceivedImage = wire;
    std::copy_n(wire.begin(), kSetupBlockSize, t.cal.SetupBlock.begin());
    setFamiliesForModel(t.cal, model);
    deriveSetupValues(t.cal);
    decodeImage(t.cal);
    t.settings = liveSettings(t.cal);
    return t;
}

UnitTune decodeTune(const std::array<std::uint8_t, kImageReplySize>& wire, int model) {
    std::array<std::uint8_t, kImageSize> whole{};
    std::copy(wire.begin(), wire.end(), whole.begin());
    return decodeTune(whole, model);
}

// The base tune's shapes with the deviations a real engine has from them, up to about 2 %.
double need(MapId map, double x) {
    const double r = x / kRpmRangeHundreds;
    switch (map) {
    case MapId::FuelVacuum:
        return -3.0 + 7.0 * x * x;
    case MapId::FuelRpmLow:
        return 2.0 - 2.0 * r + 1.2 * std::cos(x / 7.0);
    case MapId::FuelRpmCruise:
        return 2.0 * std::sin(std::numbers::pi * r) + 1.5 * std::sin(x / 9.0);
    case MapId::FuelRpmHigh:
        return 4.0 + 2.0 * r + 2.0 * std::sin(x / 13.0 + 1.0);
    case MapId::WaterTemp: // a cold engine wants more than the base curve gives
        return std::max(0.0, 20.0 * (1.0 - (x - 5.0) / 65.0)) + std::max(0.0, 6.0 * (60.0 - x) / 60.0);
    case MapId::AirTempFuel:
        return (20.0 - x) / 15.0;
    case MapId::Voltage:
        return std::max(0.0, (13.5 - x) * 4.0);
    default:
        return 0.0;
    }
}

double deliveredPercent(const UnitTune& tune, FuelCurve band, const OperatingPoint& op) {
    const CalibrationData& cal = tune.cal;
    const double idle = idleShare(op.rpm);
    const double jet =
        idle * (cal.IdleJetTrim - kJetNeutral) + (1.0 - idle) * (cal.MainJetTrim - kJetNeutral);
    const int p = FuelPoints::rpmPoint(op.rpm, cal.RpmRange);
    const int v = FuelPoints::vacuumPoint(op.vacuumBar, cal.VacuumRange);
    const double f = factor(jet * kJetPercentPerStep) * factor(cal.map(FuelPoints::rpmMapOf(band))[p]) *
                     factor(cal.map(MapId::FuelVacuum)[v]) *
                     factor(cal.map(MapId::WaterTemp)[FuelPoints::waterPoint(op.waterC)]) *
                     factor(cal.map(MapId::AirTempFuel)[FuelPoints::airPoint(op.airC)]) *
                     factor(cal.map(MapId::Voltage)[FuelPoints::voltagePoint(op.batteryV)]);
    return 100.0 * f;
}

double neededPercent(FuelCurve band, const OperatingPoint& op) {
    const double f = factor(need(FuelPoints::rpmMapOf(band), op.rpm / 100.0)) *
                     factor(need(MapId::FuelVacuum, op.vacuumBar)) *
                     factor(need(MapId::WaterTemp, op.waterC)) * factor(need(MapId::AirTempFuel, op.airC)) *
                     factor(need(MapId::Voltage, op.batteryV));
    return 100.0 * f;
}

double mixtureErrorPercent(const UnitTune& tune, FuelCurve band, const OperatingPoint& op) {
    return 100.0 * (deliveredPercent(tune, band, op) / neededPercent(band, op) - 1.0);
}

double sensorVolts(double errorPercent) {
    return 0.1 + 0.8 / (1.0 + std::exp(-errorPercent / kSwitchWidthPercent));
}

double transportDelaySeconds(double rpm) {
    return 0.3 - 0.2 * std::clamp((rpm - 1000.0) / 5000.0, 0.0, 1.0);
}

} // namespace SimMixture
