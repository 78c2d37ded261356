// "Compare with file..." in the window, and the real restore question, against a simulated unit.
// With EMU_SHOT_DIR set, both are also saved as pictures there.
#include "e2e_helpers.h"

#include "calibration/EditJournal.h"
#include "mapeditor/MapChartWidget.h"
#include "ui/EditSafetyNet.h"
#include "ui/TuneCompareDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

namespace {

void shoot(QWidget& w, const char* name) {
    const QByteArray dir = qgetenv("EMU_SHOT_DIR");
    if (!dir.isEmpty())
        w.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name)));
}

} // namespace

class TestCompare : public QObject {
    Q_OBJECT

  private slots:
    void tableListsWhatDiffersAndChartsRingIt();
    void compareWithEmuAfterEditsShiftsAndUndos();
    void refusals();
    void restoreQuestionOffersFourAnswers_data();
    void restoreQuestionOffersFourAnswers();
};

void TestCompare::tableListsWhatDiffersAndChartsRingIt() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const QString path = bench.dir.filePath(QStringLiteral("before.emu"));
    bench.prompts.saveNames << path;
    QVERIFY(saveFromPc(w));

    const double t30 = w.state().cal.map(MapId::Timing)[30];
    const double f10 = w.state().cal.map(MapId::FuelVacuum)[10];
    const double t31 = w.state().cal.map(MapId::Timing)[31];
    w.editor().setMapPoint(MapId::Timing, 30, t30 + 3);
    w.editor().setMapPoint(MapId::Timing, 31, t31 - 2);
    w.editor().setMapPoint(MapId::FuelVacuum, 10, f10 + 5);
    w.editor().setSetupValue(80, 6);

    bench.prompts.openNames << path;
    button(w, "spCompare")->click();
    TuneCompareDialog* dialog = w.compareDialog();
    QVERIFY(dialog->isVisible());
    QVERIFY(bench.prompts.errors.isEmpty());
    QTableWidget* table = dialog->table();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Cylinders"));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("6"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("TimingMap point 30"));
    QVERIFY(table->item(1, 1)->text().endsWith(QStringLiteral(" RPM")));
    QCOMPARE(table->item(1, 2)->text(), QString::number(t30 + 3) + QStringLiteral(" °"));
    QCOMPARE(table->item(1, 3)->text(), QString::number(t30) + QStringLiteral(" °"));
    QCOMPARE(table->item(3, 0)->text(), QStringLiteral("FuelVacuumMap point 10"));
    QVERIFY(table->item(3, 1)->text().endsWith(QStringLiteral(" bar")));

    // The differing points are ringed where their line has them.
    QTRY_COMPARE(lineValues(w, "TimingChart", MapId::Timing).at(29), t30 + 3);
    const QList<QCPGraph*> marks = dialog->marks();
    QCOMPARE(marks.size(), 2);
    QCPGraph* timingMarks = marks[0]->parentPlot() == chartOf(w, "TimingChart") ? marks[0] : marks[1];
    QCOMPARE(timingMarks->dataCount(), 2);
    const QList<double> xs = lineXs(w, "TimingChart", MapId::Timing);
    QCOMPARE(timingMarks->data()->at(0)->key, xs.at(29));
    QCOMPARE(timingMarks->data()->at(1)->key, xs.at(30));
    QCOMPARE(timingMarks->data()->at(1)->value, t31 - 2);
    shoot(*dialog, "compare-table.png");
    if (auto* pages = w.findChild<QTabWidget*>()) {
        for (int i = 0; i < pages->count(); ++i)
            if (pages->tabText(i) == QLatin1String("Timing Map"))
                pages->setCurrentIndex(i);
        QTest::qWait(50);
        shoot(w, "compare-marks.png");
    }

    const int graphs = chartOf(w, "TimingChart")->graphCount();
    dialog->close();
    QCOMPARE(chartOf(w, "TimingChart")->graphCount(), graphs - 1);
    QVERIFY(dialog->marks().isEmpty());
}

