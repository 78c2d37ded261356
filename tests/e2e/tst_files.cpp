// The file commands: Save From PC and From EMU, open (accepted, refused, twice), Close all and Print.
#include "e2e_helpers.h"

#include "mapeditor/MapChartWidget.h"
#include "ui/TSaveFrm.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QRadioButton>
#include <QTest>

namespace {

std::optional<SettingsFileContents> readBack(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return SettingsFile::read(file.readAll());
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A settings file whose table line is replaced.
QByteArray withTable(const QByteArray& file, const QByteArray& table) {
    QList<QByteArray> lines = file.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].trimmed() == "#Table")
            lines[i + 1] = table + '\r';
    return lines.join('\n');
}

QByteArray tableOf(int values) {
    QByteArray table;
    for (int i = 0; i < values; ++i)
        table += "49,";
    return table + ';';
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

  private slots:
    void saveFromPcWritesTheProgramsData();
    void saveFromEmuWritesTheUnitsData();
    void saveFromEmuNeedsAUnit();
    void vehicleTextsTooLongForAFileAreRefused();
    void cancelledOrEscapedSaveWritesNothing();
    void savedFileOpensToTheSameData();
    void refusedFile_data();
    void refusedFile();
    void secondFileBringsItsOwnData();
    void closeAllEmptiesTheCharts();
    void printOnlyWhenAccepted_data();
    void printOnlyWhenAccepted();
};

void TestFiles::saveFromPcWritesTheProgramsData() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3, 1, 13, QLatin1Char('A')));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().cal.map(MapId::Timing)[5] = 33;
    lineEdit(w, "Edit9")->setText(QStringLiteral("Mazda"));
    lineEdit(w, "Edit10")->setText(QStringLiteral("MX-5"));
    lineEdit(w, "Edit11")->setText(QStringLiteral("B6ZE"));

    w.spSaveClick();
    TSaveFrm* dialog = w.saveForm();
    QVERIFY(dialog->isVisible());
    QVERIFY(!w.isEnabled());
    QVERIFY(dialog->fromEmu()->isEnabled());
    dialog->fromPc()->setChecked(true);
    const QString path = bench.dir.filePath(QStringLiteral("pc.emu"));
    bench.prompts.saveNames << path;
    dialog->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();

    QVERIFY(!dialog->isVisible());
    QVERIFY(w.isEnabled());
    QTest::qWait(200);
    QCOMPARE(nonPollCommands(unit), QList<int>());
    const auto saved = readBack(path);
    QVERIFY(saved);
    for (int b = 0; b < 5; ++b)
        QCOMPARE(saved->identity.bytes[static_cast<size_t>(b)],
                 w.state().link.Identity.bytes[static_cast<size_t>(b)]);
    QCOMPARE(saved->vehicle.make, QStringLiteral("Mazda"));
    QCOMPARE(saved->vehicle.model, QStringLiteral("MX-5"));
    QCOMPARE(saved->vehicle.engine, QStringLiteral("B6ZE"));
    for (int k = 0; k < 481; ++k)
        QCOMPARE(saved->image[static_cast<size_t>(k)], w.state().cal.OutgoingImage[static_cast<size_t>(k)]);
    QCOMPARE(saved->image[101 + 4], std::uint8_t(34));
    QCOMPARE(saved->image[481], std::uint8_t(0));
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestFiles::saveFromEmuWritesTheUnitsData() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    // The unit's memory differs from the PC's: a main jet trim of 255 (wire 0) and another curve.
    auto image = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
    image[3] = 0;
    image[101 + 20] = 41;
    unit.setImage(image);

    w.spSaveClick();
    const QString path = bench.dir.filePath(QStringLiteral("emu.emu"));
    bench.prompts.saveNames << path;
    w.saveForm()->Button1Click();
    QVERIFY(finishFlows(w));

    QCOMPARE(nonPollCommands(unit), QList<int>{0xFD});
    const auto saved = readBack(path);
    QVERIFY(saved);
    // A stored 0 does not cut the table: every position is the unit's.
    for (int k = 0; k < 481; ++k)
        QCOMPARE(saved->image[static_cast<size_t>(k)], image[static_cast<size_t>(k)]);
    QVERIFY(w.isEnabled());
}

