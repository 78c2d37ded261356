// The throttle calibration against the simulated throttle, the sensor numbers, the About window's
// service entry and the workshop serial number, asserting on the bytes the unit received.
#include "e2e_helpers.h"

#include "controls/CommitLineEdit.h"
#include "setup/SetupPage.h"
#include "tools/SerialNumberDialog.h"
#include "tools/TForm2.h"
#include "tools/TTPSCalForm.h"
#include "tools/ThrottleCalibration.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// A live frame with the throttle at reading (every other byte a plausible value).
QByteArray frameWithThrottle(int reading) {
    QByteArray f("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10);
    f[2] = char(reading + 1);
    return f;
}

template <typename T> T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromLatin1(name));
}

bool showsReading(TTPSCalForm* form, EmuSimulator& unit, int reading) {
    unit.setFixedFrame(frameWithThrottle(reading));
    return waitUntil([&] { return child<QLabel>(form, "Label3")->text() == QString::number(reading); }, 3000);
}

void pressF1(TTPSCalForm* form) {
    QTest::keyClick(child<QPushButton>(form, "Button3"), Qt::Key_F1);
}

// A type 3 unit on Com1 and the window connected to it.
struct Connected {
    explicit Connected(const SimConfig& config = unitConfig(3))
        : unit(bench.addUnit(1, config)), w(bench.window()), ok(connectTo(w, unit)) {}
    Bench bench;
    EmuSimulator& unit;
    TForm1& w;
    bool ok;
};

// The throttle calibration dialog of a connected window.
struct Calibration : Connected {
    TTPSCalForm* form = w.tpsCalForm();
    // The throttle held at reading until the dialog shows it, then F1 takes it.
    bool capture(int reading) {
        const bool shown = showsReading(form, unit, reading);
        pressF1(form);
        return shown;
    }
    QString panel() const { return child<QLabel>(form, "Panel1")->text(); }
    QString closed() const { return child<QLineEdit>(form, "Edit1")->text(); }
    QString open() const { return child<QLineEdit>(form, "Edit2")->text(); }
    QPushButton* okButton() const { return child<QPushButton>(form, "Button1"); }
    void cancel() const { child<QPushButton>(form, "Button3")->click(); }
};

const QString kTestPassword = QStringLiteral("bench-password");

} // namespace

class TestTools : public QObject {
    Q_OBJECT

  private slots:
    void calibrationSendsMinimumAndSpan_data();
    void calibrationSendsMinimumAndSpan();
    void calibrationThatDoesNotReachTheUnitStaysOpen();
    void captureErrorStartsAgain();
    void readingAboveTheBarLeavesIt();
    void aReadingPastTheBarIsCapturedAtItsEnd();
    void anOpenCaptureBelowTheClosedOneIsNamed();
    void okIsOffWithoutBothCaptures();
    void resetSendsZeroAndHundred();
    void sensorField_data();
    void sensorField();
    void serviceNeedsUnitCtrlAndAlt();
    void wrongPasswordOpensNothing();
    void serialNumberUpdate();
    void serialNumberRefusesABadField();
    void parameter13();
};

void TestTools::calibrationSendsMinimumAndSpan_data() {
    QTest::addColumn<int>("open");
    QTest::addColumn<int>("closed");
    QTest::newRow("90 then 12") << 90 << 12;
    QTest::newRow("closed of 0 is a zero byte") << 60 << 0;
}

