#include "calibration/CalibrationData.h"
#include "calibration/SettingsFile.h"
#include "calibration_helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using Contents = std::optional<SettingsFileContents>;

namespace {

// The table line of the given values (each followed by ",") and ";".
QByteArray tableLine(const QList<QByteArray>& values) {
    QByteArray line;
    for (const QByteArray& v : values)
        line += v + ',';
    return line + ';';
}

// 482 values: position p holds (p % 200) + 1, with the given replacements.
QList<QByteArray> tableValues(const QMap<int, QByteArray>& replace = {}) {
    QList<QByteArray> values;
    for (int p = 0; p < SettingsFile::kTablePositions; ++p)
        values << replace.value(p, QByteArray::number(p % 200 + 1));
    return values;
}

QByteArray fileText(const QByteArray& version, const QByteArray& vehicle, const QByteArray& table,
                    const QByteArray& eol = "\r\n") {
    return "#EMU Version" + eol + version + eol + "#VehicleInfo" + eol + vehicle + eol + "#Table" + eol +
           table + eol + "#EOF" + eol;
}

QByteArray validFile() {
    return fileText("13131244", "Ford~Escort~1.6 CVH~", tableLine(tableValues()));
}

QByteArray bytesOf(const std::uint8_t* p, int n) {
    return QByteArray(reinterpret_cast<const char*>(p), n);
}

EmuIdentity identity(std::array<std::uint8_t, 7> b) {
    EmuIdentity id;
    std::copy(b.begin(), b.end(), id.bytes.begin());
    return id;
}

QList<QByteArray> linesOf(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

// What an open does with a file's contents, then what a save from the PC writes.
QByteArray openThenSave(const SettingsFileContents& contents, WireImage* received = nullptr) {
    CalibrationData data = decodedFrom(contents.image, contents.identity.model());
    if (received)
        *received = data.ReceivedImage;
    buildImage(data);
    return SettingsFile::write(contents.identity, contents.vehicle, data.OutgoingImage.data());
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

  private slots:
    void writesTheSevenLines();
    void versionLine_data();
    void versionLine();
    void storedZeroDoesNotCutTheTable();
    void shortImageIsPaddedWithZeros();

    void imageFileImage_data();
    void imageFileImage();
    void fileImageFile_data();
    void fileImageFile();

    void refusedFiles_data();
    void refusedFiles();
    void tableValueConversion_data();
    void tableValueConversion();
    void versionConversion_data();
    void versionConversion();
    void vehicleLine_data();
    void vehicleLine();
    void filesReadInTurnAreIndependent();
    void laterSectionReplacesEarlier();
    void lineEndings_data();
    void lineEndings();
    void hugeInputStaysCheap();

    void writerRefuses_data();
    void writerRefuses();
    void longestVehicleTextsReadBack();

    void saveAndLoad();
    void saveIntoReadOnlyDirectoryFails();
    void failedSaveLeavesTheFileWhole();
    void emptyContentsAreNotSaved();
    void loadRefusesMissingAndHugeFiles();
};

void TestSettingsFile::writesTheSevenLines() {
    WireImage image{};
    for (int p = 0; p < kImageReplySize; ++p)
        image[p] = static_cast<std::uint8_t>(p % 255 + 1);
    const QByteArray text =
        SettingsFile::write(identity({1, 3, 13, 1, 2, 5, 6}), {"Ford", "Escort", "1.6 CVH"}, image.data());

    QVERIFY(text.endsWith("\r\n"));
    QCOMPARE(text.count("\r\n"), 7);
    QCOMPARE(text.count('\n'), 7);
    const QList<QByteArray> lines = linesOf(text);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QByteArray("#EMU Version\r"));
    QCOMPARE(lines[1], QByteArray("13131244\r"));
    QCOMPARE(lines[2], QByteArray("#VehicleInfo\r"));
    QCOMPARE(lines[3], QByteArray("Ford~Escort~1.6 CVH~\r"));
    QCOMPARE(lines[4], QByteArray("#Table\r"));
    QCOMPARE(lines[6], QByteArray("#EOF\r"));

    const QByteArray table = lines[5];
    QVERIFY(table.startsWith("1,2,3,"));
    QVERIFY(table.endsWith(",226,0,;\r")); // position 480 = 480 % 255 + 1, position 481 written as 0
    QCOMPARE(table.count(','), 482);
}

void TestSettingsFile::versionLine_data() {
    QTest::addColumn<QList<int>>("bytes");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("1.13, type 3") << QList<int>{1, 3, 13, 1, 2, 5, 6} << QByteArray("13131244");
    QTest::newRow("type 6, letter B") << QList<int>{1, 6, 13, 3, 0, 5, 6} << QByteArray("16133044");
    QTest::newRow("one-digit release padded") << QList<int>{1, 2, 5, 1, 1, 4, 4} << QByteArray("12051144");
    QTest::newRow("unused byte 4 keeps its last digit")
        << QList<int>{1, 1, 13, 1, 137, 5, 6} << QByteArray("11131744");
    QTest::newRow("all zero") << QList<int>{0, 0, 0, 0, 0, 0, 0} << QByteArray("00000044");
}

void TestSettingsFile::versionLine() {
    QFETCH(QList<int>, bytes);
    QFETCH(QByteArray, line);
    EmuIdentity id;
    for (int i = 0; i < 7; ++i)
        id.bytes[i] = static_cast<std::uint8_t>(bytes[i]);
    const WireImage image = realisticImage(3, 71, false);
    const QByteArray text = SettingsFile::write(id, {}, image.data());
    QCOMPARE(linesOf(text).value(1), line + '\r');

    // And it reads back as the same identity, marked as from a file.
    const Contents back = SettingsFile::read(text);
    QVERIFY(back);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(back->identity.bytes[i]), bytes[i]);
    QCOMPARE(int(back->identity.bytes[4]), bytes[4] % 10);
    QVERIFY(back->identity.isFromFile());
}

