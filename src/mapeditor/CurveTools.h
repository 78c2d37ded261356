#pragma once

#include "calibration/MapTable.h"

#include <QString>

#include <optional>
#include <vector>

class CalibrationEditor;

// A stretch of one curve: points first..last (1-based, first <= last).
struct PointRange {
    int first = 0;
    int last = 0;
    bool isEmpty() const { return first < 1 || last < first; }
    int size() const { return isEmpty() ? 0 : last - first + 1; }
    bool contains(int point) const { return !isEmpty() && point >= first && point <= last; }
    bool operator==(const PointRange&) const = default;
    // The range between two points in either order.
    static PointRange between(int a, int b) { return a <= b ? PointRange{a, b} : PointRange{b, a}; }
};

struct PointChange {
    int point = 0;
    double value = 0;
    bool operator==(const PointChange&) const = default;
};

// What a tool does to a curve: the points whose value changes (in point order), how many computed
// values lay outside the map's limits and were clamped, or why nothing can be done.
struct CurveEdit {
    std::vector<PointChange> changes;
    int clamped = 0;
    QString error;
    bool ok() const { return error.isEmpty(); }
};

struct ValueLimits {
    double lower = 0;
    double upper = 0;
};

// The tools that shape a stretch of a curve in one step. Each takes the curve's values (index 0 is
// point 1), rounds every result to a whole number (halves to even), clamps it to the limits and
// returns only the points whose value changes. Plain functions; no widget, no link.
namespace CurveTools {

ValueLimits limitsOf(MapId map);

CurveEdit setTo(const std::vector<double>& curve, PointRange range, double value, ValueLimits limits);
CurveEdit add(const std::vector<double>& curve, PointRange range, double delta, ValueLimits limits);
// Scales by a percentage. A fuel or correction value is an offset from 100 % of the base amount,
// so the amount is scaled: +10 % on +20 % gives 100 + 120 * 1.1 - 100 = +32 %. Other maps (timing
// in degrees) scale the value itself.
CurveEdit scale(const std::vector<double>& curve, PointRange range, double percent, MapId map);
// A straight line between the first and last points of the range; those two stay as they are.
CurveEdit interpolate(const std::vector<double>& curve, PointRange range, ValueLimits limits);
// Each inner point of the range becomes (left + 2 x itself + right) / 4 of the values before the
// step; the range's two end points stay.
CurveEdit smooth(const std::vector<double>& curve, PointRange range, ValueLimits limits);
// Puts the values on the curve from point start on. Refused when they do not fit.
CurveEdit paste(const std::vector<double>& curve, int start, const std::vector<double>& values,
                ValueLimits limits);

// Clipboard text of a range: one line per point, "axis<TAB>value", ending with a line break, so a
// spreadsheet takes it as two columns.
QString formatText(const std::vector<double>& axis, const std::vector<double>& curve, PointRange range);
// The values of clipboard text: one value per line, or axis and value separated by a tab (the
// last column is the value). Blank lines and a first line of column titles are skipped; a decimal
// comma is taken as a point. Empty, with the reason in error, when a line holds no number.
std::optional<std::vector<double>> parseText(const QString& text, QString* error = nullptr);

// Puts an edit on a map through the edit door as one operation (one undo step, one journal group),
// each changed point its own message. Stops at the first point the door refuses; returns how many
// points were changed.
int apply(CalibrationEditor& editor, MapId map, const CurveEdit& edit);

// "3 values were clamped to -50..50" and the like; empty when none was.
QString clampedText(int clamped, ValueLimits limits);

} // namespace CurveTools
