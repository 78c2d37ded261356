// Read-outs a tuner can trust at a glance: every text whole at 1366x768, read-outs that follow
// undo, Open and Close all, and a status that says the latest state. With EMU_PICTURE_DIR set,
// every page is also saved there as a picture (run again with QT_SCALE_FACTOR=2 for 2x).
#include "e2e_helpers.h"
#include "mapchart_helpers.h"

#include "controls/AnchoredLabelRow.h"
#include "controls/TA3nalogGauge.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/TRT.h"
#include "tools/KeysDialog.h"
#include "tools/TForm2.h"
#include "ui/TSaveFrm.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>

#include <algorithm>

namespace {

const char* const kFrames[] = {"RT1", "RT2", "RT3", "RT4"};

QTabWidget* tabs(TForm1& w) {
    return w.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
}

// Live frames have reached every real-time frame.
bool liveShown(TForm1& w) {
    for (const char* f : kFrames) {
        const auto* rt = w.findChild<TRT*>(QLatin1String(f));
        if (!rt || rt->label(QStringLiteral("Label50"))->text() == QStringLiteral("NA"))
            return false;
    }
    return true;
}

// Every shown label of the page whose text does not fit its width, or that overlaps a neighbour
// in its row of read-outs.
QStringList cutTexts(QWidget* page) {
    QStringList out;
    for (QLabel* l : page->findChildren<QLabel*>()) {
        if (!l->isVisibleTo(page) || l->text().isEmpty() || l->textFormat() == Qt::RichText ||
            Qt::mightBeRichText(l->text()))
            continue;
        // A wrapped label needs room for its longest word.
        int need = 0;
        for (const QString& word : l->wordWrap() ? l->text().split(QLatin1Char(' ')) : QStringList{l->text()})
            need = std::max(need, l->fontMetrics().horizontalAdvance(word));
        if (need > l->contentsRect().width())
            out << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                       .arg(l->objectName(), l->text())
                       .arg(need)
                       .arg(l->contentsRect().width());
    }
    // The read-only boxes under the charts: their numbers whole inside the frame.
    for (QLineEdit* box : page->findChildren<QLineEdit*>()) {
        if (!box->isVisibleTo(page) || !box->isReadOnly() || box->text().isEmpty())
            continue;
        const int need = box->fontMetrics().horizontalAdvance(box->text());
        if (need > box->width() - 8)
            out << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                       .arg(box->objectName(), box->text())
                       .arg(need)
                       .arg(box->width() - 8);
    }
    for (AnchoredLabelRow* row : page->findChildren<AnchoredLabelRow*>()) {
        if (!row->isVisibleTo(page))
            continue;
        const QList<QLabel*> labels = row->labels();
        for (qsizetype i = 0; i < labels.size(); ++i)
            for (qsizetype j = i + 1; j < labels.size(); ++j)
                if (labels[i]->geometry().adjusted(-1, 0, 1, 0).intersects(labels[j]->geometry()))
                    out << QStringLiteral("%1: \"%2\" touches \"%3\"")
                               .arg(row->objectName(), labels[i]->text(), labels[j]->text());
    }
    return out;
}

} // namespace

class TestReadouts : public QObject {
    Q_OBJECT

  private slots:
    void everyPageReadsWhole_data();
    void everyPageReadsWhole();
    void longStatusIsCutAtAWord();
    void mapReadoutsFollowUndo();
    void mapReadoutsFollowOpenAndCloseAll();
    void readoutsLookReadOnly();
    void savedToGivesWayToLaterEdits();
    void keysPageFromAbout();
};

void TestReadouts::everyPageReadsWhole_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("file");
    QTest::newRow("Setup") << 0 << QStringLiteral("setup.png");
    QTest::newRow("Timing Map") << 1 << QStringLiteral("timing-map.png");
    QTest::newRow("Fuel Maps") << 2 << QStringLiteral("fuel-maps.png");
    QTest::newRow("Correction Maps") << 3 << QStringLiteral("correction-maps.png");
    QTest::newRow("Data Logger") << 4 << QStringLiteral("data-logger.png");
    QTest::newRow("Engine Monitor") << 5 << QStringLiteral("engine-monitor.png");
}