void TestSettingsFile::storedZeroDoesNotCutTheTable() {
    WireImage image = realisticImage(5, 71, false);
    image[7] = 0; // a stored 255
    image[200] = 0;
    const QByteArray text = SettingsFile::write(unitIdentity(5), {}, image.data());
    const QList<QByteArray> values = linesOf(text)[5].chopped(2).split(','); // without ";\r"
    QCOMPARE(values.size(), 483);                                            // 482 values and the empty tail
    QCOMPARE(values[7], QByteArray("0"));
    QCOMPARE(values[200], QByteArray("0"));
    QCOMPARE(values[201], QByteArray::number(image[201]));
    QCOMPARE(values[480], QByteArray::number(image[480]));

    const Contents back = SettingsFile::read(text);
    QVERIFY(back);
    QCOMPARE(bytesOf(back->image.data(), kImageReplySize), bytesOf(image.data(), kImageReplySize));
}

void TestSettingsFile::shortImageIsPaddedWithZeros() {
    const WireImage image = realisticImage(1, 71, false);
    const Contents back = SettingsFile::read(SettingsFile::write(unitIdentity(1), {}, image.data(), 101));
    QVERIFY(back);
    QCOMPARE(bytesOf(back->image.data(), 101), bytesOf(image.data(), 101));
    QVERIFY(std::all_of(back->image.begin() + 101, back->image.end(), [](auto b) { return b == 0; }));
}

void TestSettingsFile::imageFileImage_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rpmByte");
    for (int type : {1, 2, 3, 5, 6}) {
        QTest::addRow("type %d, 7000", type) << type << 71;
        QTest::addRow("type %d, 10000", type) << type << 101;
    }
}

