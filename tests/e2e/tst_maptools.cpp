// The curve tools against a simulated unit: a selection made on the chart, each tool one undo step
// whose every changed point is one message, clamping said on the status line, the clipboard from
// one curve to another, and the table's typed values.
#include "mapchart_helpers.h"

#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/MapToolsWidget.h"
#include "ui/EditSafetyNet.h"
#include "undo/EditHistory.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>

namespace {

void shiftMouse(QWidget* w, QEvent::Type type, QPointF pos, Qt::MouseButton button,
                Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::ShiftModifier);
    QApplication::sendEvent(w, &event);
}

// Shift+drag from one chart x to another, with a move on the way.
void shiftDrag(MapChartWidget* chart, double fromX, double toX, double y) {
    const QPointF from = pixelOf(chart, fromX, y);
    const QPointF to = pixelOf(chart, toX, y);
    shiftMouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    shiftMouse(chart, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    shiftMouse(chart, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    shiftMouse(chart, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

// Puts values on points through the tools, waits for the unit to have them and forgets the traffic.
void prepare(Tuning& t, MapToolsWidget* tools, const QList<std::pair<PointRange, double>>& values) {
    for (const auto& [range, value] : values) {
        tools->setSelection(range);
        tools->run(CurveTool::SetTo, value);
    }
    QVERIFY(waitUntil([&] { return t.w.link().queuedSets() == 0; }));
    QTest::qWait(100);
    t.unit.clearRecord();
}

int unitValue(const EmuSimulator& unit, MapId map, int point) {
    // The image holds the plain byte + 1; the plain byte is the value + the map's offset.
    return int(unit.image()[static_cast<size_t>(mapInfo(map).imageOffset + point - 1)]) - 1 -
           mapInfo(map).plainOffset;
}

} // namespace

class TestMapTools : public QObject {
    Q_OBJECT

  private slots:
    void interpolateSendsTheInnerPointsThatChangeAndUndoSendsThemBack();
    void shiftArrowsSelectAndPlainArrowsDrop();
    void scaleOfAFuelCurveClampsAndSaysHowMany();
    void copyCruiseAndPasteOntoHighSendsWhatDiffers();
    void aPasteThatDoesNotFitSendsNothing();
    void aTypedCellIsSentAndOneOutOfRangeIsNot();
    void smoothViaTheContextMenuKeysIsOneStep();
    void printingTheFuelPagePrintsItsChartsAndTablesOnOnePage();
    void pictures();
};

void TestMapTools::interpolateSendsTheInnerPointsThatChangeAndUndoSendsThemBack() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Timing);
    prepare(t, tools, {{{10, 10}, 10}, {{11, 19}, 30}, {{20, 20}, 15}});
    QCOMPARE(unitValue(t.unit, MapId::Timing, 15), 30);
    const int stepsBefore = t.w.safetyNet().history().count();

    hover(chart, 10, 20);
    shiftDrag(chart, 10, 20, 20);
    QCOMPARE(tools->selection(), (PointRange{10, 20}));
    // Drawn on the chart; a Shift+drag tunes nothing.
    QVERIFY(noMoreSets(t.unit, 0));
    QSignalSpy edits(&t.w.editor(), &CalibrationEditor::edited);
    key(chart, Qt::Key_I, Qt::ControlModifier);

    // Nine interior points, each its own message, halves to even; nothing for points 10 and 20.
    const QList<int> line{10, 11, 12, 12, 12, 13, 14, 14, 14};
    QList<QByteArray> expected;
    for (int i = 11; i <= 19; ++i)
        expected << bytes(0xE8, i, line.at(i - 11));
    QVERIFY(waitForSets(t.unit, 9));
    QVERIFY(noMoreSets(t.unit, 9));
    QCOMPARE(sets(t.unit), expected);
    for (int i = 10; i <= 20; ++i)
        QCOMPARE(unitValue(t.unit, MapId::Timing, i), int(t.point(MapId::Timing, i)));
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing).mid(9, 11),
             (QList<double>{10, 10, 11, 12, 12, 12, 13, 14, 14, 14, 15}));
    // One operation: one journal group, one undo step.
    QCOMPARE(edits.size(), 9);
    const int group = edits.first().first().value<EditRecord>().group;
    QVERIFY(group != 0);
    for (const QList<QVariant>& e : edits)
        QCOMPARE(e.first().value<EditRecord>().group, group);
    QCOMPARE(t.w.safetyNet().history().count(), stepsBefore + 1);
    QVERIFY2(t.w.statusText(0).contains(QStringLiteral("9 of 9 points")), qPrintable(t.w.statusText(0)));

    // Undo sends every old value back, each point once.
    t.unit.clearRecord();
    QTest::keyClick(&t.w, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(waitForSets(t.unit, 9));
    QVERIFY(noMoreSets(t.unit, 9));
    QList<QByteArray> back;
    for (int i = 19; i >= 11; --i)
        back << bytes(0xE8, i, 30);
    QCOMPARE(sets(t.unit), back);
    for (int i = 11; i <= 19; ++i) {
        QCOMPARE(unitValue(t.unit, MapId::Timing, i), 30);
        QCOMPARE(t.point(MapId::Timing, i), 30.0);
    }
}

