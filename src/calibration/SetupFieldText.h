#pragma once

#include <QString>

// Labels and display values of setup bytes, for the comparison of two tunes and emu-cli's journal,
// read from the setup parameter table.
struct SetupFieldText {
    QString label; // empty: a byte with no known meaning
    QString value; // the display value with its unit ("7000 RPM", "2.5 ms", "on")
};

// The label and display value of setup offset id holding this plain byte (wire - 1).
SetupFieldText describeSetupByte(int id, int plain);
