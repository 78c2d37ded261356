// Only the edits a tuner meant reach the unit: opening a file sends nothing, Close all leaves a way
// back, a send that fails is not kept as sent, a refresh keeps the connected unit, whatever is
// plugged in after an unplug is identified before it hears anything, and the lost-link dialog
// waits for one of its choices.
#include "e2e_helpers.h"

#include "calibration/EditJournal.h"
#include "ui/EditSafetyNet.h"
#include "ui/TCommsLostFrm.h"
#include "undo/EditHistory.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QTest>

namespace {

// A unit whose tune differs from the base tune a file is made of, in maps and setup alike.
SimConfig differentTune(int type) {
    SimConfig config = unitConfig(type);
    auto image = EmuSimulator::baseTune(type, config.serial);
    for (int k = 101; k < 481; ++k)
        image[static_cast<size_t>(k)] = static_cast<std::uint8_t>(image[static_cast<size_t>(k)] + 3);
    config.image = image;
    return config;
}

int journalledEdits(TForm1& w) {
    const EditJournal& journal = w.safetyNet().journal();
    if (!journal.isOpen())
        return 0;
    const auto contents = EditJournal::readFile(journal.path());
    return contents ? static_cast<int>(contents->edits.size()) : 0;
}

} // namespace

class TestMeantEdits : public QObject {
    Q_OBJECT

  private slots:
    void openWhileConnectedSendsNothing();
    void openAsksBeforeReplacingChanges();
    void closeAllAsksThenConnectAndReadWorkAgain();
    void unpluggedSendIsNotKept();
    void refreshKeepsTheConnectedUnit();
    void anotherUnitAfterAnUnplugIsIdentifiedFirst();
    void lostLinkDialogWaitsForAChoice();
};

void TestMeantEdits::openWhileConnectedSendsNothing() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, differentTune(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const auto before = unit.image();
    const QString path = bench.dir.filePath(QStringLiteral("tune.EMU"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(settingsFileText(3, {QStringLiteral("Make"), QStringLiteral("Model"), QStringLiteral("Engine")}));
    }
    bench.prompts.openNames << path;

    w.spOpenClick();
    QVERIFY(finishFlows(w));
    QTest::qWait(300);

    // The file is shown; the unit heard nothing of it.
    QVERIFY(w.state().link.FileDataShown);
    QCOMPARE(nonPollCommands(unit), QList<int>());
    QCOMPARE(unit.image(), before);

    // An edit of the file's data stays on the PC until "Write to EMU".
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 30));
    QTest::qWait(200);
    QCOMPARE(nonPollCommands(unit), QList<int>());
    QVERIFY(w.state().link.MapsChanged);
    QCOMPARE(journalledEdits(w), 0);

    // Write puts the file's data, with the edit, into the unit: identified, written, read back.
    w.spWriteClick();
    QVERIFY(finishFlows(w));
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    QCOMPARE(nonPollCommands(unit), (QList<int>{0xFF, 0xF3, 0xFD}));
    QCOMPARE(unit.image()[101 + 4], std::uint8_t(31));
    QCOMPARE(bench.prompts.errors, QStringList());
}

void TestMeantEdits::openAsksBeforeReplacingChanges() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectTo(w, unit));
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 33));
    const QString path = bench.dir.filePath(QStringLiteral("tune.EMU"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(settingsFileText(3, {QStringLiteral("Make"), QStringLiteral("Model"), QStringLiteral("Engine")}));
    }
    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Cancel;

    w.openFile(path);
    QVERIFY(finishFlows(w));

    // Cancelled: the unit's data and the edit stay.
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QVERIFY(!w.state().link.FileMode);
    QCOMPARE(w.state().cal.map(MapId::Timing)[5], 33.0);

    // Read asks the same before it replaces the edit with the unit's data.
    button(w, "spRead")->setEnabled(true);
    w.spReadClick();
    QVERIFY(finishFlows(w));
    QCOMPARE(bench.prompts.unsavedAsked, 2);
    QCOMPARE(w.state().cal.map(MapId::Timing)[5], 33.0);
}

