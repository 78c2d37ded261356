#include "calibration/CalibrationData.h"
#include "calibration/SettingsFile.h"
#include "calibration_helpers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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

// A file's text; a null vehicle line leaves the vehicle section out.
QByteArray fileText(const QByteArray& version, const QByteArray& vehicle, const QByteArray& table,
                    const QByteArray& eol = "\r\n") {
    const QByteArray vehicleSection = vehicle.isNull() ? QByteArray() : "#VehicleInfo" + eol + vehicle + eol;
    return "#EMU Version" + eol + version + eol + vehicleSection + "#Table" + eol + table + eol + "#EOF" +
           eol;
}

QByteArray validFile() {
    return fileText("13131244", "Ford~Escort~1.6 CVH~", tableLine(tableValues()));
}

QByteArray bytesOf(const std::uint8_t* p, int n) {
    return QByteArray(reinterpret_cast<const char*>(p), n);
}

EmuIdentity identityOf(const QList<int>& bytes) {
    EmuIdentity id;
    for (int i = 0; i < 7; ++i)
        id.bytes[i] = static_cast<std::uint8_t>(bytes[i]);
    return id;
}

// What an open does with a file's contents, then what a save from the PC writes.
QByteArray openThenSave(const SettingsFileContents& contents) {
    CalibrationData data = decodedFrom(contents.image, contents.identity.model());
    buildImage(data);
    return SettingsFile::write(contents.identity, contents.vehicle, data.OutgoingImage.data());
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

  private slots:
    void writesTheSevenLines_data();
    void writesTheSevenLines();
    void everyPositionIsWritten_data();
    void everyPositionIsWritten();
    void roundTrips_data();
    void roundTrips();

    void refusedFiles_data();
    void refusedFiles();
    void tableValueConversion_data();
    void tableValueConversion();
    void versionConversion_data();
    void versionConversion();
    void vehicleLine_data();
    void vehicleLine();
    void laterSectionReplacesEarlier();
    void lineEndings_data();
    void lineEndings();
    void hugeInputStaysCheap();

    void writerRefusesWhatCannotReadBack_data();
    void writerRefusesWhatCannotReadBack();

    void saveAndLoad();
    void failedSaveLeavesTheFileWhole();
};

void TestSettingsFile::writesTheSevenLines_data() {
    QTest::addColumn<QList<int>>("bytes");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("1.13, type 3") << QList<int>{1, 3, 13, 1, 2, 5, 6} << QByteArray("13131244");
    QTest::newRow("type 6, letter B") << QList<int>{1, 6, 13, 3, 0, 5, 6} << QByteArray("16133044");
    QTest::newRow("one-digit release padded") << QList<int>{1, 2, 5, 1, 1, 4, 4} << QByteArray("12051144");
    QTest::newRow("unused byte 4 keeps its last digit")
        << QList<int>{1, 1, 13, 1, 137, 5, 6} << QByteArray("11131744");
    QTest::newRow("all zero") << QList<int>{0, 0, 0, 0, 0, 0, 0} << QByteArray("00000044");
}

void TestSettingsFile::writesTheSevenLines() {
    QFETCH(QList<int>, bytes);
    QFETCH(QByteArray, line);
    WireImage image{};
    for (int p = 0; p < kImageReplySize; ++p)
        image[p] = static_cast<std::uint8_t>(p % 255 + 1);
    const QByteArray text =
        SettingsFile::write(identityOf(bytes), {"Ford", "Escort", "1.6 CVH"}, image.data());

    QVERIFY(text.startsWith("#EMU Version\r\n" + line +
                            "\r\n#VehicleInfo\r\nFord~Escort~1.6 CVH~\r\n#Table\r\n1,2,3,"));
    // Position 480 = 480 % 255 + 1, position 481 written as 0.
    QVERIFY(text.endsWith(",226,0,;\r\n#EOF\r\n"));
    QCOMPARE(text.count("\r\n"), 7);
    QCOMPARE(text.count('\n'), 7);
    QCOMPARE(text.count(','), 482);

    // And it reads back as the same identity, marked as from a file.
    const Contents back = SettingsFile::read(text);
    QVERIFY(back);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(int(back->identity.bytes[i]), bytes[i]);
    QCOMPARE(int(back->identity.bytes[4]), bytes[4] % 10);
    QVERIFY(back->identity.isFromFile());
}

void TestSettingsFile::everyPositionIsWritten_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("the unit's 481 bytes") << 481;
    QTest::newRow("the setup block only") << 101;
}

