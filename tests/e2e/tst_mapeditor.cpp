// The map editor against a simulated unit: drags and keys on the real charts, and the bytes each
// edit puts on the wire.
#include "mapchart_helpers.h"

#include "calibration/EditJournal.h"
#include "controls/CommitLineEdit.h"
#include "ui/EditSafetyNet.h"

#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/TimingMapPage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace {

JournalContents journalOf(TForm1& w) {
    return EditJournal::readFile(w.safetyNet().journal().path()).value_or(JournalContents{});
}

} // namespace

class TestMapEditor : public QObject {
    Q_OBJECT

  private slots:
    void dragOnTheTimingCurve();
    void dragEachMapSendsItsMessage_data();
    void dragEachMapSendsItsMessage();
    void dragOnTheSelectedRpmCurveOnly();
    void leftOfTheFirstVacuumPointChangesNothing();
    void mouseTuningOffOnlyFollowsThePointer();
    void readoutsHideOverThePageBackground();
    void theWheelDoesNothing();
    void keysAtALimitAndKeysThatEditNothingSendNothing();
    void leftAndRightStayOnTheCurve();
    void pageUpSendsEveryShiftedPointAndUndoesAsOneStep();
    void undoAfterPageDownKeepsTheEditBeforeIt();
    void keyReleaseSendsThePointTheKeyEdited();
    void noMapWriteAfterCloseAll();
    void jetKeysOnlyOnTheFuelPage();
    void jetKeysNeedTheSliders();
    void jetSliderAndBoxes();
    void aTypedTrimIsSentOnceAndTheSliderFollows_data();
    void aTypedTrimIsSentOnceAndTheSliderFollows();
    void aRefusedTrimSendsNothingAndSaysTheRange_data();
    void aRefusedTrimSendsNothingAndSaysTheRange();
    void pagePictures();
};

void TestMapEditor::dragOnTheTimingCurve() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");

    drag(chart, 10, 45);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 10, 45)});
    QCOMPARE(t.point(MapId::Timing, 10), 45.0);
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing).at(9), 45.0);
    QVERIFY(t.w.state().link.MapsChanged);

    // Just above the limit: rejected, nothing changes and nothing is sent.
    drag(chart, 11, 45.4);
    QVERIFY(noMoreSets(t.unit, 1));
    QVERIFY(t.point(MapId::Timing, 11) != 45.4 && t.point(MapId::Timing, 11) != 45);

    // Halves go to the even neighbour; 0 degrees is a value byte 0.
    drag(chart, 12, 12.5);
    drag(chart, 13, 0);
    QVERIFY(waitForSets(t.unit, 3));
    QCOMPARE(sets(t.unit).mid(1), (QList<QByteArray>{bytes(0xE8, 12, 12), bytes(0xE8, 13, 0)}));
    // What the unit holds now matches the PC, byte for byte.
    QCOMPARE(int(t.unit.image()[101 + 11]), 13);
}

void TestMapEditor::dragEachMapSendsItsMessage_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("chart");
    QTest::addColumn<QString>("selector"); // a curve button to click first, or empty
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("vacuum point 32 at -15") << int(kTimingTab) << "VacuumChart"
                                            << "" << 1.0 << -15.0 << bytes(0xE8, 131, 0);
    QTest::newRow("fuel vacuum point 1 at +50") << int(kFuelTab) << "FuelVacChart"
                                                << "" << 1.0 / 64 << 50.0 << bytes(0xDE, 0, 150);
    QTest::newRow("cruise point 32") << int(kFuelTab) << "FuelRPMChart"
                                     << "" << 80.0 << -50.0 << bytes(0xDE, 95, 50);
    QTest::newRow("low point 1") << int(kFuelTab) << "FuelRPMChart"
                                 << "RadioLow" << 2.5 << 7.0 << bytes(0xCA, 0, 107);
    QTest::newRow("water point 24 at +60") << int(kCorrectionTab) << "TempChart"
                                           << "" << 120.0 << 60.0 << bytes(0xD4, 23, 160);
    QTest::newRow("air fuel x=-20 is point 1") << int(kCorrectionTab) << "AirTmpChart"
                                               << "" << -20.0 << 20.0 << bytes(0xD4, 24, 120);
    QTest::newRow("air timing last point") << int(kCorrectionTab) << "AirTmpChart"
                                           << "RadioTiming" << 100.0 << -20.0 << bytes(0xCA, 87, 80);
    QTest::newRow("voltage 16.0 V is id 63") << int(kCorrectionTab) << "VoltageChart"
                                             << "" << 16.0 << 12.0 << bytes(0xD4, 63, 112);
}