// The demo connected, live data flowing, the window at 1366x768 (less the desktop's panel): no
// text of the page is cut and no two read-outs touch; the dials' numbers keep apart too.
void TestReadouts::everyPageReadsWhole() {
    QFETCH(int, tab);
    QFETCH(QString, file);
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.resize(1366, 740);
    tabs(w)->setCurrentIndex(tab);
    QVERIFY(waitUntil([&] { return liveShown(w); }));
    // The pointer over each chart of a map page: its read-outs show.
    for (MapChartWidget* chart : tabs(w)->currentWidget()->findChildren<MapChartWidget*>()) {
        const QCPRange x = chart->xAxis->range();
        hover(chart, x.lower + (x.upper - x.lower) * 0.7, chart->yAxis->range().lower * 0.6);
    }
    QTest::qWait(300); // a few frames more, and the layouts settled
    QWidget* page = tabs(w)->currentWidget();
    const QStringList cut = cutTexts(page) + cutTexts(w.statusBar());
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("\n"))));
    for (TA3nalogGauge* g : page->findChildren<TA3nalogGauge*>()) {
        const QList<TA3nalogGauge::Label> numbers = g->numberLabels();
        for (qsizetype i = 1; i < numbers.size(); ++i)
            QVERIFY2(!numbers[i - 1].rect.intersects(numbers[i].rect), qPrintable(g->objectName()));
        QVERIFY2(!g->needleCrosses(g->captionRect()), qPrintable(g->objectName()));
    }
    const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR");
    if (!dir.isEmpty())
        QVERIFY(w.grab().save(dir + QLatin1Char('/') + file, "PNG"));
}

void TestReadouts::longStatusIsCutAtAWord() {
    Bench bench;
    TForm1& w = bench.window();
    const QString text =
        QStringLiteral("The EMU did not answer: check the lead and the power, then connect to "
                       "the EMU again");
    w.setStatus(0, text);
    auto* panel = w.statusBar()->findChild<QLabel*>(QStringLiteral("StatusPanel0"));
    QCOMPARE(w.statusText(0), text);
    QCOMPARE(panel->toolTip(), text);
    const QString shown = panel->text();
    QVERIFY2(shown.endsWith(QChar(0x2026)), qPrintable(shown));
    const QString head = shown.chopped(1);
    // Whole words only: what is shown is the text up to a space.
    QVERIFY2(text.startsWith(head) && text.at(head.size()) == QLatin1Char(' '), qPrintable(shown));
    QVERIFY(panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width());
    // A short text is shown whole.
    w.setStatus(0, QStringLiteral("Ready"));
    QCOMPARE(panel->text(), QStringLiteral("Ready"));
}

// Up on timing point 30, then undo: the value box shows the point's value each time, as the unit
// holds it.
void TestReadouts::mapReadoutsFollowUndo() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    QLineEdit* value = lineEdit(t.w, "Edit2");
    QLineEdit* position = lineEdit(t.w, "Edit3");
    const double before = t.point(MapId::Timing, 30);
    hover(chart, 30, 0);
    key(chart, Qt::Key_Up);
    QVERIFY(waitForSets(t.unit, 1));
    QCOMPARE(sets(t.unit).last(), bytes(0xE8, 30, int(before) + 1));
    QCOMPARE(value->text(), QString::number(before + 1));
    QCOMPARE(position->text(), QStringLiteral("3000"));

    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitUntil([&] { return t.unitTiming(30) == int(before); }));
    QCOMPARE(value->text(), QString::number(before));
    QTest::keyClick(&t.w, Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(waitUntil([&] { return t.unitTiming(30) == int(before) + 1; }));
    QCOMPARE(value->text(), QString::number(before + 1));
}

// After Close all the boxes are empty; after Open they show the file's curves, not the old ones.
void TestReadouts::mapReadoutsFollowOpenAndCloseAll() {
    Tuning t;
    // A file whose timing point 30 differs from the unit's.
    std::array<std::uint8_t, 481> image = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
    const int unitValue = int(t.point(MapId::Timing, 30));
    const int fileValue = unitValue == 40 ? 30 : 40;
    image[static_cast<size_t>(101 + 30 - 1)] = static_cast<std::uint8_t>(fileValue + 1);
    const QString path = t.bench.dir.filePath(QStringLiteral("other.emu"));
    EmuIdentity id;
    id.bytes = {1, 3, 13, 1, 1, 4, 4, 0};
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(SettingsFile::write(id, VehicleInfo{}, image.data(), 481)) > 0);
    file.close();

    MapChartWidget* timing = showChart(t.w, kTimingTab, "TimingChart");
    hover(timing, 30, 0);
    key(timing, Qt::Key_Right);
    key(timing, Qt::Key_Left);
    QCOMPARE(lineEdit(t.w, "Edit2")->text(), QString::number(unitValue));
    MapChartWidget* vacuum = showChart(t.w, kTimingTab, "VacuumChart");
    hover(vacuum, 0.5, 0);
    QVERIFY(!lineEdit(t.w, "Edit5")->text().isEmpty());

    t.w.spCloseClick();
    finishFlows(t.w);
    for (const char* box : {"Edit2", "Edit3", "Edit4", "Edit5"})
        QVERIFY2(lineEdit(t.w, box)->text().isEmpty(), box);

    t.bench.prompts.openNames << path;
    t.w.spOpenClick();
    finishFlows(t.w);
    QVERIFY(t.w.state().link.FileMode);
    QCOMPARE(t.point(MapId::Timing, 30), double(fileValue));
    // The box either shows the file's value under the cursor or nothing; never the unit's old one.
    const QString shown = lineEdit(t.w, "Edit2")->text();
    QVERIFY2(shown.isEmpty() || shown == QString::number(fileValue), qPrintable(shown));
    hover(timing, 30, 0);
    key(timing, Qt::Key_Right);
    key(timing, Qt::Key_Left);
    QCOMPARE(lineEdit(t.w, "Edit2")->text(), QString::number(fileValue));
}

