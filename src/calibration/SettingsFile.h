#pragma once

#include "link/EmuIdentity.h"
#include "link/ImageLayout.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The .EMU settings file: seven CRLF lines ("#EMU Version", version line, "#VehicleInfo",
// "make~model~engine~", "#Table", 482 decimal wire values each followed by "," then ";", "#EOF").
// Text is 8-bit (Latin-1): one character per byte.
struct VehicleInfo {
    QString make;
    QString model;
    QString engine;

    bool operator==(const VehicleInfo&) const = default;
};

struct SettingsFileContents {
    EmuIdentity identity; // bytes 5 and 6 are 4 and 4 ("44", from a file)
    VehicleInfo vehicle;
    std::array<std::uint8_t, kImageSize> image{}; // wire form, positions 0..481
};

namespace SettingsFile {

inline const QString kRejectedText = QStringLiteral("Incorrect .EMU file version");
constexpr int kVehicleFieldMaxLength = 18; // the Setup tab's boxes
constexpr int kVehicleLineMaxLength = 54;  // the reader uses only this much of the vehicle line
constexpr int kTablePositions = kImageSize;
constexpr qint64 kMaxFileSize = 1 << 20; // a real file is about 2.5 KB

// True when a vehicle text can be written and read back unchanged: no "~", no CR or LF, and
// only characters of the file's 8-bit (Latin-1) character set.
bool isValidVehicleText(const QString& text);

// Why write() would refuse these, as a text for the user; empty when they can be written.
// Refused: an invalid vehicle text; texts the reader would cut (it uses the first 54 characters of
// "make~model~engine~", so the last non-empty text must end within them); an identity whose bytes 0, 1, 3
// exceed 9 or byte 2 exceeds 99 (the version line has one digit for each, two for byte 2, so it would read
// back as a different identity).
QString refusalReason(const EmuIdentity& identity, const VehicleInfo& vehicle);

// The seven lines. imageWire holds the wire bytes of positions 0..count-1 (count at most 481);
// positions from count to 481 are written as 0. Every position is written (a stored 255, wire 0,
// does not cut the table). The version line is bytes 0, 1, 2 (two digits, so "05" for 5), 3 and 4
// (its last digit: the byte is unused) followed by "44": always eight digits.
// Returns an empty QByteArray, and writes nothing, when refusalReason() is not empty: a file the
// program writes always reads back identically.
QByteArray write(const EmuIdentity& identity, const VehicleInfo& vehicle, const std::uint8_t* imageWire,
                 int count = kImageReplySize);

// Reads a file's text. Returns nothing when it must be refused with "Incorrect .EMU file version":
// - a table with fewer than 482 slots before the first ";" (a missing "#Table" section included),
//   or a slot among the first 482 that is not a decimal integer (an empty one included);
// - no "#EMU Version" section, a non-digit among the eight version characters (after the
//   older-form rewrite), or signature digits other than "44" (the identity is the file's, never
//   a live unit's).
// Lines end in CRLF, LF or a lone CR; a leading UTF-8 byte-order mark is skipped. The line after
// a section line is that section's text whatever it holds; a later section replaces an earlier one.
// A decimal integer is optional spaces or tabs, an optional "+" or "-", one or more digits, optional
// spaces or tabs; it is stored as its low 8 bits (two's complement: 300 -> 44, -1 -> 255), exactly
// for any number of digits. Time and memory are linear in the text's length.
std::optional<SettingsFileContents> read(const QByteArray& text);

// Whole-file helpers: the save is atomic (QSaveFile: a failed save leaves the previous file whole);
// empty contents (a refused write) are not saved. The load refuses files above kMaxFileSize. On
// failure errorText (when given) says why.
bool saveToFile(const QString& path, const QByteArray& contents, QString* errorText);
std::optional<QByteArray> loadFromFile(const QString& path, QString* errorText);

} // namespace SettingsFile
