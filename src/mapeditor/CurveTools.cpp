#include "mapeditor/CurveTools.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/Rounding.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

#include <cmath>
#include <functional>

namespace {

bool rangeFits(const std::vector<double>& curve, PointRange range) {
    return !range.isEmpty() && range.last <= static_cast<int>(curve.size());
}

double at(const std::vector<double>& curve, int point) {
    return curve[static_cast<size_t>(point - 1)];
}

// Rounds and clamps one computed value and records it when it differs from the curve.
void put(CurveEdit& edit, const std::vector<double>& curve, int point, double computed, ValueLimits limits) {
    // A tie computed as 12.4999999999 is still a tie: rounded to the even neighbour.
    double value = roundHalfEven(std::round(computed * 1e9) / 1e9);
    if (value < limits.lower || value > limits.upper) {
        ++edit.clamped;
        value = std::clamp(value, limits.lower, limits.upper);
    }
    if (value != at(curve, point))
        edit.changes.push_back({point, value});
}

CurveEdit eachPoint(const std::vector<double>& curve, PointRange range, ValueLimits limits,
                    const std::function<double(double)>& f) {
    CurveEdit edit;
    if (!rangeFits(curve, range)) {
        edit.error = QStringLiteral("Select points of the curve first");
        return edit;
    }
    for (int i = range.first; i <= range.last; ++i)
        put(edit, curve, i, f(at(curve, i)), limits);
    return edit;
}

CurveEdit needsThree(const std::vector<double>& curve, PointRange range) {
    CurveEdit edit;
    if (!rangeFits(curve, range) || range.size() < 3)
        edit.error = QStringLiteral("Select at least three points of the curve");
    return edit;
}

QString number(double x) {
    return QString::number(x, 'g', 10);
}

std::optional<double> toNumber(QString field) {
    field = field.trimmed();
    if (!field.contains(QLatin1Char('.')))
        field.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = field.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

namespace CurveTools {

ValueLimits limitsOf(MapId map) {
    return {mapInfo(map).minValue, mapInfo(map).maxValue};
}

CurveEdit setTo(const std::vector<double>& curve, PointRange range, double value, ValueLimits limits) {
    return eachPoint(curve, range, limits, [value](double) { return value; });
}

CurveEdit add(const std::vector<double>& curve, PointRange range, double delta, ValueLimits limits) {
    return eachPoint(curve, range, limits, [delta](double v) { return v + delta; });
}

CurveEdit scale(const std::vector<double>& curve, PointRange range, double percent, MapId map) {
    const double base = mapInfo(map).plainOffset == 100 ? 100 : 0;
    const double factor = 1 + percent / 100;
    return eachPoint(curve, range, limitsOf(map),
                     [base, factor](double v) { return (base + v) * factor - base; });
}

CurveEdit interpolate(const std::vector<double>& curve, PointRange range, ValueLimits limits) {
    CurveEdit edit = needsThree(curve, range);
    if (!edit.ok())
        return edit;
    const double a = at(curve, range.first);
    const double b = at(curve, range.last);
    const double span = range.last - range.first;
    for (int i = range.first + 1; i < range.last; ++i)
        put(edit, curve, i, a + (b - a) * (i - range.first) / span, limits);
    return edit;
}

CurveEdit smooth(const std::vector<double>& curve, PointRange range, ValueLimits limits) {
    CurveEdit edit = needsThree(curve, range);
    if (!edit.ok())
        return edit;
    for (int i = range.first + 1; i < range.last; ++i)
        put(edit, curve, i, (at(curve, i - 1) + 2 * at(curve, i) + at(curve, i + 1)) / 4, limits);
    return edit;
}

CurveEdit paste(const std::vector<double>& curve, int start, const std::vector<double>& values,
                ValueLimits limits) {
    CurveEdit edit;
    const int points = static_cast<int>(curve.size());
    if (values.empty()) {
        edit.error = QStringLiteral("The clipboard holds no values");
        return edit;
    }
    const int count = static_cast<int>(values.size());
    if (start < 1 || start + count - 1 > points) {
        edit.error = start <= 1 ? QStringLiteral("The clipboard holds %1 values; the curve has %2 points")
                                      .arg(count)
                                      .arg(points)
                                : QStringLiteral("The clipboard holds %1 values; from point %2 the curve "
                                                 "has room for %3")
                                      .arg(count)
                                      .arg(start)
                                      .arg(std::max(0, points - start + 1));
        return edit;
    }
    for (int k = 0; k < count; ++k)
        put(edit, curve, start + k, values[static_cast<size_t>(k)], limits);
    return edit;
}

QString formatText(const std::vector<double>& axis, const std::vector<double>& curve, PointRange range) {
    QString text;
    if (!rangeFits(curve, range))
        return text;
    for (int i = range.first; i <= range.last; ++i) {
        const double x = i - 1 < static_cast<int>(axis.size()) ? axis[static_cast<size_t>(i - 1)] : i;
        text += number(x) + QLatin1Char('\t') + number(at(curve, i)) + QLatin1Char('\n');
    }
    return text;
}

std::optional<std::vector<double>> parseText(const QString& text, QString* error) {
    std::vector<double> values;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    bool first = true;
    int lineNumber = 0;
    for (const QString& line : lines) {
        ++lineNumber;
        if (line.trimmed().isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        // The value is the last filled column: "value" or "axis<TAB>value".
        QString field = fields.last();
        for (int k = fields.size() - 1; k >= 0 && field.trimmed().isEmpty(); --k)
            field = fields[k];
        const auto v = toNumber(field);
        const bool wasFirst = first;
        first = false;
        if (v) {
            values.push_back(*v);
            continue;
        }
        if (wasFirst)
            continue; // column titles
        if (error)
            *error = QStringLiteral("Line %1 of the clipboard is not a number: '%2'")
                         .arg(lineNumber)
                         .arg(line.trimmed().left(40));
        return std::nullopt;
    }
    if (values.empty()) {
        if (error)
            *error = QStringLiteral("The clipboard holds no values");
        return std::nullopt;
    }
    return values;
}

int apply(CalibrationEditor& editor, MapId map, const CurveEdit& edit) {
    if (!edit.ok() || edit.changes.empty())
        return 0;
    const CalibrationEditor::Group group(editor);
    int applied = 0;
    for (const PointChange& c : edit.changes) {
        // A point the door refuses (the link gone) ends it: the window keeps what the unit holds.
        if (!editor.setMapPoint(map, c.point, c.value, false, true))
            break;
        ++applied;
    }
    return applied;
}

QString clampedText(int clamped, ValueLimits limits) {
    if (clamped <= 0)
        return {};
    return QStringLiteral("%1 %2 clamped to %3..%4")
        .arg(clamped)
        .arg(clamped == 1 ? QStringLiteral("value was") : QStringLiteral("values were"))
        .arg(number(limits.lower), number(limits.upper));
}

} // namespace CurveTools