void TestSettingsFile::imageFileImage() {
    // A unit's image, decoded and built ("Save From PC"), written, opened again and built again.
    QFETCH(int, type);
    QFETCH(int, rpmByte);
    const WireImage unitImage = realisticImage(type, static_cast<std::uint8_t>(rpmByte), false);
    CalibrationData data = decodedFrom(unitImage, type);
    buildImage(data);
    const QByteArray text =
        SettingsFile::write(unitIdentity(type), {"Mini", "Cooper S", "A+ 1275"}, data.OutgoingImage.data());
    QVERIFY(!text.isEmpty());

    const Contents opened = SettingsFile::read(text);
    QVERIFY(opened);
    QCOMPARE(opened->identity.model(), type);
    QCOMPARE(opened->vehicle, VehicleInfo({"Mini", "Cooper S", "A+ 1275"}));
    QCOMPARE(int(opened->image[kTrailerOffset]), 0);

    CalibrationData reopened = decodedFrom(opened->image, opened->identity.model());
    buildImage(reopened);
    // Every region, the ones the type has and the ones it lacks, as the unit sent it.
    QCOMPARE(bytesOf(reopened.OutgoingImage.data(), kImageReplySize),
             bytesOf(unitImage.data(), kImageReplySize));
    QCOMPARE(reopened.OutgoingImageText, data.OutgoingImageText);
    for (const MapInfo& info : mapTable()) {
        if (!reopened.hasFamily(info.family))
            continue;
        for (int n = 1; n <= info.points; ++n)
            QCOMPARE(reopened.map(info.id)[n], data.map(info.id)[n]);
    }
}

void TestSettingsFile::fileImageFile_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("vehicle");
    for (int type : {1, 2, 3, 5, 6}) {
        const QByteArray version = "1" + QByteArray::number(type) + "131244";
        QTest::addRow("type %d", type) << type << version << QByteArray("Lotus~Seven~Twin Cam~");
        QTest::addRow("type %d, odd vehicle", type)
            << type << version << QByteArray(" ~ two  spaces ~\xe9t\xe9~");
    }
    QTest::newRow("older version form") << 3 << QByteArray("1319244") << QByteArray("~~~");
    QTest::newRow("no vehicle section") << 6 << QByteArray("16131244") << QByteArray();
}

void TestSettingsFile::fileImageFile() {
    // A file (with stored 255s and odd bytes), opened and saved from the PC unchanged.
    QFETCH(int, type);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, vehicle);
    const WireImage image = realisticImage(type, 81, true);
    QList<QByteArray> values;
    for (int p = 0; p < kImageReplySize; ++p)
        values << QByteArray::number(image[p]);
    values << "0";
    QByteArray text = fileText(version, vehicle, tableLine(values));
    if (vehicle.isNull())
        text.replace("#VehicleInfo\r\n\r\n", "");

    const Contents opened = SettingsFile::read(text);
    QVERIFY(opened);
    QCOMPARE(opened->identity.model(), type);
    WireImage received{};
    const QByteArray saved = openThenSave(*opened, &received);
    QVERIFY(!saved.isEmpty());
    const Contents again = SettingsFile::read(saved);
    QVERIFY(again);
    QCOMPARE(bytesOf(again->image.data(), kImageSize), bytesOf(opened->image.data(), kImageSize));
    QCOMPARE(again->vehicle, opened->vehicle);
    QCOMPARE(again->identity.bytes, opened->identity.bytes);
    // The same file once more gives the same bytes.
    QCOMPARE(openThenSave(*again), saved);
    if (version.size() == 8 && !vehicle.isNull())
        QCOMPARE(saved, text);
}