void TestSettingsFile::everyPositionIsWritten() {
    // A stored 255 is written as 0 and does not cut the table; positions not given are 0.
    QFETCH(int, count);
    WireImage image = realisticImage(5, 71, false);
    image[7] = 0;
    image[200] = 0;
    const QByteArray text = SettingsFile::write(unitIdentity(5), {}, image.data(), count);
    const Contents back = SettingsFile::read(text);
    QVERIFY(back);
    for (int p = 0; p < kImageSize; ++p)
        QCOMPARE(int(back->image[p]), p < count ? int(image[p]) : 0);
}

void TestSettingsFile::roundTrips_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("version"); // empty: a unit's image, built and saved from the PC
    QTest::addColumn<QByteArray>("vehicle");
    QTest::addColumn<bool>("sameText"); // saved again byte for byte
    for (int type : {1, 2, 3, 5, 6}) {
        const QByteArray version = "1" + QByteArray::number(type) + "131244";
        QTest::addRow("type %d, from the unit", type) << type << QByteArray() << QByteArray() << true;
        QTest::addRow("type %d, file", type)
            << type << version << QByteArray("Lotus~Seven~Twin Cam~") << true;
        QTest::addRow("type %d, odd vehicle", type)
            << type << version << QByteArray(" ~ two  spaces ~\xe9t\xe9~") << true;
    }
    QTest::newRow("older version form") << 3 << QByteArray("1319244") << QByteArray("~~~") << false;
    QTest::newRow("no vehicle section") << 6 << QByteArray("16131244") << QByteArray() << false;
}

void TestSettingsFile::roundTrips() {
    QFETCH(int, type);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, vehicle);
    QFETCH(bool, sameText);
    // A file may hold stored 255s (wire 0); a unit's image does not.
    const WireImage image = realisticImage(type, 81, !version.isEmpty());
    QByteArray text;
    if (version.isEmpty()) {
        CalibrationData unit = decodedFrom(image, type);
        buildImage(unit);
        text = SettingsFile::write(unitIdentity(type), {"Mini", "Cooper S", "A+ 1275"},
                                   unit.OutgoingImage.data());
    } else {
        QList<QByteArray> values;
        for (int p = 0; p < kImageReplySize; ++p)
            values << QByteArray::number(image[p]);
        text = fileText(version, vehicle, tableLine(values << "0"));
    }

    // Opened: the data as the unit or the file had it, the regions the type lacks too.
    const Contents opened = SettingsFile::read(text);
    QVERIFY(opened);
    QCOMPARE(opened->identity.model(), type);
    QCOMPARE(bytesOf(opened->image.data(), kImageReplySize), bytesOf(image.data(), kImageReplySize));
    QCOMPARE(int(opened->image[kTrailerOffset]), 0);

    // Saved from the PC unchanged: the same data, and the same file when it was in the current form.
    const QByteArray saved = openThenSave(*opened);
    QVERIFY(!saved.isEmpty());
    if (sameText)
        QCOMPARE(saved, text);
    const Contents again = SettingsFile::read(saved);
    QVERIFY(again);
    QCOMPARE(bytesOf(again->image.data(), kImageSize), bytesOf(opened->image.data(), kImageSize));
    QCOMPARE(again->vehicle, opened->vehicle);
    QCOMPARE(again->identity.bytes, opened->identity.bytes);
    QCOMPARE(openThenSave(*again), saved);
}