void TestTools::calibrationSendsMinimumAndSpan() {
    QFETCH(int, open);
    QFETCH(int, closed);
    Calibration c;
    QVERIFY(c.ok);
    TForm1& w = c.w;
    EmuSimulator& unit = c.unit;

    c.form->CalBtnClick();
    QVERIFY(c.form->isVisible());
    QVERIFY(!w.isEnabled());
    QVERIFY(w.timer2().isActive() || w.link().throttlePollRunning());
    QVERIFY(c.capture(open));
    QCOMPARE(c.panel(), ThrottleCalibration::kReleaseText);
    QCOMPARE(c.open(), QString::number(open));
    QVERIFY(!c.okButton()->isEnabled());
    QVERIFY(c.capture(closed));
    QCOMPARE(c.panel(), ThrottleCalibration::kDoneText);
    QCOMPARE(c.closed(), QString::number(closed));
    QVERIFY(c.okButton()->isEnabled());

    unit.clearRecord();
    c.okButton()->click();
    QVERIFY(unit.waitForCommands(1, 3000));
    QTRY_COMPARE(parameterSets(unit).size(), 2);
    QCOMPARE(parameterSets(unit),
             (QList<QByteArray>{parameterSet(0x26, closed), parameterSet(0x27, open - closed)}));
    // The unit is given 200 ms between the two.
    qint64 first = 0;
    qint64 second = 0;
    for (const SimCommand& cmd : unit.commands()) {
        if (cmd.bytes == parameterSet(0x26, closed))
            first = cmd.receivedUs;
        if (cmd.bytes == parameterSet(0x27, open - closed))
            second = cmd.receivedUs;
    }
    QVERIFY2(second - first >= 195000, qPrintable(QString::number(second - first)));
    QCOMPARE(int(w.state().cal.SetupBlock[38]), closed + 1);
    QCOMPARE(int(w.state().cal.SetupBlock[39]), open - closed + 1);
    QCOMPARE(int(unit.image()[38]), closed + 1);
    QCOMPARE(int(unit.image()[39]), open - closed + 1);
    QCOMPARE(w.state().cal.TPSMin, closed);
    QCOMPARE(w.state().cal.TPSSpan, open - closed);
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(!c.form->isVisible());
    QVERIFY(w.isEnabled());
    QVERIFY(!w.timer2().isActive());

    // The next showing starts from what was stored.
    c.form->CalBtnClick();
    QCOMPARE(c.closed(), QString::number(closed));
    QCOMPARE(c.open(), QString::number(open));
    QVERIFY(!c.okButton()->isEnabled());
    c.cancel();
    QVERIFY(w.isEnabled());
}

// OK whose messages do not reach the unit keeps the dialog open, says so, and stores nothing.
void TestTools::calibrationThatDoesNotReachTheUnitStaysOpen() {
    Calibration c;
    QVERIFY(c.ok);
    const CalibrationData& cal = c.w.state().cal;
    const int min = cal.TPSMin;
    const int span = cal.TPSSpan;
    const auto setup38 = cal.SetupBlock[38];

    c.form->CalBtnClick();
    QVERIFY(c.capture(90));
    QVERIFY(c.capture(12));
    QVERIFY(c.okButton()->isEnabled());

    c.unit.unplug();
    c.okButton()->click();
    QTest::qWait(300);
    QVERIFY(c.form->isVisible());
    QCOMPARE(c.panel(), TTPSCalForm::kNotSentText);
    QCOMPARE(cal.TPSMin, min);
    QCOMPARE(cal.TPSSpan, span);
    QCOMPARE(cal.SetupBlock[38], setup38);
    c.cancel();
    QVERIFY(c.w.isEnabled());
}

void TestTools::captureErrorStartsAgain() {
    Calibration c;
    QVERIFY(c.ok);
    c.form->CalBtnClick();
    QVERIFY(c.capture(80));
    QVERIFY(c.capture(85));
    // The required words, then which capture was wrong.
    QVERIFY2(c.panel().startsWith(ThrottleCalibration::kErrorText), qPrintable(c.panel()));
    QVERIFY2(c.panel().contains(QStringLiteral("closed throttle reading (85)")), qPrintable(c.panel()));
    QCOMPARE(c.closed(), QStringLiteral("0"));
    QCOMPARE(c.open(), QStringLiteral("100"));
    QVERIFY(!c.okButton()->isEnabled());
    // The live reading goes on during the pause.
    QVERIFY(showsReading(c.form, c.unit, 70));
    QTRY_COMPARE_WITH_TIMEOUT(c.panel(), ThrottleCalibration::kOpenText, 3000);
    // Starts again with the open throttle.
    pressF1(c.form);
    QCOMPARE(c.open(), QStringLiteral("70"));
    QCOMPARE(c.panel(), ThrottleCalibration::kReleaseText);
    QVERIFY(parameterSets(c.unit).isEmpty());
    c.cancel();
    QVERIFY(parameterSets(c.unit).isEmpty());
}