void TestMapEditor::dragEachMapSendsItsMessage() {
    QFETCH(int, page);
    QFETCH(QString, chart);
    QFETCH(QString, selector);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(QByteArray, message);
    Tuning t;
    MapChartWidget* c = showChart(t.w, page, chart.toLatin1().constData());
    if (!selector.isEmpty())
        QTest::mouseClick(t.w.findChild<QRadioButton*>(selector), Qt::LeftButton);
    drag(c, x, y);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{message});
}

void TestMapEditor::dragOnTheSelectedRpmCurveOnly() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kFuelTab, "FuelRPMChart");
    const double cruise = t.point(MapId::FuelRpmCruise, 1);
    const double low = t.point(MapId::FuelRpmLow, 1);
    auto* high = t.w.findChild<QRadioButton*>(QStringLiteral("RadioHigh"));
    QTest::mouseClick(high, Qt::LeftButton);
    QVERIFY(high->font().bold());
    QVERIFY(!t.w.findChild<QRadioButton*>(QStringLiteral("RadioCruise"))->font().bold());
    QVERIFY(noMoreSets(t.unit, 0)); // a click on a selector sends nothing

    drag(chart, 2.5, -30);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xCA, 32, 70)});
    QCOMPARE(t.point(MapId::FuelRpmHigh, 1), -30.0);
    QCOMPARE(t.point(MapId::FuelRpmCruise, 1), cruise);
    QCOMPARE(t.point(MapId::FuelRpmLow, 1), low);
    QCOMPARE(lineValues(t.w, "FuelRPMChart", MapId::FuelRpmHigh).first(), -30.0);
}

void TestMapEditor::leftOfTheFirstVacuumPointChangesNothing() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "VacuumChart");
    const auto before = t.w.state().cal.map(MapId::VacuumTiming);
    drag(chart, 0.01, 10);
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(t.w.state().cal.map(MapId::VacuumTiming) == before);
}

void TestMapEditor::mouseTuningOffOnlyFollowsThePointer() {
    Tuning t(3, false);
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    const double before = t.point(MapId::Timing, 20);
    drag(chart, 20, 40);
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(t.point(MapId::Timing, 20), before);
    QVERIFY(!t.w.state().link.MapsChanged);
    // The readouts follow the pointer all the same.
    QLineEdit* degrees = lineEdit(t.w, "Edit2");
    QVERIFY(degrees->isVisible());
    QCOMPARE(degrees->text(), QStringLiteral("40"));
    QCOMPARE(lineEdit(t.w, "Edit3")->text(), QStringLiteral("2000"));
    QCOMPARE(t.w.mapPages().editing().ActiveMapChart, std::optional<ChartId>(ChartId::Timing));
}

void TestMapEditor::readoutsHideOverThePageBackground() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    QLineEdit* degrees = lineEdit(t.w, "Edit2");
    QVERIFY(!degrees->isVisible()); // hidden until the pointer first comes over the chart
    hover(chart, 30, 20);
    QVERIFY(degrees->isVisible());
    QCOMPARE(degrees->text(), QStringLiteral("20"));
    QCOMPARE(lineEdit(t.w, "Edit3")->text(), QStringLiteral("3000"));
    QWidget* page = t.w.mapPages().timingPage();
    mouse(page, QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
    QVERIFY(!degrees->isVisible());
    QVERIFY(!lineEdit(t.w, "Edit4")->isVisible());
}

