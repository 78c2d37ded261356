// Connect and Read against simulated units: what goes over the wire, what the window shows, and the
// states it ends in; firmware mismatches, a missing unit, and a connect in file mode.
#include "e2e_helpers.h"

#include "mapeditor/MapChartWidget.h"
#include "ui/TVerChk.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

namespace {

const QString kNoticeHead =
    QStringLiteral("Please download the correct version of the EMU Interface Software from "
                   "our website. The version required is v");

// Wire bytes of a map region as the values the unit means.
QList<double> regionValues(const std::array<std::uint8_t, 482>& image, int offset, int count,
                           int plainOffset) {
    QList<double> out;
    for (int i = 0; i < count; ++i)
        out << static_cast<int>(image[static_cast<size_t>(offset + i)]) - 1 - plainOffset;
    return out;
}

} // namespace

class TestConnect : public QObject {
    Q_OBJECT

  private slots:
    void connectAndRead_data();
    void connectAndRead();
    void firmwareMismatch_data();
    void firmwareMismatch();
    void noUnitStillLoadsTheSetup_data();
    void noUnitStillLoadsTheSetup();
    void fileModeConnectSendsNothingThenReidentifies();
};

void TestConnect::connectAndRead_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<bool>("timing");
    QTest::addColumn<bool>("fuel");

    QTest::newRow("type 3") << 3 << "Fuel and Timing" << true << true;
    QTest::newRow("type 1") << 1 << "Timing and Vacuum" << true << false;
    QTest::newRow("type 6") << 6 << "Advanced Fuel and Timing" << true << true;
}

