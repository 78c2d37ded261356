// Which keys tune a chart: only those meant for a chart on the page on show, never a key a box or
// list takes, never a shortcut; a key release sends what the press changed wherever it happens; a
// new RPM or vacuum range moves every point; a send that fails leaves the window as the unit is.
#include "mapchart_helpers.h"

#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapKeyWidgets.h"
#include "mapeditor/MapPages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>

#include <memory>

namespace {

// A widget of a kind, inside parent; the returned widget is the one that would get the key.
QWidget* widgetOfKind(const QString& kind, QWidget* parent) {
    if (kind == "line edit")
        return new QLineEdit(parent);
    if (kind == "read-only line edit") {
        auto* box = new QLineEdit(parent);
        box->setReadOnly(true);
        return box;
    }
    if (kind == "spin box")
        return new QSpinBox(parent);
    if (kind == "spin box's own text")
        return (new QSpinBox(parent))->findChild<QLineEdit*>();
    if (kind == "double spin box")
        return new QDoubleSpinBox(parent);
    if (kind == "combo box")
        return new QComboBox(parent);
    if (kind == "editable combo box's text") {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        return combo->lineEdit();
    }
    if (kind == "slider")
        return new QSlider(parent);
    if (kind == "scroll bar")
        return new QScrollBar(parent);
    if (kind == "radio button")
        return new QRadioButton(parent);
    if (kind == "check box of a button group") {
        auto* box = new QCheckBox(parent);
        (new QButtonGroup(parent))->addButton(box);
        return box;
    }
    if (kind == "tab bar")
        return new QTabBar(parent);
    if (kind == "table")
        return new QTableWidget(2, 2, parent);
    if (kind == "editor in a table cell") {
        auto* table = new QTableWidget(2, 2, parent);
        auto* editor = new QLineEdit;
        table->setCellWidget(0, 0, editor);
        return editor;
    }
    if (kind == "list")
        return new QListWidget(parent);
    if (kind == "text edit")
        return new QTextEdit(parent);
    if (kind == "plain text edit")
        return new QPlainTextEdit(parent);
    if (kind == "chart")
        return new MapChartWidget(*mapChartSetup("TimingChart"), parent);
    if (kind == "check box")
        return new QCheckBox(parent);
    if (kind == "push button")
        return new QPushButton(parent);
    if (kind == "label")
        return new QLabel(parent);
    if (kind == "plain widget")
        return new QWidget(parent);
    return nullptr;
}

QList<int> sliderPositions(TForm1& w) {
    FuelMapsPage* page = w.mapPages().fuelPage();
    return {page->mainJetSlider()->value(), page->idleJetSlider()->value()};
}

// Up on a point unless it is at the top already, then Down: a key that changes the point.
Qt::Key changingKey(double value, double top) {
    return value < top ? Qt::Key_Up : Qt::Key_Down;
}

// Types one digit over the first character of a setup box (so the box never holds a value
// outside its range on the way) and commits with Enter.
void retypeFirstDigit(TForm1& w, const char* box, QChar digit) {
    showTab(w, kSetupTab);
    QLineEdit* edit = lineEdit(w, box);
    clickInto(edit);
    key(edit, Qt::Key_Home);
    key(edit, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClicks(edit, QString(digit));
    key(edit, Qt::Key_Return);
}

} // namespace

class TestMapKeys : public QObject {
    Q_OBJECT

  private slots:
    void focusRule_data();
    void focusRule();
    void commandChords_data();
    void commandChords();

