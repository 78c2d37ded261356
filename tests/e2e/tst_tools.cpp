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

// The set messages the unit received, each as its three bytes.
QList<QByteArray> sets(const EmuSimulator& sim) {
    QList<QByteArray> out;
    for (const SimCommand& c : sim.commands()) {
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) == 0xF2)
            out << c.bytes;
    }
    return out;
}

QByteArray set(int id, int value) {
    const char bytes[3] = {char(0xF2), char(id), char(value)};
    return QByteArray(bytes, 3);
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
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();

    form->CalBtnClick();
    QVERIFY(form->isVisible());
    QVERIFY(!w.isEnabled());
    QVERIFY(w.timer2().isActive() || w.link().throttlePollRunning());
    QVERIFY(showsReading(form, unit, open));
    pressF1(form);
    QCOMPARE(child<QLabel>(form, "Panel1")->text(), ThrottleCalibration::kReleaseText);
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QString::number(open));
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    QVERIFY(showsReading(form, unit, closed));
    pressF1(form);
    QCOMPARE(child<QLabel>(form, "Panel1")->text(), ThrottleCalibration::kDoneText);
    QCOMPARE(child<QLineEdit>(form, "Edit1")->text(), QString::number(closed));
    QVERIFY(child<QPushButton>(form, "Button1")->isEnabled());

    unit.clearRecord();
    child<QPushButton>(form, "Button1")->click();
    QVERIFY(unit.waitForCommands(1, 3000));
    QTRY_COMPARE(sets(unit).size(), 2);
    QCOMPARE(sets(unit), (QList<QByteArray>{set(0x26, closed), set(0x27, open - closed)}));
    // The unit is given 200 ms between the two.
    qint64 first = 0;
    qint64 second = 0;
    for (const SimCommand& c : unit.commands()) {
        if (c.bytes == set(0x26, closed))
            first = c.receivedUs;
        if (c.bytes == set(0x27, open - closed))
            second = c.receivedUs;
    }
    QVERIFY2(second - first >= 195000, qPrintable(QString::number(second - first)));
    QCOMPARE(int(w.state().cal.SetupBlock[38]), closed + 1);
    QCOMPARE(int(w.state().cal.SetupBlock[39]), open - closed + 1);
    QCOMPARE(int(unit.image()[38]), closed + 1);
    QCOMPARE(int(unit.image()[39]), open - closed + 1);
    QCOMPARE(w.state().cal.TPSMin, closed);
    QCOMPARE(w.state().cal.TPSSpan, open - closed);
    QVERIFY(w.state().link.SetupChanged);
    QVERIFY(!form->isVisible());
    QVERIFY(w.isEnabled());
    QVERIFY(!w.timer2().isActive());

    // The next showing starts from what was stored.
    form->CalBtnClick();
    QCOMPARE(child<QLineEdit>(form, "Edit1")->text(), QString::number(closed));
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QString::number(open));
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    child<QPushButton>(form, "Button3")->click();
    QVERIFY(w.isEnabled());
}

// OK whose messages do not reach the unit keeps the dialog open, says so, and stores nothing.
void TestTools::calibrationThatDoesNotReachTheUnitStaysOpen() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();
    const int min = w.state().cal.TPSMin;
    const int span = w.state().cal.TPSSpan;
    const auto setup38 = w.state().cal.SetupBlock[38];

    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 90));
    pressF1(form);
    QVERIFY(showsReading(form, unit, 12));
    pressF1(form);
    QVERIFY(child<QPushButton>(form, "Button1")->isEnabled());

    unit.unplug();
    child<QPushButton>(form, "Button1")->click();
    QTest::qWait(300);
    QVERIFY(form->isVisible());
    QCOMPARE(child<QLabel>(form, "Panel1")->text(), TTPSCalForm::kNotSentText);
    QCOMPARE(w.state().cal.TPSMin, min);
    QCOMPARE(w.state().cal.TPSSpan, span);
    QCOMPARE(w.state().cal.SetupBlock[38], setup38);
    child<QPushButton>(form, "Button3")->click();
    QVERIFY(w.isEnabled());
}

void TestTools::captureErrorStartsAgain() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 80));
    pressF1(form);
    QVERIFY(showsReading(form, unit, 85));
    pressF1(form);
    // The required words, then which capture was wrong.
    const QString panel = child<QLabel>(form, "Panel1")->text();
    QVERIFY2(panel.startsWith(ThrottleCalibration::kErrorText), qPrintable(panel));
    QVERIFY2(panel.contains(QStringLiteral("closed throttle reading (85)")), qPrintable(panel));
    QCOMPARE(child<QLineEdit>(form, "Edit1")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("100"));
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    // The live reading goes on during the pause.
    QVERIFY(showsReading(form, unit, 70));
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(form, "Panel1")->text(), ThrottleCalibration::kOpenText, 3000);
    // Starts again with the open throttle.
    pressF1(form);
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("70"));
    QCOMPARE(child<QLabel>(form, "Panel1")->text(), ThrottleCalibration::kReleaseText);
    QVERIFY(sets(unit).isEmpty());
    child<QPushButton>(form, "Button3")->click();
    QVERIFY(sets(unit).isEmpty());
}

void TestTools::readingAboveTheBarLeavesIt() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 40));
    auto* bar = child<QProgressBar>(form, "TPSCalBar");
    QCOMPARE(bar->value(), 40);
    QVERIFY(showsReading(form, unit, 150));
    QCOMPARE(bar->value(), 40);
    // A silent unit changes nothing shown.
    unit.setSilent(true);
    QTest::qWait(200);
    QCOMPARE(child<QLabel>(form, "Label3")->text(), QStringLiteral("150"));
    child<QPushButton>(form, "Button3")->click();
}

