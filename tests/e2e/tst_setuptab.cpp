// The Setup tab against the simulator: typed values reach the unit once, when committed, as the
// bytes the parameter table gives; refusals send nothing and say why; choices, sliders and edge
// buttons send on change; fills and undo show the unit's bytes without sending them again.
#include "e2e_helpers.h"

#include "controls/CommitLineEdit.h"
#include "setup/SetupPage.h"
#include "ui/EditSafetyNet.h"
#include "ui/TExtWrn.h"
#include "undo/EditHistory.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

namespace {

// The parameter a control (or a radio group's item, "RadioGroupNItemK") is bound to.
int idOf(const QString& name) {
    const bool item = name.startsWith(QLatin1String("RadioGroup"));
    return setupParameterByControl(item ? name.section(QLatin1String("Item"), 0, 0) : name)->id;
}

// Types into a box as a tuner does: a click in it, its text selected, one key at a time, then the
// commit key (Qt::Key_unknown: none, the text stays pending).
void typeInto(CommitLineEdit* box, const QString& text, Qt::Key commit = Qt::Key_Return) {
    QTest::mouseClick(box, Qt::LeftButton);
    box->selectAll();
    if (text.isEmpty())
        QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
    if (commit == Qt::Key_Enter)
        QTest::keyClick(box, commit, Qt::KeypadModifier);
    else if (commit != Qt::Key_unknown)
        QTest::keyClick(box, commit);
}

// One user step on a control named "Name=text": a box gets the text typed and Enter, a slider the
// position, a button is clicked ("click"), a check box is set ("on"/"off").
void apply(TForm1& w, const QString& step) {
    const QString name = step.section(QLatin1Char('='), 0, 0);
    const QString value = step.section(QLatin1Char('='), 1);
    QObject* o = w.findChild<QObject*>(name);
    QVERIFY2(o, qPrintable(name));
    if (auto* edit = qobject_cast<CommitLineEdit*>(o))
        typeInto(edit, value);
    else if (auto* slider = qobject_cast<QSlider*>(o))
        slider->setValue(value.toInt());
    else if (auto* check = qobject_cast<QCheckBox*>(o))
        check->setChecked(value == QLatin1String("on"));
    else if (auto* button = qobject_cast<QAbstractButton*>(o))
        button->click();
}

CommitLineEdit* box(TForm1& w, const char* name) {
    return w.findChild<CommitLineEdit*>(QString::fromLatin1(name));
}

// What a control shows: a box its text, a check box on/off, a slider its position and its
// read-only box, a radio group its checked item, an edge box its check and visible button.
QString stateOf(TForm1& w, const QString& name) {
    QObject* o = w.findChild<QObject*>(name);
    if (auto* edit = qobject_cast<QLineEdit*>(o))
        return edit->text();
    if (auto* slider = qobject_cast<QSlider*>(o))
        return QString::number(slider->value());
    if (auto* check = qobject_cast<QCheckBox*>(o)) {
        QString state = check->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
        for (QToolButton* edge : check->parentWidget()->findChildren<QToolButton*>())
            if (!edge->isHidden())
                state += QLatin1Char(' ') + edge->objectName();
        return state;
    }
    if (auto* group = qobject_cast<QWidget*>(o))
        for (QRadioButton* r : group->findChildren<QRadioButton*>())
            if (r->isChecked())
                return r->objectName();
    return {};
}

// A unit on Com1 connected, the live poll stopped so that only set messages reach the simulator.
struct Connected {
    explicit Connected(std::optional<std::array<std::uint8_t, 481>> image = std::nullopt) {
        SimConfig config = unitConfig(3);
        config.image = image;
        unit = &bench.addUnit(1, config);
        w = &bench.window();
        ok = connectTo(*w, *unit);
        w->link().stopPoll(); // a poll on the wire ends within the wait below
        // Focus events, Tab and clicks need the window active, as it is under the tuner's hands.
        w->activateWindow();
        ok = ok && QTest::qWaitFor([this] { return w->isActiveWindow(); });
        QTest::qWait(80);
        unit->clearRecord();
    }
    Bench bench;
    EmuSimulator* unit = nullptr;
    TForm1* w = nullptr;
    bool ok = false;
};

std::array<std::uint8_t, 481> baseTune() {
    return EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
}

// Prompts whose error message takes the focus from the box, as a modal message box does.
class FocusTakingPrompts : public FakePrompts {
  public:
    QWidget* takeFocusTo = nullptr;
    void showError(QWidget* parent, const QString& text) override {
        FakePrompts::showError(parent, text);
        if (takeFocusTo)
            takeFocusTo->setFocus(Qt::OtherFocusReason);
    }
};

} // namespace