void TestSettingsFile::refusedFiles_data() {
    QTest::addColumn<QByteArray>("text");
    const auto withValue = [](int position, const QByteArray& value) {
        return fileText("13131244", "", tableLine(tableValues({{position, value}})));
    };
    const QByteArray goodTable = tableLine(tableValues());

    QList<QByteArray> short481 = tableValues();
    short481.removeLast();
    QTest::newRow("481 values") << fileText("13131244", "a~b~c~", tableLine(short481));
    QTest::newRow("1,2,,3, empty third slot") << withValue(2, "");
    QTest::newRow("empty last slot") << withValue(481, "");
    QTest::newRow("letters") << withValue(10, "abc");
    QTest::newRow("hex") << withValue(10, "$1F");
    QTest::newRow("inner space") << withValue(10, "1 2");
    QTest::newRow("sign alone") << withValue(10, "-");
    QTest::newRow("two signs") << withValue(10, "--1");
    QTest::newRow("decimal point") << withValue(10, "1.0");
    QByteArray early = goodTable;
    early[early.indexOf(",", 600)] = ';';
    QTest::newRow("semicolon before the end") << fileText("13131244", "", early);
    QTest::newRow("no #Table") << QByteArray(
        "#EMU Version\r\n13131244\r\n#VehicleInfo\r\na~b~c~\r\n#EOF\r\n");
    QTest::newRow("#Table at the end") << QByteArray("#EMU Version\r\n13131244\r\n#Table");
    QTest::newRow("no #EMU Version") << QByteArray("#VehicleInfo\r\na~b~c~\r\n#Table\r\n" + goodTable +
                                                   "\r\n#EOF\r\n");
    QTest::newRow("non-digit version") << fileText("13a31244", "", goodTable);
    QTest::newRow("space in version") << fileText("1313 244", "", goodTable);
    QTest::newRow("empty version line") << fileText("", "", goodTable);
    QTest::newRow("short version line") << fileText("13", "", goodTable);
    QTest::newRow("live signature") << fileText("13131256", "", goodTable);
    QTest::newRow("a broken later table") << validFile() + "#Table\r\n1,2,3,;\r\n";
    QTest::newRow("marker case") << fileText("13131244", "", goodTable).replace("#Table", "#table");
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
    QTest::newRow("leading zeros") << QByteArray("000000000042") << 42;
    QTest::newRow("-1 -> 255") << QByteArray("-1") << 255;
    QTest::newRow("-257 -> 255") << QByteArray("-257") << 255;
    QTest::newRow("+7") << QByteArray("+7") << 7;
    QTest::newRow("spaces") << QByteArray("  12 ") << 12;
    QTest::newRow("tab") << QByteArray("\t5") << 5;
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

    QTest::newRow("older form 1319244") << QByteArray("1319244") << QList<int>{1, 3, 1, 2, 1, 4, 4};
    QTest::newRow("seven characters") << QByteArray("1313124") << QList<int>{1, 3, 1, 1, 1, 4, 4};
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
    QTest::addColumn<QByteArray>("line"); // null: no vehicle section
    QTest::addColumn<QStringList>("fields");

    const QByteArray a18(18, 'A'), b18(18, 'B'), c18(18, 'C');
    QTest::newRow("plain") << QByteArray("Ford~Escort~1.6 CVH~") << QStringList{"Ford", "Escort", "1.6 CVH"};
    QTest::newRow("57 characters cut at 54")
        << a18 + '~' + b18 + '~' + c18 + '~' << QStringList{a18, b18, QString(16, 'C')};
    QTest::newRow("no separator") << QByteArray(60, 'x') << QStringList{QString(54, 'x'), "", ""};
    QTest::newRow("two fields") << QByteArray("a~b") << QStringList{"a", "b", ""};
    QTest::newRow("text after the third ~") << QByteArray("a~b~c~d~e") << QStringList{"a", "b", "c"};
    QTest::newRow("an empty field") << QByteArray("~Kit~") << QStringList{"", "Kit", ""};
    QTest::newRow("empty line") << QByteArray("") << QStringList{"", "", ""};
    QTest::newRow("no vehicle section") << QByteArray() << QStringList{"", "", ""};
    QTest::newRow("Latin-1") << QByteArray("Citro\xebn~2CV~\xb5-602~")
                             << QStringList{QString::fromUtf8("Citroën"), "2CV", QString::fromUtf8("µ-602")};
}

void TestSettingsFile::vehicleLine() {
    QFETCH(QByteArray, line);
    QFETCH(QStringList, fields);
    // A file read before leaves nothing behind.
    QVERIFY(SettingsFile::read(fileText("13131244", "Old~Old~Old~", tableLine(tableValues()))));
    const Contents c = SettingsFile::read(fileText("13131244", line, tableLine(tableValues())));
    QVERIFY(c);
    QCOMPARE(c->vehicle, VehicleInfo({fields[0], fields[1], fields[2]}));
}

