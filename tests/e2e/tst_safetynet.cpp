// The tuner's safety net in the window against a simulated unit: the edit journal offered back
// after the program ended without storing its edits, and undo and redo sent through the edit door.
#include "e2e_helpers.h"

#include "calibration/EditJournal.h"
#include "ui/EditSafetyNet.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace {

using Choice = UiPrompts::JournalChoice;

QByteArray setMessage(int command, int id, int value) {
    const char m[3] = {char(command), char(id), char(value)};
    return QByteArray(m, 3);
}

// The three-byte set messages the unit received, in order.
QList<QByteArray> setMessages(const EmuSimulator& unit) {
    QList<QByteArray> out;
    for (const SimCommand& c : unit.commands()) {
        const auto first = static_cast<std::uint8_t>(c.bytes.at(0));
        if (first == 0xF2 || first == 0xE8 || first == 0xDE || first == 0xD4 || first == 0xCA)
            out << c.bytes;
    }
    return out;
}

// The set messages after Connect's last image read: what the restore choice sent. Connect's fill of
// the Setup tab echoes the unit's own choices before that read.
QList<QByteArray> setMessagesAfterConnect(const EmuSimulator& unit) {
    QList<SimCommand> commands = unit.commands();
    qsizetype lastRead = -1;
    for (qsizetype i = 0; i < commands.size(); ++i)
        if (static_cast<std::uint8_t>(commands.at(i).bytes.at(0)) == 0xFD)
            lastRead = i;
    QList<QByteArray> out;
    for (qsizetype i = lastRead + 1; i < commands.size(); ++i) {
        const auto first = static_cast<std::uint8_t>(commands.at(i).bytes.at(0));
        if (first == 0xF2 || first == 0xE8 || first == 0xDE || first == 0xD4 || first == 0xCA)
            out << commands.at(i).bytes;
    }
    return out;
}

JournalContents journalOf(TForm1& w) {
    return EditJournal::readFile(w.safetyNet().journal().path()).value_or(JournalContents{});
}

// A session's edits: timing point 30 dragged from its value to +3 (three steps), Cylinders set
// to 6, fuel-vacuum point 10 dragged to -7.
struct Session {
    double timing30 = 0;
    QList<QByteArray> messages;
};

Session tune(TForm1& w) {
    CalibrationEditor& door = w.editor();
    Session s;
    s.timing30 = w.state().cal.map(MapId::Timing)[30];
    for (int step = 1; step <= 3; ++step)
        door.setMapPoint(MapId::Timing, 30, s.timing30 + step, true);
    door.endEditGroup();
    door.setSetupValue(80, 6);
    door.setMapPoint(MapId::FuelVacuum, 10, -7, true);
    door.endEditGroup();
    for (int step = 1; step <= 3; ++step)
        s.messages << setMessage(0xE8, 30, int(s.timing30) + step);
    s.messages << setMessage(0xF2, 80, 6) << setMessage(0xDE, 9, 93);
    return s;
}

} // namespace

class TestSafetyNet : public QObject {
    Q_OBJECT

  private slots:
    void everySentEditIsJournalled();
    void storingTheDataStartsANewJournal_data();
    void storingTheDataStartsANewJournal();
    void restartOffersTheEditsBack_data();
    void restartOffersTheEditsBack();
    void savingTheEditsBuildsAFileFromTheUnitsData();
    void undoOfADragSendsTheValueBeforeIt();
    void aHeldKeyIsOneStep();
    void undoWithTheLinkLostSendsNothing();
    void historyIsClearedByReadAndCloseAll();
};

