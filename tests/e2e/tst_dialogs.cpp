// The link-lost dialog's two choices with and without a unit, the trigger-output warning, and
// leaving the program while changes wait for the unit.
#include "e2e_helpers.h"

#include "ui/TCommsLostFrm.h"
#include "ui/TExtWrn.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>

Q_DECLARE_METATYPE(UiPrompts::UnsavedChoice)

namespace {

// What the live poll does when the link goes while changes are pending.
void loseLink(TForm1& w) {
    w.state().link.EmuConnected = false;
    w.commsLostForm()->show();
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

  private slots:
    void downloadWritesThePcDataToTheUnit();
    void downloadWithoutUnitShowsTheDialogAgain();
    void uploadTakesTheUnitsData();
    void uploadWithoutUnitShowsTheDialogAgain();
    void triggerWarning_data();
    void triggerWarning();
    void exitWithPendingChanges_data();
    void exitWithPendingChanges();
};

void TestDialogs::downloadWritesThePcDataToTheUnit() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().cal.map(MapId::Timing)[7] = 40;
    w.state().link.MapsChanged = true;
    loseLink(w);

    w.commsLostForm()->BitBtn1Click();
    QVERIFY(finishFlows(w));

    // A refresh finds the unit, then the whole image goes to it, after the unit says who it is,
    // and is read back.
    QVERIFY(unit.waitForCommands(4, 5000));
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xFF, 0xF3, 0xFD}));
    QCOMPARE(unit.image()[101 + 6], std::uint8_t(41));
    QCOMPARE(w.statusText(0), QStringLiteral("Data table written to EMU"));
    const LinkState& link = w.state().link;
    QVERIFY(!link.MapsChanged && !link.SetupChanged);
    QVERIFY(link.EmuConnected);
    QVERIFY(w.timer1().isActive());
    QVERIFY(!w.commsLostForm()->isVisible());
    QVERIFY(!w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->isEnabled());
    QVERIFY(!button(w, "spRetry")->isEnabled());
    QVERIFY(!button(w, "spConnect")->isEnabled());
    QCOMPARE(w.link().portNumber(), 2);
}

void TestDialogs::downloadWithoutUnitShowsTheDialogAgain() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().link.SetupChanged = true;
    loseLink(w);
    unit.unplug();
    w.commsLostForm()->hide();

    w.commsLostForm()->BitBtn1Click();
    QVERIFY(finishFlows(w));
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QVERIFY(w.commsLostForm()->isVisible());
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(!w.state().link.EmuConnected);
}

void TestDialogs::uploadTakesTheUnitsData() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const QList<double> unitsCurve = lineValues(w, "TimingChart", MapId::Timing);
    w.state().cal.map(MapId::Timing)[7] = 40;
    w.state().link.MapsChanged = true;
    loseLink(w);

    w.commsLostForm()->BitBtn2Click();
    QVERIFY(finishFlows(w));

    // Refresh, then Connect: identify, setup block, image.
    QVERIFY(unit.waitForCommands(4, 5000));
    QCOMPARE(commandBytes(unit), (QList<int>{0xFF, 0xFF, 0xFD, 0xFD}));
    QCOMPARE(lineValues(w, "TimingChart", MapId::Timing), unitsCurve);
    QCOMPARE(w.state().cal.map(MapId::Timing)[7], unitsCurve.at(6));
    const LinkState& link = w.state().link;
    QVERIFY(!link.MapsChanged && !link.SetupChanged);
    QVERIFY(link.EmuConnected);
    QVERIFY(link.DataReady);
    QCOMPARE(w.statusText(0), QStringLiteral("Ready"));
    QVERIFY(!w.commsLostForm()->isVisible());
    QVERIFY(!w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->isEnabled());
    QVERIFY(!button(w, "spRetry")->isEnabled());
    QVERIFY(button(w, "spWrite")->isEnabled());
}