void TestSettingsFile::refusedFiles_data() {
    QTest::addColumn<QByteArray>("text");

    QList<QByteArray> short481 = tableValues();
    short481.removeLast();
    QTest::newRow("481 values") << fileText("13131244", "a~b~c~", tableLine(short481));
    QList<QByteArray> emptyThird = tableValues({{2, ""}});
    QTest::newRow("1,2,,3, empty third slot") << fileText("13131244", "a~b~c~", tableLine(emptyThird));
    QTest::newRow("empty last slot") << fileText("13131244", "", tableLine(tableValues({{481, ""}})));
    QTest::newRow("letters") << fileText("13131244", "", tableLine(tableValues({{10, "abc"}})));
    QTest::newRow("hex") << fileText("13131244", "", tableLine(tableValues({{10, "$1F"}})));
    QTest::newRow("inner space") << fileText("13131244", "", tableLine(tableValues({{10, "1 2"}})));
    QTest::newRow("sign alone") << fileText("13131244", "", tableLine(tableValues({{10, "-"}})));
    QTest::newRow("two signs") << fileText("13131244", "", tableLine(tableValues({{10, "--1"}})));
    QTest::newRow("decimal point") << fileText("13131244", "", tableLine(tableValues({{10, "1.0"}})));
    QByteArray early = tableLine(tableValues());
    early[early.indexOf(",", 600)] = ';';
    QTest::newRow("semicolon before the end") << fileText("13131244", "", early);
    QTest::newRow("no #Table") << QByteArray(
        "#EMU Version\r\n13131244\r\n#VehicleInfo\r\na~b~c~\r\n#EOF\r\n");
    QTest::newRow("#Table at the end") << QByteArray("#EMU Version\r\n13131244\r\n#Table");
    QTest::newRow("no #EMU Version") << QByteArray("#VehicleInfo\r\na~b~c~\r\n#Table\r\n" +
                                                   tableLine(tableValues()) + "\r\n#EOF\r\n");
    QTest::newRow("non-digit version") << fileText("13a31244", "", tableLine(tableValues()));
    QTest::newRow("space in version") << fileText("1313 244", "", tableLine(tableValues()));
    QTest::newRow("empty version line") << fileText("", "", tableLine(tableValues()));
    QTest::newRow("short version line") << fileText("13", "", tableLine(tableValues()));
    QTest::newRow("live signature") << fileText("13131256", "", tableLine(tableValues()));
    QTest::newRow("marker case")
        << fileText("13131244", "", tableLine(tableValues())).replace("#Table", "#table");
    QTest::newRow("empty text") << QByteArray();
}

void TestSettingsFile::refusedFiles() {
    QFETCH(QByteArray, text);
    QVERIFY(!SettingsFile::read(text));
}

void TestSettingsFile::tableValueConversion_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("stored");

    QTest::newRow("300 -> 44") << QByteArray("300") << 44;
    QTest::newRow("256 -> 0") << QByteArray("256") << 0;
    QTest::newRow("0") << QByteArray("0") << 0;
    QTest::newRow("255") << QByteArray("255") << 255;
    QTest::newRow("leading zeros") << QByteArray("000000000042") << 42;
    QTest::newRow("-1 -> 255") << QByteArray("-1") << 255;
    QTest::newRow("-256 -> 0") << QByteArray("-256") << 0;
    QTest::newRow("-257 -> 255") << QByteArray("-257") << 255;
    QTest::newRow("+7") << QByteArray("+7") << 7;
    QTest::newRow("spaces") << QByteArray("  12 ") << 12;
    QTest::newRow("tab") << QByteArray("\t5") << 5;
    QTest::newRow("20 nines") << QByteArray("99999999999999999999") << 255;
    QTest::newRow("2^64") << QByteArray("18446744073709551616") << 0;
    QTest::newRow("2^64 + 300") << QByteArray("18446744073709551916") << 44;
    QTest::newRow("200 digits") << QByteArray(199, '9') + "7" << 255 - 2;
}

void TestSettingsFile::tableValueConversion() {
    QFETCH(QByteArray, value);
    QFETCH(int, stored);
    for (int position : {0, 100, 481}) {
        const Contents c =
            SettingsFile::read(fileText("13131244", "", tableLine(tableValues({{position, value}}))));
        QVERIFY(c);
        QCOMPARE(int(c->image[position]), stored);
        QCOMPARE(int(c->image[position == 0 ? 1 : 0]), position == 0 ? 2 : 1); // its neighbours as written
    }
}

