#pragma once

#include <QString>

// Labels and display values of setup bytes, for emu-cli's show and diff. The Setup page's
// parameter table is the one source of these; until every consumer reads it, this function is
// the only place outside it that names setup bytes.
struct SetupFieldText {
    QString label; // empty: a byte with no known meaning
    QString value; // the display value with its unit ("7000 RPM", "2.5 ms", "on")
};

// The label and display value of setup offset id holding this plain byte (wire - 1).
SetupFieldText describeSetupByte(int id, int plain);