class TestSetupTab : public QObject {
    Q_OBJECT

  private slots:
    void edits_data();
    void edits();
    void typingSendsOnceWhenCommitted_data();
    void typingSendsOnceWhenCommitted();
    void refusals_data();
    void refusals();
    void notANumber_data();
    void notANumber();
    void promptAtCommitSendsNothing();
    void escapeWhileTypingRestores();
    void emptiedBoxSendsNothing();
    void undoShowsTheUnitValue_data();
    void undoShowsTheUnitValue();
    void ctrlZWhileTypingIsTheBoxsOwn();
    void failedSendRestoresTheBox();
    void outputBoxesFollowTheirSource();
    void localeRoundTrip_data();
    void localeRoundTrip();
    void fills_data();
    void fills();
    void impossibleRadioByteLeavesTheGroup();
    void triggerEdges();
    void triggerLevelExternalAsksFirst();
    void sensorBoxFollowsItsCalibrateButton();
    void targetVolts();
    void picture();
};

void TestSetupTab::edits_data() {
    QTest::addColumn<QStringList>("before"); // steps whose messages are not checked
    QTest::addColumn<QString>("step");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::addColumn<int>("stored");    // wire byte at the id afterwards (-1: as the unit had it)
    QTest::addColumn<QString>("shown"); // "=": what the box showed before the step

    using L = QList<QByteArray>;
    const QStringList none;
    const QString kept = QStringLiteral("=");
    // The base tune: Cylinders 4, RPM Range 8000, RPM Limiter 7500, Max Fueling 15.
    QTest::newRow("Cylinders 12") << none << "Edit12=12" << L{parameterSet(0x50, 0x0C)} << 0x0D << "12";
    QTest::newRow("RPM Limiter 7000") << none << "Edit20=7000" << L{parameterSet(84, 70)} << 71 << "7000";
    QTest::newRow("Gear Teeth 24") << none << "Edit34=24" << L{parameterSet(1, 24)} << 25 << "24";
    QTest::newRow("RPM Limiter above RPM Range")
        << QStringList{"Edit20=5000", "Edit13=6000"} << "Edit20=7500" << L{} << 51 << "5000";
    QTest::newRow("RPM Limiter after Range 8000")
        << QStringList{"Edit20=5000", "Edit13=6000", "Edit20=7500", "Edit13=8000"} << "Edit20=7500"
        << L{parameterSet(84, 75)} << 76 << "7500";
    QTest::newRow("Coil Time 2.5") << none << "Edit14=2.5" << L{parameterSet(82, 5)} << 6 << "2.5";
    QTest::newRow("Coil Time 2.25 ties to even")
        << none << "Edit14=2.25" << L{parameterSet(82, 4)} << 5 << "2.25";
    QTest::newRow("Start enrichment 30 is refused") << none << "Edit35=30" << L{} << -1 << kept;
    QTest::newRow("typed tie 0.545 gives 54")
        << none << "Edit57=0.545" << L{parameterSet(16, 54)} << 55 << "0.545";
    QTest::newRow("typed tie 0.575 gives 58")
        << none << "Edit57=0.575" << L{parameterSet(16, 58)} << 59 << "0.575";
    QTest::newRow("Fuel Cut-off Vac 2.53 fits")
        << none << "Edit57=2.53" << L{parameterSet(16, 253)} << 254 << "2.53";
    QTest::newRow("Fuel Cut-off Vac 3 does not wrap") << none << "Edit57=3" << L{} << -1 << "0.2";
    QTest::newRow("Lambda High Limit 0.9") << none << "Edit63=0.9" << L{parameterSet(19, 90)} << 91 << "0.9";
    QTest::newRow("Fuel Cut-off RPM 5450")
        << none << "Edit41=5450" << L{parameterSet(15, 54)} << 55 << "5450";
    QTest::newRow("Launch RPM Limiter 20000 is refused") << none << "Edit53=20000" << L{} << -1 << "4000";
    QTest::newRow("Idle High Limit 255 would read as not present")
        << none << "Edit65=255" << L{} << -1 << "200";
    QTest::newRow("output RPM 3000") << QStringList{"RadioButton1=click"} << "Edit16=3000"
                                     << L{parameterSet(30, 30)} << 31 << "3000";
    QTest::newRow("output RPM 30000 restores")
        << QStringList{"RadioButton1=click"} << "Edit16=30000" << L{} << -1 << "0";
    QTest::newRow("output Vacuum 0.5")
        << QStringList{"RadioButton2=click"} << "Edit16=0.5" << L{parameterSet(30, 50)} << 51 << "0.5";
    QTest::newRow("output Vacuum 2.6 restores")
        << QStringList{"RadioButton2=click"} << "Edit16=2.6" << L{} << -1 << "0";
    QTest::newRow("output 2 Water Temp 85")
        << QStringList{"RadioButton13=click"} << "Edit24=85" << L{parameterSet(34, 85)} << 86 << "85";
    QTest::newRow("output source sends its code")
        << none << "RadioButton13=click" << L{parameterSet(32, 5)} << 6 << "";
    QTest::newRow("Single sends a zero byte")
        << none << "RadioGroup3Item0=click" << L{parameterSet(0x56, 0)} << 1 << "";
    QTest::newRow("Multi Coil") << none << "RadioGroup3Item2=click" << L{parameterSet(0x56, 2)} << 3 << "";
    QTest::newRow("Fuel Calculation TPS")
        << none << "RadioButton20=click" << L{parameterSet(59, 1)} << 2 << "";
    QTest::newRow("Tuning POT Launch")
        << none << "RadioGroup4Item4=click" << L{parameterSet(14, 4)} << 5 << "";
    QTest::newRow("Two Stroke on") << none << "CheckBox20=on" << L{parameterSet(49, 2)} << 3 << "";
    QTest::newRow("pump slider") << none << "TrackBar4=8" << L{parameterSet(24, 8)} << 9 << "";
}

