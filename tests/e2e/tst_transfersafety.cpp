// Whole-image transfers that go wrong: a cut read is never taken as a calibration, nothing is
// written after "Close all", a write goes only to a unit of the calibration's model and counts as
// done only when the unit sends the image back unchanged.
#include "e2e_helpers.h"

#include "ui/TCommsLostFrm.h"

#include <QAbstractButton>
#include <QTest>

namespace {

const QString kCut150 =
    QStringLiteral("The EMU sent 150 of 481 bytes of its data table; nothing was loaded.");

// Another tune than the base tune, for a unit whose image must differ from the PC's.
std::array<std::uint8_t, 481> otherTune() {
    std::array<std::uint8_t, 481> image{};
    for (int k = 0; k < 481; ++k)
        image[static_cast<size_t>(k)] = static_cast<std::uint8_t>(1 + (k * 7) % 200);
    return image;
}

// Connect to the unit, then timing point 5 to 33 degrees through the edit door.
bool connectWithAnEdit(TForm1& w, EmuSimulator& unit) {
    if (!connectTo(w, unit) || !w.editor().setMapPoint(MapId::Timing, 5, 33) ||
        !waitUntil([&] { return !nonPollCommands(unit).isEmpty(); }, 2000))
        return false;
    unit.clearRecord();
    return true;
}

// Presses Write and checks that nothing at all reached the unit.
void writeSendsNothing(TForm1& w, EmuSimulator& unit) {
    unit.clearRecord();
    w.spWriteClick();
    finishFlows(w);
    QTest::qWait(300);
    QCOMPARE(nonPollCommands(unit), QList<int>());
}

} // namespace

class TestTransferSafety : public QObject {
    Q_OBJECT

  private slots:
    void cutReadAtConnectLoadsNothing_data();
    void cutReadAtConnectLoadsNothing();
    void cutReadKeepsTheCalibrationHeld();
    void cutIdentityIsNoUnit();
    void closeAllLeavesNothingToWrite();
    void writeIdentifiesTheUnitFirst();
    void writeIsConfirmedByTheReadBack_data();
    void writeIsConfirmedByTheReadBack();
    void lostLinkChoicesThatFail();
};

void TestTransferSafety::cutReadAtConnectLoadsNothing_data() {
    QTest::addColumn<int>("wholeReads");
    QTest::newRow("setup block cut") << 0;
    QTest::newRow("image cut") << 1;
}

void TestTransferSafety::cutReadAtConnectLoadsNothing() {
    QFETCH(int, wholeReads);
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    unit.setShortImageReplies(150, wholeReads);

    w.spConnectClick();
    finishFlows(w);

    QCOMPARE(w.statusText(0), kCut150);
    const CalibrationData& cal = w.state().cal;
    // Nothing of the cut reply became the calibration: no fill pattern, no 47-degree timing.
    QVERIFY(std::all_of(cal.ReceivedImage.begin(), cal.ReceivedImage.end(), [](auto b) { return b == 0; }));
    for (int i = 1; i <= 100; ++i)
        QCOMPARE(cal.map(MapId::Timing)[static_cast<size_t>(i)], 0.0);
    QVERIFY(lineValues(w, "TimingChart", MapId::Timing).isEmpty());
    if (wholeReads == 0) {
        QVERIFY(std::all_of(cal.SetupBlock.begin(), cal.SetupBlock.end(), [](auto b) { return b == 0; }));
        QCOMPARE(w.statusText(1), QString());
    } else {
        // The setup block came whole, from the unit.
        QCOMPARE(cal.SetupBlock[80], unit.image()[80]);
        QCOMPARE(w.statusText(1), QStringLiteral("EMU 3 v1.13 :: AB-010203-04"));
    }
    QVERIFY(button(w, "spRead")->isEnabled());
    QVERIFY(!button(w, "spWrite")->isEnabled());
    QVERIFY(!w.state().link.CalibrationLoaded);
    writeSendsNothing(w, unit);

    // Trying again with a sound link loads the unit's calibration, setup block included.
    unit.setShortImageReplies(-1);
    unit.clearRecord();
    w.spReadClick();
    finishFlows(w);
    // The image, then (when Connect could not fill the Setup tab) the fill's echoes of the unit's own
    // choices, which change nothing in the unit.
    const QList<SimCommand> commands = unit.commands();
    QVERIFY(!commands.isEmpty());
    QCOMPARE(commandBytes(unit).first(), 0xFD);
    for (qsizetype i = 1; i < commands.size(); ++i) {
        const QByteArray& set = commands.at(i).bytes;
        if (std::uint8_t(set.at(0)) == 0xFC)
            continue; // the live poll, started by the read
        QCOMPARE(std::uint8_t(set.at(0)), std::uint8_t(0xF2));
        QCOMPARE(std::uint8_t(set.at(2) + 1), unit.image()[std::uint8_t(set.at(1))]);
    }
    QCOMPARE(w.statusText(0), QStringLiteral("Ready"));
    QCOMPARE(w.statusText(1), QStringLiteral("EMU 3 v1.13 :: AB-010203-04"));
    QCOMPARE(cal.map(MapId::Timing)[1], double(unit.image()[101] - 1));
    QCOMPARE(cal.SetupBlock[81], unit.image()[81]);
    QVERIFY(button(w, "spWrite")->isEnabled());
    QVERIFY(!button(w, "spConnect")->isEnabled());
}

