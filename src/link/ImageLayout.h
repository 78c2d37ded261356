#pragma once

#include <cstdint>

// The unit's calibration image as it crosses the line, and the value + 1 rule of its bytes.
constexpr int kImageReplySize = 481;            // what the unit sends (offsets 0..480)
constexpr int kImageSize = 482;                 // the image with its trailer, as the host writes it
constexpr int kTrailerOffset = kImageReplySize; // the trailer follows the unit's part
constexpr int kSetupBlockSize = 101;            // setup offsets 0..100, what Connect copies

// A stored byte travels as its plain value + 1 so that no byte is 0; the rule works modulo 256.
// plainFromWire keeps wire 0 as -1; plainByteFromWire wraps it to 255.
constexpr int plainFromWire(std::uint8_t wire) {
    return static_cast<int>(wire) - 1;
}
constexpr std::uint8_t plainByteFromWire(std::uint8_t wire) {
    return static_cast<std::uint8_t>(wire - 1);
}
constexpr std::uint8_t wireFromPlain(int plain) {
    return static_cast<std::uint8_t>(plain + 1);
}