void TestSetupTab::edits() {
    QFETCH(QStringList, before);
    QFETCH(QString, step);
    QFETCH(QList<QByteArray>, sent);
    QFETCH(int, stored);
    QFETCH(QString, shown);

    Connected c;
    QVERIFY(c.ok);
    for (const QString& s : before)
        apply(*c.w, s);
    QTest::qWait(30);
    c.unit->clearRecord();
    const QString name = step.section(QLatin1Char('='), 0, 0);
    const int id = idOf(name);
    const std::uint8_t unitByte = c.unit->image()[static_cast<size_t>(id)];
    auto* edit = qobject_cast<QLineEdit*>(c.w->findChild<QObject*>(name));
    if (shown == QLatin1String("="))
        shown = edit->text();

    apply(*c.w, step);

    if (sent.isEmpty())
        QTest::qWait(150);
    else
        QVERIFY(c.unit->waitForCommands(static_cast<int>(sent.size()), 3000));
    QCOMPARE(parameterSets(*c.unit), sent);
    const std::uint8_t expected = stored < 0 ? unitByte : static_cast<std::uint8_t>(stored);
    QCOMPARE(c.w->state().cal.SetupBlock[static_cast<size_t>(id)], expected);
    // The unit applies what it was sent: its byte and ours agree.
    QCOMPARE(c.unit->image()[static_cast<size_t>(id)], expected);
    if (edit)
        QCOMPARE(edit->text(), shown);
    QVERIFY(c.bench.prompts.errors.isEmpty());
    if (!sent.isEmpty())
        QVERIFY(c.w->state().link.SetupChanged);
}

void TestSetupTab::typingSendsOnceWhenCommitted_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("RPM Limiter 7000, Enter") << "Edit20"
                                             << "7000" << int(Qt::Key_Return) << parameterSet(84, 70);
    QTest::newRow("Gear Teeth 12, Tab") << "Edit34"
                                        << "12" << int(Qt::Key_Tab) << parameterSet(1, 12);
    QTest::newRow("Coil Time 2.5, keypad Enter") << "Edit14"
                                                 << "2.5" << int(Qt::Key_Enter) << parameterSet(82, 5);
    QTest::newRow("Idle RPM 1200, Tab") << "Edit39"
                                        << "1200" << int(Qt::Key_Tab) << parameterSet(35, 12);
}