void TestTools::readingAboveTheBarLeavesIt() {
    Calibration c;
    QVERIFY(c.ok);
    c.form->CalBtnClick();
    QVERIFY(showsReading(c.form, c.unit, 40));
    auto* bar = child<QProgressBar>(c.form, "TPSCalBar");
    QCOMPARE(bar->value(), 40);
    QVERIFY(showsReading(c.form, c.unit, 150));
    QCOMPARE(bar->value(), 40);
    // A silent unit changes nothing shown.
    c.unit.setSilent(true);
    QTest::qWait(200);
    QCOMPARE(child<QLabel>(c.form, "Label3")->text(), QStringLiteral("150"));
    c.cancel();
}

void TestTools::aReadingPastTheBarIsCapturedAtItsEnd() {
    Calibration c;
    QVERIFY(c.ok);
    c.form->CalBtnClick();
    QVERIFY(showsReading(c.form, c.unit, 60));
    // Wide open, the sensor reads past the bar: the bar stays at 60, the capture is the bar's end.
    QVERIFY(showsReading(c.form, c.unit, 140));
    QCOMPARE(child<QProgressBar>(c.form, "TPSCalBar")->value(), 60);
    pressF1(c.form);
    QCOMPARE(c.open(), QStringLiteral("100"));
    QVERIFY(c.capture(12));
    QCOMPARE(c.panel(), ThrottleCalibration::kDoneText);
    c.unit.clearRecord();
    c.okButton()->click();
    QTRY_COMPARE(parameterSets(c.unit), (QList<QByteArray>{parameterSet(0x26, 12), parameterSet(0x27, 88)}));
    QCOMPARE(c.w.state().cal.TPSSpan, 88);
}

void TestTools::anOpenCaptureBelowTheClosedOneIsNamed() {
    Calibration c;
    QVERIFY(c.ok);
    c.w.state().cal.TPSMin = 10;
    c.w.state().cal.TPSSpan = 80;
    c.form->CalBtnClick();
    // F1 before the throttle was opened: a maximum of 2 under the minimum of 10.
    QVERIFY(c.capture(2));
    QCOMPARE(c.open(), QStringLiteral("2"));
    QVERIFY(c.capture(10));
    QVERIFY2(c.panel().startsWith(ThrottleCalibration::kErrorText), qPrintable(c.panel()));
    QVERIFY2(c.panel().contains(
                 QStringLiteral("open throttle reading (2) is below the closed throttle reading (10)")),
             qPrintable(c.panel()));
    QVERIFY(!c.okButton()->isEnabled());
    c.cancel();
    QVERIFY(parameterSets(c.unit).isEmpty());
}

void TestTools::okIsOffWithoutBothCaptures() {
    Calibration c;
    QVERIFY(c.ok);
    // A stored minimum of 40 and one capture of 30 would be a span of -10.
    c.w.state().cal.TPSMin = 40;
    c.w.state().cal.TPSSpan = 30;
    c.form->CalBtnClick();
    QVERIFY(c.capture(30));
    QVERIFY(!c.okButton()->isEnabled());
    c.form->Button1Click();
    QTest::qWait(100);
    QVERIFY(parameterSets(c.unit).isEmpty());
    QVERIFY(c.form->isVisible());
    c.cancel();
}

void TestTools::resetSendsZeroAndHundred() {
    Calibration c;
    QVERIFY(c.ok);
    c.form->CalBtnClick();
    QVERIFY(c.capture(90));
    QVERIFY(c.capture(12));
    QVERIFY(c.okButton()->isEnabled());
    child<QPushButton>(c.form, "Button2")->click();
    QTRY_COMPARE(parameterSets(c.unit), (QList<QByteArray>{parameterSet(0x26, 0), parameterSet(0x27, 100)}));
    QVERIFY(!c.okButton()->isEnabled());
    QCOMPARE(c.closed(), QStringLiteral("0"));
    QCOMPARE(c.open(), QStringLiteral("100"));
    // What the unit now holds is what the PC holds.
    QCOMPARE(int(c.w.state().cal.SetupBlock[38]), 1);
    QCOMPARE(int(c.w.state().cal.SetupBlock[39]), 101);
    c.cancel();
}

void TestTools::sensorField_data() {
    QTest::addColumn<QString>("calibrate");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("fitted"); // the sensor's setup offset
    QTest::addColumn<int>("id");
    QTest::newRow("water, Edit52") << "Button1"
                                   << "Edit52" << 6 << 44;
    QTest::newRow("air, Edit58") << "Button2"
                                 << "Edit58" << 7 << 50;
    QTest::newRow("map, Edit60") << "Button3"
                                 << "Edit60" << 9 << 52;
}

