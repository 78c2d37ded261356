// The window as it starts: its controls, the port search on first showing, the port refresh, the
// port selector, a port that cannot be used, and leaving with Esc.
#include "e2e_helpers.h"

#include "mapeditor/MapChartWidget.h"
#include "tools/SerialNumberDialog.h"
#include "tools/TForm2.h"
#include "tools/TTPSCalForm.h"
#include "ui/TCommsLostFrm.h"
#include "ui/TExtWrn.h"
#include "ui/TSaveFrm.h"
#include "ui/TVerChk.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString accessibleName(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

  private slots:
    void startsSearchingWithEverythingInPlace();
    void dialogsCarryTheirTexts();
    void everyControlHasAnAccessibleName();
    void vehicleFieldsRefuseWhatTheFileCannotHold();
    void twoUnitsSearchEndsOnLastRefreshOnFirst();
    void modelFiveIsReportedWithThePreviousTypeText();
    void selectorWithoutPortNumber_data();
    void selectorWithoutPortNumber();
    void selectorChangeOpensThePort();
    void busyPortIsToldOnce();
    void deniedPortIsToldOnce();
    void escapeLeavesAndClosesThePort();
};

void TestStartup::startsSearchingWithEverythingInPlace() {
    Bench bench;
    bench.setPortPath(1, bench.dir.filePath(QStringLiteral("nothing-here")));
    TForm1& w = bench.window();

    QCOMPARE(w.windowTitle(), QStringLiteral("Dorvanta - EMU Interface - v1.13.b"));
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QVERIFY(bench.prompts.warnings.isEmpty());

    auto* pages = w.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    QVERIFY(pages);
    QStringList tabs;
    for (int i = 0; i < pages->count(); ++i)
        tabs << pages->tabText(i);
    QCOMPARE(tabs, (QStringList{"Setup", "Timing Map", "Fuel Maps", "Correction Maps", "Data Logger",
                                "Engine Monitor"}));
    QCOMPARE(pages->currentIndex(), 0);

    // The hint names the button; the tool tip adds its key.
    const QList<std::tuple<const char*, QString, QString>> hints{
        {"spOpen", "Open file", " (Ctrl+O)"},
        {"spClose", "Close all", ""},
        {"spSave", "Save settings", " (Ctrl+S)"},
        {"spPrint", "Print", " (Ctrl+P)"},
        {"spRetry", "Refresh Com Port", " (F5)"},
        {"spConnect", "Connect", ""},
        {"spRead", "Read from EMU", ""},
        {"spWrite", "Write to EMU", ""},
        {"spAbout", "About", " (F1)"},
        {"spExit", "Exit", " (Ctrl+Q)"},
        {"SpeedButton3", "Enable/Disable mouse tuning", ""}};
    for (const auto& [name, hint, key] : hints) {
        QAbstractButton* b = button(w, name);
        QVERIFY2(b, name);
        QCOMPARE(b->accessibleName(), hint);
        QCOMPARE(b->toolTip(), hint + key);
    }
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("sp3D")));

    // The "Searching" state.
    for (const char* name : {"spConnect", "spRead", "spWrite"})
        QVERIFY2(!button(w, name)->isEnabled(), name);
    for (const char* name : {"spOpen", "spClose", "spSave", "spPrint", "spRetry", "spExit"})
        QVERIFY2(button(w, name)->isEnabled(), name);
    QVERIFY(button(w, "SpeedButton3")->isCheckable());
    QVERIFY(!button(w, "SpeedButton3")->isChecked());

    auto* selector = w.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    QVERIFY(selector->isEnabled());
    QCOMPARE(selector->currentText(), QStringLiteral("Com1"));
    QCOMPARE(selector->toolTip(), QStringLiteral("Sellect COM port"));

    auto* analog = w.findChild<QCheckBox*>(QStringLiteral("AnalogEn"));
    QCOMPARE(analog->text(), QStringLiteral("Analog Signals"));
    QVERIFY(analog->isChecked());
    QVERIFY(!analog->isEnabled());
    auto* tracking = w.findChild<QCheckBox*>(QStringLiteral("RT_Track"));
    QCOMPARE(tracking->text(), QStringLiteral("Realtime Tracking"));
    QVERIFY(!tracking->isChecked());
    QVERIFY(!tracking->isEnabled());
    QVERIFY(!w.timer1().isActive());

    // Status bar: messages, the unit centred, the type right-aligned.
    const QList<QPair<int, Qt::Alignment>> panels{
        {270, Qt::AlignLeft}, {300, Qt::AlignHCenter}, {270, Qt::AlignRight}};
    for (int i = 0; i < 3; ++i) {
        auto* panel = w.statusBar()->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
        QVERIFY(panel);
        QCOMPARE(panel->width(), panels[i].first);
        QVERIFY(panel->alignment() & panels[i].second);
    }

    // Charts: on their pages, disabled and empty.
    const QList<QPair<const char*, int>> charts{{"TimingChart", 1},  {"VacuumChart", 1}, {"FuelVacChart", 2},
                                                {"FuelRPMChart", 2}, {"TempChart", 3},   {"AirTmpChart", 3},
                                                {"VoltageChart", 3}};
    for (const auto& [name, page] : charts) {
        MapChartWidget* c = chartOf(w, name);
        QVERIFY2(c, name);
        QVERIFY2(pages->widget(page)->isAncestorOf(c), name);
        QVERIFY2(!c->isEnabled(), name);
        for (int s = 0; s < c->seriesCount(); ++s)
            QVERIFY2(c->series(s)->interface1D()->dataCount() == 0, name);
    }
    QCOMPARE(chartOf(w, "FuelVacChart")->seriesCount(), 7);
    QCOMPARE(chartOf(w, "FuelRPMChart")->seriesCount(), 5);

    QVERIFY(!w.setupPanel()->isEnabled());
    QVERIFY(!w.outputPanel()->isEnabled());
    QCOMPARE(w.outputPanel()->title(), QStringLiteral("General Purpose Output"));
    for (const char* name : {"Edit6", "Edit7", "Edit8", "Edit66", "Edit18"})
        QVERIFY2(lineEdit(w, name)->isReadOnly(), name);

    // The vacuum chart's readouts show from the start; the others wait for the mouse.
    QVERIFY(!lineEdit(w, "Edit4")->isHidden());
    QVERIFY(!lineEdit(w, "Edit5")->isHidden());
    QVERIFY(lineEdit(w, "Edit2")->isHidden());
}