void TestSetupTab::typingSendsOnceWhenCommitted() {
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QByteArray, sent);

    Connected c;
    QVERIFY(c.ok);
    CommitLineEdit* edit = box(*c.w, control.toLatin1().constData());
    const int steps = c.w->safetyNet().history().count();
    const QColor normal = edit->palette().color(QPalette::Base);
    QTest::mouseClick(edit, Qt::LeftButton);
    edit->selectAll();
    // Key by key: nothing reaches the unit (no 0, no 700 for a rev limit of 7000), the box is pending.
    for (const QChar ch : typed) {
        QTest::keyClick(edit, ch.toLatin1());
        QTest::qWait(20);
        QVERIFY(parameterSets(*c.unit).isEmpty());
        QVERIFY(edit->isPending());
        QVERIFY(edit->palette().color(QPalette::Base) != normal);
    }
    QVERIFY(!c.w->state().link.SetupChanged);

    if (key == Qt::Key_Enter)
        QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    else
        QTest::keyClick(edit, static_cast<Qt::Key>(key));
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{sent});
    QCOMPARE(edit->text(), typed);
    QVERIFY(!edit->isPending());
    QCOMPARE(edit->palette().color(QPalette::Base), normal);
    // One commit, one undo step.
    QCOMPARE(c.w->safetyNet().history().count(), steps + 1);
    if (key == Qt::Key_Tab)
        QVERIFY(!edit->hasFocus());
    // Leaving the box afterwards sends nothing more.
    QTest::mouseClick(box(*c.w, "Edit12"), Qt::LeftButton);
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit).size(), 1);
}

void TestSetupTab::refusals_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("range");
    QTest::newRow("Max Fueling 26") << "Edit36"
                                    << "26"
                                    << "0 to 25";
    QTest::newRow("Low throttle vacuum 2.6") << "Edit37"
                                             << "2.6"
                                             << "0 to 2.53 bar";
    QTest::newRow("RPM Limiter 99999") << "Edit20"
                                       << "99999"
                                       << "0 to 8000 RPM";
    QTest::newRow("Cylinders 13") << "Edit12"
                                  << "13"
                                  << "1 to 12";
    QTest::newRow("Control Delay 3") << "Edit50"
                                     << "3"
                                     << "5 to 25";
    QTest::newRow("Start Prime Pulse 254") << "Edit33"
                                           << "254"
                                           << "0 to 253";
}

void TestSetupTab::refusals() {
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, range);

    Connected c;
    QVERIFY(c.ok);
    CommitLineEdit* edit = box(*c.w, control.toLatin1().constData());
    const int id = setupParameterByControl(control)->id;
    const QString before = edit->text();
    const std::uint8_t byte = c.w->state().cal.SetupBlock[static_cast<size_t>(id)];
    // The box tells its range before anything is typed.
    QCOMPARE(edit->toolTip(), QStringLiteral("Accepts ") + range);

    typeInto(edit, typed);
    QTest::qWait(150);
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QCOMPARE(edit->text(), before);
    QVERIFY(!edit->isPending());
    QCOMPARE(c.w->state().cal.SetupBlock[static_cast<size_t>(id)], byte);
    QCOMPARE(c.unit->image()[static_cast<size_t>(id)], byte);
    QVERIFY(!c.w->state().link.SetupChanged);
    // The box says why, and so does the status bar; no message box for a number out of range.
    QVERIFY2(edit->toolTip().contains(range), qPrintable(edit->toolTip()));
    QVERIFY2(edit->toolTip().contains(typed), qPrintable(edit->toolTip()));
    QCOMPARE(c.w->statusText(0), edit->toolTip());
    QVERIFY(c.bench.prompts.errors.isEmpty());
}

void TestSetupTab::notANumber_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("error");

    QTest::newRow("letters, integer box") << "Edit34"
                                          << "abc"
                                          << "'abc' is not a valid integer value.";
    QTest::newRow("a real in an integer box") << "Edit34"
                                              << "2.5"
                                              << "'2.5' is not a valid integer value.";
    QTest::newRow("letters, real box") << "Edit14"
                                       << "x"
                                       << "'x' is not a valid floating point value.";
    QTest::newRow("empty box without empty test") << "Edit49"
                                                  << ""
                                                  << "'' is not a valid integer value.";
    QTest::newRow("launch limiter: a real in range") << "Edit53"
                                                     << "75.5"
                                                     << "'75.5' is not a valid integer value.";
    QTest::newRow("group separator") << "Edit57"
                                     << "1,000"
                                     << "'1,000' is not a valid floating point value.";
}

