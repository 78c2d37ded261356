// The map editor against a simulated unit: drags and keys on the real charts, and the bytes each
// edit puts on the wire.
#include "e2e_helpers.h"

#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/TimingMapPage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <cmath>

namespace {

enum Page { kTimingPage = 1, kFuelPage = 2, kCorrectionPage = 3 };

// The set messages the unit received (the live poll's 0xFC queries left out).
QList<QByteArray> sets(const EmuSimulator& unit) {
    QList<QByteArray> out;
    for (const SimCommand& c : unit.commands())
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFC)
            out << c.bytes;
    return out;
}

QByteArray bytes(int a, int b, int c) {
    QByteArray out;
    out.append(static_cast<char>(a)).append(static_cast<char>(b)).append(static_cast<char>(c));
    return out;
}

bool waitForSets(const EmuSimulator& unit, int count) {
    return waitUntil([&] { return sets(unit).size() >= count; }, 3000);
}

// Nothing more arrives: the event loop runs a while and the record stays as it was.
bool noMoreSets(const EmuSimulator& unit, int count) {
    QTest::qWait(150);
    return sets(unit).size() == count;
}

// A pixel that the axis maps back to exactly value, so limits such as 45 can be hit exactly.
double exactPixel(QCPAxis* axis, double value) {
    double p = axis->coordToPixel(value);
    for (int i = 0; i < 200 && axis->pixelToCoord(p) != value; ++i) {
        const bool low = axis->pixelToCoord(p) < value;
        const bool increase = (axis->orientation() == Qt::Horizontal) == low;
        p = std::nextafter(p, increase ? 1e9 : -1e9);
    }
    return p;
}

QPointF pixelOf(MapChartWidget* chart, double x, double y) {
    return {exactPixel(chart->xAxis, x), exactPixel(chart->yAxis, y)};
}

void mouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// The pointer moved over a chart with no button held.
void hover(MapChartWidget* chart, double x, double y) {
    mouse(chart, QEvent::MouseMove, pixelOf(chart, x, y), Qt::NoButton, Qt::NoButton);
}

// Left button down on the chart, one move to (x, y) and the button up again.
void drag(MapChartWidget* chart, double x, double y) {
    const QPointF at = pixelOf(chart, x, y);
    mouse(chart, QEvent::MouseButtonPress, at + QPointF(0, 3), Qt::LeftButton, Qt::LeftButton);
    mouse(chart, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    mouse(chart, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
}

MapChartWidget* showChart(TForm1& w, int page, const char* name) {
    w.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
    QTest::qWait(20);
    MapChartWidget* chart = chartOf(w, name);
    chart->replot(); // lays the axes out at the chart's real size
    return chart;
}

void key(QWidget* w, Qt::Key k) {
    QTest::keyPress(w, k);
    QTest::keyRelease(w, k);
}

// A connected window with mouse tuning switched on.
struct Tuning {
    Bench bench;
    EmuSimulator& unit;
    TForm1& w;
    explicit Tuning(int type = 3, bool mouseTuning = true)
        : unit(bench.addUnit(1, unitConfig(type))), w(bench.window()) {
        if (!connectTo(w, unit))
            qFatal("the window did not connect");
        if (mouseTuning)
            button(w, "SpeedButton3")->click();
        unit.clearRecord();
    }
    double point(MapId map, int i) const { return w.state().cal.map(map)[static_cast<size_t>(i)]; }
};

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
    void upAndDownStopAtTheLimitsAndStillSend();
    void leftAndRightStayOnTheCurve();
    void pageUpShiftsTheCurveAndSendsTheCursorPoint();
    void keyReleaseSendsThePointTheKeyEdited();
    void noMapWriteAfterCloseAll();
    void jetKeysOnlyOnTheFuelPage();
    void jetKeysNeedTheSliders();
    void jetSliderAndBoxes();
    void pagePictures();
};

void TestMapEditor::dragOnTheTimingCurve() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");

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

    QTest::newRow("vacuum point 32 at -15") << int(kTimingPage) << "VacuumChart"
                                            << "" << 1.0 << -15.0 << bytes(0xE8, 131, 0);
    QTest::newRow("fuel vacuum point 1 at +50") << int(kFuelPage) << "FuelVacChart"
                                                << "" << 1.0 / 64 << 50.0 << bytes(0xDE, 0, 150);
    QTest::newRow("cruise point 32") << int(kFuelPage) << "FuelRPMChart"
                                     << "" << 80.0 << -50.0 << bytes(0xDE, 95, 50);
    QTest::newRow("low point 1") << int(kFuelPage) << "FuelRPMChart"
                                 << "RadioLow" << 2.5 << 7.0 << bytes(0xCA, 0, 107);
    QTest::newRow("water point 24 at +60") << int(kCorrectionPage) << "TempChart"
                                           << "" << 120.0 << 60.0 << bytes(0xD4, 23, 160);
    QTest::newRow("air fuel x=-20 is point 1") << int(kCorrectionPage) << "AirTmpChart"
                                               << "" << -20.0 << 20.0 << bytes(0xD4, 24, 120);
    QTest::newRow("air timing last point") << int(kCorrectionPage) << "AirTmpChart"
                                           << "RadioTiming" << 100.0 << -20.0 << bytes(0xCA, 87, 80);
    QTest::newRow("voltage 16.0 V is id 63") << int(kCorrectionPage) << "VoltageChart"
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
    MapChartWidget* chart = showChart(t.w, kFuelPage, "FuelRPMChart");
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
    MapChartWidget* chart = showChart(t.w, kTimingPage, "VacuumChart");
    const auto before = t.w.state().cal.map(MapId::VacuumTiming);
    drag(chart, 0.01, 10);
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(t.w.state().cal.map(MapId::VacuumTiming) == before);
}

