#include "calibration_helpers.h"

#include <algorithm>
#include <cmath>

WireImage realisticImage(int type, std::uint8_t rpmRangeByte, bool storedZeros) {
    WireImage w{};
    auto setPlain = [&w](int offset, int plain) { w[offset] = static_cast<std::uint8_t>(plain + 1); };

    for (int k = 0; k < kSetupBlockSize; ++k)
        setPlain(k, (k * 37 + type * 11) % 200 + 1);
    for (int k : {13, 45, 60, 61, 62, 70, 86, 90, 100}) // parameters this unit does not have
        w[k] = 255;
    setPlain(0, 10);  // timing sensor, degrees BTDC
    setPlain(1, 36);  // gear teeth
    setPlain(2, 127); // idle jet trim
    setPlain(3, 140); // main jet trim
    setPlain(80, 4);  // cylinders
    w[kRpmRangeByteOffset] = rpmRangeByte;
    setPlain(82, 8); // coil time 4 ms
    setPlain(kVacuumRangeByteOffset, 10);
    setPlain(84, 68); // limiter 6800

    for (int n = 1; n <= 100; ++n) // timing: advance rising to 38 degrees
        setPlain(100 + n, std::min(38, 8 + (n * 3) / 7));
    for (int n = 1; n <= 32; ++n) // vacuum timing: -12..+12 around the plain offset 15
        setPlain(200 + n, 15 + static_cast<int>(std::lround(12 * std::sin(n / 5.0))));
    for (int offset = 233; offset < 481; ++offset) // fuel and corrections: percent + 100
        setPlain(offset, 100 + ((offset * 7 + type) % 61) - 30);

    if (storedZeros) {
        for (int k : {5, 120, 215, 240, 300, 400, 470})
            w[k] = 0;
    }
    w[kTrailerOffset] = 0; // what the copy of a 481-byte reply leaves
    return w;
}

EmuIdentity unitIdentity(int type) {
    EmuIdentity id;
    id.bytes = {1, static_cast<std::uint8_t>(type), 13, 2, 1, 5, 6, 0};
    return id;
}

CalibrationData decodedFrom(const WireImage& image, int type) {
    CalibrationData data;
    for (MapArray& values : data.maps)
        values.fill(kUntouched);
    data.ReceivedImage = image;
    std::copy_n(image.begin(), kSetupBlockSize, data.SetupBlock.begin());
    setFamiliesForModel(data, type);
    deriveSetupValues(data);
    decodeImage(data);
    return data;
}