void TestMapTools::shiftArrowsSelectAndPlainArrowsDrop() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Timing);
    hover(chart, 30, 20);
    key(chart, Qt::Key_Right); // the keyboard cursor on point 31
    for (int i = 0; i < 3; ++i)
        key(chart, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(tools->selection(), (PointRange{31, 34}));
    key(chart, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(tools->selection(), (PointRange{31, 33}));
    // Shift+arrows move the cursor as the arrows do and change no value.
    QCOMPARE(t.w.mapPages().editing().TimingCursorX, 33.0);
    QVERIFY(noMoreSets(t.unit, 0));
    key(chart, Qt::Key_Right);
    QVERIFY(tools->selection().isEmpty());
    // A plain click drops a selection too.
    shiftDrag(chart, 5, 8, 20);
    QCOMPARE(tools->selection(), (PointRange{5, 8}));
    mouse(chart, QEvent::MouseButtonPress, pixelOf(chart, 40, 50), Qt::LeftButton, Qt::LeftButton);
    mouse(chart, QEvent::MouseButtonRelease, pixelOf(chart, 40, 50), Qt::LeftButton, Qt::NoButton);
    QVERIFY(tools->selection().isEmpty());
    // Set with no selection asks about the point under the cursor; cancelled, it sends nothing.
    hover(chart, 33, 20);
    key(chart, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(t.bench.prompts.numberTitles, QStringList{QStringLiteral("Set points 33..33")});
    QVERIFY(noMoreSets(t.unit, 0));
}

void TestMapTools::scaleOfAFuelCurveClampsAndSaysHowMany() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kFuelTab, "FuelRPMChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::FuelRpm);
    prepare(t, tools, {{{1, 32}, 0}, {{5, 6}, 45}, {{7, 7}, 20}});
    hover(chart, 20, 0);
    key(chart, Qt::Key_A, Qt::ControlModifier); // every point of the Cruise curve
    QCOMPARE(tools->selection(), (PointRange{1, 32}));
    t.bench.prompts.numbers << 10;
    key(chart, Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(t.bench.prompts.numberTitles, QStringList{QStringLiteral("Scale points 1..32")});

    // 145 % x 1.1 is beyond +50 % twice; 120 % -> 132 %, 100 % -> 110 % elsewhere.
    QList<QByteArray> expected;
    for (int i = 1; i <= 32; ++i) {
        const int value = (i == 5 || i == 6) ? 50 : i == 7 ? 32 : 10;
        expected << bytes(0xDE, 63 + i, value + 100);
    }
    QVERIFY(waitForSets(t.unit, 32));
    QVERIFY(noMoreSets(t.unit, 32));
    QCOMPARE(sets(t.unit), expected);
    QVERIFY2(t.w.statusText(0).contains(QStringLiteral("2 values were clamped to -50..50")),
             qPrintable(t.w.statusText(0)));
    QCOMPARE(unitValue(t.unit, MapId::FuelRpmCruise, 5), 50);
    // The other curves are untouched.
    for (int i = 1; i <= 32; ++i)
        QCOMPARE(unitValue(t.unit, MapId::FuelRpmHigh, i), int(t.point(MapId::FuelRpmHigh, i)));
}

void TestMapTools::copyCruiseAndPasteOntoHighSendsWhatDiffers() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kFuelTab, "FuelRPMChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::FuelRpm);
    hover(chart, 20, 0);
    key(chart, Qt::Key_C, Qt::ControlModifier); // no selection: the whole curve
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.count(QLatin1Char('\n')), 32);
    const double firstX = MapTuning::pointX(ChartId::FuelRpm, 1, t.w.state().cal.scales()) * 100;
    QVERIFY2(copied.startsWith(QString::number(qRound(firstX)) + QLatin1Char('\t')),
             qPrintable(copied.left(20)));

    t.w.findChild<QRadioButton*>(QStringLiteral("RadioHigh"))->click();
    QList<QByteArray> expected;
    for (int i = 1; i <= 32; ++i)
        if (t.point(MapId::FuelRpmHigh, i) != t.point(MapId::FuelRpmCruise, i))
            expected << bytes(0xCA, 31 + i, int(t.point(MapId::FuelRpmCruise, i)) + 100);
    QVERIFY(!expected.isEmpty());
    key(chart, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(waitForSets(t.unit, int(expected.size())));
    QVERIFY(noMoreSets(t.unit, int(expected.size())));
    QCOMPARE(sets(t.unit), expected);
    for (int i = 1; i <= 32; ++i) {
        QCOMPARE(t.point(MapId::FuelRpmHigh, i), t.point(MapId::FuelRpmCruise, i));
        QCOMPARE(unitValue(t.unit, MapId::FuelRpmHigh, i), int(t.point(MapId::FuelRpmHigh, i)));
    }
    QCOMPARE(tools->selection(), PointRange{});

    // A spreadsheet's column of values, one a line: only what differs is sent.
    QStringList lines;
    for (int i = 1; i <= 32; ++i)
        lines << QString::number(i == 3 ? -7 : t.point(MapId::FuelRpmHigh, i));
    QGuiApplication::clipboard()->setText(lines.join(QStringLiteral("\r\n")));
    t.unit.clearRecord();
    key(chart, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(waitForSets(t.unit, 1));
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xCA, 34, 93)});
}

