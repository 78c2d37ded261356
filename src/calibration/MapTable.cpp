#include "calibration/MapTable.h"

#include "link/EmuProtocol.h"

#include <algorithm>

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

double mapPointX(MapId id, int i, const MapScales& scales) {
    const double rpmAxis = scales.rpmRange / 100.0;
    const double vacuumAxis = scales.vacuumRange / 10.0;
    switch (id) {
    case MapId::Timing:
        return i * rpmAxis / std::clamp(scales.timingPointCount, 1, kTimingRegionPoints);
    case MapId::VacuumTiming:
        return i / 32.0 * vacuumAxis;
    case MapId::FuelVacuum:
        return i / 64.0 * vacuumAxis;
    case MapId::FuelRpmCruise:
    case MapId::FuelRpmLow:
    case MapId::FuelRpmHigh:
        return i * rpmAxis / 32.0;
    case MapId::WaterTemp:
        return i * 120.0 / 24.0;
    case MapId::AirTempFuel:
    case MapId::AirTempTiming:
        return (i - 1) * 120.0 / 23.0 - 20.0;
    case MapId::Voltage:
        return (i + 14) / 15.0 * 8.0;
    }
    return i;
}

int mapShownPoints(MapId id, const MapScales& scales) {
    if (id == MapId::Timing)
        return std::clamp(scales.timingPointCount, 1, kTimingRegionPoints);
    return mapInfo(id).points;
}