void TestMapEditor::theWheelDoesNothing() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    const QCPRange x = chart->xAxis->range();
    const QCPRange y = chart->yAxis->range();
    const QPointF at = pixelOf(chart, 30, 20);
    QWheelEvent wheel(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &wheel);
    QCOMPARE(chart->xAxis->range(), x);
    QCOMPARE(chart->yAxis->range(), y);
    QVERIFY(noMoreSets(t.unit, 0));
}

void TestMapEditor::keysAtALimitAndKeysThatEditNothingSendNothing() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    drag(chart, 10, 45);
    drag(chart, 11, 0);
    QVERIFY(waitForSets(t.unit, 2));
    t.unit.clearRecord();
    const auto journalled = [&] { return journalOf(t.w).edits.size(); };
    const auto before = journalled();

    hover(chart, 10, 20);
    key(chart, Qt::Key_Up);
    QVERIFY(noMoreSets(t.unit, 0)); // at 45 already: nothing changed, nothing to send
    QCOMPARE(t.point(MapId::Timing, 10), 45.0);
    QCOMPARE(lineEdit(t.w, "Edit2")->text(), QStringLiteral("45"));
    // The pointer is hidden from the first key press; the editing cursor shows the point.
    QCOMPARE(chart->cursor().shape(), Qt::BlankCursor);
    QCOMPARE(chart->bars(0)->dataCount(), 1);
    QCOMPARE(chart->bars(0)->data()->at(0)->key, 10.0);
    key(chart, Qt::Key_Down);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 10, 44)});

    key(chart, Qt::Key_Right);
    key(chart, Qt::Key_Down); // at 0 already
    key(chart, Qt::Key_Shift);
    key(chart, Qt::Key_Return);
    key(chart, Qt::Key_Tab);
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(t.point(MapId::Timing, 11), 0.0);
    QCOMPARE(journalled(), before + 1);

    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit).at(1), bytes(0xE8, 11, 1));
    QCOMPARE(journalled(), before + 2);
}

void TestMapEditor::leftAndRightStayOnTheCurve() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    const int last = t.w.state().cal.TimingPointCount;
    drag(chart, 1, 20);
    drag(chart, last, 20);
    QVERIFY(waitForSets(t.unit, 2));
    t.unit.clearRecord();

    hover(chart, 1, 20);
    key(chart, Qt::Key_Left);
    key(chart, Qt::Key_Left);
    QCOMPARE(chart->bars(0)->data()->at(0)->key, 1.0);
    QCOMPARE(lineEdit(t.w, "Edit3")->text(), QStringLiteral("100"));
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 1, 21)});

    hover(chart, last, 20);
    t.unit.clearRecord();
    key(chart, Qt::Key_Right);
    QCOMPARE(chart->bars(0)->data()->at(0)->key, double(last));
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, last, 21)});

    // After a read the timing cursor is at 0, which is no point: the keys start on point 1.
    t.w.mapPages().editing().TimingCursorX = 0;
    t.unit.clearRecord();
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 1, 22)});
}