void TestMapEditor::mouseTuningOffOnlyFollowsThePointer() {
    Tuning t(3, false);
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
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
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
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
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
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

void TestMapEditor::upAndDownStopAtTheLimitsAndStillSend() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
    QVERIFY(t.w.editor().setMapPoint(MapId::Timing, 10, 45, false, false));
    QVERIFY(t.w.editor().setMapPoint(MapId::Timing, 11, 0, false, false));

    hover(chart, 10, 20);
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(t.point(MapId::Timing, 10), 45.0);
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 10, 45)});
    QCOMPARE(lineEdit(t.w, "Edit2")->text(), QStringLiteral("45"));
    // The pointer is hidden from the first key press; the editing cursor shows the point.
    QCOMPARE(chart->cursor().shape(), Qt::BlankCursor);
    QCOMPARE(chart->bars(0)->dataCount(), 1);
    QCOMPARE(chart->bars(0)->data()->at(0)->key, 10.0);

    key(chart, Qt::Key_Right);
    key(chart, Qt::Key_Down);
    QVERIFY(waitForSets(t.unit, 3));
    QCOMPARE(t.point(MapId::Timing, 11), 0.0);
    QCOMPARE(sets(t.unit).mid(1), (QList<QByteArray>{bytes(0xE8, 11, 0), bytes(0xE8, 11, 0)}));

    // A modifier alone re-sends the point under the cursor.
    key(chart, Qt::Key_Shift);
    QVERIFY(waitForSets(t.unit, 4));
    QCOMPARE(sets(t.unit).at(3), bytes(0xE8, 11, 0));
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 5));
    QCOMPARE(sets(t.unit).at(4), bytes(0xE8, 11, 1));
    QVERIFY(t.w.state().link.MapsChanged);
}

void TestMapEditor::leftAndRightStayOnTheCurve() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
    const int last = t.w.state().cal.TimingPointCount;
    hover(chart, 1, 20);
    key(chart, Qt::Key_Left);
    key(chart, Qt::Key_Left);
    QVERIFY(waitForSets(t.unit, 2));
    for (const QByteArray& m : sets(t.unit))
        QCOMPARE(int(static_cast<std::uint8_t>(m.at(1))), 1);

    hover(chart, last, 20);
    t.unit.clearRecord();
    key(chart, Qt::Key_Right);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(int(static_cast<std::uint8_t>(sets(t.unit).at(0).at(1))), last);

    // After a read the timing cursor is at 0, which is no point: the keys start on point 1.
    t.w.mapPages().editing().TimingCursorX = 0;
    t.unit.clearRecord();
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(int(static_cast<std::uint8_t>(sets(t.unit).at(0).at(1))), 1);
}