void TestSetupTab::notANumber() {
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, error);

    Connected c;
    c.bench.prompts.expect(error);
    QVERIFY(c.ok);
    CommitLineEdit* edit = box(*c.w, control.toLatin1().constData());
    const QString before = edit->text();
    typeInto(edit, typed);
    QTest::qWait(150);
    // The toolkit's conversion error, once; nothing sent; the unit's value back in the box.
    QCOMPARE(c.bench.prompts.errors, QStringList{error});
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QCOMPARE(edit->text(), before);
    QCOMPARE(edit->toolTip(), error);
    // Leaving the box now commits nothing.
    QTest::keyClick(edit, Qt::Key_Tab);
    QTest::qWait(100);
    QCOMPARE(c.bench.prompts.errors.size(), 1);
    QVERIFY(parameterSets(*c.unit).isEmpty());
}

void TestSetupTab::promptAtCommitSendsNothing() {
    Connected c;
    QVERIFY(c.ok);
    FocusTakingPrompts prompts;
    c.w->setPrompts(&prompts);
    CommitLineEdit* edit = box(*c.w, "Edit34");
    CommitLineEdit* other = box(*c.w, "Edit12");
    prompts.takeFocusTo = other;
    typeInto(edit, QStringLiteral("3x"));
    QTest::qWait(150);
    // The message took the focus (a leaving of the box) while the box was committing: one message,
    // nothing sent, the box back to the unit's value.
    QCOMPARE(prompts.errors, QStringList{QStringLiteral("'3x' is not a valid integer value.")});
    QVERIFY(other->hasFocus());
    QCOMPARE(edit->text(), QStringLiteral("36"));
    QVERIFY(parameterSets(*c.unit).isEmpty());
    c.w->setPrompts(&c.bench.prompts);
}

void TestSetupTab::escapeWhileTypingRestores() {
    Connected c;
    QVERIFY(c.ok);
    CommitLineEdit* edit = box(*c.w, "Edit20");
    typeInto(edit, QStringLiteral("70"), Qt::Key_unknown);
    QVERIFY(edit->isPending());
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->text(), QStringLiteral("7500"));
    QVERIFY(!edit->isPending());
    // Esc went to the box, not to the window (which it would close).
    QVERIFY(c.w->isVisible());
    QTest::keyClick(edit, Qt::Key_Tab);
    QTest::qWait(150);
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QVERIFY(!c.w->state().link.SetupChanged);
}

void TestSetupTab::emptiedBoxSendsNothing() {
    Connected c;
    QVERIFY(c.ok);
    CommitLineEdit* edit = box(*c.w, "Edit20");
    typeInto(edit, QString());
    QTest::qWait(150);
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QCOMPARE(edit->text(), QStringLiteral("7500"));
    QVERIFY(c.bench.prompts.errors.isEmpty());
}

void TestSetupTab::undoShowsTheUnitValue_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("control"); // whose state undo and redo must show
    QTest::newRow("RPM Limiter") << "Edit20=7000"
                                 << "Edit20";
    QTest::newRow("Coil Time") << "Edit14=2.5"
                               << "Edit14";
    QTest::newRow("Two Stroke") << "CheckBox20=on"
                                << "CheckBox20";
    QTest::newRow("Coil Combination") << "RadioGroup3Item2=click"
                                      << "RadioGroup3";
    QTest::newRow("Fuel Calculation") << "RadioButton20=click"
                                      << "FuelConfigurationPanel";
    QTest::newRow("pump slider") << "TrackBar4=8"
                                 << "TrackBar4";
    QTest::newRow("pump slider's box") << "TrackBar4=8"
                                       << "Edit47";
    QTest::newRow("trigger edge") << "SpeedButton5=click"
                                  << "CheckBox21";
    QTest::newRow("trigger off") << "CheckBox21=off"
                                 << "CheckBox21";
}

void TestSetupTab::undoShowsTheUnitValue() {
    QFETCH(QString, step);
    QFETCH(QString, control);

    Connected c;
    QVERIFY(c.ok);
    const QString name = step.section(QLatin1Char('='), 0, 0);
    const int id = idOf(name);
    const int plainBefore = c.w->state().cal.SetupBlock[static_cast<size_t>(id)] - 1;
    const QString before = stateOf(*c.w, control);
    apply(*c.w, step);
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QTest::qWait(50);
    const QList<QByteArray> edit = parameterSets(*c.unit);
    QCOMPARE(edit.size(), 1);
    const QString after = stateOf(*c.w, control);
    QVERIFY(after != before);

    // Ctrl+Z with the focus outside the boxes: the old value goes once, and the control shows it.
    c.unit->clearRecord();
    c.w->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{parameterSet(id, plainBefore)});
    QCOMPARE(stateOf(*c.w, control), before);

    // Redo with the focus in a box that holds no typed text: the window's redo, not the box's.
    c.unit->clearRecord();
    QTest::mouseClick(box(*c.w, "Edit12"), Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit), edit);
    QCOMPARE(stateOf(*c.w, control), after);
    QCOMPARE(box(*c.w, "Edit12")->text(), QStringLiteral("4"));
}