void TestTransferSafety::cutReadKeepsTheCalibrationHeld() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectWithAnEdit(w, unit));
    const auto held = w.state().cal.ReceivedImage;
    const QList<double> curve = lineValues(w, "TimingChart", MapId::Timing);

    unit.setShortImageReplies(150);
    // Read asks first about the edit it would replace: the tuner keeps it in a file.
    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::SaveToFile;
    bench.prompts.saveNames << bench.dir.filePath(QStringLiteral("kept.emu"));
    w.spReadClick();
    QVERIFY(finishFlows(w));
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QCOMPARE(w.statusText(0), kCut150);
    QCOMPARE(w.state().cal.ReceivedImage, held);
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing), curve);
    QCOMPARE(w.state().cal.map(MapId::Timing)[5], 33.0);
    QVERIFY(button(w, "spRead")->isEnabled());

    // The calibration held before is still whole: Write sends that one.
    unit.setShortImageReplies(-1);
    unit.clearRecord();
    QVERIFY(button(w, "spWrite")->isEnabled());
    w.spWriteClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    QCOMPARE(nonPollCommands(unit), (QList<int>{0xFF, 0xF3, 0xFD}));
    QCOMPARE(unit.image()[101 + 4], std::uint8_t(34));
    QCOMPARE(unit.image()[101 + 5], held[101 + 5]);
}

void TestTransferSafety::cutIdentityIsNoUnit() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    unit.setShortReplies(3);

    w.spConnectClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0),
             QStringLiteral("The EMU's identity came incomplete (3 of 7 bytes); nothing was loaded."));
    QCOMPARE(w.statusText(1), QString());
    QCOMPARE(commandBytes(unit), QList<int>{0xFF});
    QVERIFY(!w.state().link.EmuConnected);
    QVERIFY(!w.state().link.DataReady);
    QVERIFY(button(w, "spConnect")->isEnabled());
    QVERIFY(!button(w, "spWrite")->isEnabled());
}

void TestTransferSafety::closeAllLeavesNothingToWrite() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectWithAnEdit(w, unit));
    const auto unitsImage = unit.image();

    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Discard;
    w.spCloseClick();
    QVERIFY(finishFlows(w));
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QVERIFY(!button(w, "spWrite")->isEnabled());
    writeSendsNothing(w, unit);
    QVERIFY(w.statusText(0).startsWith(QStringLiteral("Write to EMU failed: nothing to write")));

    // The lost-link dialog offers no download of the empty tables.
    w.state().link.EmuConnected = false;
    w.commsLostForm()->show();
    QVERIFY(!w.commsLostForm()->findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->isEnabled());
    w.commsLostForm()->hide();

    // Leaving asks nothing more that could write, and nothing is written.
    button(w, "spExit")->click();
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QVERIFY(!w.isVisible());
    QTest::qWait(300);
    QCOMPARE(nonPollCommands(unit), QList<int>());
    QCOMPARE(unit.image(), unitsImage);
}

void TestTransferSafety::writeIdentifiesTheUnitFirst() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectWithAnEdit(w, unit));

    // The type 3 unit is pulled and a type 1 unit is plugged in at the same device.
    const QString device = bench.linkPath(1);
    unit.stop();
    SimConfig typeOne = unitConfig(1);
    typeOne.linkPath = device;
    EmuSimulator other(typeOne);
    QVERIFY(other.start());
    const auto othersImage = other.image();

    w.spWriteClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0),
             QStringLiteral("Write to EMU failed: the EMU on the port is model 1, but the data "
                            "is for model 3; nothing was written."));
    QCOMPARE(commandBytes(other), QList<int>{0xFF});
    QCOMPARE(other.image(), othersImage);
    QVERIFY(w.state().link.MapsChanged);
    QVERIFY(bench.prompts.retryTexts.isEmpty());
    other.stop();

    // The same model again: the first write after the replug goes through.
    SimConfig typeThree = unitConfig(3);
    typeThree.linkPath = device;
    EmuSimulator same(typeThree);
    QVERIFY(same.start());
    w.spWriteClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    QCOMPARE(commandBytes(same), (QList<int>{0xFF, 0xF3, 0xFD}));
    QCOMPARE(same.image()[101 + 4], std::uint8_t(34));
    QVERIFY(!w.state().link.hasPendingChanges());
}