void TestDialogs::uploadWithoutUnitShowsTheDialogAgain() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().link.MapsChanged = true;
    loseLink(w);
    unit.unplug();
    w.commsLostForm()->hide();

    w.commsLostForm()->BitBtn2Click();
    QVERIFY(finishFlows(w));
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QVERIFY(w.commsLostForm()->isVisible());
    // No parameter may be echoed to a unit while nothing is loaded.
    QVERIFY(!w.state().link.DataReady);
    QVERIFY(!w.link().isOpen());
}

void TestDialogs::triggerWarning_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("sent");

    QTest::newRow("yes") << "yes" << false << 1;
    QTest::newRow("YES") << "YES" << false << 1;
    QTest::newRow("Yes is a refusal") << "Yes" << false << 0;
    QTest::newRow("empty box") << "" << false << 0;
    QTest::newRow("yes, but Cancel") << "yes" << true << 0;
}

void TestDialogs::triggerWarning() {
    QFETCH(QString, typed);
    QFETCH(bool, cancel);
    QFETCH(int, sent);

    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    // No live poll between the warning and its one message; a poll already on the wire ends first.
    w.link().stopPoll();
    QTest::qWait(80);
    unit.clearRecord();

    w.showTriggerWarning();
    TExtWrn* warning = w.extWrn();
    QVERIFY(warning->isVisible());
    QVERIFY(!w.isEnabled());
    QVERIFY(warning->isEnabled());
    QTest::keyClicks(warning->edit(), typed);
    if (cancel)
        warning->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
    else
        warning->findChild<QAbstractButton*>(QStringLiteral("Button2"))->click();

    QVERIFY(unit.waitForCommands(1, 2000));
    QCOMPARE(unit.commands().size(), 1);
    QCOMPARE(unit.commands().first().bytes, parameterSet(22, sent));
    QCOMPARE(w.state().cal.SetupBlock[22], std::uint8_t(sent + 1));
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(!warning->isVisible());
    QVERIFY(warning->edit()->text().isEmpty());
    QVERIFY(w.isEnabled());
}

void TestDialogs::exitWithPendingChanges_data() {
    QTest::addColumn<bool>("pending");
    QTest::addColumn<bool>("unplugged");
    QTest::addColumn<UiPrompts::UnsavedChoice>("choice");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QList<int>>("sent");

    using C = UiPrompts::UnsavedChoice;
    QTest::newRow("nothing pending: no question") << false << false << C::Cancel << true << QList<int>{};
    QTest::newRow("cancel stays") << true << false << C::Cancel << false << QList<int>{};
    QTest::newRow("discard leaves") << true << false << C::Discard << true << QList<int>{};
    QTest::newRow("write, then leave")
        << true << false << C::WriteToEmu << true << QList<int>{0xFF, 0xF3, 0xFD};
    QTest::newRow("failed write stays") << true << true << C::WriteToEmu << false << QList<int>{};
    QTest::newRow("save, then leave") << true << false << C::SaveToFile << true << QList<int>{};
}

void TestDialogs::exitWithPendingChanges() {
    QFETCH(bool, pending);
    QFETCH(bool, unplugged);
    QFETCH(UiPrompts::UnsavedChoice, choice);
    QFETCH(bool, closes);
    QFETCH(QList<int>, sent);

    Bench bench;
    bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().link.MapsChanged = pending;
    bench.prompts.unsavedChoice = choice;
    const QString path = bench.dir.filePath(QStringLiteral("exit.emu"));
    bench.prompts.saveNames << path;
    if (unplugged)
        unit.unplug();

    button(w, "spExit")->click();
    QVERIFY(finishFlows(w));
    QCOMPARE(bench.prompts.unsavedAsked, pending ? 1 : 0);
    QCOMPARE(w.isVisible(), !closes);
    QCOMPARE(w.link().isOpen(), !closes && !unplugged);
    if (!sent.isEmpty())
        QVERIFY(unit.waitForCommands(sent.size(), 2000));
    if (!unplugged)
        QCOMPARE(nonPollCommands(unit), sent);
    QCOMPARE(QFile::exists(path), choice == UiPrompts::UnsavedChoice::SaveToFile);
    if (unplugged)
        QCOMPARE(w.statusText(0),
                 QStringLiteral("Write to EMU failed: no EMU answered on the port; nothing was written."));
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