void TestSetupTab::ctrlZWhileTypingIsTheBoxsOwn() {
    Connected c;
    QVERIFY(c.ok);
    apply(*c.w, QStringLiteral("Edit12=6"));
    QVERIFY(c.unit->waitForCommands(1, 3000));
    c.unit->clearRecord();
    CommitLineEdit* edit = box(*c.w, "Edit20");
    typeInto(edit, QStringLiteral("70"), Qt::Key_unknown);
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QTest::qWait(150);
    // The box took the key back for its text; the tune's undo did not run.
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QCOMPARE(box(*c.w, "Edit12")->text(), QStringLiteral("6"));
    QVERIFY(edit->text() != QStringLiteral("70"));
    QCOMPARE(c.w->state().cal.SetupBlock[80], std::uint8_t(7));
}

void TestSetupTab::failedSendRestoresTheBox() {
    Connected c;
    QVERIFY(c.ok);
    const int steps = c.w->safetyNet().history().count();
    c.unit->unplug();
    CommitLineEdit* edit = box(*c.w, "Edit20");
    typeInto(edit, QStringLiteral("7000"));
    QTest::qWait(100);
    // The unit still limits at 7500: so does the window, and the status says what did not arrive.
    QCOMPARE(edit->text(), QStringLiteral("7500"));
    QCOMPARE(c.w->state().cal.SetupBlock[84], std::uint8_t(76));
    QCOMPARE(c.w->statusText(0), QStringLiteral("RPM Limiter: 7000 did not reach the EMU"));
    QCOMPARE(edit->toolTip(), c.w->statusText(0));
    QCOMPARE(c.w->safetyNet().history().count(), steps);
    QVERIFY(!c.w->state().link.SetupChanged);

    // A check box goes back as well.
    auto* twoStroke = c.w->findChild<QCheckBox*>(QStringLiteral("CheckBox20"));
    twoStroke->setChecked(true);
    QVERIFY(!twoStroke->isChecked());
    QCOMPARE(c.w->statusText(0), QStringLiteral("Two Stroke: on did not reach the EMU"));
}

void TestSetupTab::outputBoxesFollowTheirSource() {
    auto image = baseTune();
    image[30] = 31; // Output 1 Min: plain 30
    Connected c(image);
    QVERIFY(c.ok);
    CommitLineEdit* min = box(*c.w, "Edit16");
    QCOMPARE(min->text(), QStringLiteral("0")); // source None
    apply(*c.w, QStringLiteral("RadioButton1=click"));
    QCOMPARE(min->text(), QStringLiteral("3000"));
    QCOMPARE(min->toolTip(), QStringLiteral("Accepts 0 to 25300 RPM"));
    apply(*c.w, QStringLiteral("RadioButton3=click"));
    QCOMPARE(min->text(), QStringLiteral("30"));
    QCOMPARE(min->toolTip(), QStringLiteral("Accepts 0 to 253 %"));
    // Only the two sources went to the unit; the boxes were shown, not sent.
    QVERIFY(c.unit->waitForCommands(2, 3000));
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit), (QList<QByteArray>{parameterSet(29, 1), parameterSet(29, 3)}));
}

void TestSetupTab::localeRoundTrip_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("vacuum"); // Edit57 after the fill: 0.2 bar
    QTest::addColumn<QString>("coil");   // typed into Edit14: 2.5 ms
    QTest::newRow("decimal comma, dot groups") << QLocale(QLocale::German, QLocale::Germany) << "0,2"
                                               << "2,5";
    QTest::newRow("decimal point, comma groups") << QLocale(QLocale::English, QLocale::UnitedStates) << "0.2"
                                                 << "2.5";
}

