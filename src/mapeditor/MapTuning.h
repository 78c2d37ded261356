#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"
#include "mapeditor/CurveTools.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The seven map charts, in page order. Tuning, the cursor state and the pages refer to a chart by
// this id; the chart's widget carries the name in chartName().
enum class ChartId { Timing, Vacuum, FuelVacuum, FuelRpm, Water, Air, Voltage };
constexpr int kChartCount = 7;

const char* chartName(ChartId chart);
std::optional<ChartId> chartByName(const QString& name);

// What the keys and the pointer edit, shared by the three map pages.
struct MapEditorState {
    std::optional<ChartId> ActiveMapChart; // the chart keyboard tuning acts on; none at start
    double TimingCursorX = 0;              // units of 100 RPM
    double VacuumCursorX = 0;              // shared by VacuumChart and FuelVacChart, vacuum units
    double FuelRpmCursorX = 0;
    double WaterCursorX = 0;
    double AirCursorX = 0;
    double VoltageCursorX = 0;
    double KeyCursorX = 0; // the cursor x after the last key press on a chart
    bool MouseTuningEnabled = false;
    std::optional<MapId> FuelRpmCurveSelection; // FuelRpmLow, FuelRpmCruise or FuelRpmHigh
    std::optional<MapId> AirTempCurveSelection; // AirTempFuel or AirTempTiming

    // A point a key press changed on the PC only. The next key release sends every such point,
    // wherever the pointer is by then and whichever chart is active.
    struct KeyEdit {
        ChartId chart;
        MapId map;
        int point;
        bool operator==(const KeyEdit&) const = default;
    };
    std::vector<KeyEdit> unsentKeyEdits;

    // The points selected on each chart (Shift+drag, Shift+Left/Right, rows of its table); the
    // curve tools act on them. Empty: none.
    std::array<PointRange, kChartCount> selections{};
    PointRange& selection(ChartId chart) { return selections[static_cast<size_t>(chart)]; }

    double& cursorX(ChartId chart);
    double cursorX(ChartId chart) const;
};

// A single-point write of a map: the three bytes that reach the unit.
struct MapPointWrite {
    std::uint8_t command = 0;
    std::uint8_t id = 0;
    std::uint8_t value = 0;
    bool operator==(const MapPointWrite&) const = default;
};

enum class TuningKey { Left, Right, Up, Down, PageUp, PageDown, Other };

// What one key press on a chart does: where the cursor goes, which point it edits and to what.
struct KeyPlan {
    double cursorX = 0;
    int point = 0;
    double value = 0; // the edited point's new value (unused when shift is not 0)
    int shift = 0;    // +1 / -1: Page Up / Page Down moves the whole timing curve
    QString positionText;
};

// What the pointer at (x, y) over a chart shows; a readout left empty keeps its old text.
struct PointerReadout {
    double cursorX = 0;
    std::optional<QString> valueText;
    std::optional<QString> positionText;
};

// A drag event's edit: the point and its new value.
struct DragEdit {
    int point = 0;
    double value = 0;
};

// The tuning rules of the charts: point index from a position, value limits, keyboard steps and
// the message of a point. Plain functions over the map table; no widget.
namespace MapTuning {

// The map a chart edits: its one map, or the selected curve of the RPM and air charts (none until
// a selection is made).
std::optional<MapId> editedMap(ChartId chart, const MapEditorState& state);

// Timing points on the chart: the nearest integer of RpmRange / 100, bounded to 1..100.
int timingPointCount(const MapScales& scales);
// Points of the chart's maps (timing: timingPointCount).
int chartPoints(ChartId chart, const MapScales& scales);

// Point index of x with the chart's formula, 0 when there is none: a vacuum range of 0, a
// non-finite x or an index beyond any map. The result may lie outside 1..chartPoints.
int pointIndex(ChartId chart, double x, const MapScales& scales);
// x of a point with the chart's formula.
double pointX(ChartId chart, int point, const MapScales& scales);

// Accepted value range of the chart's maps (timing 0..45).
double lowerLimit(ChartId chart);
double upperLimit(ChartId chart);
// Height of the editing cursor bar: the top of the value axis.
double cursorHeight(ChartId chart);

// A drag at (x, y): tested unrounded, then the point index and the rounded value. Empty when the
// event is rejected (outside the accepted area, or an index outside 1..n).
std::optional<DragEdit> dragEdit(ChartId chart, double x, double y, const MapScales& scales);

// The pointer at (x, y): the chart's cursor position and the readouts that pass their tests.
PointerReadout pointerReadout(ChartId chart, double x, double y, const MapScales& scales);

// Left/Right step of a chart, from its bottom axis range.
double keyStep(ChartId chart, double axisMin, double axisMax, const MapScales& scales);

// Up/Down on a value: one unit towards the limit, never beyond it; a value already at or beyond
// the limit in the key's direction stays as it is, so a value loaded out of range is never pushed
// further out (Down brings a value above the top back by one).
double steppedValue(double value, int direction, double lower, double upper);
// Page Up/Page Down on one timing point: the same rule.
double shiftedTimingValue(double value, int direction);

// One key press on the active chart: cursor from cursorX, one step for Left/Right, kept on points
// 1..n (Left at point 1 and Right at point n stay there), the value under it stepped for Up/Down.
// Empty when the chart has no points to address (a vacuum range of 0).
std::optional<KeyPlan> keyPlan(ChartId chart, TuningKey key, double cursorX, double axisMin, double axisMax,
                               const MapScales& scales, const MapArray& values);

// The message of point (1-based) of a map with the given value.
MapPointWrite pointWrite(MapId map, int point, double value);

// The axis as a tuner reads it (tables, print): its unit's title ("RPM", "Bar", "°C", "V") and a
// chart x in that unit (timing and fuel RPM x 100, to the decimals the axis needs).
const char* axisTitle(ChartId chart);
QString axisText(ChartId chart, double x);
double axisValue(ChartId chart, double x);

// Rounding to a number of decimals, halves to even.
double roundTo(double x, int decimals);

} // namespace MapTuning
