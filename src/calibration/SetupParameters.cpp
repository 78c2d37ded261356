#include "calibration/SetupParameters.h"
#include "link/ImageLayout.h"

#include "calibration/Rounding.h"
#include "link/Connection.h"

#include <algorithm>
#include <cmath>

namespace {

using K = SetupKind;
using S = SetupScale;

constexpr const char* kEngine = "Engine Configuration";
constexpr const char* kTiming = "Timing Configuration";
constexpr const char* kFuel = "Fuel Configuration";
constexpr const char* kLaunch = "Launch Control";
constexpr const char* kOutput1 = "Output 1";
constexpr const char* kOutput2 = "Output 2";
constexpr const char* kSensors = "Active Sensors";
constexpr const char* kPump = "Accelerator Pump";
constexpr const char* kVacuum = "Vacuum Configuration";
constexpr const char* kLambda = "Lambda Configuration";
constexpr const char* kPot = "Tuning POT Input";
constexpr const char* kIdle = "Idle Control";

const std::vector<const char*> kSourceItems{"None",   "RPM",        "Vacuum",  "TPS",
                                            "Lambda", "Water Temp", "Air Temp"};
const std::vector<const char*> kEdgeItems{"Rising edge", "Falling edge"};
// The unit of an output's Min and Max, by its source.
const char* const kSourceUnits[kOutputSourceCount] = {"", "RPM", "bar", "%", "V", "°C", "°C"};

// Bounds that keep plain + 1 below the "not present" marker: 253 plain, 2.53 in hundredths.
constexpr double kMaxHundredths = kMaxStoredPlain / 100.0;

std::vector<SetupParameter> buildTable() {
    return {
        // Engine Configuration
        {.id = 80,
         .panel = kEngine,
         .label = "Cylinders",
         .control = "Edit12",
         .kind = K::EditR,
         .min = 1,
         .max = 12,
         .maxLength = 2,
         .armsWrite = true},
        {.id = 81,
         .panel = kEngine,
         .label = "RPM Range",
         .control = "Edit13",
         .kind = K::EditR,
         .min = 1000,
         .max = 10000,
         .scale = S::Per100,
         .fill = SetupFill::ZeroShows7000,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "RPM",
         .effect = SetupEffect::RpmRange},
        {.id = 84,
         .panel = kEngine,
         .label = "RPM Limiter",
         .control = "Edit20",
         .kind = K::EditR,
         .min = 0,
         .max = 10000,
         .maxIsRpmRange = true,
         .scale = S::Per100,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "RPM"},
        {.id = 82,
         .panel = kEngine,
         .label = "Coil Time (ms)",
         .control = "Edit14",
         .kind = K::EditR,
         .real = true,
         .min = 0,
         .max = 100,
         .scale = S::Times2,
         .armsWrite = true,
         .unit = "ms"},
        {.id = 83,
         .panel = kEngine,
         .label = "Map Sensor (kPa x10)",
         .control = "Edit15",
         .kind = K::EditR,
         .min = 0,
         .max = 30,
         .armsWrite = true,
         .effect = SetupEffect::VacuumRange},
        {.id = 22,
         .panel = kEngine,
         .label = "Trigger Level Output",
         .control = "",
         .kind = K::RadioPair,
         .items = {"Internal", "External"},
         .buttons = {"RadioButton15", "RadioButton16"}},
        // Timing Configuration
        {.id = 1,
         .panel = kTiming,
         .label = "Gear Teeth",
         .control = "Edit34",
         .kind = K::EditR,
         .min = 1,
         .max = 60,
         .armsWrite = true},
        {.id = 51,
         .panel = kTiming,
         .label = "Trailing Degrees",
         .control = "Edit59",
         .kind = K::EditR,
         .min = 0,
         .max = 180,
         .armsWrite = true,
         .unit = "°"},
        {.id = 0,
         .panel = kTiming,
         .label = "Timing Sensor °BTDC",
         .control = "Edit100",
         .kind = K::EditR,
         .min = 0,
         .max = 180,
         .armsWrite = true,
         .unit = "°"},
        {.id = 86,
         .panel = kTiming,
         .label = "Coil Combination",
         .control = "RadioGroup3",
         .kind = K::RadioGroup,
         .items = {"Single", "Wasted Spark", "Multi Coil"}},
        {.id = 49, .panel = kTiming, .label = "Two Stroke", .control = "CheckBox20", .kind = K::Check},
        // Fuel Configuration
        {.id = 43,
         .panel = kFuel,
         .label = "Start enrichment ",
         .control = "Edit35",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = 25,
         .scale = S::Times10,
         .maxLength = 4,
         .armsWrite = true},
        {.id = 42,
         .panel = kFuel,
         .label = "Max Fueling ",
         .control = "Edit36",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = 25,
         .scale = S::Times10,
         .maxLength = 4,
         .armsWrite = true},
        {.id = 4,
         .panel = kFuel,
         .label = "Start Prime Pulse",
         .control = "Edit33",
         .kind = K::EditZ,
         .min = 0,
         .max = kMaxStoredPlain,
         .maxLength = 3,
         .emptyTest = false},
        {.id = 17,
         .panel = kFuel,
         .label = "Fuel Cut-off TPS",
         .control = "Edit56",
         .kind = K::EditZ,
         .min = 0,
         .max = 100,
         .maxLength = 3,
         .armsWrite = true,
         .unit = "%"},
        {.id = 16,
         .panel = kFuel,
         .label = "Fuel Cut-off Vac",
         .control = "Edit57",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = kMaxHundredths,
         .scale = S::Times100,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "bar"},
        {.id = 15,
         .panel = kFuel,
         .label = "Fuel Cut-off RPM",
         .control = "Edit41",
         .kind = K::EditZ,
         .min = 0,
         .max = 10000,
         .scale = S::Per100,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "RPM"},
        {.id = 59,
         .panel = kFuel,
         .label = "Fuel Calculation",
         .control = "",
         .kind = K::RadioPair,
         .items = {"Map", "TPS"},
         .buttons = {"RadioButton19", "RadioButton20"}},
        // Launch Control
        {.id = 46,
         .panel = kLaunch,
         .label = "RPM Limiter ",
         .control = "Edit53",
         .kind = K::EditZ,
         .min = 0,
         .max = 10000,
         .checkedAsReal = true,
         .scale = S::Per100,
         .armsWrite = true,
         .unit = "RPM"},
        {.id = 47,
         .panel = kLaunch,
         .label = "Timing °",
         .control = "Edit54",
         .kind = K::EditR,
         .min = 0,
         .max = 90,
         .armsWrite = true,
         .unit = "°"},
        {.id = 48,
         .panel = kLaunch,
         .label = "Fuel %",
         .control = "Edit55",
         .kind = K::EditZ,
         .min = 0,
         .max = 199,
         .emptyTest = false,
         .unit = "%"},
        // General Purpose Output: each source before its Min and Max
        {.id = 29,
         .panel = kOutput1,
         .label = "Output 1 source",
         .control = "",
         .kind = K::OutputSource,
         .items = kSourceItems,
         .buttons = {"RadioButton7", "RadioButton1", "RadioButton2", "RadioButton3", "RadioButton4",
                     "RadioButton5", "RadioButton6"}},
        {.id = 30,
         .panel = kOutput1,
         .label = "Min",
         .control = "Edit16",
         .kind = K::EditR,
         .real = true,
         .min = 0,
         .max = kMaxStoredPlain * 100,
         .scale = S::BySource,
         .maxLength = 5,
         .armsWrite = true,
         .sourceId = 29},
        {.id = 31,
         .panel = kOutput1,
         .label = "Max",
         .control = "Edit17",
         .kind = K::EditR,
         .real = true,
         .min = 0,
         .max = kMaxStoredPlain * 100,
         .scale = S::BySource,
         .maxLength = 5,
         .armsWrite = true,
         .sourceId = 29},
        {.id = 32,
         .panel = kOutput2,
         .label = "Output 2 source",
         .control = "",
         .kind = K::OutputSource,
         .items = kSourceItems,
         .buttons = {"RadioButton11", "RadioButton8", "RadioButton9", "RadioButton10", "RadioButton12",
                     "RadioButton13", "RadioButton14"}},
        {.id = 33,
         .panel = kOutput2,
         .label = "Min",
         .control = "Edit1",
         .kind = K::EditR,
         .real = true,
         .min = 0,
         .max = kMaxStoredPlain * 100,
         .scale = S::BySource,
         .maxLength = 5,
         .armsWrite = true,
         .sourceId = 32},
        {.id = 34,
         .panel = kOutput2,
         .label = "Max",
         .control = "Edit24",
         .kind = K::EditR,
         .real = true,
         .min = 0,
         .max = kMaxStoredPlain * 100,
         .scale = S::BySource,
         .maxLength = 5,
         .armsWrite = true,
         .sourceId = 32},
        // Active Sensors
        {.id = 5,
         .panel = kSensors,
         .label = "Throttle Position Sensor",
         .control = "CheckBox1",
         .kind = K::Check,
         .companion = "CalBtn"},
        {.id = 8, .panel = kSensors, .label = "Lambda Sensor", .control = "CheckBox2", .kind = K::Check},
        {.id = 7,
         .panel = kSensors,
         .label = "Air Temp Sensor",
         .control = "CheckBox4",
         .kind = K::Check,
         .companion = "Button2"},
        {.id = 9,
         .panel = kSensors,
         .label = "Map Sensor",
         .control = "CheckBox5",
         .kind = K::Check,
         .companion = "Button3"},
        {.id = 6,
         .panel = kSensors,
         .label = "Water Temp Sensor",
         .control = "CheckBox6",
         .kind = K::Check,
         .companion = "Button1"},
        {.id = 20,
         .panel = kSensors,
         .label = "Trigger",
         .control = "CheckBox21",
         .kind = K::EdgePair,
         .items = kEdgeItems,
         .buttons = {"SpeedButton5", "SpeedButton4"}},
        {.id = 21,
         .panel = kSensors,
         .label = "TDC",
         .control = "CheckBox22",
         .kind = K::EdgePair,
         .items = kEdgeItems,
         .buttons = {"SpeedButton7", "SpeedButton6"}},
        // Accelerator Pump
        {.id = 37,
         .panel = kPump,
         .label = "Accelerator Pump",
         .control = "RadioGroup2",
         .kind = K::RadioGroup,
         .items = {"None", "Map", "TPS", "Both"}},
        {.id = 24,
         .panel = kPump,
         .label = "Map % Enrichment",
         .control = "TrackBar4",
         .kind = K::Slider,
         .min = 1,
         .max = 10,
         .unit = "%",
         .companion = "Edit47",
         .shownFactor = 10},
        {.id = 23,
         .panel = kPump,
         .label = "Map Sensitivity",
         .control = "TrackBar3",
         .kind = K::Slider,
         .min = 1,
         .max = 10,
         .companion = "Edit46"},
        {.id = 25,
         .panel = kPump,
         .label = "Map Max RPM",
         .control = "TrackBar5",
         .kind = K::Slider,
         .min = 1,
         .max = 40,
         .unit = "RPM",
         .companion = "Edit42",
         .shownFactor = 100},
        {.id = 27,
         .panel = kPump,
         .label = "TPS % Enrichment",
         .control = "TrackBar1",
         .kind = K::Slider,
         .min = 1,
         .max = 10,
         .unit = "%",
         .companion = "Edit45",
         .shownFactor = 10},
        {.id = 26,
         .panel = kPump,
         .label = "TPS Sensitivity",
         .control = "TrackBar2",
         .kind = K::Slider,
         .min = 1,
         .max = 10,
         .companion = "Edit44"},
        {.id = 28,
         .panel = kPump,
         .label = "TPS Max RPM",
         .control = "TrackBar6",
         .kind = K::Slider,
         .min = 1,
         .max = 40,
         .unit = "RPM",
         .companion = "Edit43",
         .shownFactor = 100},
        // Vacuum Configuration
        {.id = 40,
         .panel = kVacuum,
         .label = "Low throttle vacuum ",
         .control = "Edit37",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = kMaxHundredths,
         .scale = S::Times100,
         .fill = SetupFill::OneShows0_1,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "bar",
         .effect = SetupEffect::LowThrottleVacuum},
        {.id = 41,
         .panel = kVacuum,
         .label = "High throttle vacuum",
         .control = "Edit38",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = kMaxHundredths,
         .scale = S::Times100,
         .fill = SetupFill::OneShows0_9,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "bar",
         .effect = SetupEffect::HighThrottleVacuum},
        // Lambda Configuration
        {.id = 10,
         .panel = kLambda,
         .label = "Target Volts",
         .control = "TrackBar7",
         .kind = K::TargetSlider,
         .min = 25,
         .max = 75,
         .scale = S::Times100,
         .armsWrite = true,
         .unit = "V",
         .companion = "Edit48",
         .effect = SetupEffect::LambdaTarget},
        {.id = 11,
         .panel = kLambda,
         .label = "Control Percentage",
         .control = "Edit49",
         .kind = K::EditZ,
         .min = 0,
         .max = 100,
         .emptyTest = false,
         .unit = "%"},
        {.id = 12,
         .panel = kLambda,
         .label = "Control Delay ",
         .control = "Edit50",
         .kind = K::EditZ,
         .min = 5,
         .max = 25,
         .emptyTest = false},
        {.id = 18,
         .panel = kLambda,
         .label = "Lambda Low Limit",
         .control = "Edit51",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = kMaxHundredths,
         .scale = S::Times100,
         .unit = "V",
         .effect = SetupEffect::LambdaLowLimit},
        {.id = 19,
         .panel = kLambda,
         .label = "Lambda High Limit",
         .control = "Edit63",
         .kind = K::EditZ,
         .real = true,
         .min = 0,
         .max = kMaxHundredths,
         .scale = S::Times100,
         .unit = "V",
         .effect = SetupEffect::LambdaHighLimit},
        // Tuning POT Input
        {.id = 14,
         .panel = kPot,
         .label = "Tuning POT Input",
         .control = "RadioGroup4",
         .kind = K::RadioGroup,
         .items = {"Off", "Injector", "Timing", "Battery", "Launch"}},
        // Idle Control
        {.id = 35,
         .panel = kIdle,
         .label = "RPM",
         .control = "Edit39",
         .kind = K::EditZ,
         .min = 0,
         .max = 10000,
         .scale = S::Per100,
         .maxLength = 5,
         .armsWrite = true,
         .unit = "RPM"},
        {.id = 36,
         .panel = kIdle,
         .label = "Start %",
         .control = "Edit40",
         .kind = K::EditZ,
         .min = 0,
         .max = 199,
         .maxLength = 3,
         .emptyTest = false,
         .unit = "%"},
        {.id = 53,
         .panel = kIdle,
         .label = "Response - UP",
         .control = "Edit61",
         .kind = K::EditZ,
         .min = 0,
         .max = 99,
         .emptyTest = false},
        {.id = 54,
         .panel = kIdle,
         .label = "Response - DOWN",
         .control = "Edit62",
         .kind = K::EditZ,
         .min = 0,
         .max = 99,
         .emptyTest = false},
        {.id = 55,
         .panel = kIdle,
         .label = "Low Limit",
         .control = "Edit64",
         .kind = K::EditZ,
         .min = 0,
         .max = kMaxStoredPlain,
         .emptyTest = false},
        {.id = 56,
         .panel = kIdle,
         .label = "High Limit",
         .control = "Edit65",
         .kind = K::EditZ,
         .min = 0,
         .max = kMaxStoredPlain,
         .emptyTest = false},
        {.id = 58,
         .panel = kIdle,
         .label = "Idle Control Selection",
         .control = "",
         .kind = K::RadioPair,
         .items = {"Valve", "Stepper"},
         .buttons = {"RadioButton17", "RadioButton18"}},
        // Bytes edited elsewhere or only read
        {.id = 2, .label = "Idle Jet Trim", .control = "", .kind = K::Other},
        {.id = 3, .label = "Main Jet Trim", .control = "", .kind = K::Other},
        {.id = 13, .label = "Service byte (About)", .control = "", .kind = K::Other},
        {.id = 38, .label = "TPS calibration low", .control = "", .kind = K::Other},
        {.id = 39, .label = "TPS calibration high", .control = "", .kind = K::Other},
        {.id = 44, .label = "Sensor calibration 44", .control = "", .kind = K::Other},
        {.id = 45, .label = "Setup byte 45", .control = "", .kind = K::Other},
        {.id = 50, .label = "Sensor calibration 50", .control = "", .kind = K::Other},
        {.id = 52, .label = "Sensor calibration 52", .control = "", .kind = K::Other},
        {.id = 85, .label = "Setup byte 85", .control = "", .kind = K::Other},
        {.id = 94, .label = "Serial number 1", .control = "", .kind = K::Other},
        {.id = 95, .label = "Serial number 2", .control = "", .kind = K::Other},
        {.id = 96, .label = "Serial number 3", .control = "", .kind = K::Other},
        {.id = 97, .label = "Serial number H/W", .control = "", .kind = K::Other},
        {.id = 98, .label = "Serial letter 1", .control = "", .kind = K::Other, .scale = S::Letter},
        {.id = 99, .label = "Serial letter 2", .control = "", .kind = K::Other, .scale = S::Letter},
    };
}

// Multiplier and divisor from the value in display units to the plain byte.
struct Ratio {
    int mul = 1;
    int div = 1;
};

Ratio ratioOf(const SetupParameter& p, OutputSource source) {
    switch (p.scale) {
    case S::Per100:
        return {1, 100};
    case S::Times2:
        return {2, 1};
    case S::Times10:
        return {10, 1};
    case S::Times100:
        return {100, 1};
    case S::BySource:
        if (source == OutputSource::Rpm)
            return {1, 100};
        if (source == OutputSource::Vacuum || source == OutputSource::Lambda)
            return {100, 1};
        return {};
    case S::One:
    case S::Letter:
        return {};
    }
    return {};
}

// A typed real times mul / div, rounded half to even as the decimal the user typed: "0.545" x 100
// is a tie and gives 54, where the double 0.545 (just above 0.545) times 100 would give 55. Nothing
// when the text is not a plain decimal (the caller then uses the double).
std::optional<long long> roundTypedDecimal(const QString& typed, const QLocale& locale, Ratio r) {
    QString text = typed.trimmed();
    if (text.startsWith(QLatin1Char('+')))
        text.remove(0, 1);
    const bool negative = text.startsWith(locale.negativeSign());
    if (negative)
        text.remove(0, locale.negativeSign().size());
    const QStringList parts = text.split(locale.decimalPoint());
    if (parts.size() > 2 || (parts.size() == 2 && parts[0].isEmpty() && parts[1].isEmpty()))
        return std::nullopt;
    auto digitsOnly = [](const QString& s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    QString whole = parts[0];
    QString fraction = parts.size() == 2 ? parts[1] : QString();
    if (!digitsOnly(whole) || !digitsOnly(fraction))
        return std::nullopt;
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    // Twelve fraction digits are exact within 64 bits; a non-zero digit beyond them only breaks a tie.
    constexpr int kKeptDigits = 12;
    const bool sticky =
        fraction.size() > kKeptDigits &&
        std::any_of(fraction.begin() + kKeptDigits, fraction.end(), [](QChar c) { return c != u'0'; });
    fraction.truncate(kKeptDigits);
    if (whole.size() > 5)
        return std::nullopt;
    long long scale = 1;
    for (int i = 0; i < fraction.size(); ++i)
        scale *= 10;
    const long long digits =
        (whole.isEmpty() ? 0 : whole.toLongLong()) * scale + (fraction.isEmpty() ? 0 : fraction.toLongLong());
    if (negative && digits != 0)
        return std::nullopt;
    const long long num = digits * r.mul;
    const long long den = scale * r.div;
    long long q = num / den;
    const long long twiceRest = 2 * (num % den);
    if (twiceRest > den || (twiceRest == den && (sticky || q % 2 != 0)))
        ++q;
    return q;
}

SetupEntry notANumber(const QString& text, bool real) {
    SetupEntry e;
    e.status = EntryStatus::NotANumber;
    e.error = real ? realConversionErrorText(text) : Connection::conversionErrorText(text);
    return e;
}

// Without group separators: the boxes read back what they show, and a reader that took "3,000"
// would take "3,5" as 35 in a locale whose decimal point is a comma.
QString shortest(double v, const QLocale& locale) {
    QLocale writer = locale;
    writer.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return writer.toString(v, 'g', QLocale::FloatingPointShortest);
}

} // namespace

const std::vector<SetupParameter>& setupParameters() {
    static const std::vector<SetupParameter> table = buildTable();
    return table;
}

const SetupParameter* setupParameter(int id) {
    for (const SetupParameter& p : setupParameters())
        if (p.id == id)
            return &p;
    return nullptr;
}

const SetupParameter* setupParameterByControl(const QString& objectName) {
    for (const SetupParameter& p : setupParameters()) {
        if (objectName == QLatin1String(p.control))
            return &p;
        for (const char* b : p.buttons)
            if (objectName == QLatin1String(b))
                return &p;
    }
    return nullptr;
}

OutputSource outputSourceOf(std::uint8_t wire) {
    const int plain = plainByteFromWire(wire);
    return plain < kOutputSourceCount ? static_cast<OutputSource>(plain) : OutputSource::None;
}

double maxFor(const SetupParameter& p, const SetupContext& context) {
    if (p.maxIsRpmRange)
        return context.rpmRange;
    if (p.scale != S::BySource)
        return p.max;
    // The byte holds the value in the source's unit: 100 RPM, hundredths of a bar or volt, or units.
    const Ratio r = ratioOf(p, context.source);
    return static_cast<double>(kMaxStoredPlain) * r.div / r.mul;
}

SetupEntry evaluateEntry(const SetupParameter& p, const QString& text, const SetupContext& context,
                         const QLocale& locale) {
    if (text.isEmpty() && p.emptyTest)
        return {};
    QLocale reader = locale;
    reader.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    SetupEntry e;
    if (p.real || p.checkedAsReal) {
        e.value = reader.toDouble(text, &ok);
        if (!ok || !std::isfinite(e.value))
            return notANumber(text, true);
    } else {
        e.value = text.toInt(&ok, 10);
        if (!ok)
            return notANumber(text, false);
    }
    if (e.value < p.min || e.value > maxFor(p, context)) {
        e.status = EntryStatus::OutOfRange;
        return e;
    }
    if (p.checkedAsReal) {
        e.value = text.toInt(&ok, 10);
        if (!ok)
            return notANumber(text, false);
    }
    e.status = EntryStatus::Accepted;
    const Ratio r = ratioOf(p, context.source);
    const std::optional<long long> exact = p.real ? roundTypedDecimal(text, locale, r) : std::nullopt;
    e.plain = exact ? static_cast<std::uint8_t>(*exact & 0xFF) : plainFromValue(p, e.value, context.source);
    return e;
}

std::uint8_t plainFromValue(const SetupParameter& p, double value, OutputSource source) {
    const Ratio r = ratioOf(p, source);
    return roundToByte(value * r.mul / r.div);
}

std::optional<double> decodedValue(const SetupParameter& p, std::uint8_t wire, OutputSource source) {
    if (wire == kSetupNotPresent)
        return std::nullopt;
    const int plain = plainByteFromWire(wire);
    if (p.fill == SetupFill::ZeroShows7000 && plain == 0)
        return 7000;
    if (p.fill == SetupFill::OneShows0_1 && wire == 1)
        return 0.1;
    if (p.fill == SetupFill::OneShows0_9 && wire == 1)
        return 0.9;
    if (p.scale == S::BySource && source == OutputSource::None)
        return 0;
    const Ratio r = ratioOf(p, source);
    const double v = static_cast<double>(plain) * r.div / r.mul;
    if (p.scale == S::Times2) // half milliseconds, shown to the nearest tenth
        return roundHalfEven(v * 10) / 10.0;
    return v;
}

QString valueText(const SetupParameter& p, double value, const QLocale& locale) {
    if (!p.real)
        return QString::number(static_cast<long long>(std::llround(value)));
    return shortest(value, locale);
}

QString acceptedRangeText(const SetupParameter& p, const SetupContext& context, const QLocale& locale) {
    QString unit = QString::fromUtf8(p.unit);
    if (p.scale == S::BySource)
        unit = QString::fromUtf8(kSourceUnits[static_cast<int>(context.source)]);
    QString text =
        valueText(p, p.min, locale) + QStringLiteral(" to ") + valueText(p, maxFor(p, context), locale);
    if (!unit.isEmpty())
        text += (unit.startsWith(u'°') ? QString() : QStringLiteral(" ")) + unit;
    return text;
}

std::optional<int> itemOfWire(const SetupParameter& p, std::uint8_t wire) {
    const int item = wire == 0 ? 0 : wire - 1;
    if (item >= static_cast<int>(p.items.size()))
        return std::nullopt;
    return item;
}

QString describeWire(const SetupParameter& p, std::uint8_t wire, OutputSource source) {
    if (wire == kSetupNotPresent)
        return QStringLiteral("not present");
    const int plain = plainByteFromWire(wire);
    switch (p.kind) {
    case K::RadioGroup:
    case K::RadioPair:
    case K::OutputSource: {
        const std::optional<int> item = itemOfWire(p, wire);
        return item ? QString::fromUtf8(p.items[static_cast<size_t>(*item)])
                    : QStringLiteral("(no item %1)").arg(plain);
    }
    case K::Check:
        return wire == 3 ? QStringLiteral("on") : QStringLiteral("off");
    case K::EdgePair:
        if (wire == 1 || wire == 2)
            return QString::fromUtf8(p.items[static_cast<size_t>(wire - 1)]);
        return wire == 3 ? QStringLiteral("off") : QStringLiteral("(state %1)").arg(plain);
    case K::Slider:
        return QString::number(plain * p.shownFactor) +
               (*p.unit ? QStringLiteral(" ") + QString::fromUtf8(p.unit) : QString());
    default:
        break;
    }
    if (p.scale == S::Letter)
        return QString(QChar(static_cast<char16_t>(plain)));
    QString text = shortest(*decodedValue(p, wire, source), QLocale::c());
    const char* unit = p.unit;
    if (p.scale == S::BySource)
        unit = kSourceUnits[static_cast<int>(source)];
    if (*unit)
        text += (QString::fromUtf8(unit).startsWith(u'°') ? QString() : QStringLiteral(" ")) +
                QString::fromUtf8(unit);
    return text;
}

LambdaMarkerPlacement lambdaMarkerPlacement(int panelWidth, double lambdaTarget) {
    LambdaMarkerPlacement m;
    m.markerCentre = roundHalfEven(panelWidth * lambdaTarget);
    m.labelCentre = m.markerCentre - 1;
    const double hundredths = lambdaTarget * 100;
    m.label = QLatin1Char('.') + QString::number(hundredths, 'g', QLocale::FloatingPointShortest);
    m.hint = QStringLiteral("Target Lambda Volts = %1V")
                 .arg(QString::number(lambdaTarget, 'g', QLocale::FloatingPointShortest));
    return m;
}

QString realConversionErrorText(const QString& text) {
    return QLatin1Char('\'') + text + QStringLiteral("' is not a valid floating point value.");
}