void TestSetupTab::localeRoundTrip() {
    QFETCH(QLocale, locale);
    QFETCH(QString, vacuum);
    QFETCH(QString, coil);
    const QLocale saved;
    QLocale::setDefault(locale);
    {
        Connected c;
        QVERIFY(c.ok);
        // The fill shows reals with the locale's decimal separator.
        QCOMPARE(lineEdit(*c.w, "Edit57")->text(), vacuum);
        typeInto(box(*c.w, "Edit14"), coil);
        apply(*c.w, QStringLiteral("RadioButton1=click"));
        typeInto(box(*c.w, "Edit16"), QStringLiteral("3000"));
        QVERIFY(c.unit->waitForCommands(3, 3000));
        QCOMPARE(parameterSets(*c.unit),
                 (QList<QByteArray>{parameterSet(82, 5), parameterSet(29, 1), parameterSet(30, 30)}));

        // Write refills the boxes: with no group separator, so they read back what they show. The
        // refill sends nothing (the record below holds only the value typed afterwards).
        c.unit->clearRecord();
        QVERIFY(writeNow(*c.w));
        QVERIFY(!c.w->state().link.SetupChanged);
        QCOMPARE(box(*c.w, "Edit16")->text(), QStringLiteral("3000"));
        QCOMPARE(box(*c.w, "Edit14")->text(), coil);
        QVERIFY(c.bench.prompts.errors.isEmpty());
        const SetupContext rpm{8000, OutputSource::Rpm};
        QCOMPARE(evaluateEntry(*setupParameter(30), box(*c.w, "Edit16")->text(), rpm).status,
                 EntryStatus::Accepted);
        // Committing a shown value as it is sends nothing; typed again, it sends its byte once.
        typeInto(box(*c.w, "Edit16"), QStringLiteral("3000"));
        typeInto(box(*c.w, "Edit16"), QStringLiteral("3100"));
        QVERIFY(c.unit->waitForCommands(1, 3000));
        QTest::qWait(100);
        QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{parameterSet(30, 31)});
        QVERIFY(c.bench.prompts.errors.isEmpty());
    }
    QLocale::setDefault(saved);
}

void TestSetupTab::fills_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("wire");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("1 at 40 shows 0.1") << 40 << 1 << "Edit37"
                                       << "0.1" << true;
    QTest::newRow("1 at 41 shows 0.9") << 41 << 1 << "Edit38"
                                       << "0.9" << true;
    QTest::newRow("255 at 82 disables Coil Time") << 82 << 255 << "Edit14"
                                                  << "" << false;
    QTest::newRow("coil time to one decimal") << 82 << 6 << "Edit14"
                                              << "2.5" << true;
    QTest::newRow("RPM Range 0 shows 7000") << 81 << 1 << "Edit13"
                                            << "7000" << true;
    QTest::newRow("start enrichment tenths") << 43 << 36 << "Edit35"
                                             << "3.5" << true;
    QTest::newRow("output with source None shows 0") << 30 << 100 << "Edit16"
                                                     << "0" << true;
}

void TestSetupTab::fills() {
    QFETCH(int, offset);
    QFETCH(int, wire);
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(bool, enabled);

    auto image = baseTune();
    image[static_cast<size_t>(offset)] = static_cast<std::uint8_t>(wire);
    Connected c(image);
    QVERIFY(c.ok);
    QLineEdit* edit = lineEdit(*c.w, control.toLatin1().constData());
    QCOMPARE(edit->text(), shown);
    QCOMPARE(edit->isEnabled(), enabled);
}

void TestSetupTab::impossibleRadioByteLeavesTheGroup() {
    auto image = baseTune();
    image[86] = 10; // item 9 of a three-item group
    Connected c(image);
    QVERIFY(c.ok);
    // Connect's traffic is forgotten; the window's state tells what the fill did.
    for (QRadioButton* r :
         c.w->findChild<QWidget*>(QStringLiteral("RadioGroup3"))->findChildren<QRadioButton*>())
        QVERIFY(!r->isChecked());
    QCOMPARE(c.w->state().cal.SetupBlock[86], std::uint8_t(10));
    QCOMPARE(c.unit->image()[86], std::uint8_t(10));
}