void TestStartup::dialogsCarryTheirTexts() {
    Bench bench;
    TForm1& w = bench.window();

    QCOMPARE(w.aboutForm()->windowTitle(), QStringLiteral("About the EMU Interface"));
    QCOMPARE(w.tpsCalForm()->windowTitle(), QStringLiteral("Throttle Position Sensor Calibration"));
    QVERIFY(w.serialForm());
    QCOMPARE(w.saveForm()->windowTitle(), QStringLiteral("Save From?"));
    QCOMPARE(w.saveForm()->fromEmu()->text(), QStringLiteral("Save From EMU"));
    QCOMPARE(w.saveForm()->fromPc()->text(), QStringLiteral("Save From PC"));
    QVERIFY(w.saveForm()->fromEmu()->isChecked());

    TCommsLostFrm* lost = w.commsLostForm();
    QCOMPARE(lost->windowTitle(), QStringLiteral("Warning"));
    QCOMPARE(lost->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
             QStringLiteral("WARNING: The EMU has been disconnected from the PC."));
    QCOMPARE(lost->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
             QStringLiteral("What do you want to do? "));
    const QStringList memo =
        lost->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText().split('\n');
    QCOMPARE(memo, (QStringList{
                       "The data table changes on your PC has not been saved by the EMU device.",
                       "The changes will only be saves once you have clicked the 'Download data to ",
                       "EMU' button. You have two options: 1) Download the data tables from the PC",
                       "to the EMU, 2) Upload the data from the EMU to the PC. Remember, that once",
                       "you have made your choice, the data tables on the EMU or PC will be LOST!!",
                       "",
                       "PLEASE SWITCH ON THE IGNITION BEFORE MAKING THE SELECTION!!",
                   }));
    QCOMPARE(lost->findChild<QAbstractButton*>(QStringLiteral("BitBtn1"))->text(),
             QStringLiteral("Download data to EMU"));
    QCOMPARE(lost->findChild<QAbstractButton*>(QStringLiteral("BitBtn2"))->text(),
             QStringLiteral("Upload data to PC"));

    TExtWrn* warn = w.extWrn();
    QCOMPARE(warn->windowTitle(), QStringLiteral("Warning"));
    QStringList labels;
    for (int i = 1; i <= 5; ++i)
        labels << warn->findChild<QLabel*>(QStringLiteral("Label%1").arg(i))->text();
    QCOMPARE(labels, (QStringList{"Warning: Trigger Level Output",
                                  "This setting could damage the EMU or coils if set incorrectly.",
                                  "Are you sure you have drivers inside the coils?",
                                  "Type 'yes' inside the box provided and click 'OK' to confirm, ",
                                  "or click 'Cancel'."}));
    QCOMPARE(warn->findChild<QAbstractButton*>(QStringLiteral("Button1"))->text(), QStringLiteral("Cancel"));
    QCOMPARE(warn->findChild<QAbstractButton*>(QStringLiteral("Button2"))->text(), QStringLiteral("OK"));
    QVERIFY(!(warn->windowFlags() & Qt::WindowCloseButtonHint));

    TVerChk* notice = w.verChk();
    QCOMPARE(notice->windowTitle(), QStringLiteral("Notice"));
    QCOMPARE(notice->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Please Note"));
    QCOMPARE(notice->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
             QStringLiteral(
                 "The EMU version currently installed does not match the Software Version you are using."));
    QCOMPARE(notice->findChild<QAbstractButton*>(QStringLiteral("Button1"))->text(), QStringLiteral("OK"));

    // Only the main window is up; About comes over a disabled main window and gives it back.
    for (QWidget* d : std::initializer_list<QWidget*>{w.aboutForm(), w.tpsCalForm(), w.serialForm(),
                                                      w.saveForm(), lost, warn, notice})
        QVERIFY(!d->isVisible());
    button(w, "spAbout")->click();
    QVERIFY(w.aboutForm()->isVisible());
    QVERIFY(!w.isEnabled());
    QVERIFY(w.aboutForm()->isEnabled());
    w.aboutForm()->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
    QVERIFY(!w.aboutForm()->isVisible());
    QVERIFY(w.isEnabled());
}

void TestStartup::everyControlHasAnAccessibleName() {
    Bench bench;
    TForm1& w = bench.window();

    int checked = 0;
    for (QWidget* widget : w.findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                             qobject_cast<QComboBox*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
                             qobject_cast<QCustomPlot*>(widget) || qobject_cast<QTabWidget*>(widget);
        if (!control)
            continue;
        ++checked;
        QVERIFY2(!accessibleName(widget).isEmpty(), qPrintable(name));
    }
    QVERIFY(checked > 40);

    QCOMPARE(accessibleName(button(w, "spConnect")), QStringLiteral("Connect"));
    QCOMPARE(accessibleName(lineEdit(w, "Edit7")), QStringLiteral("EMU Model"));
    QCOMPARE(accessibleName(chartOf(w, "TimingChart")), QStringLiteral("Timing Map"));

    // The status panels read out what they show.
    w.setStatus(1, QStringLiteral("EMU 3 v1.13 :: AB-010203-04"));
    for (int i = 0; i < 3; ++i) {
        auto* panel = w.statusBar()->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
        QCOMPARE(accessibleName(panel), w.statusText(i));
    }
    QCOMPARE(accessibleName(w.statusBar()->findChild<QLabel*>(QStringLiteral("StatusPanel0"))),
             QStringLiteral("No EMU present"));
}

void TestStartup::vehicleFieldsRefuseWhatTheFileCannotHold() {
    Bench bench;
    TForm1& w = bench.window();
    QLineEdit* make = lineEdit(w, "Edit9");
    make->setFocus();
    QTest::keyClicks(make, QStringLiteral("Mazda~ MX-5 with a very long name"));
    QCOMPARE(make->text(), QStringLiteral("Mazda MX-5 with a "));
    QCOMPARE(make->text().size(), 18);
    for (const char* name : {"Edit10", "Edit11"})
        QCOMPARE(lineEdit(w, name)->maxLength(), 18);
}

void TestStartup::twoUnitsSearchEndsOnLastRefreshOnFirst() {
    Bench bench;
    EmuSimulator& second = bench.addUnit(2, unitConfig(3, 1, 13));
    EmuSimulator& fifth = bench.addUnit(5, unitConfig(1, 1, 13));
    bench.setPortPath(3, bench.dir.filePath(QStringLiteral("absent")));

    // A later unit overrides an earlier one.
    TForm1& w = bench.window();
    auto* selector = w.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    QCOMPARE(selector->currentText(), QStringLiteral("Com5"));
    QCOMPARE(w.statusText(0), QStringLiteral("Timing Module found on Com5"));
    QVERIFY(button(w, "spConnect")->isEnabled());
    QVERIFY(!button(w, "spRetry")->isEnabled());
    QStringList items;
    for (int i = 0; i < selector->count(); ++i)
        items << selector->itemText(i);
    QCOMPARE(items, (QStringList{"Com2", "Com5"}));
    QCOMPARE(selector->itemData(1, Qt::ToolTipRole).toString(), bench.linkPath(5));

    // The refresh keeps the first unit that answers.
    w.spRetryClick();
    finishFlows(w);
    QCOMPARE(selector->currentText(), QStringLiteral("Com2"));
    QCOMPARE(w.statusText(0), QStringLiteral("EFI version 1.13 found on Com2"));
    QCOMPARE(w.state().link.SelectedPort, 2);
    QVERIFY(second.waitForCommands(1, 2000));
    QVERIFY(fifth.waitForCommands(1, 2000));
    QCOMPARE(commandBytes(second), QList<int>{0xFF});
    QCOMPARE(commandBytes(fifth), QList<int>{0xFF});
    QCOMPARE(selector->count(), 2);
}

void TestStartup::modelFiveIsReportedWithThePreviousTypeText() {
    Bench bench;
    bench.addUnit(3, unitConfig(5));
    TForm1& w = bench.window();
    QCOMPARE(w.statusText(0), QStringLiteral(" Module found on Com3"));
    QCOMPARE(w.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->currentText(), QStringLiteral("Com3"));
}

void TestStartup::selectorWithoutPortNumber_data() {
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("selector change") << "ComboBox1Change"
                                     << "Comxx"
                                     << "'xx' is not a valid integer value.";
    QTest::newRow("connect") << "spConnectClick"
                             << "Port"
                             << "'t' is not a valid integer value.";
}

void TestStartup::selectorWithoutPortNumber() {
    QFETCH(QString, handler);
    QFETCH(QString, text);
    QFETCH(QString, error);

    Bench bench;
    bench.prompts.expect(error);
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    auto* selector = w.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    selector->setEditText(text);
    QVERIFY(QMetaObject::invokeMethod(&w, handler.toLatin1().constData()));
    QCOMPARE(bench.prompts.errors, QStringList{error});
    QVERIFY(!unit.waitForCommands(1, 300));
    QVERIFY(!w.state().link.DataReady);
}

void TestStartup::selectorChangeOpensThePort() {
    Bench bench;
    bench.addUnit(2, unitConfig(3));
    TForm1& w = bench.window();
    auto* selector = w.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
    QVERIFY(!w.link().isOpen());
    selector->setCurrentIndex(selector->findText(QStringLiteral("Com2")));
    emit selector->textActivated(selector->currentText());
    QCOMPARE(w.state().link.SelectedPort, 2);
    QCOMPARE(w.link().portNumber(), 2);
    QVERIFY(w.link().isOpen());
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestStartup::busyPortIsToldOnce() {
    Bench bench;
    bench.prompts.expect(QStringLiteral("is in use by another program"));
    EmuSimulator& unit = bench.addUnit(4, unitConfig(3));
    // Another program holds the device.
    const int holder =
        ::open(QFile::encodeName(bench.linkPath(4)).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(holder >= 0);
    QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);

    TForm1& w = bench.window();
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QCOMPARE(bench.prompts.warnings.size(), 1);
    const QString notice = bench.prompts.warnings.first();
    QVERIFY2(notice.contains(QStringLiteral("Com4")) && notice.contains(bench.linkPath(4)),
             qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("another program")), qPrintable(notice));

    // Once a run for a device, however often it is tried.
    w.spRetryClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QCOMPARE(bench.prompts.warnings.size(), 1);

    ::close(holder);
    w.spRetryClick();
    finishFlows(w);
    QCOMPARE(w.statusText(0), QStringLiteral("EFI version 1.13 found on Com4"));
    QVERIFY(unit.waitForCommands(1, 2000));
    QCOMPARE(bench.prompts.warnings.size(), 1);
}

void TestStartup::deniedPortIsToldOnce() {
    // A read-only sysfs attribute refuses a read-write open with EACCES, even to root: it stands in
    // for a serial device of a group the user is not in.
    const QByteArray refusing("/sys/devices/system/cpu/online");
    const int probe = ::open(refusing.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int probeError = errno;
    if (probe >= 0)
        ::close(probe);
    if (probe >= 0 || probeError != EACCES)
        QSKIP("no device here refuses a read-write open with EACCES");

    Bench bench;
    bench.prompts.expect(QStringLiteral("your user account is not allowed to use serial ports"));
    const QString device = bench.dir.filePath(QStringLiteral("ttyUSB0"));
    QVERIFY(QFile::link(QString::fromLatin1(refusing), device));
    bench.setPortPath(2, device);
    TForm1& w = bench.window();
    QCOMPARE(w.statusText(0), QStringLiteral("No EMU present"));
    QCOMPARE(bench.prompts.warnings.size(), 1);
    const QString notice = bench.prompts.warnings.first();
    QVERIFY2(notice.contains(QStringLiteral("Com2")) && notice.contains(device), qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("sudo usermod -aG dialout $USER")), qPrintable(notice));
    QVERIFY2(notice.contains(QStringLiteral("log out")), qPrintable(notice));
    w.spRetryClick();
    finishFlows(w);
    QCOMPARE(bench.prompts.warnings.size(), 1);
}

void TestStartup::escapeLeavesAndClosesThePort() {
    Bench bench;
    bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    w.ComboBox1Change();
    finishFlows(w);
    QVERIFY(w.link().isOpen());
    QVERIFY(w.isVisible());

    // The key reaches the window first, whichever control has the focus.
    lineEdit(w, "Edit9")->setFocus();
    QTest::keyClick(lineEdit(w, "Edit9"), Qt::Key_Escape);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.link().isOpen());
    QCOMPARE(bench.prompts.unsavedAsked, 0);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