void TestReadouts::readoutsLookReadOnly() {
    Bench bench;
    TForm1& w = bench.window();
    for (const char* name : {"Edit2", "Edit3", "Edit4", "Edit5", "Edit22", "Edit23", "Edit19", "Edit21",
                             "Edit25", "Edit26", "Edit27", "Edit29", "Edit30", "Edit31"}) {
        QLineEdit* box = lineEdit(w, name);
        QVERIFY2(box && box->isReadOnly(), name);
        QCOMPARE(box->palette().color(QPalette::Base), box->palette().color(QPalette::Window));
        QVERIFY2(box->toolTip().contains(QStringLiteral("read-only")), name);
        QVERIFY2(box->toolTip().contains(QStringLiteral("Up/Down")), name);
    }
}

// "Saved to ..." stays only until the next change: then the panel says the changes are unsaved.
void TestReadouts::savedToGivesWayToLaterEdits() {
    Tuning t;
    const QString path = t.bench.dir.filePath(QStringLiteral("saved.emu"));
    t.bench.prompts.saveNames << path;
    QVERIFY(saveFromPc(t.w));
    QVERIFY2(t.w.statusText(0).startsWith(QStringLiteral("Saved to ")), qPrintable(t.w.statusText(0)));
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    drag(chart, 20, 30);
    QVERIFY(waitForSets(t.unit, 1));
    QVERIFY2(t.w.statusText(0).startsWith(QStringLiteral("Unsaved changes")), qPrintable(t.w.statusText(0)));
    QVERIFY(t.w.statusText(0).contains(QStringLiteral("saved.emu")));
    // Saved again: the latest word is the save.
    t.bench.prompts.saveNames << path;
    QVERIFY(saveFromPc(t.w));
    QVERIFY(t.w.statusText(0).startsWith(QStringLiteral("Saved to ")));
}

// Close all leaves the live readings running but no maps to add up: the timing reads "NA" in
// every frame and the timing dial is parked, frame after frame.
// F1 opens About; its Keys button lists the chart, jet and logger keys.
void TestReadouts::keysPageFromAbout() {
    Bench bench;
    TForm1& w = bench.window();
    w.activateWindow();
    QVERIFY(QTest::qWaitFor([&] { return w.isActiveWindow(); }));
    QTest::keyClick(&w, Qt::Key_F1);
    auto* about = w.findChild<TForm2*>();
    QVERIFY(QTest::qWaitFor([&] { return about && about->isVisible(); }));
    auto* keys = about->findChild<QPushButton*>(QStringLiteral("KeysButton"));
    QVERIFY(keys);
    keys->click();
    auto* page = about->findChild<KeysDialog*>();
    QVERIFY(page && page->isVisible());
    const QString text = page->text();
    for (const char* part : {"Page Up, Page Down", "Left, Right", "Up, Down", "Q, A", "W, S", "D, C", "F, V",
                             "Data Logger", "Realtime Tracking", "Ctrl+Z"})
        QVERIFY2(text.contains(QLatin1String(part)), part);
    page->close();
    about->Button1Click();

    // The tooltips where a tuner looks.
    QVERIFY(
        w.findChild<QCheckBox*>(QStringLiteral("RT_Track"))->toolTip().contains(QStringLiteral("cursors")));
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("EventLog"))->toolTip().isEmpty());
    QVERIFY(lineEdit(w, "Edit28")->toolTip().contains(QStringLiteral("Q/A")));
    QVERIFY(lineEdit(w, "Edit32")->toolTip().contains(QStringLiteral("D/C")));
    QVERIFY(!w.findChild<QWidget*>(QStringLiteral("FuelVacLegend"))->toolTip().isEmpty());
    QVERIFY(w.saveForm()
                ->findChild<QRadioButton*>(QStringLiteral("RadioButton1"))
                ->toolTip()
                .contains(QStringLiteral("EMU holds")));
    QVERIFY(w.saveForm()
                ->findChild<QRadioButton*>(QStringLiteral("RadioButton2"))
                ->toolTip()
                .contains(QStringLiteral("not yet written")));
    // The dials say what their numbers are.
    QVERIFY(w.findChild<TA3nalogGauge*>(QStringLiteral("VacuumGauge"))
                ->toolTip()
                .contains(QStringLiteral("bar")));
    QVERIFY(w.findChild<TA3nalogGauge*>(QStringLiteral("LambdaGauge"))
                ->toolTip()
                .contains(QStringLiteral("0.45 V")));
}

QTEST_MAIN(TestReadouts)
#include "tst_readouts.moc"
