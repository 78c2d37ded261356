#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The setup parameters as one table: every byte of the setup block the program shows, edits or
// names, with its control, accepted range, scaling to the plain byte and fill rule. The Setup
// page, emu-cli and the derived calibration values all read this table.

// How a parameter is edited.
enum class SetupKind {
    EditR,        // edit box; an out-of-range entry restores the last accepted value
    EditZ,        // edit box; an out-of-range entry turns the box into "0"
    Slider,       // accelerator-pump slider with its read-only box
    TargetSlider, // the lambda "Target Volts" slider
    Check,        // check box: checked sends 2, unchecked 1
    RadioGroup,   // a group of items; sends on every change, loaded or not
    RadioPair,    // two buttons; sends only while data is loaded
    OutputSource, // the seven source buttons of an output; sends on every change
    EdgePair,     // check box with a pair of edge buttons: 0, 1 or 2 (unchecked)
    Other,        // no control on the Setup tab (jet trims, serial number, calibration numbers)
};

// The plain byte from the value in display units.
enum class SetupScale {
    One,      // value as it is
    Per100,   // RPM: value / 100
    Times2,   // half milliseconds
    Times10,  // tenths
    Times100, // hundredths (bar, volts)
    BySource, // an output's Min and Max: by the output's source
    Letter,   // a character code (serial number letters)
};

// Decoded values that differ from the plain rule.
enum class SetupFill {
    Plain,
    ZeroShows7000, // "RPM Range": 0 shows 7000
    OneShows0_1,   // "Low throttle vacuum ": wire 1 shows 0.1
    OneShows0_9,   // "High throttle vacuum": wire 1 shows 0.9
};

// What else an accepted value or a fill changes besides the setup byte.
enum class SetupEffect {
    None,
    RpmRange,           // becomes RpmRange
    VacuumRange,        // becomes VacuumRange
    LowThrottleVacuum,  // marker series 0 of the fuel-vacuum chart
    HighThrottleVacuum, // marker series 1
    LambdaLowLimit,     // marker series 5
    LambdaHighLimit,    // marker series 6
    LambdaTarget,       // the lambda target marker of the real-time frames
};

// The output sources, in the order of their buttons; the plain byte of setup 29 or 32.
enum class OutputSource { None, Rpm, Vacuum, Tps, Lambda, WaterTemp, AirTemp };
constexpr int kOutputSourceCount = 7;

struct SetupParameter {
    int id;                 // the 0xF2 parameter id, which is its setup offset
    const char* panel = ""; // the panel's caption ("" for Other)
    const char* label;      // the caption, spelled as the window shows it
    const char* control;    // object name of the control (the check box of an edge pair, the group of
                            // a radio group); empty for pairs and sources, which name their buttons
    SetupKind kind;
    bool real = false;          // a real number; otherwise an integer
    double min = 0;             // accepted range in display units (sliders: positions)
    double max = 0;             // (BySource: the widest source's bound; see maxFor)
    bool maxIsRpmRange = false; // "RPM Limiter" may not exceed RpmRange
    bool checkedAsReal = false; // range checked as a real, then converted as an integer
    SetupScale scale = SetupScale::One;
    SetupFill fill = SetupFill::Plain;
    int maxLength = 0;                  // characters an edit box takes (0: no limit)
    bool emptyTest = true;              // an empty box is ignored; otherwise it is a conversion error
    bool armsWrite = false;             // W: after sending, Read is disabled and Write enabled
    const char* unit = "";              // for emu-cli
    std::vector<const char*> items{};   // radio, source and edge captions, in order
    std::vector<const char*> buttons{}; // object names of pair, source and edge buttons
    const char* companion = "";         // slider: its read-only box; sensor: its "Calibrate" button
    double shownFactor = 1;             // slider: the read-only box shows value x this
    int sourceId = -1;                  // BySource: the setup id of the output's source
    SetupEffect effect = SetupEffect::None;
};

// Every row, in the order the page fills them (an output's source before its Min and Max, "RPM
// Range" before "RPM Limiter").
const std::vector<SetupParameter>& setupParameters();
const SetupParameter* setupParameter(int id);
const SetupParameter* setupParameterByControl(const QString& objectName);

constexpr std::uint8_t kSetupNotPresent = 255;
// The largest plain byte a value may have: plain + 1 must stay below the "not present" marker.
constexpr int kMaxStoredPlain = kSetupNotPresent - 2;

// What an entry is checked against beyond the table: the current RpmRange and the output's source.
struct SetupContext {
    int rpmRange = 7000;
    OutputSource source = OutputSource::None;
};

// The output source held by a wire byte (anything beyond the seven is None).
OutputSource outputSourceOf(std::uint8_t wire);

// The accepted range's upper bound for the context.
double maxFor(const SetupParameter& p, const SetupContext& context);

enum class EntryStatus { Ignored, NotANumber, OutOfRange, Accepted };

struct SetupEntry {
    EntryStatus status = EntryStatus::Ignored;
    double value = 0;       // the number read (display units)
    std::uint8_t plain = 0; // Accepted: the plain byte to send
    QString error;          // NotANumber: the toolkit's conversion error text
};

// Reads a typed text as the parameter's edit box does: empty test, number conversion with the
// locale's decimal separator, range check, scaling to the plain byte.
SetupEntry evaluateEntry(const SetupParameter& p, const QString& text, const SetupContext& context,
                         const QLocale& locale = QLocale());

// The plain byte of a value in display units (halves to even).
std::uint8_t plainFromValue(const SetupParameter& p, double value, OutputSource source = OutputSource::None);

// The value a wire byte decodes to, in display units; nothing for a byte of 255 (not present).
std::optional<double> decodedValue(const SetupParameter& p, std::uint8_t wire,
                                   OutputSource source = OutputSource::None);

// A value as an edit box shows it: integers as integers, reals in their shortest form, never with
// a group separator (evaluateEntry reads it back).
QString valueText(const SetupParameter& p, double value, const QLocale& locale = QLocale());

// The accepted range in display units with the unit, as the boxes say it: "1 to 12",
// "0 to 2.53 bar", "0 to 8000 RPM" (RPM Limiter with RpmRange 8000).
QString acceptedRangeText(const SetupParameter& p, const SetupContext& context,
                          const QLocale& locale = QLocale());

// The item a wire byte selects (radio groups, pairs and sources): b - 1, with b = 0 selecting the
// first item; nothing when b - 1 names no item.
std::optional<int> itemOfWire(const SetupParameter& p, std::uint8_t wire);

// The decoded value with its unit or its item caption, for emu-cli ("8000 RPM", "Wasted Spark").
QString describeWire(const SetupParameter& p, std::uint8_t wire, OutputSource source = OutputSource::None);

// The lambda target marker of a real-time frame: its centre and its label, for a lambda panel of
// the given width.
struct LambdaMarkerPlacement {
    int markerCentre = 0;
    int labelCentre = 0; // one pixel left of the marker
    QString label;       // ".45"
    QString hint;        // "Target Lambda Volts = 0.45V"
};
LambdaMarkerPlacement lambdaMarkerPlacement(int panelWidth, double lambdaTarget);

// The toolkit's conversion error for text that is not a real number.
QString realConversionErrorText(const QString& text);