void TestConnect::connectAndRead() {
    QFETCH(int, type);
    QFETCH(QString, typeText);
    QFETCH(bool, timing);
    QFETCH(bool, fuel);

    Bench bench;
    EmuSimulator& unit = bench.addUnit(3, unitConfig(type, 1, 13, QLatin1Char('A')));
    TForm1& w = bench.window();
    QVERIFY(button(w, "spConnect")->isEnabled());

    button(w, "spConnect")->click();
    QVERIFY(finishFlows(w));

    // Identify, the setup block, then the whole image: each a query of its own. Filling the Setup
    // tab between them echoes the three radio groups and the two output sources, each with the
    // unit's own value.
    QVERIFY(unit.waitForCommands(8, 5000));
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xFD, 0xF2, 0xF2, 0xF2, 0xF2, 0xF2, 0xFD}));
    for (const SimCommand& c : unit.commands().mid(2, 5)) {
        const int id = static_cast<std::uint8_t>(c.bytes.at(1));
        QVERIFY2(QList<int>({86, 29, 32, 37, 14}).contains(id), qPrintable(QString::number(id)));
        QCOMPARE(static_cast<std::uint8_t>(c.bytes.at(2) + 1), unit.image()[static_cast<size_t>(id)]);
    }
    QCOMPARE(w.statusText(0), QStringLiteral("Ready"));
    QCOMPARE(w.statusText(1), QStringLiteral("EMU %1 v1.13 :: AB-010203-04").arg(type));
    QCOMPARE(w.statusText(2), typeText);
    QCOMPARE(lineEdit(w, "Edit6")->text(), QStringLiteral("1"));
    QCOMPARE(lineEdit(w, "Edit7")->text(), QString::number(type));
    QCOMPARE(lineEdit(w, "Edit8")->text(), QStringLiteral("13"));
    QCOMPARE(lineEdit(w, "Edit66")->text(), QStringLiteral("A"));
    QCOMPARE(lineEdit(w, "Edit18")->text(), typeText);

    const LinkState& link = w.state().link;
    QVERIFY(link.EmuConnected);
    QVERIFY(link.DataReady);
    QVERIFY(!link.FileMode);
    QVERIFY(!link.FileDataShown);
    QVERIFY(!link.hasPendingChanges());

    // The unit's image arrived whole and its maps are on the charts.
    const auto image = unit.image();
    const CalibrationData& cal = w.state().cal;
    for (int k = 0; k < 481; ++k)
        QCOMPARE(cal.ReceivedImage[static_cast<size_t>(k)], image[static_cast<size_t>(k)]);
    for (int k = 0; k < 101; ++k)
        QCOMPARE(cal.SetupBlock[static_cast<size_t>(k)], image[static_cast<size_t>(k)]);
    const int points = cal.TimingPointCount;
    QCOMPARE(points, (image[81] - 1)); // one point per 100 RPM of the unit's range
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing), regionValues(image, 101, points, 0));
    QCOMPARE(lineXs(w, "TimingChart", MapId::Timing).first(), 1.0);
    QCOMPARE(lineXs(w, "TimingChart", MapId::Timing).last(), double(points));
    QCOMPARE(chartOf(w, "TimingChart")->xAxis->range().upper, double(points));
    QCOMPARE(lineValues(w, "VacuumChart", MapId::VacuumTiming), regionValues(image, 201, 32, 15));
    QCOMPARE(chartOf(w, "TimingChart")->isEnabled(), timing);
    QCOMPARE(chartOf(w, "VacuumChart")->isEnabled(), timing);
    for (const char* name : {"FuelVacChart", "FuelRPMChart", "TempChart", "AirTmpChart", "VoltageChart"})
        QCOMPARE(chartOf(w, name)->isEnabled(), fuel);
    if (fuel) {
        QCOMPARE(lineValues(w, "FuelVacChart", MapId::FuelVacuum), regionValues(image, 233, 64, 100));
        QCOMPARE(lineValues(w, "FuelRPMChart", MapId::FuelRpmCruise), regionValues(image, 297, 32, 100));
        QCOMPARE(lineValues(w, "FuelRPMChart", MapId::FuelRpmLow), regionValues(image, 393, 32, 100));
        QCOMPARE(lineValues(w, "FuelRPMChart", MapId::FuelRpmHigh), regionValues(image, 425, 32, 100));
        QCOMPARE(lineValues(w, "TempChart", MapId::WaterTemp), regionValues(image, 329, 24, 100));
        QCOMPARE(lineValues(w, "AirTmpChart", MapId::AirTempFuel), regionValues(image, 353, 24, 100));
        QCOMPARE(lineValues(w, "AirTmpChart", MapId::AirTempTiming), regionValues(image, 457, 24, 100));
        QCOMPARE(lineValues(w, "VoltageChart", MapId::Voltage), regionValues(image, 377, 16, 100));
        QCOMPARE(lineXs(w, "FuelRPMChart", MapId::FuelRpmLow).last(), cal.RpmRange / 100.0);
    } else {
        for (const char* name : {"FuelVacChart", "FuelRPMChart", "TempChart", "AirTmpChart", "VoltageChart"})
            for (int s = 0; s < chartOf(w, name)->seriesCount(); ++s)
                QCOMPARE(chartOf(w, name)->series(s)->interface1D()->dataCount(), 0);
    }

    // Connected: offer Write only, poll live data, and keep the port.
    QVERIFY(button(w, "spWrite")->isEnabled());
    QVERIFY(!button(w, "spRead")->isEnabled());
    QVERIFY(!button(w, "spConnect")->isEnabled());
    QVERIFY(!w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->isEnabled());
    auto* analog = w.findChild<QCheckBox*>(QStringLiteral("AnalogEn"));
    QVERIFY(analog->isEnabled() && analog->isChecked());
    auto* tracking = w.findChild<QCheckBox*>(QStringLiteral("RT_Track"));
    QVERIFY(tracking->isEnabled() && !tracking->isChecked());
    QVERIFY(w.timer1().isActive());
    QCOMPARE(w.timer1().interval(), 20);
    QVERIFY(w.link().isOpen());
    QVERIFY(w.setupPanel()->isEnabled());
    QVERIFY(w.outputPanel()->isEnabled());
    QVERIFY(!w.verChk()->isVisible());
}

void TestConnect::firmwareMismatch_data() {
    QTest::addColumn<int>("release");
    QTest::addColumn<QString>("notice");
    QTest::newRow("1.12: the unit is older")
        << 12
        << kNoticeHead + QStringLiteral("1.12.  Alternatively, please send in your EMU "
                                        "for the latest firmware upgrade.");
    QTest::newRow("1.20: the unit is newer") << 20 << kNoticeHead + QStringLiteral("1.20.");
}

void TestConnect::firmwareMismatch() {
    QFETCH(int, release);
    QFETCH(QString, notice);

    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3, 1, release));
    TForm1& w = bench.window();
    w.spConnectClick();
    finishFlows(w);

    // The setup block is still read, the image is not.
    QVERIFY(unit.waitForCommands(2, 5000));
    QVERIFY(!unit.waitForCommands(3, 300));
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xFD}));
    QCOMPARE(w.statusText(0), QStringLiteral("Reading EMU Setup Data..."));
    QCOMPARE(w.statusText(2), QStringLiteral("Fuel and Timing"));
    QCOMPARE(w.state().link.VersionNoticeText, notice);
    QVERIFY(!w.state().link.EmuConnected);
    QVERIFY(w.state().link.DataReady);
    QVERIFY(button(w, "spConnect")->isEnabled());
    QVERIFY(button(w, "spRead")->isEnabled());
    QVERIFY(!button(w, "spWrite")->isEnabled());
    QVERIFY(!w.timer1().isActive());

    TVerChk* dialog = w.verChk();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->memo()->toPlainText(), notice);

    // Each showing adds the text again.
    dialog->Button1Click();
    QVERIFY(!dialog->isVisible());
    w.spConnectClick();
    finishFlows(w);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->memo()->toPlainText(), notice + QLatin1Char('\n') + notice);
}

