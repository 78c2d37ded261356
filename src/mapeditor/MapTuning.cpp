#include "mapeditor/MapTuning.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/Rounding.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<const char*, kChartCount> kChartNames{
    "TimingChart", "VacuumChart", "FuelVacChart", "FuelRPMChart", "TempChart", "AirTmpChart", "VoltageChart"};

// Beyond any map's points; keeps a huge x from overflowing the integer conversion.
constexpr double kIndexBound = 1000;

// The map whose limits, points and formulas a chart uses (the RPM and air charts: any of their
// curves, which share them).
MapId representativeMap(ChartId chart) {
    switch (chart) {
    case ChartId::Timing:
        return MapId::Timing;
    case ChartId::Vacuum:
        return MapId::VacuumTiming;
    case ChartId::FuelVacuum:
        return MapId::FuelVacuum;
    case ChartId::FuelRpm:
        return MapId::FuelRpmCruise;
    case ChartId::Water:
        return MapId::WaterTemp;
    case ChartId::Air:
        return MapId::AirTempFuel;
    case ChartId::Voltage:
        return MapId::Voltage;
    }
    return MapId::Timing;
}

bool isVacuumChart(ChartId chart) {
    return chart == ChartId::Vacuum || chart == ChartId::FuelVacuum;
}

QString number(double x) {
    return QString::number(x, 'g', 10);
}

} // namespace

const char* chartName(ChartId chart) {
    return kChartNames[static_cast<size_t>(chart)];
}

std::optional<ChartId> chartByName(const QString& name) {
    for (int i = 0; i < kChartCount; ++i)
        if (name == QLatin1String(kChartNames[static_cast<size_t>(i)]))
            return static_cast<ChartId>(i);
    return std::nullopt;
}

double& MapEditorState::cursorX(ChartId chart) {
    switch (chart) {
    case ChartId::Timing:
        return TimingCursorX;
    case ChartId::Vacuum:
    case ChartId::FuelVacuum:
        return VacuumCursorX;
    case ChartId::FuelRpm:
        return FuelRpmCursorX;
    case ChartId::Water:
        return WaterCursorX;
    case ChartId::Air:
        return AirCursorX;
    case ChartId::Voltage:
        return VoltageCursorX;
    }
    return TimingCursorX;
}

double MapEditorState::cursorX(ChartId chart) const {
    return const_cast<MapEditorState*>(this)->cursorX(chart);
}