void TestFiles::saveFromEmuNeedsAUnit() {
    Bench bench;
    TForm1& w = bench.window();
    w.spSaveClick();
    TSaveFrm* dialog = w.saveForm();
    QVERIFY(!dialog->fromEmu()->isEnabled());
    QVERIFY(dialog->fromEmu()->isChecked());
    dialog->Button1Click();
    QCOMPARE(bench.prompts.saveAsked, 0);
    QVERIFY(!dialog->isVisible());
    QVERIFY(w.isEnabled());
    QCOMPARE(QDir(bench.dir.path()).entryList({QStringLiteral("*.emu")}).size(), 0);
}

void TestFiles::vehicleTextsTooLongForAFileAreRefused() {
    // Three full boxes make a vehicle line longer than a file keeps: say so instead of saving a file
    // that would read back with the engine type cut.
    Bench bench;
    bench.prompts.expect(QStringLiteral("The vehicle texts are too long"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    lineEdit(w, "Edit9")->setText(QString(18, QLatin1Char('M')));
    lineEdit(w, "Edit10")->setText(QString(18, QLatin1Char('N')));
    lineEdit(w, "Edit11")->setText(QString(18, QLatin1Char('E')));
    bench.prompts.saveNames << bench.dir.filePath(QStringLiteral("long.emu"));

    w.spSaveClick();
    w.saveForm()->fromPc()->setChecked(true);
    w.saveForm()->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();

    QCOMPARE(bench.prompts.saveAsked, 0);
    QCOMPARE(bench.prompts.errors.size(), 1);
    QVERIFY(bench.prompts.errors.first().contains(QStringLiteral("54")));
    QVERIFY(!QFile::exists(bench.dir.filePath(QStringLiteral("long.emu"))));
    QVERIFY(w.isEnabled());
}

void TestFiles::cancelledOrEscapedSaveWritesNothing() {
    Bench bench;
    TForm1& w = bench.window();
    w.spSaveClick();
    w.saveForm()->fromPc()->setChecked(true);
    w.saveForm()->Button1Click(); // the save dialog is cancelled: no name
    QCOMPARE(bench.prompts.saveAsked, 1);
    QVERIFY(w.isEnabled());

    w.spSaveClick();
    QVERIFY(!w.isEnabled());
    QTest::keyPress(w.saveForm(), Qt::Key_Escape);
    QVERIFY(w.saveForm()->isVisible());
    QTest::keyRelease(w.saveForm(), Qt::Key_Escape);
    QVERIFY(!w.saveForm()->isVisible());
    QVERIFY(w.isEnabled());
    QCOMPARE(bench.prompts.saveAsked, 1);
    QCOMPARE(QDir(bench.dir.path()).entryList({QStringLiteral("*.emu")}).size(), 0);
}

void TestFiles::savedFileOpensToTheSameData() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const auto setup = w.state().cal.SetupBlock;
    const QList<double> timing = lineValues(w, "TimingChart", MapId::Timing);
    const QList<double> cruise = lineValues(w, "FuelRPMChart", MapId::FuelRpmCruise);

    const QString path = bench.dir.filePath(QStringLiteral("round.emu"));
    w.spSaveClick();
    w.saveForm()->fromPc()->setChecked(true);
    bench.prompts.saveNames << path;
    w.saveForm()->Button1Click();

    w.spCloseClick();
    finishFlows(w);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing).size(), 0);
    bench.prompts.openNames << path;
    w.spOpenClick();
    finishFlows(w);
    QVERIFY(w.state().link.FileMode);
    QCOMPARE(w.state().cal.SetupBlock, setup);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing), timing);
    QCOMPARE(lineValues(w, "FuelRPMChart", MapId::FuelRpmCruise), cruise);
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestFiles::refusedFile_data() {
    QTest::addColumn<QByteArray>("text");
    const QByteArray good =
        settingsFileText(3, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
    QTest::newRow("one value short") << withTable(good, tableOf(481));
    QTest::newRow("an empty value") << withTable(good, "1,2,,3," + tableOf(478));
    QTest::newRow("a word for a value") << withTable(good, "1,x," + tableOf(480));
    QByteArray noTable = good;
    noTable.replace("#Table", "#Tabel");
    QTest::newRow("no table") << noTable;
    QTest::newRow("not a settings file") << QByteArray("hello\r\n");
}

void TestFiles::refusedFile() {
    QFETCH(QByteArray, text);
    Bench bench;
    bench.prompts.expect(QStringLiteral("Incorrect .EMU file version"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    const QString path = bench.dir.filePath(QStringLiteral("bad.emu"));
    QVERIFY(writeFile(path, text));
    w.state().link.FileMode = true; // cleared by every open
    bench.prompts.openNames << path;

    w.spOpenClick();
    finishFlows(w);
    QCOMPARE(bench.prompts.errors, QStringList{QStringLiteral("Incorrect .EMU file version")});
    QVERIFY(!w.state().link.FileMode);
    QVERIFY(!w.state().link.DataReady);
    const auto& image = w.state().cal.ReceivedImage;
    QVERIFY(std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 48; }));
    QVERIFY(!unit.waitForCommands(1, 200));
    QCOMPARE(w.statusText(0), QStringLiteral("Fuel and Timing Module found on Com1"));
}

void TestFiles::secondFileBringsItsOwnData() {
    Bench bench;
    TForm1& w = bench.window();
    auto first = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
    auto second = first;
    first[80] = 5;  // 4 cylinders
    second[80] = 7; // 6 cylinders
    second[101] = 11;
    EmuIdentity id;
    id.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    const QString a = bench.dir.filePath(QStringLiteral("a.emu"));
    const QString b = bench.dir.filePath(QStringLiteral("b.emu"));
    QVERIFY(writeFile(a, SettingsFile::write(id, {"Honda", "Civic", "D16"}, first.data(), 481)));
    QVERIFY(writeFile(b, SettingsFile::write(id, {"Mazda", "MX-5", ""}, second.data(), 481)));

    bench.prompts.openNames << a << b;
    w.spOpenClick();
    finishFlows(w);
    QCOMPARE(lineEdit(w, "Edit11")->text(), QStringLiteral("D16"));
    QCOMPARE(w.state().cal.Cylinders, 4);
    w.spOpenClick();
    finishFlows(w);
    QCOMPARE(lineEdit(w, "Edit9")->text(), QStringLiteral("Mazda"));
    QCOMPARE(lineEdit(w, "Edit10")->text(), QStringLiteral("MX-5"));
    QCOMPARE(lineEdit(w, "Edit11")->text(), QString());
    QCOMPARE(w.state().cal.SetupBlock[80], std::uint8_t(7));
    QCOMPARE(w.state().cal.Cylinders, 6);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing).first(), 10.0);
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestFiles::closeAllEmptiesTheCharts() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    QVERIFY(lineValues(w, "TimingChart", MapId::Timing).size() > 0);

    w.spCloseClick();
    finishFlows(w);
    for (const char* name : {"TimingChart", "VacuumChart"}) {
        MapChartWidget* c = chartOf(w, name);
        for (int s = 0; s < c->seriesCount(); ++s)
            QCOMPARE(c->series(s)->interface1D()->dataCount(), 0);
    }
    for (const char* name : {"TimingChart", "VacuumChart", "FuelVacChart", "FuelRPMChart"})
        QVERIFY2(!chartOf(w, name)->isEnabled(), name);
    QVERIFY(!w.state().link.FileMode);
    const auto& setup = w.state().cal.SetupBlock;
    QVERIFY(std::all_of(setup.begin(), setup.end(), [](std::uint8_t v) { return v == 0; }));
    const auto& image = w.state().cal.ReceivedImage;
    QVERIFY(std::all_of(image.begin(), image.end(), [](std::uint8_t v) { return v == 0; }));
    // The live data goes on; nothing else reaches the unit.
    QTest::qWait(200);
    QCOMPARE(nonPollCommands(unit), QList<int>());
}