void TestSafetyNet::everySentEditIsJournalled() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    QVERIFY(bench.prompts.journalTexts.isEmpty()); // a first session has nothing to offer
    const QString path = w.safetyNet().journal().path();
    QVERIFY(path.startsWith(bench.stateDir.path())); // never the user's own folder
    QCOMPARE(QFileInfo(path).fileName(), EditJournal::fileName(3, QStringLiteral("AB-010203-04")));

    const Session s = tune(w);
    // A key held: changed three times on the PC, sent once at key-up.
    CalibrationEditor& door = w.editor();
    const double p5 = w.state().cal.map(MapId::Timing)[5];
    for (int i = 1; i <= 3; ++i)
        door.setMapPoint(MapId::Timing, 5, p5 + i, true, false);
    door.sendMapPoint(MapId::Timing, 5);
    door.endEditGroup();

    const JournalContents j = journalOf(w);
    QCOMPARE(j.problem, QString());
    QCOMPARE(j.edits.size(), 6);
    QCOMPARE(j.edits[0].oldValue, s.timing30);
    QCOMPARE(j.edits[2].newValue, s.timing30 + 3);
    QCOMPARE(j.edits[3].setupId, 80);
    QCOMPARE(j.edits[3].newValue, 6.0);
    QCOMPARE(j.edits[5].point, 5);
    QCOMPARE(j.edits[5].oldValue, p5); // what the unit held before the key went down
    QCOMPARE(j.edits[5].newValue, p5 + 3);
}

void TestSafetyNet::storingTheDataStartsANewJournal_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("write") << "write";
    QTest::newRow("save") << "save";
    QTest::newRow("read") << "read";
    QTest::newRow("close all") << "close";
}

void TestSafetyNet::storingTheDataStartsANewJournal() {
    QFETCH(QString, how);
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectTo(w, unit));
    tune(w);
    QCOMPARE(journalOf(w).edits.size(), 5);
    if (how == QLatin1String("write")) {
        QVERIFY(writeNow(w));
    } else if (how == QLatin1String("save")) {
        bench.prompts.saveNames << bench.dir.filePath(QStringLiteral("tune.emu"));
        QVERIFY(saveFromPc(w));
    } else {
        // Read and Close all ask first; the edits are given up.
        bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Discard;
        if (how == QLatin1String("read"))
            w.spReadClick();
        else
            w.spCloseClick();
        QVERIFY(finishFlows(w));
        QCOMPARE(bench.prompts.unsavedAsked, 1);
    }
    QCOMPARE(journalOf(w).edits.size(), 0);
    QCOMPARE(journalOf(w).model, 3);

    // A restart now offers nothing.
    bench.restartWindow();
    QVERIFY(connectTo(bench.restartWindow(), unit));
    QVERIFY(bench.prompts.journalTexts.isEmpty());
}

void TestSafetyNet::restartOffersTheEditsBack_data() {
    QTest::addColumn<Choice>("choice");
    QTest::newRow("send again") << Choice::Reapply;
    QTest::newRow("discard") << Choice::Discard;
    QTest::newRow("decide later") << Choice::Later;
}