namespace MapTuning {

std::optional<MapId> editedMap(ChartId chart, const MapEditorState& state) {
    if (chart == ChartId::FuelRpm)
        return state.FuelRpmCurveSelection;
    if (chart == ChartId::Air)
        return state.AirTempCurveSelection;
    return representativeMap(chart);
}

int timingPointCount(const MapScales& scales) {
    return std::clamp(scales.timingPointCount, 1, kMaxMapPoints);
}

int chartPoints(ChartId chart, const MapScales& scales) {
    if (chart == ChartId::Timing)
        return timingPointCount(scales);
    return mapInfo(representativeMap(chart)).points;
}

int pointIndex(ChartId chart, double x, const MapScales& scales) {
    MapScales bounded = scales;
    bounded.timingPointCount = timingPointCount(scales);
    const double index = mapPointAt(representativeMap(chart), x, bounded);
    if (!std::isfinite(index) || std::abs(index) > kIndexBound)
        return 0;
    return roundHalfEven(index);
}

double pointX(ChartId chart, int point, const MapScales& scales) {
    MapScales bounded = scales;
    bounded.timingPointCount = timingPointCount(scales);
    return mapPointX(representativeMap(chart), point, bounded);
}

double lowerLimit(ChartId chart) {
    return mapInfo(representativeMap(chart)).minValue;
}

double upperLimit(ChartId chart) {
    return mapInfo(representativeMap(chart)).maxValue;
}

double cursorHeight(ChartId chart) {
    return upperLimit(chart);
}

std::optional<DragEdit> dragEdit(ChartId chart, double x, double y, const MapScales& scales) {
    if (!std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    // Unrounded tests: 45.3 degrees is rejected, and round(y) of what passes stays in range.
    if (y < lowerLimit(chart) || y > upperLimit(chart))
        return std::nullopt;
    const double vacuumAxis = vacuumAxisLength(scales);
    if (isVacuumChart(chart) && (x < 0 || x > vacuumAxis))
        return std::nullopt;
    if (chart == ChartId::Air && x < -20)
        return std::nullopt;
    const int point = pointIndex(chart, x, scales);
    if (point < 1 || point > chartPoints(chart, scales))
        return std::nullopt;
    const double value = std::clamp<double>(roundHalfEven(y), lowerLimit(chart), upperLimit(chart));
    return DragEdit{point, value};
}

PointerReadout pointerReadout(ChartId chart, double x, double y, const MapScales& scales) {
    PointerReadout out;
    if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > 1e6 || std::abs(y) > 1e6)
        return out;
    const int ry = roundHalfEven(y);
    const int rx = roundHalfEven(x);
    if (ry >= lowerLimit(chart) && ry <= upperLimit(chart))
        out.valueText = QString::number(ry);
    const double vacuumAxis = vacuumAxisLength(scales);
    switch (chart) {
    case ChartId::Timing:
        out.cursorX = rx;
        if (rx >= 1 && rx <= timingPointCount(scales))
            out.positionText = QString::number(rx * 100);
        break;
    case ChartId::Vacuum:
    case ChartId::FuelVacuum: {
        out.cursorX = roundTo(x, 2);
        const double tenths = roundTo(x, 1);
        const double lowest = chart == ChartId::Vacuum ? -1 : 0;
        if (tenths >= lowest && tenths <= vacuumAxis)
            out.positionText = number(out.cursorX);
        break;
    }
    case ChartId::FuelRpm:
        out.cursorX = rx;
        if (rx >= 0 && rx <= rpmAxisLength(scales))
            out.positionText = QString::number(rx * 100);
        break;
    case ChartId::Water:
        out.cursorX = rx;
        if (rx >= 0 && rx <= 120)
            out.positionText = QString::number(rx);
        break;
    case ChartId::Air:
        out.cursorX = rx;
        if (rx >= -20 && rx <= 100)
            out.positionText = QString::number(rx);
        break;
    case ChartId::Voltage:
        out.cursorX = roundTo(x, 1);
        if (rx >= 0 && rx <= 120)
            out.positionText = number(out.cursorX);
        break;
    }
    return out;
}

double keyStep(ChartId chart, double axisMin, double axisMax, const MapScales& scales) {
    const double vacuumAxis = vacuumAxisLength(scales);
    switch (chart) {
    case ChartId::Timing:
        return axisMax / timingPointCount(scales);
    case ChartId::Vacuum:
        return vacuumAxis / 32;
    case ChartId::FuelVacuum:
        return vacuumAxis / 64;
    case ChartId::FuelRpm:
        return axisMax / 32;
    case ChartId::Water:
        return axisMax / 24;
    case ChartId::Air:
        return (axisMax - axisMin) / 24;
    case ChartId::Voltage:
        return (axisMax - axisMin) / 16;
    }
    return 1;
}

double steppedValue(double value, int direction, double lower, double upper) {
    if (direction > 0)
        return value < upper ? std::min(value + 1, upper) : value;
    if (direction < 0)
        return value > lower ? std::max(value - 1, lower) : value;
    return value;
}

double shiftedTimingValue(double value, int direction) {
    return steppedValue(value, direction, lowerLimit(ChartId::Timing), upperLimit(ChartId::Timing));
}

std::optional<KeyPlan> keyPlan(ChartId chart, TuningKey key, double cursorX, double axisMin, double axisMax,
                               const MapScales& scales, const MapArray& values) {
    if (isVacuumChart(chart) && scales.vacuumRange <= 0)
        return std::nullopt;
    double x = cursorX;
    const double step = keyStep(chart, axisMin, axisMax, scales);
    if (std::isfinite(step)) {
        if (key == TuningKey::Left)
            x -= step;
        else if (key == TuningKey::Right)
            x += step;
    }
    // The cursor only ever addresses points 1..n: beyond either end it stays on the end point.
    const int points = chartPoints(chart, scales);
    int point = pointIndex(chart, x, scales);
    if (point < 1 || point > points || !std::isfinite(x)) {
        point = std::clamp(point, 1, points);
        x = pointX(chart, point, scales);
    }

    KeyPlan plan;
    const double current = roundHalfEven(values[static_cast<size_t>(point)]);
    plan.value = current;
    if (key == TuningKey::Up)
        plan.value = steppedValue(current, +1, lowerLimit(chart), upperLimit(chart));
    else if (key == TuningKey::Down)
        plan.value = steppedValue(current, -1, lowerLimit(chart), upperLimit(chart));
    else if (chart == ChartId::Timing && key == TuningKey::PageUp)
        plan.shift = +1;
    else if (chart == ChartId::Timing && key == TuningKey::PageDown)
        plan.shift = -1;

    // The fuel vacuum cursor snaps to its point.
    if (chart == ChartId::FuelVacuum)
        x = pointX(chart, point, scales);
    plan.cursorX = x;
    plan.point = point;
    switch (chart) {
    case ChartId::Timing:
    case ChartId::FuelRpm:
        plan.positionText = number(x * 100);
        break;
    case ChartId::Vacuum:
    case ChartId::FuelVacuum:
        plan.positionText = number(roundTo(x, 1));
        break;
    case ChartId::Water:
    case ChartId::Air:
    case ChartId::Voltage:
        plan.positionText = number(x);
        break;
    }
    return plan;
}

MapPointWrite pointWrite(MapId map, int point, double value) {
    return {mapInfo(map).pointCommand, CalibrationEditor::mapPointId(map, point),
            CalibrationEditor::mapPointByte(map, value)};
}

namespace {

struct AxisColumn {
    const char* title;
    double factor;
    int decimals;
};

AxisColumn axisColumn(ChartId chart) {
    switch (chart) {
    case ChartId::Timing:
    case ChartId::FuelRpm:
        return {"RPM", 100, 0};
    case ChartId::Vacuum:
    case ChartId::FuelVacuum:
        return {"Bar", 1, 3};
    case ChartId::Water:
        return {"°C", 1, 0};
    case ChartId::Air:
        return {"°C", 1, 1};
    case ChartId::Voltage:
        return {"V", 1, 2};
    }
    return {"", 1, 0};
}

} // namespace

const char* axisTitle(ChartId chart) {
    return axisColumn(chart).title;
}

double axisValue(ChartId chart, double x) {
    const AxisColumn c = axisColumn(chart);
    return roundTo(x * c.factor, c.decimals);
}

QString axisText(ChartId chart, double x) {
    return QString::number(axisValue(chart, x), 'f', axisColumn(chart).decimals);
}

double roundTo(double x, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return roundHalfEven(x * scale) / scale;
}

} // namespace MapTuning
