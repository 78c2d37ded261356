// Writes the seed files of fuzz/corpus/settings: files made by the writer for every EMU type, with
// odd vehicle texts, stored 255s and the older version form, and a few malformed ones.
// Usage: make_settings_corpus FOLDER
#include "calibration/SettingsFile.h"

#include <QDir>
#include <QFile>

#include <array>
#include <cmath>
#include <cstdio>

namespace {

using Image = std::array<std::uint8_t, 481>;

// A unit's wire image: setup bytes with some "not present" (255), smooth maps.
Image unitImage(int type, int rpmRangeByte, bool storedZeros) {
    Image w{};
    for (int k = 0; k < 101; ++k)
        w[k] = static_cast<std::uint8_t>((k * 37 + type * 11) % 200 + 2);
    for (int k : {13, 45, 60, 61, 62, 70, 86, 90, 100})
        w[k] = 255;
    w[81] = static_cast<std::uint8_t>(rpmRangeByte);
    for (int n = 1; n <= 100; ++n)
        w[100 + n] = static_cast<std::uint8_t>(std::min(38, 8 + (n * 3) / 7) + 1);
    for (int n = 1; n <= 32; ++n)
        w[200 + n] = static_cast<std::uint8_t>(16 + std::lround(12 * std::sin(n / 5.0)));
    for (int p = 233; p < 481; ++p)
        w[p] = static_cast<std::uint8_t>(101 + (p * 7 + type) % 61 - 30);
    if (storedZeros) {
        for (int k : {5, 120, 215, 240, 300, 400, 470})
            w[k] = 0;
    }
    return w;
}

EmuIdentity identity(int type, int release = 13) {
    EmuIdentity id;
    id.bytes = {1, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(release), 2, 1, 5, 6, 0};
    return id;
}

QByteArray written(int type, const VehicleInfo& vehicle, const Image& image) {
    return SettingsFile::write(identity(type), vehicle, image.data());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_settings_corpus FOLDER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QList<std::pair<QString, QByteArray>> files;

    files.append(
        {"type1_timing_7000.emu", written(1, {"Triumph", "Spitfire", "1500"}, unitImage(1, 71, false))});
    files.append({"type2_fuel.emu", written(2, {"Mini", "Cooper S", "A+ 1275"}, unitImage(2, 81, false))});
    files.append(
        {"type3_10000rpm.emu", written(3, {"Lotus", "Seven", "Twin Cam"}, unitImage(3, 101, false))});
    files.append(
        {"type5_stored255.emu", written(5, {"VW", "Beetle", "1600 twin port"}, unitImage(5, 1, true))});
    files.append(
        {"type6_longest_vehicle.emu",
         written(6, {QString(18, 'M'), QString(18, 'm'), QString(16, 'e')}, unitImage(6, 11, false))});
    files.append({"type3_latin1_vehicle.emu",
                  written(3, {QString::fromUtf8("Citroën"), " 2 CV ", QString::fromUtf8("µ-602 ½")},
                          unitImage(3, 255, true))});
    files.append({"empty_vehicle.emu", written(1, {}, unitImage(1, 71, true))});

    QByteArray older = written(3, {"Ford", "Escort", "CVH"}, unitImage(3, 71, false));
    older.replace("13132144", "1319244");
    files.append({"older_version_form.emu", older});

    QByteArray lf = written(6, {"Honda", "CB750", "SOHC"}, unitImage(6, 81, false));
    lf.replace("\r\n", "\n");
    files.append({"lf_line_endings.emu", lf});

    // Hand-edited values the reader still takes: large, signed, spaced, text after the last comma,
    // slots beyond 482, sections twice.
    QByteArray odd = written(5, {"Alfa", "Giulia", "Twin Spark"}, unitImage(5, 71, false));
    odd.replace("#Table\r\n",
                "#Table\r\n300, -1 ,+7,99999999999999999999,"); // slots shift; the last fall beyond 482
    odd.replace(",0,;", ",0,1,2,3,tail;ignored");
    odd.prepend("#VehicleInfo\r\nOld~Old~Old~\r\n#EMU Version\r\n26051144\r\n");
    files.append({"odd_values_repeated_sections.emu", odd});

    const QByteArray base = written(3, {"Ford", "Escort", "CVH"}, unitImage(3, 71, false));
    QByteArray short481 = base;
    short481.replace(",0,;", ",;");
    files.append({"bad_481_values.emu", short481});
    QByteArray emptySlot = base;
    emptySlot.replace("#Table\r\n", "#Table\r\n1,2,,3,");
    files.append({"bad_empty_slot.emu", emptySlot});
    QByteArray noTable = base;
    noTable.truncate(noTable.indexOf("#Table"));
    files.append({"bad_no_table.emu", noTable});
    files.append({"bad_no_version.emu", base.mid(base.indexOf("#VehicleInfo"))});
    QByteArray letters = base;
    letters.replace("13132144", "13A32144");
    files.append({"bad_version_letters.emu", letters});

    for (const auto& [name, text] : files) {
        QFile file(dir.filePath(name));
        if (text.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "%s: not written\n", qPrintable(name));
            return 1;
        }
    }
    std::printf("wrote %lld files\n", static_cast<long long>(files.size()));
    return 0;
}
