#include "settings_file_check.h"

#include "calibration/SettingsFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "settings file round trip: %s\n", what);
    std::abort();
}

} // namespace

bool checkSettingsFileRoundTrip(const QByteArray& input) {
    const std::optional<SettingsFileContents> first = SettingsFile::read(input);
    if (!first)
        return false;
    // Signature "44" (checked on the bytes: this file links no link/ source).
    if (first->identity.bytes[5] != 4 || first->identity.bytes[6] != 4)
        fail("a loaded identity is not marked as coming from a file");

    const QByteArray written = SettingsFile::write(first->identity, first->vehicle, first->image.data());
    if (written.isEmpty())
        fail(qPrintable("a loaded file cannot be written back: " +
                        SettingsFile::refusalReason(first->identity, first->vehicle)));

    const std::optional<SettingsFileContents> second = SettingsFile::read(written);
    if (!second)
        fail("the written file is refused");
    if (second->identity.bytes != first->identity.bytes)
        fail("the identity changed");
    if (!(second->vehicle == first->vehicle))
        fail("the vehicle texts changed");
    if (!std::equal(first->image.begin(), first->image.end() - 1, second->image.begin()))
        fail("the image changed");
    if (second->image.back() != 0)
        fail("position 481 was not written as 0");

    if (SettingsFile::write(second->identity, second->vehicle, second->image.data()) != written)
        fail("writing the same contents twice gave different bytes");
    return true;
}