void TestMeantEdits::closeAllAsksThenConnectAndReadWorkAgain() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectTo(w, unit));
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 33));
    QVERIFY(waitUntil([&] { return nonPollCommands(unit).contains(0xE8); }, 2000));
    QCOMPARE(journalledEdits(w), 1);

    // Cancel keeps everything.
    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Cancel;
    w.spCloseClick();
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QVERIFY(w.state().link.CalibrationLoaded);

    // Discard: nothing is left, the journal forgets the edit, and the way back is open.
    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Discard;
    w.spCloseClick();
    QCOMPARE(bench.prompts.unsavedAsked, 2);
    QVERIFY(!w.state().link.CalibrationLoaded);
    QCOMPARE(journalledEdits(w), 0);
    QVERIFY(button(w, "spConnect")->isEnabled());
    QVERIFY(!button(w, "spWrite")->isEnabled());
    // No edit reaches the unit while nothing is loaded.
    QVERIFY(!w.editor().setMapPoint(MapId::Timing, 5, 30));

    unit.clearRecord();
    w.spConnectClick();
    QVERIFY(finishFlows(w));
    QVERIFY(w.state().link.EmuConnected);
    QVERIFY(w.state().link.CalibrationLoaded);
    QCOMPARE(w.statusText(0), QStringLiteral("Ready"));
    QCOMPARE(nonPollCommands(unit).mid(0, 2), (QList<int>{0xFF, 0xFD}));
    QCOMPARE(nonPollCommands(unit).last(), 0xFD);
    QCOMPARE(w.state().cal.map(MapId::Timing)[5], 33.0); // the unit still held the edit
    QCOMPARE(bench.prompts.unsavedAsked, 2);
}

void TestMeantEdits::unpluggedSendIsNotKept() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const double before = w.state().cal.map(MapId::Timing)[5];
    w.link().stopPoll();
    unit.unplug();

    QVERIFY(!w.editor().setMapPoint(MapId::Timing, 5, before + 4));

    // Nothing changed on the PC, nothing to undo, nothing journalled, and the status says so.
    QCOMPARE(w.state().cal.map(MapId::Timing)[5], before);
    QVERIFY(!w.state().link.MapsChanged);
    QVERIFY(!w.safetyNet().history().canUndo());
    QCOMPARE(journalledEdits(w), 0);
    QVERIFY2(w.statusText(0).contains(QStringLiteral("did not reach the EMU")), qPrintable(w.statusText(0)));
}

void TestMeantEdits::refreshKeepsTheConnectedUnit() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    bench.addUnit(2, unitConfig(1));
    TForm1& w = bench.window();
    w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setEditText(QStringLiteral("Com1"));
    QVERIFY(connectTo(w, unit));
    QCOMPARE(w.state().link.Identity.model(), 3);
    // The link went (as the live poll finds it), and the tuner looks for the unit again.
    w.link().stopPoll();
    w.state().link.EmuConnected = false;

    button(w, "spRetry")->setEnabled(true);
    w.spRetryClick();
    QVERIFY(finishFlows(w));

    // The port the lost-link choices go to is the first unit's, and so is the identity: the unit
    // on Com2 answered later and changes neither.
    QCOMPARE(w.state().link.SelectedPort, 1);
    QCOMPARE(w.state().link.Identity.model(), 3);
    QCOMPARE(w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->currentText(), QStringLiteral("Com1"));
}

void TestMeantEdits::anotherUnitAfterAnUnplugIsIdentifiedFirst() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(QStringLiteral("Another EMU is on the port"));
    QVERIFY(connectTo(w, unit));
    unit.unplug();
    QTest::qWait(200);

    // A unit of another model appears at the same path.
    SimConfig other = unitConfig(1);
    other.linkPath = bench.linkPath(1);
    EmuSimulator second(other);
    QVERIFY(second.start());

    // The poll finds the device again and asks who it is before anything else.
    QVERIFY(second.waitForCommands(1, 5000));
    QCOMPARE(commandBytes(second).first(), 0xFF);
    QVERIFY(waitUntil([&] { return !w.state().link.EmuConnected; }, 5000));
    QCOMPARE(w.statusText(0), QStringLiteral("EMU not connected"));
    QVERIFY(button(w, "spConnect")->isEnabled());

    // An edit now stays on the PC: the other unit hears nothing.
    second.clearRecord();
    w.editor().setMapPoint(MapId::Timing, 5, 20);
    QTest::qWait(300);
    QCOMPARE(second.commands().size(), 0);
    QCOMPARE(bench.prompts.warnings.size(), 1);
}

void TestMeantEdits::lostLinkDialogWaitsForAChoice() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 33));
    // Another dialog has the window disabled when the link goes.
    button(w, "spAbout")->click();
    QVERIFY(!w.isEnabled());
    unit.unplug();

    TCommsLostFrm* dialog = w.commsLostForm();
    QVERIFY(waitUntil([&] { return dialog->isVisible(); }, 5000));
    QVERIFY(dialog->isEnabled());

    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->close());
    QVERIFY(dialog->isVisible());
}

QTEST_MAIN(TestMeantEdits)
#include "tst_meantedits.moc"
