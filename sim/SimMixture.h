#pragma once

#include "calibration/CalibrationData.h"
#include "link/ImageLayout.h"
#include "monitor/LiveDecode.h"

#include <array>
#include <cstdint>

// The fuel side of the simulated engine. The unit delivers fuel by its points (the RPM curve of the
// load band, the fuel-vacuum point, the water, air and voltage corrections and the jet trims); the
// engine has a fuel need of its own, hidden from the program, which the base tune only comes close
// to. The exhaust's narrowband sensor reports the difference: about 0.1 V lean, 0.9 V rich, a steep
// switch in between.
namespace SimMixture {

// Where the engine runs, as the unit's sensors see it.
struct OperatingPoint {
    double rpm = 0;
    double vacuumBar = 0; // the manifold reading the unit decodes
    double waterC = 85;
    double airC = 25;
    double batteryV = 13.8;
};

// The unit's fuel points, decoded from its image (wire form).
struct UnitTune {
    CalibrationData cal;
    LiveSettings settings;
};
UnitTune decodeTune(const std::array<std::uint8_t, kImageSize>& wire, int model = 3);
UnitTune decodeTune(const std::array<std::uint8_t, kImageReplySize>& wire, int model = 3);

// The engine's true need for a fuel map at x on the map's own axis (RPM x 100 for the RPM curves,
// bar for the fuel-vacuum map, degrees C or volts for the corrections), in the map's unit. A tune
// whose points hold these values runs on target.
double need(MapId map, double x);

// Percent of fuel the unit gives (jet trims and every point multiplied) and the engine needs.
double deliveredPercent(const UnitTune& tune, FuelCurve band, const OperatingPoint& op);
double neededPercent(FuelCurve band, const OperatingPoint& op);
// How much richer (+) or leaner (-) than the need the unit runs, percent.
double mixtureErrorPercent(const UnitTune& tune, FuelCurve band, const OperatingPoint& op);

// The warm narrowband sensor's voltage for a mixture that far rich (+) or lean (-) of the need.
double sensorVolts(double errorPercent);

// The time from the injector to the sensor: 300 ms at idle, 100 ms from 6000 RPM up.
double transportDelaySeconds(double rpm);

} // namespace SimMixture