void TestConnect::noUnitStillLoadsTheSetup_data() {
    QTest::addColumn<bool>("unplugged");
    QTest::newRow("unit unplugged after the search") << true;
    QTest::newRow("unit silent after the search") << false;
}

void TestConnect::noUnitStillLoadsTheSetup() {
    QFETCH(bool, unplugged);

    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(button(w, "spConnect")->isEnabled());
    if (unplugged)
        unit.unplug();
    else
        unit.setSilent(true);

    w.spConnectClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("Reading EMU Setup Data..."));
    QVERIFY(w.state().link.DataReady);
    QVERIFY(!w.state().link.EmuConnected);
    QVERIFY(button(w, "spConnect")->isEnabled());
    QVERIFY(button(w, "spRead")->isEnabled());
    QVERIFY(!button(w, "spWrite")->isEnabled());
    QVERIFY(!w.timer1().isActive());
    // Nothing came: the block holds the fill pattern.
    const auto& setup = w.state().cal.SetupBlock;
    QVERIFY(std::all_of(setup.begin() + 1, setup.end(), [](std::uint8_t b) { return b == 48; }));
    if (!unplugged) {
        QVERIFY(unit.waitForCommands(2, 2000));
        QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xFD}));
    }
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestConnect::fileModeConnectSendsNothingThenReidentifies() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    // The file holds a type 3 tune that differs from the unit's.
    auto tune = EmuSimulator::baseTune(3, QStringLiteral("CD-111213-14"));
    tune[101 + 9] = 31; // timing point 10: 30 degrees
    EmuIdentity fileId;
    fileId.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    const QString path = bench.dir.filePath(QStringLiteral("tune.emu"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(SettingsFile::write(
            fileId, {QStringLiteral("Mazda"), QStringLiteral("MX-5"), QStringLiteral("B6")}, tune.data(),
            481));
    }
    TForm1& w = bench.window();
    bench.prompts.openNames << path;

    w.spOpenClick();
    finishFlows(w);
    QVERIFY(!unit.waitForCommands(1, 300));
    QCOMPARE(w.statusText(0), QStringLiteral("EMU file opened successfully"));
    QCOMPARE(w.statusText(1), QStringLiteral("EMU 3 v1.13 :: CD-111213-14"));
    QCOMPARE(w.statusText(2), QStringLiteral("Fuel and Timing"));
    QCOMPARE(lineEdit(w, "Edit18")->text(), QStringLiteral("Fuel and Timing"));
    QCOMPARE(lineEdit(w, "Edit9")->text(), QStringLiteral("Mazda"));
    QCOMPARE(lineEdit(w, "Edit10")->text(), QStringLiteral("MX-5"));
    QCOMPARE(lineEdit(w, "Edit11")->text(), QStringLiteral("B6"));
    const LinkState& link = w.state().link;
    QVERIFY(link.FileMode);
    QVERIFY(link.FileDataShown);
    QVERIFY(link.DataReady);
    QVERIFY(link.SetupChanged);
    QVERIFY(!link.EmuConnected);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing).at(9), 30.0);
    QVERIFY(!button(w, "spWrite")->isEnabled());
    QVERIFY(!button(w, "spRead")->isEnabled());
    QVERIFY(!w.timer1().isActive());
    QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("AnalogEn"))->isEnabled());

    // A further Connect keeps the file's data and only asks who is there.
    w.spConnectClick();
    finishFlows(w);
    QVERIFY(unit.waitForCommands(1, 2000));
    QVERIFY(!unit.waitForCommands(2, 300));
    QCOMPARE(commandBytes(unit), QList<int>{0xFF});
    QCOMPARE(w.statusText(0), QStringLiteral("EMU Connected"));
    QCOMPARE(w.statusText(1), QStringLiteral("EMU 3 v1.13"));
    QVERIFY(w.state().link.EmuConnected);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing).at(9), 30.0);
    QVERIFY(button(w, "spWrite")->isEnabled());
    QVERIFY(!button(w, "spConnect")->isEnabled());

    // ... ready to be written to the unit.
    unit.clearRecord();
    w.spWriteClick();
    finishFlows(w);
    QVERIFY(unit.waitForCommands(1, 2000));
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    const auto written = unit.image();
    for (int k = 0; k < 481; ++k)
        QCOMPARE(written[static_cast<size_t>(k)], tune[static_cast<size_t>(k)]);
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