void TestMapTools::aPasteThatDoesNotFitSendsNothing() {
    Tuning t;
    showChart(t.w, kCorrectionTab, "TempChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Water);
    QStringList lines;
    for (int i = 0; i < 32; ++i)
        lines << QStringLiteral("5");
    QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    QCOMPARE(tools->run(CurveTool::Paste),
             QStringLiteral("The clipboard holds 32 values; the curve has 24 points"));
    QGuiApplication::clipboard()->setText(QStringLiteral("5\nfive\n"));
    QCOMPARE(tools->run(CurveTool::Paste), QStringLiteral("Line 2 of the clipboard is not a number: 'five'"));
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(t.w.statusText(0), QStringLiteral("Line 2 of the clipboard is not a number: 'five'"));
}

void TestMapTools::aTypedCellIsSentAndOneOutOfRangeIsNot() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Timing);
    QVERIFY(!tools->table()->isVisible());
    tools->tableToggle()->click();
    QVERIFY(tools->table()->isVisible());
    QTableWidget* table = tools->table();
    QCOMPARE(table->rowCount(), t.w.state().cal.TimingPointCount);
    QCOMPARE(table->item(4, 0)->text(), QStringLiteral("500"));
    QCOMPARE(table->item(4, 1)->text(), QString::number(t.point(MapId::Timing, 5)));
    // Both columns are in sight whole at 1366x768: no value is cut or pushed out of view.
    t.w.resize(1366, 768);
    QTest::qWait(50);
    const auto columnsInSight = [](QTableWidget* tw) {
        const QHeaderView* header = tw->horizontalHeader();
        for (int c = 0; c < 2; ++c) {
            const int right = header->sectionViewportPosition(c) + header->sectionSize(c);
            if (header->sectionViewportPosition(c) < 0 || right > tw->viewport()->width())
                return false;
            for (int r = 0; r < tw->rowCount(); ++r)
                if (tw->fontMetrics().horizontalAdvance(tw->item(r, c)->text()) + 8 > header->sectionSize(c))
                    return false;
        }
        return true;
    };
    QVERIFY(columnsInSight(table));

    const auto typeInto = [&](int row, const QString& text) {
        table->setFocus();
        table->setCurrentCell(row, 1);
        QTest::keyClick(table, Qt::Key_F2);
        QLineEdit* editor = table->findChild<QLineEdit*>();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : text) {
            QTest::keyClicks(editor, QString(c));
            QCOMPARE(sets(t.unit).size(), 0); // never a message per keystroke
        }
        QTest::keyClick(editor, Qt::Key_Return);
    };
    const double held = t.point(MapId::Timing, 5);
    typeInto(4, QStringLiteral("50"));
    QVERIFY(noMoreSets(t.unit, 0));
    QCOMPARE(t.point(MapId::Timing, 5), held);
    QCOMPARE(table->item(4, 1)->text(), QString::number(held));
    QCOMPARE(t.w.statusText(0), QStringLiteral("TimingMap point 5: enter a value from 0 to 45"));

    const int value = held == 33 ? 34 : 33;
    typeInto(4, QString::number(value));
    QVERIFY(waitForSets(t.unit, 1));
    QVERIFY(noMoreSets(t.unit, 1));
    QCOMPARE(sets(t.unit), QList<QByteArray>{bytes(0xE8, 5, value)});
    QCOMPARE(lineValues(t.w, "TimingChart", MapId::Timing).at(4), double(value));

    // Rows selected in the table are the chart's selection.
    table->clearSelection();
    QVERIFY(tools->selection().isEmpty());
    table->setRangeSelected(QTableWidgetSelectionRange(9, 0, 14, 1), true);
    QCOMPARE(tools->selection(), (PointRange{10, 15}));
    tools->setSelection({2, 4});
    QCOMPARE(table->selectedRanges().size(), 1);
    QCOMPARE(table->selectedRanges().first().topRow(), 1);
    QCOMPARE(table->selectedRanges().first().bottomRow(), 3);
    Q_UNUSED(chart);

    showChart(t.w, kFuelTab, "FuelRPMChart");
    MapToolsWidget* fuel = t.w.mapPages().tools(ChartId::FuelRpm);
    fuel->tableToggle()->click();
    QTest::qWait(50);
    QVERIFY(columnsInSight(fuel->table()));
}