void TestCompare::refusals() {
    Bench bench;
    bench.prompts.expect(QStringLiteral("Nothing to compare"));
    bench.prompts.expect(QStringLiteral("Incorrect .EMU file version"));
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    const QString bad = bench.dir.filePath(QStringLiteral("bad.emu"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#EMU Version\r\n13131244\r\n#Table\r\n1,2,;\r\n");
    f.close();
    bench.prompts.openNames << bad;
    button(w, "spCompare")->click(); // nothing loaded yet
    QCOMPARE(bench.prompts.errors.size(), 1);
    QVERIFY(bench.prompts.errors[0].startsWith(QStringLiteral("Nothing to compare")));
    QVERIFY(connectTo(w, unit));
    bench.prompts.openNames << bad;
    button(w, "spCompare")->click();
    QCOMPARE(bench.prompts.errors.size(), 2);
    QCOMPARE(bench.prompts.errors[1], QStringLiteral("Incorrect .EMU file version"));
    QVERIFY(!w.compareDialog()->isVisible());
    QVERIFY(nonPollCommands(unit).isEmpty()); // a comparison asks the unit nothing (the live poll goes on)
}

void TestCompare::restoreQuestionOffersFourAnswers_data() {
    QTest::addColumn<QString>("press");
    QTest::addColumn<UiPrompts::JournalChoice>("choice");
    QTest::newRow("send again") << "Send to EMU again" << UiPrompts::JournalChoice::Reapply;
    QTest::newRow("save") << "Save as .EMU file..." << UiPrompts::JournalChoice::SaveToFile;
    QTest::newRow("discard") << "Discard" << UiPrompts::JournalChoice::Discard;
    QTest::newRow("escape") << "" << UiPrompts::JournalChoice::Later;
}

void TestCompare::restoreQuestionOffersFourAnswers() {
    QFETCH(QString, press);
    QFETCH(UiPrompts::JournalChoice, choice);
    JournalContents c;
    c.model = 3;
    c.serial = QStringLiteral("AB-010203-04");
    for (int i = 0; i < 7; ++i) {
        EditRecord r;
        r.sent = true;
        r.point = i + 1;
        r.time = QDateTime(QDate(2026, 6, 1), QTime(18, 42));
        c.edits << r;
    }
    const QString text = EditSafetyNet::restoreQuestion(c);
    QVERIFY(text.contains(QStringLiteral("7 changes were made")));
    QStringList buttons;
    QTimer::singleShot(200, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        if (press.isEmpty()) {
            shoot(*box, "restore-question.png");
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* b : box->buttons())
            if (b->text() == press)
                b->click();
    });
    QtUiPrompts prompts;
    QCOMPARE(prompts.askJournalRestore(nullptr, text), choice);
    QCOMPARE(buttons.size(), 4);
}

// Whatever the tuner did live (typed values, a curve shift, undos and redos), the unit holds what
// the window shows; a change behind the window's back is found.
void TestCompare::compareWithEmuAfterEditsShiftsAndUndos() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const double t30 = w.state().cal.map(MapId::Timing)[30];
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 30, t30 + 3));
    {
        const CalibrationEditor::Group shift(w.editor());
        for (int p = 1; p <= 10; ++p)
            QVERIFY(w.editor().setMapPoint(MapId::Timing, p, w.state().cal.map(MapId::Timing)[p] + 1));
    }
    QVERIFY(w.editor().setSetupValue(80, 6));
    w.safetyNet().undo();
    w.safetyNet().undo();
    w.safetyNet().redo();

    button(w, "spCompareEmu")->click();
    QVERIFY(finishFlows(w));
    TuneCompareDialog* dialog = w.compareDialog();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Compare with EMU"));
    QCOMPARE(dialog->table()->rowCount(), 0);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("CompareSummary"))->text(),
             QStringLiteral("The data on the PC is in step with the EMU."));
    shoot(*dialog, "compare-emu.png");
    dialog->close();

    // The unit changed behind the window's back: one map point differs.
    auto image = unit.image();
    std::array<std::uint8_t, 481> wire{};
    std::copy_n(image.begin(), 481, wire.begin());
    wire[101 + 40] = static_cast<std::uint8_t>(wire[101 + 40] + 2);
    unit.setImage(wire);
    button(w, "spCompareEmu")->click();
    QVERIFY(finishFlows(w));
    QCOMPARE(dialog->table()->rowCount(), 1);
    QCOMPARE(dialog->differences().points.size(), 1);
    QCOMPARE(dialog->differences().points.first().point, 41);
    QCOMPARE(dialog->table()->horizontalHeaderItem(3)->text(), QStringLiteral("In the EMU"));
}

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