void TestSettingsFile::versionConversion_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<int>>("bytes");

    QTest::newRow("current") << QByteArray("13131244") << QList<int>{1, 3, 13, 1, 2, 4, 4};
    QTest::newRow("older form 1319244") << QByteArray("1319244") << QList<int>{1, 3, 1, 2, 1, 4, 4};
    QTest::newRow("seven characters") << QByteArray("1313124") << QList<int>{1, 3, 1, 1, 1, 4, 4};
    QTest::newRow("two-digit release 05") << QByteArray("12051144") << QList<int>{1, 2, 5, 1, 1, 4, 4};
    QTest::newRow("more than eight") << QByteArray("16131244xyz") << QList<int>{1, 6, 13, 1, 2, 4, 4};
    QTest::newRow("older form, c7 not 4") << QByteArray("51993942") << QList<int>{5, 1, 9, 3, 1, 4, 4};
}

void TestSettingsFile::versionConversion() {
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, bytes);
    const Contents c = SettingsFile::read(fileText(line, "", tableLine(tableValues())));
    QVERIFY(c);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(int(c->identity.bytes[i]), bytes[i]);
    QVERIFY(c->identity.isFromFile());
}

void TestSettingsFile::vehicleLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("engine");

    const QByteArray a18(18, 'A'), b18(18, 'B'), c18(18, 'C');
    QTest::newRow("plain") << QByteArray("Ford~Escort~1.6 CVH~") << "Ford"
                           << "Escort"
                           << "1.6 CVH";
    QTest::newRow("57 characters cut at 54")
        << a18 + '~' + b18 + '~' + c18 + '~' << QString(a18) << QString(b18) << QString(16, 'C');
    QTest::newRow("no separator") << QByteArray(60, 'x') << QString(54, 'x') << QString() << QString();
    QTest::newRow("two fields") << QByteArray("a~b") << "a"
                                << "b" << QString();
    QTest::newRow("text after the third ~") << QByteArray("a~b~c~d~e") << "a"
                                            << "b"
                                            << "c";
    QTest::newRow("empty fields") << QByteArray("~~~") << QString() << QString() << QString();
    QTest::newRow("empty line") << QByteArray() << QString() << QString() << QString();
    QTest::newRow("Latin-1") << QByteArray("Citro\xebn~2CV~\xb5-602~") << QString::fromUtf8("Citroën")
                             << "2CV" << QString::fromUtf8("µ-602");
}

void TestSettingsFile::vehicleLine() {
    QFETCH(QByteArray, line);
    QFETCH(QString, make);
    QFETCH(QString, model);
    QFETCH(QString, engine);
    const Contents c = SettingsFile::read(fileText("13131244", line, tableLine(tableValues())));
    QVERIFY(c);
    QCOMPARE(c->vehicle.make, make);
    QCOMPARE(c->vehicle.model, model);
    QCOMPARE(c->vehicle.engine, engine);
}

void TestSettingsFile::filesReadInTurnAreIndependent() {
    const Contents first =
        SettingsFile::read(fileText("13131244", "Ford~Escort~CVH~", tableLine(tableValues())));
    const Contents second = SettingsFile::read(fileText("13131244", "~Kit~", tableLine(tableValues())));
    QByteArray noVehicle = fileText("13131244", "x", tableLine(tableValues()));
    noVehicle.replace("#VehicleInfo\r\nx\r\n", "");
    const Contents third = SettingsFile::read(noVehicle);
    QVERIFY(first && second && third);
    QCOMPARE(second->vehicle, VehicleInfo({"", "Kit", ""}));
    QCOMPARE(third->vehicle, VehicleInfo());
}

