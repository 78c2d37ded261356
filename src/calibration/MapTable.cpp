#include "calibration/MapTable.h"

#include "link/EmuProtocol.h"

#include <algorithm>
#include <limits>

namespace {

using namespace EmuCommand;

constexpr int kTimingRegionPoints = 100; // TimingPointCount is bounded to the region

// name, points, image offset, plain offset, family, command, first id, range, chart
const std::array<MapInfo, kMapCount> kMaps{{
    {MapId::Timing, "TimingMap", 100, 101, 0, MapFamily::Timing, kMapPointE8, 1, 0, 45, "TimingChart"},
    {MapId::VacuumTiming, "VacuumTimingMap", 32, 201, 15, MapFamily::Vacuum, kMapPointE8, 100, -15, 15,
     "VacuumChart"},
    {MapId::FuelVacuum, "FuelVacuumMap", 64, 233, 100, MapFamily::Fuel, kMapPointDE, 0, -50, 50,
     "FuelVacChart"},
    {MapId::FuelRpmCruise, "FuelRpmCruiseMap", 32, 297, 100, MapFamily::Fuel, kMapPointDE, 64, -50, 50,
     "FuelRPMChart"},
    {MapId::WaterTemp, "WaterTempCorrection", 24, 329, 100, MapFamily::Fuel, kMapPointD4, 0, -60, 60,
     "TempChart"},
    {MapId::AirTempFuel, "AirTempFuelCorrection", 24, 353, 100, MapFamily::Fuel, kMapPointD4, 24, -20, 20,
     "AirTmpChart"},
    {MapId::Voltage, "VoltageCorrection", 16, 377, 100, MapFamily::Fuel, kMapPointD4, 48, -50, 50,
     "VoltageChart"},
    {MapId::FuelRpmLow, "FuelRpmLowMap", 32, 393, 100, MapFamily::Fuel, kMapPointCA, 0, -50, 50,
     "FuelRPMChart"},
    {MapId::FuelRpmHigh, "FuelRpmHighMap", 32, 425, 100, MapFamily::Fuel, kMapPointCA, 32, -50, 50,
     "FuelRPMChart"},
    {MapId::AirTempTiming, "AirTempTimingCorrection", 24, 457, 100, MapFamily::Fuel, kMapPointCA, 64, -20, 20,
     "AirTmpChart"},
}};

} // namespace

const std::array<MapInfo, kMapCount>& mapTable() {
    return kMaps;
}

const MapInfo& mapInfo(MapId id) {
    return kMaps[static_cast<int>(id)];
}

double rpmAxisLength(const MapScales& scales) {
    return scales.rpmRange / 100.0;
}

double vacuumAxisLength(const MapScales& scales) {
    return scales.vacuumRange / 10.0;
}

namespace {

struct AxisLine {
    double shift = 0;
    double span = 1;
    double divisions = 1;
    double offset = 0;
};

AxisLine axisLine(MapId id, const MapScales& scales) {
    switch (id) {
    case MapId::Timing:
        return {0, rpmAxisLength(scales),
                static_cast<double>(std::clamp(scales.timingPointCount, 1, kTimingRegionPoints)), 0};
    case MapId::VacuumTiming:
        return {0, vacuumAxisLength(scales), 32, 0};
    case MapId::FuelVacuum:
        return {0, vacuumAxisLength(scales), 64, 0};
    case MapId::FuelRpmCruise:
    case MapId::FuelRpmLow:
    case MapId::FuelRpmHigh:
        return {0, rpmAxisLength(scales), 32, 0};
    case MapId::WaterTemp:
        return {0, 120, 24, 0};
    case MapId::AirTempFuel:
    case MapId::AirTempTiming:
        return {-1, 120, 23, -20};
    case MapId::Voltage:
        return {14, 8, 15, 0};
    }
    return {};
}

} // namespace

double mapPointX(MapId id, int i, const MapScales& scales) {
    const AxisLine a = axisLine(id, scales);
    return (i + a.shift) * a.span / a.divisions + a.offset;
}

double mapPointAt(MapId id, double x, const MapScales& scales) {
    const AxisLine a = axisLine(id, scales);
    if (a.span <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    return (x - a.offset) * a.divisions / a.span - a.shift;
}

int mapShownPoints(MapId id, const MapScales& scales) {
    if (id == MapId::Timing)
        return std::clamp(scales.timingPointCount, 1, kTimingRegionPoints);
    return mapInfo(id).points;
}