void TestTools::sensorField() {
    QFETCH(QString, calibrate);
    QFETCH(QString, field);
    QFETCH(int, fitted);
    QFETCH(int, id);
    const auto at = static_cast<size_t>(id);
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    QCheckBox* sensor = w.setupPage()->sensorBox(fitted);
    if (!sensor->isChecked()) {
        sensor->setChecked(true);
        QVERIFY(unit.waitForCommands(1, 3000));
    }
    unit.clearRecord();
    auto* button = child<QPushButton>(&w, calibrate.toLatin1().constData());
    auto* edit = child<CommitLineEdit>(&w, field.toLatin1().constData());
    QVERIFY(button->isEnabled());
    QVERIFY(!edit->isVisible());
    button->click();
    QVERIFY(edit->isVisible());
    QVERIFY(edit->hasFocus());
    // The field opens on the number the unit holds.
    QCOMPARE(edit->text(), QString::number(std::uint8_t(unit.image()[at] - 1)));

    // Typing sends nothing; Enter sends the number once, as its low 8 bits.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("300"));
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(parameterSets(unit), QList<QByteArray>{parameterSet(id, 44)});
    QCOMPARE(int(w.state().cal.SetupBlock[at]), 45);
    QTRY_COMPARE(int(unit.image()[at]), 45);
    QCOMPARE(edit->text(), QStringLiteral("300"));

    // 500 is refused: nothing sent, the field shows the number sent before and says why.
    unit.clearRecord();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("500"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QCOMPARE(edit->text(), QStringLiteral("300"));
    QVERIFY2(edit->toolTip().contains(QStringLiteral("0 to 499")), qPrintable(edit->toolTip()));
    QCOMPARE(w.statusText(0), edit->toolTip());
    QCOMPARE(int(w.state().cal.SetupBlock[at]), 45);

    // Letters cannot be typed; Esc puts the number back.
    QTest::keyClicks(edit, QStringLiteral("x"));
    QCOMPARE(edit->text(), QStringLiteral("300"));
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("12"));
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->text(), QStringLiteral("300"));
    QVERIFY(w.isVisible());

    // Tab commits, and leaving the field hides it.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("12"));
    QTest::keyClick(edit, Qt::Key_Tab);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(parameterSets(unit), QList<QByteArray>{parameterSet(id, 12)});
    QVERIFY(!edit->isVisible());

    // Each commit is one undo step: Ctrl+Z sends 44 again, and the field shows it.
    unit.clearRecord();
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(parameterSets(unit), QList<QByteArray>{parameterSet(id, 44)});
    QCOMPARE(edit->text(), QStringLiteral("44"));
}

void TestTools::serviceNeedsUnitCtrlAndAlt() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    TForm2* about = w.aboutForm();
    auto* password = child<QLineEdit>(about, "Edit1");
    auto* image4 = child<QLabel>(about, "Image4");
    auto* image3 = child<QLabel>(about, "Image3");

    // No unit: Ctrl and Alt held, the pictures show nothing.
    w.spAboutClick();
    QTest::keyPress(about, Qt::Key_Control);
    QTest::keyPress(about, Qt::Key_Alt, Qt::ControlModifier);
    QVERIFY(about->ctrlHeld() && about->altHeld());
    QTest::mouseClick(image4, Qt::LeftButton);
    QTest::mouseClick(image3, Qt::LeftButton);
    QVERIFY(!password->isVisible());
    QVERIFY(!child<QLineEdit>(about, "Edit2")->isVisible());
    child<QPushButton>(about, "Button1")->click();

    QVERIFY(connectTo(w, unit));
    w.spAboutClick();
    const QStringList lines = child<QPlainTextEdit>(about, "Memo1")->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines, (QStringList{TForm1::kCaption, "Model: EMU 3", "Version: 1.13", "Type: Fuel and Timing",
                                 "Serial: AB-010203-04"}));
    // Releasing any key clears both flags.
    QTest::keyPress(about, Qt::Key_Control);
    QTest::keyPress(about, Qt::Key_Alt, Qt::ControlModifier);
    QTest::keyRelease(about, Qt::Key_Shift, Qt::ControlModifier | Qt::AltModifier);
    QVERIFY(!about->ctrlHeld() && !about->altHeld());
    QTest::mouseClick(image4, Qt::LeftButton);
    QVERIFY(!password->isVisible());
    // Only Ctrl is not enough.
    QTest::keyPress(about, Qt::Key_Control);
    QTest::mouseClick(image4, Qt::LeftButton);
    QVERIFY(!password->isVisible());
    QTest::keyPress(about, Qt::Key_Alt, Qt::ControlModifier);
    QTest::mouseClick(image4, Qt::LeftButton);
    QVERIFY(password->isVisible());
    QVERIFY(child<QPushButton>(about, "Button2")->isVisible());
    QTest::mouseClick(image3, Qt::LeftButton);
    QVERIFY(child<QLineEdit>(about, "Edit2")->isVisible());

    // OK hides the service controls again.
    child<QPushButton>(about, "Button1")->click();
    QVERIFY(w.isEnabled());
    w.spAboutClick();
    QVERIFY(!password->isVisible());
    QVERIFY(!child<QPushButton>(about, "Button2")->isVisible());
    QVERIFY(!child<QLineEdit>(about, "Edit2")->isVisible());
    child<QPushButton>(about, "Button1")->click();
}