void TestSettingsFile::laterSectionReplacesEarlier() {
    const QByteArray text = "#EMU Version\r\n15131244\r\n#Table\r\n" + tableLine(tableValues({{0, "abc"}})) +
                            "\r\n#VehicleInfo\r\nOld~Old~Old~\r\n" + validFile();
    const Contents c = SettingsFile::read(text);
    QVERIFY(c);
    QCOMPARE(c->identity.model(), 3);
    QCOMPARE(c->vehicle, VehicleInfo({"Ford", "Escort", "1.6 CVH"}));
    QCOMPARE(int(c->image[0]), 1);

    // A broken later table replaces a good earlier one.
    QVERIFY(!SettingsFile::read(validFile() + "#Table\r\n1,2,3,;\r\n"));
}

void TestSettingsFile::lineEndings_data() {
    QTest::addColumn<QByteArray>("eol");
    QTest::newRow("CRLF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR") << QByteArray("\r");
}

void TestSettingsFile::lineEndings() {
    QFETCH(QByteArray, eol);
    const Contents reference = SettingsFile::read(validFile());
    QVERIFY(reference);
    const QByteArray text = fileText("13131244", "Ford~Escort~1.6 CVH~", tableLine(tableValues()), eol);
    for (const QByteArray& variant : {text, text.chopped(eol.size()), "\xEF\xBB\xBF" + text}) {
        const Contents c = SettingsFile::read(variant);
        QVERIFY(c);
        QCOMPARE(c->identity.bytes, reference->identity.bytes);
        QCOMPARE(c->vehicle, reference->vehicle);
        QCOMPARE(c->image, reference->image);
    }
}

void TestSettingsFile::hugeInputStaysCheap() {
    // Long lines of every section: read in one pass, nothing kept beyond what the format uses.
    const QByteArray big(4 << 20, '7');
    const QByteArray text =
        fileText("13131244" + big, QByteArray(1 << 20, '~'), tableLine(tableValues()) + big);
    const Contents c = SettingsFile::read(text);
    QVERIFY(c);
    QCOMPARE(c->vehicle, VehicleInfo());
    QVERIFY(!SettingsFile::read(fileText("13131244", "", big + ",")));
    QVERIFY(!SettingsFile::read(QByteArray(8 << 20, '\n')));
}

void TestSettingsFile::writerRefuses_data() {
    QTest::addColumn<QString>("make");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QList<int>>("id");
    QTest::addColumn<bool>("textsValid");

    const QList<int> good{1, 3, 13, 1, 2, 5, 6};
    QTest::newRow("tilde") << "Ford~"
                           << "Escort"
                           << "CVH" << good << false;
    QTest::newRow("tilde alone") << ""
                                 << "~"
                                 << "" << good << false;
    QTest::newRow("LF") << "Ford"
                        << "Es\ncort"
                        << "CVH" << good << false;
    QTest::newRow("CR") << "Ford"
                        << "Escort"
                        << "CVH\r" << good << false;
    QTest::newRow("outside Latin-1") << QString::fromUtf8("Škoda") << "Favorit"
                                     << "" << good << false;
    QTest::newRow("three 18-character fields")
        << QString(18, 'a') << QString(18, 'b') << QString(18, 'c') << good << true;
    QTest::newRow("53 and 1 characters") << QString(53, 'a') << "b"
                                         << "" << good << true;
    QTest::newRow("engine of 53 characters") << ""
                                             << "" << QString(53, 'c') << good << true;
    QTest::newRow("identity fill 48") << "Ford"
                                      << "Escort"
                                      << "CVH" << QList<int>{48, 48, 48, 48, 48, 48, 48} << true;
    QTest::newRow("model 10") << ""
                              << ""
                              << "" << QList<int>{1, 10, 13, 1, 2, 5, 6} << true;
    QTest::newRow("release 100") << ""
                                 << ""
                                 << "" << QList<int>{1, 3, 100, 1, 2, 5, 6} << true;
    QTest::newRow("letter byte 12") << ""
                                    << ""
                                    << "" << QList<int>{1, 3, 13, 12, 2, 5, 6} << true;
}