void TestMapEditor::pageUpShiftsTheCurveAndSendsTheCursorPoint() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
    QVERIFY(t.w.editor().setMapPoint(MapId::Timing, 1, 10, false, false));
    QVERIFY(t.w.editor().setMapPoint(MapId::Timing, 2, 20, false, false));
    QVERIFY(t.w.editor().setMapPoint(MapId::Timing, 3, 45, false, false));
    hover(chart, 2, 20);
    key(chart, Qt::Key_PageUp);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(t.point(MapId::Timing, 1), 11.0);
    QCOMPARE(t.point(MapId::Timing, 2), 21.0);
    QCOMPARE(t.point(MapId::Timing, 3), 45.0);
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 2, 21)});
    const QList<double> curve = lineValues(t.w, "TimingChart", MapId::Timing);
    QCOMPARE(curve.mid(0, 3), (QList<double>{11, 21, 45}));
}

void TestMapEditor::keyReleaseSendsThePointTheKeyEdited() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingPage, "VacuumChart");
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
    MapChartWidget* chart = showChart(t.w, kTimingPage, "TimingChart");
    hover(chart, 10, 20);
    t.w.spCloseClick();
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

    showChart(t.w, kTimingPage, "TimingChart");
    key(t.w.findChild<QTabWidget*>(QStringLiteral("PageControl1")), Qt::Key_Q);
    QCOMPARE(main->value(), position);
    QVERIFY(noMoreSets(t.unit, 0));

    MapChartWidget* fuel = showChart(t.w, kFuelPage, "FuelVacChart");
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
    showChart(t.w, kFuelPage, "FuelVacChart");
    for (Qt::Key k : {Qt::Key_Q, Qt::Key_A, Qt::Key_W, Qt::Key_S, Qt::Key_D, Qt::Key_C, Qt::Key_F, Qt::Key_V})
        key(t.w.findChild<QTabWidget*>(QStringLiteral("PageControl1")), k);
    QCOMPARE(main->value(), position);
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(!t.w.state().link.SetupChanged);
}

void TestMapEditor::jetSliderAndBoxes() {
    Tuning t;
    showChart(t.w, kFuelPage, "FuelVacChart");
    FuelMapsPage* page = t.w.mapPages().fuelPage();
    page->mainJetSlider()->setValue(0);
    QCOMPARE(lineEdit(t.w, "Edit28")->text(), QStringLiteral("255"));
    page->idleJetSlider()->setValue(127);
    QCOMPARE(lineEdit(t.w, "Edit32")->text(), QStringLiteral("128"));
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit), (QList<QByteArray>{bytes(0xF2, 3, 0xFF), bytes(0xF2, 2, 0x80)}));
    QCOMPARE(int(t.w.state().cal.SetupBlock[3]), 0); // 255 + 1 wraps in the wire form
    QVERIFY(t.w.state().link.SetupChanged);

    // A typed trim that is not one byte is never sent, and the user is told when leaving the box.
    QLineEdit* box = lineEdit(t.w, "Edit28");
    t.unit.clearRecord();
    for (const QString& text :
         {QStringLiteral("300"), QStringLiteral("-1"), QStringLiteral("abc"), QString()}) {
        box->setText(text);
        emit box->editingFinished();
    }
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(t.bench.prompts.errors.size(), 4);
    QVERIFY(t.bench.prompts.errors.contains(QStringLiteral("'abc' is not a valid integer value.")));
    box->setText(QStringLiteral("42"));
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 3, 42)});
    // Typing does not move the slider.
    QCOMPARE(page->mainJetSlider()->value(), 0);
}

// With EMU_PICTURE_DIR set, the three map pages of the demo unit as PNG files, an editing cursor
// and a live marker on each chart, for the README and for looking at.
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
        {kTimingPage, "timing-map.png", {{"TimingChart", 30}, {"VacuumChart", 0.5}}},
        {kFuelPage, "fuel-maps.png", {{"FuelVacChart", 0.5}, {"FuelRPMChart", 30}}},
        {kCorrectionPage,
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