    void keysInABoxEditNoChart_data();
    void keysInABoxEditNoChart();
    void keysForAChartOnAHiddenPageDoNothing();
    void shortcutsOnTheFuelPageChangeNothing_data();
    void shortcutsOnTheFuelPageChangeNothing();
    void aKeyReleasedElsewhereStillSendsTheEdit_data();
    void aKeyReleasedElsewhereStillSendsTheEdit();
    void anRpmRangeEditMovesEveryPoint_data();
    void anRpmRangeEditMovesEveryPoint();
    void aVacuumRangeEditMovesEveryPoint();
    void aFailedSendLeavesWhatTheUnitHolds();
};

void TestMapKeys::focusRule_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("takesKeys");
    for (const char* kind : {"line edit", "read-only line edit", "spin box", "spin box's own text",
                             "double spin box", "combo box", "editable combo box's text", "slider",
                             "scroll bar", "radio button", "check box of a button group", "tab bar", "table",
                             "editor in a table cell", "list", "text edit", "plain text edit"})
        QTest::newRow(kind) << QString::fromLatin1(kind) << true;
    for (const char* kind : {"chart", "check box", "push button", "label", "plain widget"})
        QTest::newRow(kind) << QString::fromLatin1(kind) << false;
}

void TestMapKeys::focusRule() {
    QFETCH(QString, kind);
    QFETCH(bool, takesKeys);
    QWidget window;
    QWidget* w = widgetOfKind(kind, &window);
    QVERIFY(w);
    QCOMPARE(MapKeys::focusTakesKeys(w), takesKeys);
    QCOMPARE(MapKeys::tuningKeyAllowed(w, Qt::NoModifier), !takesKeys);
    QCOMPARE(MapKeys::tuningKeyAllowed(w, Qt::ShiftModifier), !takesKeys);
    QVERIFY(!MapKeys::tuningKeyAllowed(w, Qt::ControlModifier));
    QVERIFY(!MapKeys::focusTakesKeys(nullptr));
}

void TestMapKeys::commandChords_data() {
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("chord");
    QTest::newRow("none") << Qt::KeyboardModifiers(Qt::NoModifier) << false;
    QTest::newRow("Shift") << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
    QTest::newRow("keypad arrow") << Qt::KeyboardModifiers(Qt::KeypadModifier) << false;
    QTest::newRow("Shift on the keypad") << (Qt::ShiftModifier | Qt::KeypadModifier) << false;
    QTest::newRow("Ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier) << true;
    QTest::newRow("Alt") << Qt::KeyboardModifiers(Qt::AltModifier) << true;
    QTest::newRow("Meta") << Qt::KeyboardModifiers(Qt::MetaModifier) << true;
    QTest::newRow("Ctrl+Shift") << (Qt::ControlModifier | Qt::ShiftModifier) << true;
}

void TestMapKeys::commandChords() {
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, chord);
    QCOMPARE(MapKeys::isCommandChord(modifiers), chord);
    QCOMPARE(MapKeys::tuningKeyAllowed(nullptr, modifiers), !chord);
}

void TestMapKeys::keysInABoxEditNoChart_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("chart"); // made active before the keys
    QTest::addColumn<QString>("box");
    QTest::newRow("Vehicle Make") << int(kSetupTab) << "TimingChart"
                                  << "Edit9";
    QTest::newRow("jet trim box on its own page") << int(kFuelTab) << "FuelVacChart"
                                                  << "Edit28";
}

void TestMapKeys::keysInABoxEditNoChart() {
    QFETCH(int, tab);
    QFETCH(QString, chart);
    QFETCH(QString, box);
    Tuning t;
    const int chartTab = chart == QLatin1String("TimingChart") ? kTimingTab : kFuelTab;
    hover(showChart(t.w, chartTab, chart.toLatin1().constData()), 0.5, 20);
    const auto maps = t.w.state().cal.maps;
    showTab(t.w, tab);
    QLineEdit* edit = lineEdit(t.w, box.toLatin1().constData());
    clickInto(edit);
    // Each chart key twice, checked one key at a time.
    for (Qt::Key k :
         {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Left, Qt::Key_Right}) {
        const QByteArray name(QTest::toString(k));
        QCOMPARE(QApplication::focusWidget(), edit);
        key(edit, k);
        key(edit, k);
        QVERIFY2(noMoreSets(t.unit, 0), name.constData());
        QVERIFY2(t.w.state().cal.maps == maps, name.constData());
        QVERIFY2(!t.w.state().link.hasPendingChanges(), name.constData());
    }
}

