// Write to EMU: the bytes that reach the unit, what the unit then holds, and a write that cannot
// reach it.
#include "e2e_helpers.h"

#include "mapeditor/MapChartWidget.h"

#include <QAbstractButton>
#include <QTest>

class TestTransfer : public QObject {
    Q_OBJECT

  private slots:
    void writeSendsTheWholeImage();
    void writeToAnUnpluggedUnitFails();
};

void TestTransfer::writeSendsTheWholeImage() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const auto before = unit.image();

    // An edit on the PC: timing point 5 to 33 degrees.
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 33));
    QVERIFY(unit.waitForCommands(1, 2000));
    unit.clearRecord();
    w.spWriteClick();
    finishFlows(w);

    // Who is there, the image, and the image read back to confirm it.
    QVERIFY(unit.waitForCommands(3, 5000));
    const QList<SimCommand> commands = unit.commands();
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xF3, 0xFD}));
    const QByteArray sent = commands.at(1).bytes;
    QCOMPARE(sent.size(), 1 + 482);
    QCOMPARE(static_cast<std::uint8_t>(sent.at(0)), std::uint8_t(0xF3));
    QCOMPARE(static_cast<std::uint8_t>(sent.back()), std::uint8_t(56));
    QCOMPARE(sent.mid(1), w.state().cal.PlainImageText);

    // The unit now holds what it had, with the one edit: every region went back in its place.
    const auto after = unit.image();
    for (int k = 0; k < 481; ++k) {
        const std::uint8_t expected = k == 101 + 4 ? std::uint8_t(34) : before[static_cast<size_t>(k)];
        QCOMPARE(after[static_cast<size_t>(k)], expected);
        QCOMPARE(after[static_cast<size_t>(k)], w.state().cal.OutgoingImage[static_cast<size_t>(k)]);
    }

    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    QVERIFY(!w.state().link.MapsChanged);
    QVERIFY(!w.state().link.SetupChanged);
    QVERIFY(!button(w, "spRead")->isEnabled());
    QVERIFY(button(w, "spWrite")->isEnabled());

    // Every curve is rebuilt once from the arrays.
    const int points = w.state().cal.TimingPointCount;
    const QList<double> timing = lineValues(w, "TimingChart", MapId::Timing);
    QCOMPARE(timing.size(), points);
    QCOMPARE(timing.at(4), 33.0);
    for (MapId id : {MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmHigh})
        QCOMPARE(lineValues(w, "FuelRPMChart", id).size(), 32);
    for (MapId id : {MapId::AirTempFuel, MapId::AirTempTiming})
        QCOMPARE(lineValues(w, "AirTmpChart", id).size(), 24);
    QCOMPARE(lineValues(w, "VoltageChart", MapId::Voltage).size(), 16);
}

void TestTransfer::writeToAnUnpluggedUnitFails() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 33));
    w.state().link.SetupChanged = true;
    QVERIFY(unit.waitForCommands(1, 2000));
    unit.clearRecord();

    unit.unplug();
    w.spWriteClick();
    finishFlows(w);

    // Never reported as written; the changes still wait for the unit.
    QCOMPARE(w.statusText(0),
             QStringLiteral("Write to EMU failed: no EMU answered on the port; nothing was written."));
    QVERIFY(w.state().link.MapsChanged);
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(button(w, "spWrite")->isEnabled());

    // Back again: the port reopens on the next exchange, so the same button delivers at once.
    QVERIFY(unit.replug());
    w.spWriteClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    QVERIFY(unit.waitForCommands(3, 5000));
    // Identify, write, read back; after the flow only the live poll may follow.
    const QList<int> sent = commandBytes(unit);
    QCOMPARE(sent.mid(0, 3), (QList<int>{0xFF, 0xF3, 0xFD}));
    for (qsizetype i = 3; i < sent.size(); ++i)
        QCOMPARE(sent[i], 0xFC);
    QCOMPARE(unit.image()[101 + 4], std::uint8_t(34));
    QVERIFY(!w.state().link.hasPendingChanges());
}

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