void TestTools::aReadingPastTheBarIsCapturedAtItsEnd() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 60));
    // Wide open, the sensor reads past the bar: the bar stays at 60, the capture is the bar's end.
    QVERIFY(showsReading(form, unit, 140));
    QCOMPARE(child<QProgressBar>(form, "TPSCalBar")->value(), 60);
    pressF1(form);
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("100"));
    QVERIFY(showsReading(form, unit, 12));
    pressF1(form);
    QCOMPARE(child<QLabel>(form, "Panel1")->text(), ThrottleCalibration::kDoneText);
    unit.clearRecord();
    child<QPushButton>(form, "Button1")->click();
    QTRY_COMPARE(sets(unit), (QList<QByteArray>{set(0x26, 12), set(0x27, 88)}));
    QCOMPARE(w.state().cal.TPSSpan, 88);
}

void TestTools::anOpenCaptureBelowTheClosedOneIsNamed() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.state().cal.TPSMin = 10;
    w.state().cal.TPSSpan = 80;
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    // F1 before the throttle was opened: a maximum of 2 under the minimum of 10.
    QVERIFY(showsReading(form, unit, 2));
    pressF1(form);
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("2"));
    QVERIFY(showsReading(form, unit, 10));
    pressF1(form);
    const QString panel = child<QLabel>(form, "Panel1")->text();
    QVERIFY2(panel.startsWith(ThrottleCalibration::kErrorText), qPrintable(panel));
    QVERIFY2(
        panel.contains(QStringLiteral("open throttle reading (2) is below the closed throttle reading (10)")),
        qPrintable(panel));
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    child<QPushButton>(form, "Button3")->click();
    QVERIFY(sets(unit).isEmpty());
}

void TestTools::okIsOffWithoutBothCaptures() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    // A stored minimum of 40 and one capture of 30 would be a span of -10.
    w.state().cal.TPSMin = 40;
    w.state().cal.TPSSpan = 30;
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 30));
    pressF1(form);
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    form->Button1Click();
    QTest::qWait(100);
    QVERIFY(sets(unit).isEmpty());
    QVERIFY(form->isVisible());
    child<QPushButton>(form, "Button3")->click();
}

void TestTools::resetSendsZeroAndHundred() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    TTPSCalForm* form = w.tpsCalForm();
    form->CalBtnClick();
    QVERIFY(showsReading(form, unit, 90));
    pressF1(form);
    QVERIFY(showsReading(form, unit, 12));
    pressF1(form);
    QVERIFY(child<QPushButton>(form, "Button1")->isEnabled());
    child<QPushButton>(form, "Button2")->click();
    QTRY_COMPARE(sets(unit), (QList<QByteArray>{set(0x26, 0), set(0x27, 100)}));
    QVERIFY(!child<QPushButton>(form, "Button1")->isEnabled());
    QCOMPARE(child<QLineEdit>(form, "Edit1")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(form, "Edit2")->text(), QStringLiteral("100"));
    // What the unit now holds is what the PC holds.
    QCOMPARE(int(w.state().cal.SetupBlock[38]), 1);
    QCOMPARE(int(w.state().cal.SetupBlock[39]), 101);
    child<QPushButton>(form, "Button3")->click();
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
    QVERIFY(sets(unit).isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(sets(unit), QList<QByteArray>{set(id, 44)});
    QCOMPARE(int(w.state().cal.SetupBlock[at]), 45);
    QTRY_COMPARE(int(unit.image()[at]), 45);
    QCOMPARE(edit->text(), QStringLiteral("300"));

    // 500 is refused: nothing sent, the field shows the number sent before and says why.
    unit.clearRecord();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("500"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::qWait(100);
    QVERIFY(sets(unit).isEmpty());
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
    QCOMPARE(sets(unit), QList<QByteArray>{set(id, 12)});
    QVERIFY(!edit->isVisible());

    // Each commit is one undo step: Ctrl+Z sends 44 again, and the field shows it.
    unit.clearRecord();
    QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(sets(unit), QList<QByteArray>{set(id, 44)});
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
    QVERIFY(sets(unit).isEmpty());
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

    QTRY_COMPARE(sets(unit).size(), 6);
    QCOMPARE(sets(unit), (QList<QByteArray>{set(98, 'C'), set(99, 'X'), set(94, 7), set(95, 12), set(96, 0),
                                            set(97, 9)}));
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
    QVERIFY(sets(unit).isEmpty());
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
    QVERIFY(sets(unit).isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QTest::qWait(100);
    QVERIFY(sets(unit).isEmpty());
    QCOMPARE(field->text(), held);
    QVERIFY2(field->toolTip().contains(QStringLiteral("0 to 255")), qPrintable(field->toolTip()));
    QCOMPARE(w.statusText(0), field->toolTip());

    // 255 goes once, at Enter; Enter does not close the window.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("255"));
    QTest::qWait(100);
    QVERIFY(sets(unit).isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QVERIFY(unit.waitForCommands(1, 3000));
    QTest::qWait(50);
    QCOMPARE(sets(unit), QList<QByteArray>{set(13, 255)});
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
    QCOMPARE(sets(unit).size(), 1);
    QVERIFY(w.isEnabled());
}

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