void TestMapKeys::keysForAChartOnAHiddenPageDoNothing() {
    Tuning t;
    hover(showChart(t.w, kFuelTab, "FuelVacChart"), 0.5, 20);
    const auto maps = t.w.state().cal.maps;
    // The chart stays the active one, but it is not on show: its keys do nothing.
    showTab(t.w, kTimingTab);
    QWidget* tabs = t.w.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp})
        key(tabs, k);
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(t.w.state().cal.maps == maps);
    QCOMPARE(t.w.mapPages().editing().ActiveMapChart, std::optional<ChartId>(ChartId::FuelVacuum));
}

void TestMapKeys::shortcutsOnTheFuelPageChangeNothing_data() {
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    const Qt::KeyboardModifiers ctrl(Qt::ControlModifier);
    QTest::newRow("Ctrl+C") << Qt::Key_C << ctrl;
    QTest::newRow("Ctrl+V") << Qt::Key_V << ctrl;
    QTest::newRow("Ctrl+A") << Qt::Key_A << ctrl;
    QTest::newRow("Ctrl+D") << Qt::Key_D << ctrl;
    QTest::newRow("Ctrl+F") << Qt::Key_F << ctrl;
    QTest::newRow("Ctrl+W") << Qt::Key_W << ctrl;
    QTest::newRow("Ctrl+Shift+V") << Qt::Key_V << (Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Alt+Q") << Qt::Key_Q << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("Meta+S") << Qt::Key_S << Qt::KeyboardModifiers(Qt::MetaModifier);
    QTest::newRow("Ctrl+Up on the chart") << Qt::Key_Up << ctrl;
    QTest::newRow("Alt+Down on the chart") << Qt::Key_Down << Qt::KeyboardModifiers(Qt::AltModifier);
}

void TestMapKeys::shortcutsOnTheFuelPageChangeNothing() {
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kFuelTab, "FuelVacChart");
    hover(chart, 0.5, 20);
    const QList<int> positions = sliderPositions(t.w);
    const auto maps = t.w.state().cal.maps;
    ::key(chart, key, modifiers);
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(sliderPositions(t.w), positions);
    QVERIFY(t.w.state().cal.maps == maps);
    QVERIFY(!t.w.state().link.hasPendingChanges());
    // The same letter alone is a jet key.
    if (key == Qt::Key_D) {
        ::key(chart, key);
        QVERIFY(waitForSets(t.unit, 1));
        QCOMPARE(sliderPositions(t.w).at(1), positions.at(1) - 1);
    }
}

void TestMapKeys::aKeyReleasedElsewhereStillSendsTheEdit_data() {
    QTest::addColumn<QString>("where");
    QTest::newRow("over the vacuum chart") << "vacuum chart";
    QTest::newRow("in a box of the Setup tab") << "setup box";
}

void TestMapKeys::aKeyReleasedElsewhereStillSendsTheEdit() {
    QFETCH(QString, where);
    Tuning t;
    t.bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    MapChartWidget* timing = showChart(t.w, kTimingTab, "TimingChart");
    QVERIFY(!t.w.state().link.hasPendingChanges());
    const double before = t.point(MapId::Timing, 10);
    const Qt::Key k = changingKey(before, 45);
    const double after = before + (k == Qt::Key_Up ? 1 : -1);

    hover(timing, 10, 20);
    QTest::keyPress(timing, k);
    QCOMPARE(t.point(MapId::Timing, 10), after);
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing).at(9), after);
    QVERIFY(noMoreSets(t.unit, 0)); // sent when the key comes up
    // Changed on the PC only: leaving now asks first.
    QVERIFY(t.w.state().link.hasPendingChanges());
    t.bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Cancel;
    t.w.close();
    QCOMPARE(t.bench.prompts.unsavedAsked, 1);
    QVERIFY(t.w.isVisible());

    QWidget* releasedAt = nullptr;
    if (where == QLatin1String("vacuum chart")) {
        MapChartWidget* vacuum = chartOf(t.w, "VacuumChart");
        hover(vacuum, 0.5, 0);
        QCOMPARE(t.w.mapPages().editing().ActiveMapChart, std::optional<ChartId>(ChartId::Vacuum));
        releasedAt = vacuum;
    } else {
        showTab(t.w, kSetupTab);
        releasedAt = lineEdit(t.w, "Edit9");
        clickInto(releasedAt);
    }
    QTest::keyRelease(releasedAt, k);
    QVERIFY(waitForSets(t.unit, 1));
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 10, int(after))});
    QCOMPARE(t.unitTiming(10), int(after));
}