namespace {

// About with the service entry revealed and the bench's password in force.
TForm2* openServiceEntry(TForm1& w) {
    TForm2* about = w.aboutForm();
    about->setPasswordHash(
        QCryptographicHash::hash(kTestPassword.toUtf8(), QCryptographicHash::Sha256).toHex());
    w.spAboutClick();
    QTest::keyPress(about, Qt::Key_Control);
    QTest::keyPress(about, Qt::Key_Alt, Qt::ControlModifier);
    QTest::mouseClick(child<QLabel>(about, "Image4"), Qt::LeftButton);
    QTest::mouseClick(child<QLabel>(about, "Image3"), Qt::LeftButton);
    return about;
}

TSerialFrm* enterPassword(TForm1& w, TForm2* about, const QString& password) {
    auto* edit = child<QLineEdit>(about, "Edit1");
    edit->setText(password);
    child<QPushButton>(about, "Button2")->click();
    return w.serialForm();
}

} // namespace

void TestTools::wrongPasswordOpensNothing() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TForm2* about = openServiceEntry(w);
    TSerialFrm* serial = enterPassword(w, about, kTestPassword + QStringLiteral("x"));
    QVERIFY(!serial->isVisible());
    QCOMPARE(child<QLabel>(about, "Label2")->text(), TForm2::kWrongPassword);
    QVERIFY(child<QLabel>(about, "Label2")->isVisible());
    QVERIFY(child<QLineEdit>(about, "Edit1")->text().isEmpty());
    QVERIFY(about->isEnabled());
    child<QPushButton>(about, "Button1")->click();
    QVERIFY(parameterSets(unit).isEmpty());
}

