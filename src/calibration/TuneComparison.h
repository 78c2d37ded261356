#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

using WireImageArray = std::array<std::uint8_t, kImageSize>;

// One side of a comparison: a unit's or a file's whole image (wire form) and its model.
struct TuneSide {
    QString name; // the file's path or the unit's device
    int model = 0;
    WireImageArray image{};
};

struct SetupDifference {
    int id = 0;
    QString label; // "Setup byte n" when the byte has no known meaning
    QString a;     // display values with units; "not present" for a 255 byte
    QString b;
};

struct PointDifference {
    MapId map = MapId::Timing;
    int point = 0;
    double position = 0; // on the map's axis, in axisUnit
    QString axisUnit;    // "RPM", "bar", "°C", "V"
    QString valueUnit;   // "°", "%"
    double a = 0;
    double b = 0;
};

struct TuneDifferences {
    bool modelsDiffer = false;
    QList<SetupDifference> setup;
    QList<PointDifference> points;
    bool empty() const { return !modelsDiffer && setup.isEmpty() && points.isEmpty(); }
};

// Every setup byte and every map point (of the map families either model holds; all of them
// for a model with none) where the two images differ. Axis positions use side a's scales.
TuneDifferences compareTunes(const TuneSide& a, const TuneSide& b);

// The axis position of a point as a tuner reads it, and its unit.
double axisPosition(MapId map, int point, const MapScales& scales);
QString axisUnit(MapId map);
QString valueUnit(MapId map);
