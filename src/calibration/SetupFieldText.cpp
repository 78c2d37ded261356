#include "calibration/SetupFieldText.h"

#include "calibration/CalibrationData.h"

#include <QChar>

namespace {

enum class Shown {
    Plain,
    Degrees,
    Hundreds,
    HalfMs,
    Tenths,
    Bar,
    Volts,
    Percent,
    TensPercent,
    Check,
    Choice,
    Letter
};

struct Field {
    int id;
    const char* label;
    Shown shown;
};

// clang-format off
constexpr Field kFields[] = {
    {0, "Timing Sensor °BTDC", Shown::Degrees}, {1, "Gear Teeth", Shown::Plain},
    {2, "Idle Jet Trim", Shown::Plain}, {3, "Main Jet Trim", Shown::Plain},
    {4, "Start Prime Pulse", Shown::Plain}, {5, "Throttle Position Sensor", Shown::Check},
    {6, "Water Temp Sensor", Shown::Check}, {7, "Air Temp Sensor", Shown::Check},
    {8, "Lambda Sensor", Shown::Check}, {9, "Map Sensor", Shown::Check},
    {10, "Target Volts", Shown::Volts}, {11, "Control Percentage", Shown::Percent},
    {12, "Control Delay", Shown::Plain}, {14, "Tuning POT Input", Shown::Choice},
    {15, "Fuel Cut-off RPM", Shown::Hundreds}, {16, "Fuel Cut-off Vac", Shown::Bar},
    {17, "Fuel Cut-off TPS", Shown::Percent}, {18, "Lambda Low Limit", Shown::Volts},
    {19, "Lambda High Limit", Shown::Volts}, {20, "Trigger", Shown::Choice},
    {21, "TDC", Shown::Choice}, {22, "Trigger Level Output", Shown::Choice},
    {23, "Map Sensitivity", Shown::Plain}, {24, "Map % Enrichment", Shown::TensPercent},
    {25, "Map Max RPM", Shown::Hundreds}, {26, "TPS Sensitivity", Shown::Plain},
    {27, "TPS % Enrichment", Shown::TensPercent}, {28, "TPS Max RPM", Shown::Hundreds},
    {29, "Output 1 source", Shown::Choice}, {30, "Output 1 Min", Shown::Plain},
    {31, "Output 1 Max", Shown::Plain}, {32, "Output 2 source", Shown::Choice},
    {33, "Output 2 Min", Shown::Plain}, {34, "Output 2 Max", Shown::Plain},
    {35, "Idle RPM", Shown::Hundreds}, {36, "Idle Start %", Shown::Percent},
    {37, "Accelerator Pump", Shown::Choice}, {40, "Low throttle vacuum", Shown::Bar},
    {41, "High throttle vacuum", Shown::Bar}, {42, "Max Fueling", Shown::Tenths},
    {43, "Start enrichment", Shown::Tenths}, {46, "Launch RPM Limiter", Shown::Hundreds},
    {47, "Launch Timing °", Shown::Degrees}, {48, "Launch Fuel %", Shown::Percent},
    {49, "Two Stroke", Shown::Check}, {51, "Trailing Degrees", Shown::Degrees},
    {53, "Idle Response UP", Shown::Plain}, {54, "Idle Response DOWN", Shown::Plain},
    {55, "Idle Low Limit", Shown::Plain}, {56, "Idle High Limit", Shown::Plain},
    {58, "Idle Control Selection", Shown::Choice}, {59, "Fuel Calculation", Shown::Choice},
    {80, "Cylinders", Shown::Plain}, {81, "RPM Range", Shown::Hundreds},
    {82, "Coil Time (ms)", Shown::HalfMs}, {83, "Map Sensor (kPa x10)", Shown::Plain},
    {84, "RPM Limiter", Shown::Hundreds}, {86, "Coil Combination", Shown::Choice},
    {94, "Serial number 1", Shown::Plain}, {95, "Serial number 2", Shown::Plain},
    {96, "Serial number 3", Shown::Plain}, {97, "Serial number H/W", Shown::Plain},
    {98, "Serial letter 1", Shown::Letter}, {99, "Serial letter 2", Shown::Letter},
};
// clang-format on

QString valueText(const Field& f, int p) {
    switch (f.shown) {
    case Shown::Plain:
        return QString::number(p);
    case Shown::Degrees:
        return QString::number(p) + QStringLiteral(" °");
    case Shown::Hundreds:
        // "RPM Range" 0 stands for the default range.
        return QString::number(f.id == 81 && p == 0 ? kDefaultRpmRange : p * 100) + QStringLiteral(" RPM");
    case Shown::HalfMs:
        return QString::number(p / 2.0, 'f', 1) + QStringLiteral(" ms");
    case Shown::Tenths:
        return QString::number(p / 10.0, 'f', 1);
    case Shown::Bar:
        return QString::number(p / 100.0, 'f', 2) + QStringLiteral(" bar");
    case Shown::Volts:
        return QString::number(p / 100.0, 'f', 2) + QStringLiteral(" V");
    case Shown::Percent:
        return QString::number(p) + QStringLiteral(" %");
    case Shown::TensPercent:
        return QString::number(p * 10) + QStringLiteral(" %");
    case Shown::Check:
        return p == 2 ? QStringLiteral("on") : QStringLiteral("off");
    case Shown::Choice:
        return QStringLiteral("choice %1").arg(p);
    case Shown::Letter:
        return QString(QChar(p));
    }
    return QString::number(p);
}

} // namespace

SetupFieldText describeSetupByte(int id, int plain) {
    for (const Field& f : kFields)
        if (f.id == id)
            return {QString::fromUtf8(f.label), valueText(f, plain)};
    return {QString(), QString::number(plain)};
}