void TestTools::serialNumberUpdate() {
    Bench bench;
    SimConfig config = unitConfig(3);
    config.serial = QStringLiteral("CD-071205-09");
    EmuSimulator& unit = bench.addUnit(1, config);
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TForm2* about = openServiceEntry(w);
    TSerialFrm* serial = enterPassword(w, about, kTestPassword);
    QVERIFY(serial->isVisible());
    QVERIFY(serial->isEnabled());
    QVERIFY(!about->isEnabled());
    QCOMPARE(child<QLineEdit>(serial, "Edit1")->text(), QStringLiteral("C"));
    QCOMPARE(child<QLineEdit>(serial, "Edit6")->text(), QStringLiteral("D"));
    QCOMPARE(child<QLineEdit>(serial, "Edit2")->text(), QStringLiteral("07"));
    QCOMPARE(child<QLineEdit>(serial, "Edit3")->text(), QStringLiteral("12"));
    QCOMPARE(child<QLineEdit>(serial, "Edit4")->text(), QStringLiteral("05"));
    QCOMPARE(child<QLineEdit>(serial, "Edit5")->text(), QStringLiteral("09"));
    auto* update = child<QPushButton>(serial, "Button1");
    QVERIFY(!update->isEnabled());

    // Lower case becomes upper case; a field of 0 reads 00 after Update.
    auto* letter = child<QLineEdit>(serial, "Edit6");
    letter->selectAll();
    QTest::keyClicks(letter, QStringLiteral("x"));
    QCOMPARE(letter->text(), QStringLiteral("X"));
    QVERIFY(update->isEnabled());
    auto* number = child<QLineEdit>(serial, "Edit4");
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("0"));
    update->click();

    QTRY_COMPARE(parameterSets(unit).size(), 6);
    QCOMPARE(parameterSets(unit),
             (QList<QByteArray>{parameterSet(98, 'C'), parameterSet(99, 'X'), parameterSet(94, 7),
                                parameterSet(95, 12), parameterSet(96, 0), parameterSet(97, 9)}));
    QCOMPARE(number->text(), QStringLiteral("00"));
    QVERIFY(!update->isEnabled());
    const QString text = QStringLiteral("CX-071200-09");
    QCOMPARE(w.statusText(1), QStringLiteral("EMU 3 v1.13 :: ") + text);
    QCOMPARE(w.state().link.SerialNumberText, text);
    QCOMPARE(child<QPlainTextEdit>(about, "Memo1")->toPlainText(),
             QStringLiteral("Serial number updated...\nNew serial number is ") + text);
    // The unit holds it.
    QTRY_COMPARE(int(unit.image()[99]), 'X' + 1);
    QCOMPARE(int(unit.image()[96]), 1);

    child<QPushButton>(serial, "Button2")->click();
    QVERIFY(!serial->isVisible());
    QVERIFY(about->isEnabled());
    child<QPushButton>(about, "Button1")->click();
    QVERIFY(w.isEnabled());
    // About shows the new number next time.
    w.spAboutClick();
    QVERIFY(child<QPlainTextEdit>(about, "Memo1")->toPlainText().endsWith(QStringLiteral("Serial: ") + text));
    child<QPushButton>(about, "Button1")->click();
}

void TestTools::serialNumberRefusesABadField() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TForm2* about = openServiceEntry(w);
    TSerialFrm* serial = enterPassword(w, about, kTestPassword);
    QVERIFY(serial->isVisible());
    // "-" cannot be typed into a number field, and the field left empty stops the whole update.
    auto* number = child<QLineEdit>(serial, "Edit3");
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("-"));
    QCOMPARE(number->text(), QStringLiteral("02"));
    number->selectAll();
    QTest::keyClick(number, Qt::Key_Delete);
    QVERIFY(number->text().isEmpty());
    child<QPushButton>(serial, "Button1")->click();
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QVERIFY(child<QLabel>(serial, "Label6")->text().startsWith(QStringLiteral("Number 2 ")));
    QCOMPARE(w.state().link.SerialNumberText, QStringLiteral("AB-010203-04"));
    child<QPushButton>(serial, "Button2")->click();
    child<QPushButton>(about, "Button1")->click();
}

void TestTools::parameter13() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TForm2* about = openServiceEntry(w);
    // The window activates asynchronously; the field has the focus once it is active.
    about->activateWindow();
    QTRY_VERIFY(about->isActiveWindow());
    auto* field = child<CommitLineEdit>(about, "Edit2");
    QVERIFY(field->isVisible());
    QVERIFY(field->hasFocus());
    // The field opens on the value the unit holds.
    const QString held = QString::number(std::uint8_t(unit.image()[13] - 1));
    QCOMPARE(field->text(), held);

    // 300 is refused at Enter: nothing sent, the unit's value back, the reason in the tooltip.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("300"));
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QCOMPARE(field->text(), held);
    QVERIFY2(field->toolTip().contains(QStringLiteral("0 to 255")), qPrintable(field->toolTip()));
    QCOMPARE(w.statusText(0), field->toolTip());

    // 255 goes once, at Enter; Enter does not close the window.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("255"));
    QTest::qWait(100);
    QVERIFY(parameterSets(unit).isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(parameterSets(unit), QList<QByteArray>{parameterSet(13, 255)});
    QCOMPARE(int(w.state().cal.SetupBlock[13]), 0);
    QVERIFY(about->isVisible());

    // Esc while typing puts 255 back and leaves the window open; nothing is sent.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("7"));
    QTest::keyClick(field, Qt::Key_Escape);
    QCOMPARE(field->text(), QStringLiteral("255"));
    QVERIFY(about->isVisible());
    // Typed but not committed when the window closes: dropped, not sent.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("9"));
    about->close();
    QTest::qWait(100);
    QCOMPARE(parameterSets(unit).size(), 1);
    QVERIFY(w.isEnabled());
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