void TestMapEditor::pageUpSendsEveryShiftedPointAndUndoesAsOneStep() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    drag(chart, 1, 10);
    drag(chart, 2, 20);
    drag(chart, 3, 45);
    QVERIFY(waitForSets(t.unit, 3));
    const int n = t.w.state().cal.TimingPointCount;
    const QList<double> before = lineValues(t.w, "TimingChart", MapId::Timing);
    QCOMPARE(before.size(), n);
    t.unit.clearRecord();
    QSignalSpy edits(&t.w.editor(), &CalibrationEditor::edited);

    hover(chart, 2, 20);
    key(chart, Qt::Key_PageUp);
    // One message per point the shift changed; points at 45 stay and are not sent.
    QList<QByteArray> expected;
    for (int i = 1; i <= n; ++i)
        if (before.at(i - 1) < 45)
            expected << bytes(0xE8, i, int(before.at(i - 1)) + 1);
    QVERIFY(expected.size() > 3);
    QVERIFY(waitForSets(t.unit, int(expected.size())));
    QVERIFY(noMoreSets(t.unit, int(expected.size()))); // the key release adds nothing
    QCOMPARE(sets(t.unit), expected);
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing).mid(0, 3), (QList<double>{11, 21, 45}));
    for (int i = 1; i <= n; ++i)
        QCOMPARE(t.unitTiming(i), int(t.point(MapId::Timing, i)));
    // One operation: every change is sent and carries the same group.
    QCOMPARE(edits.size(), expected.size());
    const int group = edits.first().first().value<EditRecord>().group;
    QVERIFY(group != 0);
    for (const QList<QVariant>& e : edits)
        QCOMPARE(e.first().value<EditRecord>().group, group);

    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, int(expected.size()) + 1));
    QCOMPARE(sets(t.unit).last(), bytes(0xE8, 2, 22));

    // Two undos: the Up, then the whole shift. Window and unit hold the curve from before.
    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitUntil([&] {
        for (int i = 1; i <= n; ++i)
            if (t.unitTiming(i) != int(before.at(i - 1)))
                return false;
        return true;
    }));
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing), before);
    for (int i = 1; i <= n; ++i)
        QCOMPARE(t.point(MapId::Timing, i), before.at(i - 1));
}

void TestMapEditor::undoAfterPageDownKeepsTheEditBeforeIt() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    const double was6 = t.point(MapId::Timing, 6);
    QVERIFY(was6 != 0);
    drag(chart, 5, 30);
    drag(chart, 6, 0);
    QVERIFY(waitForSets(t.unit, 2));
    const QList<double> dragged = lineValues(t.w, "TimingChart", MapId::Timing);
    hover(chart, 20, 20);
    key(chart, Qt::Key_PageDown);
    QCOMPARE(t.point(MapId::Timing, 5), 29.0);
    QCOMPARE(t.point(MapId::Timing, 6), 0.0);

    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitUntil([&] { return t.unitTiming(5) == 30; }));
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing), dragged);
    QCOMPARE(t.unitTiming(6), 0);
    // The next undo is the drag before it.
    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitUntil([&] { return t.unitTiming(6) == int(was6); }));
    QCOMPARE(t.point(MapId::Timing, 6), was6);
    QCOMPARE(t.point(MapId::Timing, 5), 30.0);
}

void TestMapEditor::keyReleaseSendsThePointTheKeyEdited() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "VacuumChart");
    hover(chart, 0.5, 0);
    // A cursor between two points (4.52 points in): the press edits point 5, and so does the send.
    t.w.mapPages().editing().VacuumCursorX = 0.14125;
    const double before = t.point(MapId::VacuumTiming, 5);
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(t.point(MapId::VacuumTiming, 5), before + 1);
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 99 + 5, static_cast<int>(before + 1 + 15))});
}

void TestMapEditor::noMapWriteAfterCloseAll() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    hover(chart, 10, 20);
    t.w.spCloseClick();
    finishFlows(t.w);
    QVERIFY(!t.w.mapPages().editing().ActiveMapChart);
    // Any key afterwards, even typing a vehicle name, writes no point of the old data.
    QLineEdit* make = lineEdit(t.w, "Edit9");
    key(make, Qt::Key_B);
    key(chart, Qt::Key_Up);
    drag(chart, 10, 30);
    QVERIFY(noMoreSets(t.unit, 0));
    for (const char* name : {"TimingChart", "VacuumChart", "FuelVacChart", "FuelRPMChart", "TempChart",
                             "AirTmpChart", "VoltageChart"})
        QVERIFY(!chartOf(t.w, name)->isEnabled());
}