void TestMapKeys::anRpmRangeEditMovesEveryPoint_data() {
    QTest::addColumn<QChar>("digit"); // over the 8 of the unit's 8000
    QTest::addColumn<int>("points");
    QTest::newRow("6000: fewer timing points") << QChar('6') << 60;
    QTest::newRow("9000: more timing points") << QChar('9') << 90;
}

void TestMapKeys::anRpmRangeEditMovesEveryPoint() {
    QFETCH(QChar, digit);
    QFETCH(int, points);
    Tuning t;
    QCOMPARE(t.w.state().cal.RpmRange, 8000);
    // The timing cursor on point 76, drawn.
    MapChartWidget* timing = showChart(t.w, kTimingTab, "TimingChart");
    hover(timing, 75, 20);
    key(timing, Qt::Key_Right);
    QCOMPARE(timing->bars(0)->data()->at(0)->key, 76.0);

    retypeFirstDigit(t.w, "Edit13", digit);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 81, points)});
    t.unit.clearRecord();
    QCOMPARE(t.w.state().cal.TimingPointCount, points);

    // The timing chart: one point per 100 RPM up to the new top, the cursor on a real point.
    timing = showChart(t.w, kTimingTab, "TimingChart");
    QCOMPARE(lineXs(t.w, "TimingChart", MapId::Timing).size(), points);
    QCOMPARE(timing->xAxis->range().upper, double(points));
    const int cursorPoint = std::min(76, points);
    QCOMPARE(t.w.mapPages().editing().TimingCursorX, double(cursorPoint));
    QCOMPARE(timing->bars(0)->data()->at(0)->key, double(cursorPoint));
    const double value = t.point(MapId::Timing, cursorPoint);
    const Qt::Key k = changingKey(value, 45);
    key(timing, k);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit).at(0), bytes(0xE8, cursorPoint, int(value) + (k == Qt::Key_Up ? 1 : -1)));
    drag(timing, points, 20);
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit).at(1), bytes(0xE8, points, 20));

    // The RPM fuel curves: 32 points spread over the new range; a drag on drawn point 16 edits it.
    MapChartWidget* rpm = showChart(t.w, kFuelTab, "FuelRPMChart");
    const QList<double> xs = lineXs(t.w, "FuelRPMChart", MapId::FuelRpmCruise);
    QCOMPARE(xs.size(), 32);
    QCOMPARE(xs.at(15), 16.0 * points / 32);
    QCOMPARE(xs.last(), double(points));
    QCOMPARE(rpm->xAxis->range().upper, double(points));
    drag(rpm, xs.at(15), 10);
    QVERIFY(waitForSets(t.unit, 3));
    QCOMPARE(sets(t.unit).at(2), bytes(0xDE, 63 + 16, 110));
}

