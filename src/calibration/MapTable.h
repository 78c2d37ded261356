#pragma once

#include <array>
#include <cstdint>

// The ten maps as one table. Decode, build, plotting and tuning are each one loop over it.
// Listed in image order (the order of their regions in the image).
enum class MapId {
    Timing,
    VacuumTiming,
    FuelVacuum,
    FuelRpmCruise,
    WaterTemp,
    AirTempFuel,
    Voltage,
    FuelRpmLow,
    FuelRpmHigh,
    AirTempTiming,
};
constexpr int kMapCount = 10;

enum class MapFamily { Timing, Vacuum, Fuel };

struct MapInfo {
    MapId id;
    const char* name; // the array's name, e.g. "TimingMap"
    int points;       // region length (the timing region holds 100; the chart uses TimingPointCount)
    int imageOffset;  // first image offset of point 1
    int plainOffset;  // plain byte = value + plainOffset (0, 15 or 100)
    MapFamily family;
    std::uint8_t pointCommand; // single-point write command byte
    int firstPointId;          // point id of point 1 within the command's group
    double minValue;           // accepted value range when tuning
    double maxValue;
    const char* chart; // chart that shows it
};

const std::array<MapInfo, kMapCount>& mapTable();
const MapInfo& mapInfo(MapId id);
inline int mapIndex(MapId id) {
    return static_cast<int>(id);
}

// Scale values that place the points on their x axes.
struct MapScales {
    int rpmRange = 7000;       // RPM
    int vacuumRange = 10;      // tenths of the vacuum axis unit
    int timingPointCount = 70; // nearest integer of rpmRange / 100, at most 100
};

// The lengths of the two scaled axes: the RPM axis in hundreds of RPM, the vacuum axis in its unit.
double rpmAxisLength(const MapScales& scales);
double vacuumAxisLength(const MapScales& scales);

// Each map places its points on a straight line: x = (i + shift) * span / divisions + offset.
// mapPointX and mapPointAt are the two directions of that one line.
// X of point i (1-based) of a map, with the formulas of the charts.
double mapPointX(MapId id, int i, const MapScales& scales);
// The point (unrounded, 1-based) at x; not finite when the axis has no length.
double mapPointAt(MapId id, double x, const MapScales& scales);

// Number of points a chart shows (timing: TimingPointCount; others: the region length).
int mapShownPoints(MapId id, const MapScales& scales);