void TestSafetyNet::restartOffersTheEditsBack() {
    QFETCH(Choice, choice);
    Bench bench;
    bench.prompts.expect(QStringLiteral("ended before its changes were written"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& first = bench.window();
    QVERIFY(connectTo(first, unit));
    const auto before = unit.image();
    const Session s = tune(first);
    QVERIFY(unit.waitForCommands(s.messages.size(), 3000));
    // The unit is switched off and on: it forgets what was never written.
    std::array<std::uint8_t, 481> stored{};
    std::copy_n(before.begin(), 481, stored.begin());
    unit.setImage(stored);

    TForm1& w = bench.restartWindow();
    bench.prompts.journalChoice = choice;
    unit.clearRecord();
    w.spConnectClick();
    finishFlows(w);
    QVERIFY(w.state().link.EmuConnected);
    QCOMPARE(bench.prompts.journalTexts.size(), 1);
    const QString question = bench.prompts.journalTexts.constFirst();
    QVERIFY2(question.contains(QStringLiteral("5 changes were made")), qPrintable(question));
    QVERIFY(question.contains(QStringLiteral("AB-010203-04")));

    const QList<QByteArray> sent = setMessagesAfterConnect(unit);
    if (choice == Choice::Reapply) {
        // Exactly the journalled messages, in order, and the window shows them.
        QCOMPARE(sent, s.messages);
        QCOMPARE(w.state().cal.map(MapId::Timing)[30], s.timing30 + 3);
        QCOMPARE(int(w.state().cal.SetupBlock[80]), 7);
        QTRY_COMPARE(lineValues(w, "TimingChart", MapId::Timing).at(29), s.timing30 + 3);
        QVERIFY(w.state().link.MapsChanged);
        // They are in the unit again but not stored: the new journal holds them.
        QCOMPARE(journalOf(w).edits.size(), 5);
    } else {
        QCOMPARE(sent, QList<QByteArray>{});
        QCOMPARE(w.state().cal.map(MapId::Timing)[30], s.timing30);
        QCOMPARE(journalOf(w).edits.size(), 0);
    }
    const QStringList kept =
        QDir(w.safetyNet().journal().folder()).entryList({QStringLiteral("*.journal.*")}, QDir::Files);
    if (choice == Choice::Later) {
        QCOMPARE(kept.size(), 1);
        const auto aside =
            EditJournal::readFile(QDir(w.safetyNet().journal().folder()).filePath(kept.first()));
        QCOMPARE(aside->edits.size(), 5);
        QVERIFY(w.statusText(0).contains(kept.first()));
    } else {
        QCOMPARE(kept.size(), 0);
    }
}

void TestSafetyNet::savingTheEditsBuildsAFileFromTheUnitsData() {
    Bench bench;
    bench.prompts.expect(QStringLiteral("ended before its changes were written"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    QVERIFY(connectTo(bench.window(), unit));
    const auto before = unit.image();
    const Session s = tune(bench.window());
    QVERIFY(unit.waitForCommands(s.messages.size(), 3000));
    std::array<std::uint8_t, 481> stored{};
    std::copy_n(before.begin(), 481, stored.begin());
    unit.setImage(stored);

    TForm1& w = bench.restartWindow();
    bench.prompts.journalChoice = Choice::SaveToFile;
    const QString path = bench.dir.filePath(QStringLiteral("recovered.emu"));
    bench.prompts.saveNames << path;
    unit.clearRecord();
    w.spConnectClick();
    finishFlows(w);
    QCOMPARE(bench.prompts.journalTexts.size(), 1);
    QCOMPARE(setMessagesAfterConnect(unit), QList<QByteArray>{}); // nothing applied to the unit

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto contents = SettingsFile::read(file.readAll());
    QVERIFY(contents.has_value());
    for (int k = 0; k < 481; ++k) {
        std::uint8_t expected = before[size_t(k)];
        if (k == 101 + 29)
            expected = std::uint8_t(int(s.timing30) + 3 + 1);
        if (k == 80)
            expected = 7;
        if (k == 233 + 9)
            expected = 93 + 1;
        QCOMPARE(int(contents->image[size_t(k)]), int(expected));
    }
    QCOMPARE(journalOf(w).edits.size(), 0);
}

void TestSafetyNet::undoOfADragSendsTheValueBeforeIt() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    CalibrationEditor& door = w.editor();
    const int v = int(w.state().cal.map(MapId::Timing)[30]);
    for (int step = 1; step <= 4; ++step)
        door.setMapPoint(MapId::Timing, 30, v + step, true);
    door.endEditGroup();
    QVERIFY(unit.waitForCommands(4, 3000));
    unit.clearRecord();
    QVERIFY(button(w, "spUndo")->isEnabled());
    QVERIFY(!button(w, "spRedo")->isEnabled());

    // Ctrl+Z: the value before the drag, once.
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(100);
    QCOMPARE(setMessages(unit), QList<QByteArray>{setMessage(0xE8, 30, v)});
    QCOMPARE(w.state().cal.map(MapId::Timing)[30], double(v));
    QTRY_COMPARE(lineValues(w, "TimingChart", MapId::Timing).at(29), double(v));
    QVERIFY(!button(w, "spUndo")->isEnabled());
    QVERIFY(button(w, "spRedo")->isEnabled());
    // The undo is a sent edit like any other: journalled, not a new step.
    QCOMPARE(journalOf(w).edits.constLast().newValue, double(v));
    QCOMPARE(w.safetyNet().history().count(), 1);

    // Both redo keys and the button walk it back and forth.
    unit.clearRecord();
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    button(w, "spUndo")->click();
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(unit.waitForCommands(3, 3000));
    QTest::qWait(100);
    QCOMPARE(setMessages(unit), (QList<QByteArray>{setMessage(0xE8, 30, v + 4), setMessage(0xE8, 30, v),
                                                   setMessage(0xE8, 30, v + 4)}));
    QTRY_COMPARE(lineValues(w, "TimingChart", MapId::Timing).at(29), double(v + 4));
}

void TestSafetyNet::aHeldKeyIsOneStep() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    CalibrationEditor& door = w.editor();
    const int v = int(w.state().cal.map(MapId::Timing)[12]);
    const int cylindersBefore = w.state().cal.SetupBlock[80] - 1;
    door.setSetupValue(80, static_cast<std::uint8_t>(cylindersBefore + 2));
    for (int i = 1; i <= 5; ++i)
        door.setMapPoint(MapId::Timing, 12, v + i, true, false);
    door.sendMapPoint(MapId::Timing, 12);
    door.endEditGroup();
    QCOMPARE(w.safetyNet().history().count(), 2);
    QVERIFY(unit.waitForCommands(2, 3000));
    unit.clearRecord();
    w.safetyNet().undo();
    w.safetyNet().undo();
    QVERIFY(unit.waitForCommands(2, 3000));
    QTest::qWait(100);
    QCOMPARE(w.state().cal.SetupBlock[80] - 1, cylindersBefore);
    QCOMPARE(setMessages(unit),
             (QList<QByteArray>{setMessage(0xE8, 12, v), setMessage(0xF2, 80, cylindersBefore)}));
    QCOMPARE(w.state().cal.map(MapId::Timing)[12], double(v));
}

void TestSafetyNet::undoWithTheLinkLostSendsNothing() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const int v = int(w.state().cal.map(MapId::Timing)[30]);
    w.editor().setMapPoint(MapId::Timing, 30, v + 2, true);
    w.editor().endEditGroup();
    QVERIFY(unit.waitForCommands(1, 3000));
    const int journalled = static_cast<int>(journalOf(w).edits.size());

    unit.unplug();
    w.safetyNet().undo();
    QVERIFY2(w.statusText(0).contains(QStringLiteral("link")), qPrintable(w.statusText(0)));
    QCOMPARE(w.state().cal.map(MapId::Timing)[30], double(v + 2)); // the window keeps what the unit has
    QCOMPARE(journalOf(w).edits.size(), journalled);
    QVERIFY(button(w, "spUndo")->isEnabled()); // the step is still there to take later

    QVERIFY(unit.replug());
    // The poll finds the device again; the unit is identified before anything is sent to it.
    QVERIFY(waitUntil([&] { return w.link().isOpen() && !w.state().link.Verifying; }, 5000));
    QVERIFY(w.state().link.EmuConnected);
    unit.clearRecord();
    QTest::qWait(200);
    QCOMPARE(setMessages(unit), QList<QByteArray>{});
    // With the unit back, the same step goes through.
    w.safetyNet().undo();
    // The live poll goes on beside it: wait for the set message itself.
    QVERIFY(waitUntil([&] { return !setMessages(unit).isEmpty(); }, 3000));
    QCOMPARE(setMessages(unit), QList<QByteArray>{setMessage(0xE8, 30, v)});
}

void TestSafetyNet::historyIsClearedByReadAndCloseAll() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    QVERIFY(connectTo(w, unit));
    tune(w);
    QCOMPARE(w.safetyNet().history().count(), 3);
    bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Discard;
    w.spReadClick();
    QVERIFY(finishFlows(w));
    QCOMPARE(bench.prompts.unsavedAsked, 1);
    QCOMPARE(w.safetyNet().history().count(), 0);
    QVERIFY(!button(w, "spUndo")->isEnabled());
    tune(w);
    w.spCloseClick();
    finishFlows(w);
    QCOMPARE(w.safetyNet().history().count(), 0);
}

QTEST_MAIN(TestSafetyNet)
#include "tst_safetynet.moc"