void TestTransferSafety::writeIsConfirmedByTheReadBack_data() {
    QTest::addColumn<bool>("dropsWrite");
    QTest::addColumn<int>("readBackBytes");
    QTest::addColumn<QString>("status");
    QTest::newRow("unit drops the image")
        << true << -1
        << QStringLiteral("Write to EMU failed: %1 of the EMU's positions differ from what was sent.");
    QTest::newRow("read-back cut") << false << 150
                                   << QStringLiteral(
                                          "Write to EMU failed: the EMU sent back 150 of 481 bytes, "
                                          "so the write is not confirmed.");
}

void TestTransferSafety::writeIsConfirmedByTheReadBack() {
    QFETCH(bool, dropsWrite);
    QFETCH(int, readBackBytes);
    QFETCH(QString, status);
    Bench bench;
    bench.prompts.expect(QStringLiteral("Write to EMU failed"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectWithAnEdit(w, unit));
    w.state().link.SetupChanged = true;
    const auto other = otherTune();
    unit.setImage(other);
    unit.setIgnoreImageWrites(dropsWrite);
    unit.setShortImageReplies(readBackBytes);
    unit.clearRecord();
    bench.prompts.retriesToAccept = 1;

    w.spWriteClick();
    finishFlows(w);

    // Offered again once, tried again, and still not confirmed.
    QCOMPARE(bench.prompts.retryTexts.size(), 2);
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xF3, 0xFD, 0xFF, 0xF3, 0xFD}));
    if (dropsWrite) {
        // Every position of the setup block and the type 3 maps that the PC holds otherwise.
        int differing = 0;
        const auto& sent = w.state().cal.PlainImage;
        for (int k = 0; k < 481; ++k)
            differing +=
                other[static_cast<size_t>(k)] != static_cast<std::uint8_t>(sent[static_cast<size_t>(k)] + 1);
        QVERIFY(differing > 0);
        status = status.arg(differing);
    }
    QCOMPARE(w.statusText(0), status);
    QVERIFY(bench.prompts.retryTexts.first().startsWith(status));
    QVERIFY(w.state().link.MapsChanged);
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(button(w, "spWrite")->isEnabled());
}

void TestTransferSafety::lostLinkChoicesThatFail() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectWithAnEdit(w, unit));
    TCommsLostFrm* lost = w.commsLostForm();

    // "Download data to EMU" into a unit that drops the image: the dialog stays.
    unit.setImage(otherTune());
    unit.setIgnoreImageWrites(true);
    w.state().link.EmuConnected = false;
    lost->show();
    lost->BitBtn1Click();
    QVERIFY(finishFlows(w));
    QVERIFY(lost->isVisible());
    QVERIFY(w.statusText(0).contains(QStringLiteral("differ from what was sent")));
    QVERIFY(w.state().link.MapsChanged);
    QVERIFY(!w.state().link.EmuConnected);

    // "Upload data to PC" whose image read is cut: nothing loaded, the dialog stays.
    unit.setIgnoreImageWrites(false);
    unit.setShortImageReplies(150, 1);
    lost->BitBtn2Click();
    QVERIFY(finishFlows(w));
    QVERIFY(lost->isVisible());
    QCOMPARE(w.statusText(0), kCut150);
    QVERIFY(!w.state().link.CalibrationLoaded);
    QVERIFY(!button(w, "spWrite")->isEnabled());
    QVERIFY(!lost->findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->isEnabled());

    // With a sound link the same choice succeeds.
    unit.setShortImageReplies(-1);
    lost->BitBtn2Click();
    QVERIFY(finishFlows(w));
    QVERIFY(!lost->isVisible());
    QCOMPARE(w.statusText(0), QStringLiteral("Ready"));
    QVERIFY(w.state().link.CalibrationLoaded);
    QVERIFY(button(w, "spWrite")->isEnabled());
}

QTEST_MAIN(TestTransferSafety)
#include "tst_transfersafety.moc"