void TestMapEditor::jetKeysOnlyOnTheFuelPage() {
    Tuning t;
    QSlider* main = t.w.mapPages().fuelPage()->mainJetSlider();
    const int position = main->value();
    QCOMPARE(position, 255 - t.w.state().cal.MainJetTrim);
    QCOMPARE(lineEdit(t.w, "Edit28")->text(), QString::number(t.w.state().cal.MainJetTrim));

    showChart(t.w, kTimingTab, "TimingChart");
    key(t.w.findChild<QTabWidget*>(QStringLiteral("PageControl1")), Qt::Key_Q);
    QCOMPARE(main->value(), position);
    QVERIFY(noMoreSets(t.unit, 0));

    MapChartWidget* fuel = showChart(t.w, kFuelTab, "FuelVacChart");
    key(fuel, Qt::Key_Q);
    QCOMPARE(main->value(), position - 1);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 3, 255 - position + 1)});

    // W raises by 10 until the top; there the trim stays at 255.
    for (int i = 0; i < 30; ++i)
        key(fuel, Qt::Key_W);
    QCOMPARE(main->value(), 0);
    QCOMPARE(lineEdit(t.w, "Edit28")->text(), QStringLiteral("255"));
    QVERIFY(waitUntil([&] { return sets(t.unit).last() == bytes(0xF2, 3, 255); }, 3000));
    t.unit.clearRecord();
    key(fuel, Qt::Key_Q);
    QVERIFY(noMoreSets(t.unit, 0));

    // The idle keys move the other slider down (trim down).
    QSlider* idle = t.w.mapPages().fuelPage()->idleJetSlider();
    const int idlePosition = idle->value();
    key(fuel, Qt::Key_V);
    QCOMPARE(idle->value(), idlePosition + 10);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 2, 255 - idlePosition - 10)});
}

void TestMapEditor::jetKeysNeedTheSliders() {
    Tuning t(1); // a unit without fuel maps
    QSlider* main = t.w.mapPages().fuelPage()->mainJetSlider();
    QVERIFY(!main->isEnabled());
    const int position = main->value();
    showChart(t.w, kFuelTab, "FuelVacChart");
    for (Qt::Key k : {Qt::Key_Q, Qt::Key_A, Qt::Key_W, Qt::Key_S, Qt::Key_D, Qt::Key_C, Qt::Key_F, Qt::Key_V})
        key(t.w.findChild<QTabWidget*>(QStringLiteral("PageControl1")), k);
    QCOMPARE(main->value(), position);
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(!t.w.state().link.SetupChanged);
}

void TestMapEditor::jetSliderAndBoxes() {
    Tuning t;
    showChart(t.w, kFuelTab, "FuelVacChart");
    FuelMapsPage* page = t.w.mapPages().fuelPage();
    page->mainJetSlider()->setValue(0);
    QCOMPARE(lineEdit(t.w, "Edit28")->text(), QStringLiteral("255"));
    page->idleJetSlider()->setValue(127);
    QCOMPARE(lineEdit(t.w, "Edit32")->text(), QStringLiteral("128"));
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit), (QList<QByteArray>{bytes(0xF2, 3, 0xFF), bytes(0xF2, 2, 0x80)}));
    QCOMPARE(int(t.w.state().cal.SetupBlock[3]), 0); // 255 + 1 wraps in the wire form
    QVERIFY(t.w.state().link.SetupChanged);
}

void TestMapEditor::aTypedTrimIsSentOnceAndTheSliderFollows_data() {
    QTest::addColumn<Qt::Key>("commitKey");
    QTest::newRow("Enter") << Qt::Key_Return;
    QTest::newRow("Tab") << Qt::Key_Tab;
    QTest::newRow("leaving the box for a chart") << Qt::Key_unknown;
}