void TestSetupTab::triggerEdges() {
    Connected c;
    QVERIFY(c.ok);
    QCheckBox* box = c.w->findChild<QCheckBox*>(QStringLiteral("CheckBox21"));
    auto* first = c.w->findChild<QAbstractButton*>(QStringLiteral("SpeedButton5"));
    auto* second = c.w->findChild<QAbstractButton*>(QStringLiteral("SpeedButton4"));
    // The base tune's trigger byte is plain 0: checked, first button.
    QVERIFY(box->isChecked());
    QVERIFY(!first->isHidden());
    QVERIFY(second->isHidden());

    first->click();
    QVERIFY(first->isHidden());
    QVERIFY(!second->isHidden());
    box->setChecked(false);
    box->setChecked(true);
    second->click();
    QVERIFY(c.unit->waitForCommands(4, 3000));
    QCOMPARE(parameterSets(*c.unit), (QList<QByteArray>{parameterSet(20, 1), parameterSet(20, 2),
                                                        parameterSet(20, 1), parameterSet(20, 0)}));

    // A click while unchecked only swaps the pictures.
    box->setChecked(false);
    QVERIFY(c.unit->waitForCommands(5, 3000));
    first->click();
    QTest::qWait(100);
    QCOMPARE(parameterSets(*c.unit).size(), 5);

    // A fill with 2 checks the box and shows the second button.
    auto image = baseTune();
    image[20] = 2;
    Connected filled(image);
    QVERIFY(filled.ok);
    QVERIFY(filled.w->findChild<QCheckBox*>(QStringLiteral("CheckBox21"))->isChecked());
    QVERIFY(filled.w->findChild<QAbstractButton*>(QStringLiteral("SpeedButton5"))->isHidden());
    QVERIFY(!filled.w->findChild<QAbstractButton*>(QStringLiteral("SpeedButton4"))->isHidden());
}

void TestSetupTab::triggerLevelExternalAsksFirst() {
    Connected c;
    QVERIFY(c.ok);
    c.w->findChild<QAbstractButton*>(QStringLiteral("RadioButton16"))->click();
    QTest::qWait(100);
    QVERIFY(parameterSets(*c.unit).isEmpty());
    QVERIFY(c.w->extWrn()->isVisible());
    QVERIFY(!c.w->isEnabled());

    // A refusal goes back to "Internal", which sends 0.
    QTest::keyClicks(c.w->extWrn()->edit(), QStringLiteral("Yes"));
    c.w->extWrn()->findChild<QAbstractButton*>(QStringLiteral("Button2"))->click();
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{parameterSet(22, 0)});
    QVERIFY(c.w->findChild<QRadioButton*>(QStringLiteral("RadioButton15"))->isChecked());
    QVERIFY(c.w->isEnabled());
}

void TestSetupTab::sensorBoxFollowsItsCalibrateButton() {
    Connected c;
    QVERIFY(c.ok);
    QCheckBox* water = c.w->setupPage()->sensorBox(6);
    QPushButton* calibrate = c.w->setupPage()->calibrateButton(6);
    QCOMPARE(calibrate->objectName(), QStringLiteral("Button1"));
    QVERIFY(water->isEnabled());
    QVERIFY(water->isChecked());
    QVERIFY(calibrate->isEnabled());
    water->setChecked(false);
    QVERIFY(!calibrate->isEnabled());
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{parameterSet(6, 1)});
    QCOMPARE(c.w->state().cal.SetupBlock[6], std::uint8_t(2));
}

void TestSetupTab::targetVolts() {
    auto image = baseTune();
    image[10] = 51; // 0.50 V
    Connected c(image);
    QVERIFY(c.ok);
    QSignalSpy moved(c.w->setupPage(), &SetupPage::lambdaTargetMoved);
    c.w->findChild<QSlider*>(QStringLiteral("TrackBar7"))->setValue(45);
    QVERIFY(c.unit->waitForCommands(1, 3000));
    QCOMPARE(parameterSets(*c.unit), QList<QByteArray>{parameterSet(10, 45)});
    QCOMPARE(c.w->state().cal.SetupBlock[10], std::uint8_t(46));
    QCOMPARE(lineEdit(*c.w, "Edit48")->text(), QStringLiteral("0.45"));
    QCOMPARE(c.w->state().cal.LambdaTarget, 0.45);
    QCOMPARE(moved.size(), 1);
    const LambdaMarkerPlacement at = lambdaMarkerPlacement(200, c.w->state().cal.LambdaTarget);
    QCOMPARE(at.markerCentre, 90);
    QCOMPARE(at.labelCentre, 89);
    QCOMPARE(at.label, QStringLiteral(".45"));
}

// Renders the tab after Connect, for a look at it (EMU_SETUP_PICTURE names the file).
void TestSetupTab::picture() {
    const QString path = qEnvironmentVariable("EMU_SETUP_PICTURE");
    if (path.isEmpty())
        QSKIP("EMU_SETUP_PICTURE not set");
    Connected c;
    QVERIFY(c.ok);
    c.w->resize(1366, 740);
    QTest::qWait(50);
    QVERIFY(c.w->grab().save(path));
}

QTEST_MAIN(TestSetupTab)
#include "tst_setuptab.moc"
