#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/SettingsFile.h"

#include <QByteArray>
#include <QString>

#include <optional>


// The exchanges that move a whole calibration, as logic shared by the window and emu-cli.
namespace CalibrationTransfer {

// Fills ReceivedImage with 48, then copies at most 481 bytes of the reply by count.
// Returns the count copied.
int storeReceivedImage(CalibrationData& data, const QByteArray& reply);

// Copies at most 101 bytes of an image reply (or of ReceivedImage in file mode) into SetupBlock,
// after filling it with 48.
int storeSetupBlock(CalibrationData& data, const QByteArray& reply);

// "Save From EMU": 0xFD, 500 ms, the reply. A reply shorter than 481 bytes is refused
// (nothing is saved from a partial image); errorText says how much arrived.
std::optional<std::array<std::uint8_t, kImageSize>> imageFromReply(const QByteArray& reply, QString* errorText);

// "Save From PC": runs the builder and returns the wire image.
std::array<std::uint8_t, kImageSize> imageFromPc(CalibrationData& data);

// The positions where a read-back image (wire form, as the unit answers 0xFD) differs from what
// was written (PlainImage): the setup block and the map regions of the families the type holds.
// A type without fuel maps need not keep what it was sent there.
int readBackDifferences(const CalibrationData& data, const QByteArray& readBack);

// Loads an opened file's image into ReceivedImage (positions 0..481); Connect then takes the setup
// block and the map families from it and the file's identity.
void loadFileContents(CalibrationData& data, const SettingsFileContents& contents);

} // namespace CalibrationTransfer