void TestMapEditor::aTypedTrimIsSentOnceAndTheSliderFollows() {
    QFETCH(Qt::Key, commitKey);
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kFuelTab, "FuelVacChart");
    FuelMapsPage* page = t.w.mapPages().fuelPage();
    CommitLineEdit* box = page->mainJetBox();
    QSlider* main = page->mainJetSlider();
    QSlider* idle = page->idleJetSlider();
    const int idleAt = idle->value();

    clickInto(box);
    key(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, QStringLiteral("200"));
    QVERIFY(box->isPending());
    QVERIFY(noMoreSets(t.unit, 0)); // typing sends nothing
    if (commitKey == Qt::Key_unknown)
        hover(chart, 0.5, 0); // the chart takes the focus
    else
        key(box, commitKey);
    QVERIFY(waitForSets(t.unit, 1));
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 3, 200)});
    QCOMPARE(main->value(), 255 - 200);
    QCOMPARE(box->text(), QStringLiteral("200"));
    QVERIFY(!box->isPending());

    // Leaving the box commits nothing more; Q then raises the typed trim by one.
    hover(chart, 0.5, 0);
    key(chart, Qt::Key_Q);
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit).at(1), bytes(0xF2, 3, 201));
    QCOMPARE(box->text(), QStringLiteral("201"));
    QCOMPARE(idle->value(), idleAt);

    // An undo of the trim brings slider and box back with it, and sends it once.
    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitForSets(t.unit, 3));
    QVERIFY(noMoreSets(t.unit, 3));
    QCOMPARE(sets(t.unit).at(2), bytes(0xF2, 3, 200));
    QCOMPARE(main->value(), 255 - 200);
    QCOMPARE(box->text(), QStringLiteral("200"));
}

void TestMapEditor::aRefusedTrimSendsNothingAndSaysTheRange_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("above a byte") << "300"
                                  << "300 is not a valid trim: it must be 0 to 255.";
    QTest::newRow("negative") << "-1"
                              << "-1 is not a valid trim: it must be 0 to 255.";
    QTest::newRow("letters") << "abc"
                             << "'abc' is not a valid integer value.";
    QTest::newRow("a fraction") << "12.5"
                                << "'12.5' is not a valid integer value.";
    QTest::newRow("empty") << ""
                           << "'' is not a valid integer value.";
}

void TestMapEditor::aRefusedTrimSendsNothingAndSaysTheRange() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Tuning t;
    t.bench.prompts.expect(message);
    showChart(t.w, kFuelTab, "FuelVacChart");
    FuelMapsPage* page = t.w.mapPages().fuelPage();
    CommitLineEdit* box = page->idleJetBox();
    const QString accepted = box->text();
    const int mainAt = page->mainJetSlider()->value();
    const int idleAt = page->idleJetSlider()->value();

    clickInto(box);
    key(box, Qt::Key_A, Qt::ControlModifier);
    key(box, Qt::Key_Backspace);
    QTest::keyClicks(box, typed); // letters typed here are text, not jet keys
    key(box, Qt::Key_Return);
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(box->text(), accepted);
    QVERIFY2(box->toolTip().contains(QStringLiteral("0 to 255")), qPrintable(box->toolTip()));
    QCOMPARE(t.bench.prompts.errors, QStringList{message});
    QCOMPARE(page->mainJetSlider()->value(), mainAt);
    QCOMPARE(page->idleJetSlider()->value(), idleAt);
    QVERIFY(!t.w.state().link.SetupChanged);
}

void TestMapEditor::pagePictures() {
    const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR");
    if (dir.isEmpty())
        QSKIP("EMU_PICTURE_DIR is not set");
    Tuning t;
    t.w.resize(1180, 780);
    const struct {
        int page;
        const char* file;
        QList<std::pair<const char*, double>> cursors;
    } pages[] = {
        {kTimingTab, "timing-map.png", {{"TimingChart", 30}, {"VacuumChart", 0.5}}},
        {kFuelTab, "fuel-maps.png", {{"FuelVacChart", 0.5}, {"FuelRPMChart", 30}}},
        {kCorrectionTab,
         "correction-maps.png",
         {{"TempChart", 80}, {"AirTmpChart", 20}, {"VoltageChart", 13}}},
    };
    for (const auto& p : pages) {
        for (const auto& [name, x] : p.cursors) {
            MapChartWidget* chart = showChart(t.w, p.page, name);
            hover(chart, x, 0);
            key(chart, Qt::Key_Right);
            const QCPRange range = chart->xAxis->range();
            chart->setLiveMarker(range.lower + (range.upper - range.lower) * 0.3,
                                 chart->yAxis->range().upper);
        }
        QTest::qWait(100);
        QVERIFY(t.w.grab().save(dir + QLatin1Char('/') + QLatin1String(p.file), "PNG"));
    }
}

QTEST_MAIN(TestMapEditor)
#include "tst_mapeditor.moc"