void TestFiles::printOnlyWhenAccepted_data() {
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted") << true;
    QTest::newRow("cancelled") << false;
}

void TestFiles::printOnlyWhenAccepted() {
    QFETCH(bool, accept);
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    bench.prompts.acceptPrint = accept;
    bench.prompts.printPdfPath = bench.dir.filePath(QStringLiteral("timing.pdf"));

    button(w, "spPrint")->click();
    QCOMPARE(bench.prompts.printAsked, 1);
    QFile pdf(bench.prompts.printPdfPath);
    QCOMPARE(pdf.exists(), accept);
    if (accept) {
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        // The chart is on the page: far more than a blank page holds.
        const QString blankPath = bench.dir.filePath(QStringLiteral("blank.pdf"));
        {
            QPrinter blank(QPrinter::HighResolution);
            blank.setOutputFormat(QPrinter::PdfFormat);
            blank.setOutputFileName(blankPath);
            QPainter painter(&blank);
        }
        const qint64 blankSize = QFileInfo(blankPath).size();
        QVERIFY(blankSize > 0);
        QVERIFY2(pdf.size() > 4 * blankSize,
                 qPrintable(QStringLiteral("%1 vs %2").arg(pdf.size()).arg(blankSize)));
    }
    QVERIFY(bench.prompts.errors.isEmpty());
}

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