void TestMapTools::smoothViaTheContextMenuKeysIsOneStep() {
    Tuning t;
    MapChartWidget* chart = showChart(t.w, kCorrectionTab, "VoltageChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Voltage);
    prepare(t, tools, {{{1, 16}, 0}, {{4, 4}, 20}, {{6, 6}, -20}});
    hover(chart, 12, 0);
    tools->setSelection({2, 8});
    key(chart, Qt::Key_M, Qt::ControlModifier);
    // Point 3: (0 + 0 + 20) / 4 = 5; 4: (0 + 40 + 0) / 4 = 10; 5: (20 + 0 - 20) / 4 = 0 (no change);
    // 6: -10; 7: -5.
    const QList<QByteArray> expected{bytes(0xD4, 50, 105), bytes(0xD4, 51, 110), bytes(0xD4, 53, 90),
                                     bytes(0xD4, 54, 95)};
    QVERIFY(waitForSets(t.unit, 4));
    QVERIFY(noMoreSets(t.unit, 4));
    QCOMPARE(sets(t.unit), expected);
    // The menu lists the tools with their keys and names every action.
    for (QAction* a : tools->menu()->actions())
        QVERIFY(a->isSeparator() || !a->text().isEmpty());
    QVERIFY(!tools->toolsButton()->accessibleName().isEmpty());
    QVERIFY(!tools->tableToggle()->accessibleName().isEmpty());
}

void TestMapTools::printingTheFuelPagePrintsItsChartsAndTablesOnOnePage() {
    Tuning t;
    showChart(t.w, kFuelTab, "FuelRPMChart");
    MapChartWidget* chart = chartOf(t.w, "FuelRPMChart");
    chart->setLiveMarker(30, 50);
    t.bench.prompts.acceptPrint = true;
    const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR", t.bench.dir.path());
    t.bench.prompts.printPdfPath = dir + QStringLiteral("/fuel-maps-print.pdf");
    t.w.spPrintClick();
    QVERIFY(t.bench.prompts.errors.isEmpty());
    QCOMPARE(t.w.statusText(0), QStringLiteral("Fuel Maps printed to ") +
                                    QDir::toNativeSeparators(t.bench.prompts.printPdfPath));
    QFile pdf(t.bench.prompts.printPdfPath);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
    // The live marker is back on the chart once the page is printed.
    QCOMPARE(chart->bars(1)->dataCount(), 1);
    QWidget* marker = chart->findChild<QWidget*>(QStringLiteral("LiveMarker"));
    QVERIFY(marker && marker->isVisible());

    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed");
    QProcess render;
    render.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                            QStringLiteral("-singlefile"), t.bench.prompts.printPdfPath,
                            dir + QStringLiteral("/fuel-maps-print")});
    QVERIFY(render.waitForFinished(30000));
    QCOMPARE(render.exitCode(), 0);
    const QImage page(dir + QStringLiteral("/fuel-maps-print.png"));
    QVERIFY(!page.isNull());
    // Ink in the lowest fifth of the printable area: the RPM chart's table is under it.
    const int margin = qRound(10 / 25.4 * 60);
    bool inkLow = false;
    for (int y = page.height() - margin - page.height() / 5; y < page.height() - margin && !inkLow; ++y)
        for (int x = margin; x < page.width() - margin; ++x)
            if (qGray(page.pixel(x, y)) < 160) {
                inkLow = true;
                break;
            }
    QVERIFY(inkLow);
}

void TestMapTools::pictures() {
    const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR");
    if (dir.isEmpty())
        QSKIP("EMU_PICTURE_DIR is not set");
    Tuning t;
    t.w.resize(1366, 768);
    MapChartWidget* chart = showChart(t.w, kTimingTab, "TimingChart");
    MapToolsWidget* tools = t.w.mapPages().tools(ChartId::Timing);
    tools->tableToggle()->click();
    hover(chart, 20, 20);
    shiftDrag(chart, 20, 32, 20);
    chart->setLiveMarker(40, 45);
    QTest::qWait(200);
    QVERIFY(t.w.grab().save(dir + QStringLiteral("/timing-table-selection.png"), "PNG"));
    showChart(t.w, kFuelTab, "FuelRPMChart");
    t.w.mapPages().tools(ChartId::FuelRpm)->tableToggle()->click();
    t.w.mapPages().tools(ChartId::FuelRpm)->setSelection({8, 16});
    QTest::qWait(200);
    QVERIFY(t.w.grab().save(dir + QStringLiteral("/fuel-table-selection.png"), "PNG"));
}

QTEST_MAIN(TestMapTools)
#include "tst_maptools.moc"