void TestSettingsFile::writerRefuses() {
    QFETCH(QString, make);
    QFETCH(QString, model);
    QFETCH(QString, engine);
    QFETCH(QList<int>, id);
    QFETCH(bool, textsValid);
    EmuIdentity identity;
    for (int i = 0; i < 7; ++i)
        identity.bytes[i] = static_cast<std::uint8_t>(id[i]);
    const VehicleInfo vehicle{make, model, engine};
    const WireImage image = realisticImage(3, 71, false);

    QVERIFY(!SettingsFile::refusalReason(identity, vehicle).isEmpty());
    QVERIFY(SettingsFile::write(identity, vehicle, image.data()).isEmpty());
    QCOMPARE(SettingsFile::isValidVehicleText(make) && SettingsFile::isValidVehicleText(model) &&
                 SettingsFile::isValidVehicleText(engine),
             textsValid);
}

void TestSettingsFile::longestVehicleTextsReadBack() {
    const WireImage image = realisticImage(3, 71, false);
    for (const VehicleInfo& vehicle :
         {VehicleInfo{QString(18, 'a'), QString(18, 'b'), QString(16, 'c')},
          VehicleInfo{QString(54, 'a'), "", ""}, VehicleInfo{QString(52, 'a'), "b", ""},
          VehicleInfo{"", "", QString(52, 'c')},
          VehicleInfo{QString::fromUtf8("Citroën"), "DS", QString::fromUtf8("µ ½")}}) {
        QVERIFY(SettingsFile::refusalReason(unitIdentity(3), vehicle).isEmpty());
        const Contents c = SettingsFile::read(SettingsFile::write(unitIdentity(3), vehicle, image.data()));
        QVERIFY(c);
        QCOMPARE(c->vehicle, vehicle);
    }
}

void TestSettingsFile::saveAndLoad() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'x')); // longer than the new file: nothing of it may remain
    old.close();

    QString error;
    QVERIFY(SettingsFile::saveToFile(path, validFile(), &error));
    QVERIFY(error.isEmpty());
    const std::optional<QByteArray> loaded = SettingsFile::loadFromFile(path, &error);
    QVERIFY(loaded);
    QCOMPARE(*loaded, validFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"tune.emu"});
}

void TestSettingsFile::saveIntoReadOnlyDirectoryFails() {
    if (geteuid() == 0)
        QSKIP("root writes into read-only directories; failedSaveLeavesTheFileWhole covers a failing save");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("previous tune");
    old.close();
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));

    QString error;
    const bool saved = SettingsFile::saveToFile(path, validFile(), &error);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!saved);
    QVERIFY(!error.isEmpty());
    QCOMPARE(SettingsFile::loadFromFile(path, nullptr).value_or(QByteArray()), QByteArray("previous tune"));
}

void TestSettingsFile::failedSaveLeavesTheFileWhole() {
    // A full disk, for any user: the process may not write files beyond 1 KB.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("previous tune");
    old.close();

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool ok = SettingsFile::saveToFile(path, validFile(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!ok);
    QVERIFY(!error.isEmpty());
    QCOMPARE(SettingsFile::loadFromFile(path, nullptr).value_or(QByteArray()), QByteArray("previous tune"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"tune.emu"}); // no temporary file left
}

void TestSettingsFile::emptyContentsAreNotSaved() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QString error;
    QVERIFY(!SettingsFile::saveToFile(path, QByteArray(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
}

void TestSettingsFile::loadRefusesMissingAndHugeFiles() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString error;
    QVERIFY(!SettingsFile::loadFromFile(dir.filePath("missing.emu"), &error));
    QVERIFY(!error.isEmpty());

    const QString big = dir.filePath("big.emu");
    QFile f(big);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(validFile() + QByteArray(SettingsFile::kMaxFileSize, '\n'));
    f.close();
    error.clear();
    QVERIFY(!SettingsFile::loadFromFile(big, &error));
    QVERIFY(!error.isEmpty());

    // A device that never ends is read only up to the bound.
    error.clear();
    QVERIFY(!SettingsFile::loadFromFile("/dev/zero", &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