void TestMapKeys::aVacuumRangeEditMovesEveryPoint() {
    Tuning t;
    QCOMPARE(t.w.state().cal.VacuumRange, 10);
    MapChartWidget* vacuum = showChart(t.w, kTimingTab, "VacuumChart");
    QCOMPARE(vacuum->bottomStep(), 0.1);
    // The vacuum cursor on point 17 of 32, drawn.
    hover(vacuum, 0.5, 0);
    key(vacuum, Qt::Key_Right);
    QCOMPARE(vacuum->bars(0)->data()->at(0)->key, 17 / 32.0);

    retypeFirstDigit(t.w, "Edit15", QChar('2'));
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xF2, 83, 20)});
    t.unit.clearRecord();

    vacuum = showChart(t.w, kTimingTab, "VacuumChart");
    const QList<double> xs = lineXs(t.w, "VacuumChart", MapId::VacuumTiming);
    QCOMPARE(xs.size(), 32);
    QCOMPARE(xs.at(15), 1.0);
    QCOMPARE(xs.last(), 2.0);
    QCOMPARE(vacuum->xAxis->range().upper, 2.2);
    QCOMPARE(vacuum->bottomStep(), 0.2);
    QCOMPARE(t.w.mapPages().editing().VacuumCursorX, 17 / 32.0 * 2);
    QCOMPARE(vacuum->bars(0)->data()->at(0)->key, 17 / 32.0 * 2);
    const double value = t.point(MapId::VacuumTiming, 17);
    const Qt::Key k = changingKey(value, 15);
    key(vacuum, k);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit).at(0), bytes(0xE8, 99 + 17, int(value) + (k == Qt::Key_Up ? 1 : -1) + 15));
    // The drawn last point is point 32 (before, the same place was point 16).
    drag(vacuum, xs.last(), -15);
    QVERIFY(waitForSets(t.unit, 2));
    QCOMPARE(sets(t.unit).at(1), bytes(0xE8, 131, 0));

    MapChartWidget* fuel = showChart(t.w, kFuelTab, "FuelVacChart");
    const QList<double> fuelXs = lineXs(t.w, "FuelVacChart", MapId::FuelVacuum);
    QCOMPARE(fuelXs.size(), 64);
    QCOMPARE(fuelXs.last(), 2.0);
    QCOMPARE(fuel->xAxis->range().upper, 2.2);
    drag(fuel, fuelXs.at(31), 50);
    QVERIFY(waitForSets(t.unit, 3));
    QCOMPARE(sets(t.unit).at(2), bytes(0xDE, 31, 150));
}

void TestMapKeys::aFailedSendLeavesWhatTheUnitHolds() {
    Tuning t;
    MapChartWidget* timing = showChart(t.w, kTimingTab, "TimingChart");
    const QList<double> curve = lineValues(t.w, "TimingChart", MapId::Timing);
    const double before = t.point(MapId::Timing, 10);
    const Qt::Key k = changingKey(before, 45);
    hover(timing, 10, 20);
    QTest::keyPress(timing, k);
    QVERIFY(t.point(MapId::Timing, 10) != before);

    // The unit is gone before the key comes up: the window goes back to what the unit holds.
    t.unit.unplug();
    QTest::keyRelease(timing, k);
    QCOMPARE(t.point(MapId::Timing, 10), before);
    QTest::qWait(20);
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing), curve);
    QCOMPARE(lineEdit(t.w, "Edit2")->text(), QString::number(int(before)));

    // A shift reaches no point: the curve stays.
    key(timing, Qt::Key_PageUp);
    QTest::qWait(20);
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing), curve);

    // A jet key whose trim cannot be sent: slider and box stay on the unit's trim.
    MapChartWidget* fuel = showChart(t.w, kFuelTab, "FuelVacChart");
    hover(fuel, 0.5, 0);
    const QList<int> positions = sliderPositions(t.w);
    const QString trim = lineEdit(t.w, "Edit28")->text();
    key(fuel, Qt::Key_Q);
    QCOMPARE(sliderPositions(t.w), positions);
    QCOMPARE(lineEdit(t.w, "Edit28")->text(), trim);
}

QTEST_MAIN(TestMapKeys)
#include "tst_mapkeys.moc"