void TestSettingsFile::laterSectionReplacesEarlier() {
    const QByteArray text = "#EMU Version\r\n15131244\r\n#Table\r\n" + tableLine(tableValues({{0, "abc"}})) +
                            "\r\n#VehicleInfo\r\nOld~Old~Old~\r\n" + validFile();
    const Contents c = SettingsFile::read(text);
    QVERIFY(c);
    QCOMPARE(c->identity.model(), 3);
    QCOMPARE(c->vehicle, VehicleInfo({"Ford", "Escort", "1.6 CVH"}));
    QCOMPARE(int(c->image[0]), 1);
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

void TestSettingsFile::writerRefusesWhatCannotReadBack_data() {
    QTest::addColumn<QStringList>("vehicle");
    QTest::addColumn<QList<int>>("id");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("textsValid");

    const QList<int> good{1, 3, 13, 1, 2, 5, 6};
    QTest::newRow("tilde") << QStringList{"Ford~", "Escort", "CVH"} << good << true << false;
    QTest::newRow("LF") << QStringList{"Ford", "Es\ncort", "CVH"} << good << true << false;
    QTest::newRow("CR") << QStringList{"Ford", "Escort", "CVH\r"} << good << true << false;
    QTest::newRow("outside Latin-1") << QStringList{QString::fromUtf8("Škoda"), "Favorit", ""} << good << true
                                     << false;
    QTest::newRow("three 18-character fields")
        << QStringList{QString(18, 'a'), QString(18, 'b'), QString(18, 'c')} << good << true << true;
    QTest::newRow("53 and 1 characters") << QStringList{QString(53, 'a'), "b", ""} << good << true << true;
    QTest::newRow("engine of 53 characters") << QStringList{"", "", QString(53, 'c')} << good << true << true;
    QTest::newRow("identity fill 48")
        << QStringList{"Ford", "Escort", "CVH"} << QList<int>(7, 48) << true << true;
    QTest::newRow("model 10") << QStringList{"", "", ""} << QList<int>{1, 10, 13, 1, 2, 5, 6} << true << true;
    QTest::newRow("release 100") << QStringList{"", "", ""} << QList<int>{1, 3, 100, 1, 2, 5, 6} << true
                                 << true;
    QTest::newRow("letter byte 12") << QStringList{"", "", ""} << QList<int>{1, 3, 13, 12, 2, 5, 6} << true
                                    << true;
    // The longest texts that fit, and 8-bit characters, read back whole.
    QTest::newRow("18, 18 and 16 characters")
        << QStringList{QString(18, 'a'), QString(18, 'b'), QString(16, 'c')} << good << false << true;
    QTest::newRow("make of 54 characters") << QStringList{QString(54, 'a'), "", ""} << good << false << true;
    QTest::newRow("52 and 1 characters") << QStringList{QString(52, 'a'), "b", ""} << good << false << true;
    QTest::newRow("engine of 52 characters")
        << QStringList{"", "", QString(52, 'c')} << good << false << true;
    QTest::newRow("Latin-1") << QStringList{QString::fromUtf8("Citroën"), "DS", QString::fromUtf8("µ ½")}
                             << good << false << true;
}

void TestSettingsFile::writerRefusesWhatCannotReadBack() {
    QFETCH(QStringList, vehicle);
    QFETCH(QList<int>, id);
    QFETCH(bool, refused);
    QFETCH(bool, textsValid);
    const VehicleInfo info{vehicle[0], vehicle[1], vehicle[2]};
    const WireImage image = realisticImage(3, 71, false);

    QCOMPARE(SettingsFile::isValidVehicleText(info.make) && SettingsFile::isValidVehicleText(info.model) &&
                 SettingsFile::isValidVehicleText(info.engine),
             textsValid);
    QCOMPARE(!SettingsFile::refusalReason(identityOf(id), info).isEmpty(), refused);
    const QByteArray text = SettingsFile::write(identityOf(id), info, image.data());
    QCOMPARE(text.isEmpty(), refused);
    if (!refused) {
        const Contents c = SettingsFile::read(text);
        QVERIFY(c);
        QCOMPARE(c->vehicle, info);
    }
}

void TestSettingsFile::saveAndLoad() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QString error;
    QVERIFY(!SettingsFile::saveToFile(path, QByteArray(), &error)); // a refused write is not saved
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));

    QVERIFY(writeFile(path, QByteArray(5000, 'x'))); // longer than the new file: nothing of it may remain
    error.clear();
    QVERIFY(SettingsFile::saveToFile(path, validFile(), &error));
    QVERIFY(error.isEmpty());
    const std::optional<QByteArray> loaded = SettingsFile::loadFromFile(path, &error);
    QVERIFY(loaded);
    QCOMPARE(*loaded, validFile());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"tune.emu"});

    // Loads of a missing file, a file above the bound and a device that never ends fail.
    QVERIFY(writeFile(path, validFile() + QByteArray(SettingsFile::kMaxFileSize, '\n')));
    for (const QString& file : {dir.filePath("missing.emu"), path, QStringLiteral("/dev/zero")}) {
        error.clear();
        QVERIFY(!SettingsFile::loadFromFile(file, &error));
        QVERIFY2(!error.isEmpty(), qPrintable(file));
    }
}

void TestSettingsFile::failedSaveLeavesTheFileWhole() {
    // A full disk, for any user: the process may not write files beyond 1 KB.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("tune.emu");
    QVERIFY(writeFile(path, "previous tune"));

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

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
