// Mixture suggestions in the window against a simulated unit: a log with known lean and rich
// points read against the unit's tune, the table and the chart arrows it gives, and only the
// checked points sent, as one undo step, when applied; nothing before, nothing on Close.

#include "mapchart_helpers.h"

#include "link/ImageLayout.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mixture/FuelPoints.h"
#include "monitor/DataLogFile.h"
#include "tools/MixtureSuggestionsDialog.h"
#include "ui/EditSafetyNet.h"
#include "undo/EditHistory.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {

constexpr int kRowMs = 40;
constexpr int kCruise = 1; // the dialog's table of the Cruise curve

struct Stretch {
    double vacuum; // bar
    double rpm;
    double lambda; // volts
    int rows;
};

// A warm, steady run: each stretch holds its vacuum, its RPM and its lambda reading.
DataLog steadyLog(const QList<Stretch>& stretches) {
    DataLog log;
    int i = 0;
    for (const Stretch& s : stretches)
        for (int r = 0; r < s.rows; ++r, ++i) {
            LogSample sample;
            sample.timeMs = i * kRowMs;
            sample.sample = static_cast<std::uint32_t>(i + 1);
            sample.values.fill(std::numeric_limits<float>::quiet_NaN());
            sample.values[0] = static_cast<float>(s.rpm);
            sample.values[1] = static_cast<float>(s.vacuum);
            sample.values[2] = 25;
            // A little movement, as a real sensor never reads one value twice.
            sample.values[3] = static_cast<float>(s.lambda + 0.002 * (r % 5));
            sample.values[4] = 85;
            sample.values[5] = 25;
            sample.values[6] = 50;
            sample.values[7] = 13.8f;
            sample.values[8] = 3.0f;
            sample.values[11] = 2;
            log.append(sample);
        }
    return log;
}

QList<QString> markTexts(MapChartWidget* chart) {
    QList<QString> out;
    for (QCPItemText* item : chart->pointMarkItems())
        out << item->text();
    return out;
}

} // namespace

class TestMixture : public QObject {
    Q_OBJECT

  private slots:
    void checkedSuggestionsAreOneStepAndNothingElseIsSent();
};

void TestMixture::checkedSuggestionsAreOneStepAndNothingElseIsSent() {
    Tuning t;
    showChart(t.w, kFuelTab, "FuelRPMChart");
    MapChartWidget* rpmChart = chartOf(t.w, "FuelRPMChart");
    MapChartWidget* vacChart = chartOf(t.w, "FuelVacChart");
    const CalibrationData& cal = t.w.state().cal;
    const double low = plainByteFromWire(cal.SetupBlock[40]) / 100.0;
    const double high = plainByteFromWire(cal.SetupBlock[41]) / 100.0;
    QVERIFY(low < high);
    // Cruise: lean at 3000 and 4000 RPM, rich at 5000; high load: rich at 3000; each for 16 s.
    const int a = FuelPoints::rpmPoint(3000, cal.RpmRange);
    const int b = FuelPoints::rpmPoint(4000, cal.RpmRange);
    const int c = FuelPoints::rpmPoint(5000, cal.RpmRange);
    QVERIFY(a < b && b < c);
    const double cruise = (low + high) / 2;
    const double load = (high + 1.0) / 2;
    const DataLog log = steadyLog({{cruise, 3000, 0.1, 400},
                                   {cruise, 4000, 0.12, 400},
                                   {cruise, 5000, 0.85, 400},
                                   {load, 3000, 0.82, 400}});
    const QString path = t.bench.dir.filePath(QStringLiteral("cruise.csv"));
    QCOMPARE(DataLogFile::save(log, path, DataLogFile::Format::Csv), QString());
    const double oldA = t.point(MapId::FuelRpmCruise, a);
    const double oldB = t.point(MapId::FuelRpmCruise, b);
    const double oldC = t.point(MapId::FuelRpmCruise, c);
    const double oldH = t.point(MapId::FuelRpmHigh, a);
    QVERIFY(oldA + 3 <= 50 && oldB + 3 <= 50 && oldC - 3 >= -50 && oldH - 3 >= -50);

    const auto openDialog = [&]() -> MixtureSuggestionsDialog* {
        FuelMapsPage* page = t.w.mapPages().fuelPage();
        QPushButton* open = page->mixtureButton();
        if (!open || open->text() != QStringLiteral("Mixture suggestions...") ||
            open->accessibleName().isEmpty())
            return nullptr;
        open->click();
        auto* d = t.w.findChild<MixtureSuggestionsDialog*>();
        if (!d || !d->isVisible())
            return nullptr;
        t.bench.prompts.logNames << path;
        d->findChild<QRadioButton*>(QStringLiteral("FileSource"))->click();
        return d;
    };

    // Nothing recorded yet: the recording has nothing to say and nothing can be applied.
    t.w.mapPages().fuelPage()->mixtureButton()->click();
    QPointer<MixtureSuggestionsDialog> d = t.w.findChild<MixtureSuggestionsDialog*>();
    QVERIFY(d && d->isVisible());
    QVERIFY(d->findChild<QRadioButton*>(QStringLiteral("RecordingSource"))->isChecked());
    QCOMPARE(d->findChild<QLabel*>(QStringLiteral("SourceLabel"))->text(),
             QStringLiteral("The recording is empty."));
    QVERIFY(!d->result().has_value());
    QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("ApplyButton"))->isEnabled());
    // The dialog's own controls (Qt's unnamed parts of a table or a tab bar aside).
    for (QWidget* control : d->findChildren<QWidget*>())
        if (!control->objectName().isEmpty() &&
            (qobject_cast<QAbstractButton*>(control) || qobject_cast<QAbstractSpinBox*>(control) ||
             qobject_cast<QTableWidget*>(control) || qobject_cast<QTabWidget*>(control)))
            QVERIFY2(!control->accessibleName().isEmpty(),
                     qPrintable(control->objectName() + QLatin1Char(' ') +
                                QString::fromLatin1(control->metaObject()->className())));
    // A cancelled file question keeps the recording as the source.
    d->findChild<QRadioButton*>(QStringLiteral("FileSource"))->click();
    QVERIFY(d->findChild<QRadioButton*>(QStringLiteral("RecordingSource"))->isChecked());
    d->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    QVERIFY(waitUntil([&] { return d.isNull(); }, 3000));

    d = openDialog();
    QVERIFY(d);
    QVERIFY(d->result().has_value());
    QVERIFY(
        d->findChild<QLabel*>(QStringLiteral("SensorNote"))->text().contains(QStringLiteral("narrowband")));
    QVERIFY(d->findChild<QLabel*>(QStringLiteral("LeftOutLabel"))
                ->text()
                .contains(QStringLiteral("samples used")));
    QTableWidget* table = d->table(kCruise);
    const int rowA = d->rowOf(kCruise, a);
    QVERIFY(rowA >= 0);
    const auto text = [&](int row, int column) { return table->item(row, column)->text(); };
    // The point's RPM, the nearest to 3000 of the curve's points.
    QVERIFY2(std::abs(text(rowA, MixtureSuggestionsDialog::Axis).toInt() - 3000) <= cal.RpmRange / 64,
             qPrintable(text(rowA, MixtureSuggestionsDialog::Axis)));
    QVERIFY(text(rowA, MixtureSuggestionsDialog::Hits).toInt() >= 380);
    QCOMPARE(text(rowA, MixtureSuggestionsDialog::Lean), QStringLiteral("100 %"));
    QCOMPARE(text(rowA, MixtureSuggestionsDialog::Rich), QStringLiteral("0 %"));
    QCOMPARE(text(rowA, MixtureSuggestionsDialog::Confidence), QStringLiteral("high"));
    QCOMPARE(text(rowA, MixtureSuggestionsDialog::Verdict), QStringLiteral("lean"));
    const auto signedText = [](double v) {
        return v > 0 ? QStringLiteral("+%1").arg(v) : QString::number(v);
    };
    QCOMPARE(text(rowA, MixtureSuggestionsDialog::Suggestion),
             signedText(oldA) + QStringLiteral(" → ") + signedText(oldA + 3) + QStringLiteral(" %"));
    QCOMPARE(table->item(rowA, MixtureSuggestionsDialog::Point)->checkState(), Qt::Checked);
    // The three points carry their arrows on the RPM chart; the vacuum map takes no step this pass.
    QCOMPARE(markTexts(rpmChart), (QList<QString>{QStringLiteral("▲"), QStringLiteral("▲"),
                                                  QStringLiteral("▼"), QStringLiteral("▼")}));
    QCOMPARE(d->table(2)->item(d->rowOf(2, a), MixtureSuggestionsDialog::Verdict)->text(),
             QStringLiteral("rich"));
    QVERIFY(vacChart->pointMarkItems().empty());

    // The other map takes the steps: the arrows move to the vacuum chart, and back.
    auto* adjustVacuum = d->findChild<QCheckBox*>(QStringLiteral("AdjustVacuum"));
    adjustVacuum->click();
    QVERIFY(rpmChart->pointMarkItems().empty());
    QVERIFY(!vacChart->pointMarkItems().empty());
    QVERIFY(d->rowOf(kCruise, a) >= 0);
    QCOMPARE(d->table(kCruise)->item(d->rowOf(kCruise, a), MixtureSuggestionsDialog::Point)->flags() &
                 Qt::ItemIsUserCheckable,
             Qt::ItemFlags());
    adjustVacuum->click();
    QCOMPARE(rpmChart->pointMarkItems().size(), size_t(4));
    QVERIFY(vacChart->pointMarkItems().empty());
    // Warm only from 90 °C, typed: the whole 85 °C run is left out as cold, and nothing can be applied.
    auto* minWater = d->findChild<QSpinBox*>(QStringLiteral("MinWater"));
    minWater->setFocus();
    QTest::keyClick(minWater, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(minWater, QStringLiteral("9"));
    QTest::keyClicks(minWater, QStringLiteral("0"));
    QTest::keyClick(minWater, Qt::Key_Return);
    QCOMPARE(minWater->value(), 90);
    QVERIFY(rpmChart->pointMarkItems().empty());
    QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("ApplyButton"))->isEnabled());
    QVERIFY(d->findChild<QLabel*>(QStringLiteral("LeftOutLabel"))
                ->text()
                .contains(QStringLiteral("1594 engine cold")));
    QTest::keyClick(minWater, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(minWater, QStringLiteral("7"));
    QTest::keyClicks(minWater, QStringLiteral("0"));
    QTest::keyClick(minWater, Qt::Key_Return);
    QCOMPARE(rpmChart->pointMarkItems().size(), size_t(4));
    // Return in the box is not "Apply".
    QVERIFY(d && d->isVisible());
    QVERIFY(noMoreSets(t.unit, 0));
    table = d->table(kCruise);

    // The 4000 RPM suggestion unchecked, from the keyboard.
    const int rowB = d->rowOf(kCruise, b);
    QVERIFY(rowB >= 0);
    QCOMPARE(table->item(rowB, MixtureSuggestionsDialog::Point)->checkState(), Qt::Checked);
    table->setFocus();
    table->setCurrentCell(rowB, MixtureSuggestionsDialog::Point);
    QTest::keyClick(table, Qt::Key_Space);
    QCOMPARE(table->item(rowB, MixtureSuggestionsDialog::Point)->checkState(), Qt::Unchecked);
    QCOMPARE(d->checkedChanges().size(), size_t(3));
    if (const QString dir = qEnvironmentVariable("EMU_PICTURE_DIR"); !dir.isEmpty()) {
        t.w.resize(1366, 768);
        d->resize(1000, 620);
        QTest::qWait(200);
        QVERIFY(d->grab().save(dir + QStringLiteral("/mixture-suggestions.png"), "PNG"));
        QVERIFY(t.w.grab().save(dir + QStringLiteral("/mixture-arrows.png"), "PNG"));
    }
    // Reading, choosing and unchecking sent nothing.
    QVERIFY(noMoreSets(t.unit, 0));

    const int stepsBefore = t.w.safetyNet().history().count();
    QSignalSpy edits(&t.w.editor(), &CalibrationEditor::edited);
    d->findChild<QPushButton*>(QStringLiteral("ApplyButton"))->click();
    // Two curves, each changed point its own message, and one operation for all of them.
    const QList<QByteArray> expected{bytes(0xDE, 63 + a, int(oldA) + 3 + 100),
                                     bytes(0xDE, 63 + c, int(oldC) - 3 + 100),
                                     bytes(0xCA, 31 + a, int(oldH) - 3 + 100)};
    QVERIFY(waitForSets(t.unit, 3));
    QVERIFY(noMoreSets(t.unit, 3));
    QCOMPARE(sets(t.unit), expected);
    QCOMPARE(t.point(MapId::FuelRpmCruise, b), oldB);
    QCOMPARE(edits.size(), 3);
    const int group = edits.first().first().value<EditRecord>().group;
    QVERIFY(group != 0);
    for (const QList<QVariant>& e : edits)
        QCOMPARE(e.first().value<EditRecord>().group, group);
    QCOMPARE(t.w.safetyNet().history().count(), stepsBefore + 1);
    QCOMPARE(t.w.statusText(0), QStringLiteral("Mixture suggestions: 3 points changed"));
    QVERIFY(waitUntil([&] { return d.isNull(); }, 3000));
    QVERIFY(rpmChart->pointMarkItems().empty());

    // Close applies nothing and takes the arrows away.
    t.unit.clearRecord();
    d = openDialog();
    QVERIFY(d);
    QVERIFY(!rpmChart->pointMarkItems().empty());
    d->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    QVERIFY(noMoreSets(t.unit, 0));
    QVERIFY(rpmChart->pointMarkItems().empty());
    QVERIFY(waitUntil([&] { return d.isNull(); }, 3000));

    // One undo sends every old value back; the tune has changed, so the open dialog's suggestions
    // and arrows are gone and nothing can be applied.
    d = openDialog();
    QVERIFY(d);
    QPushButton* apply = d->findChild<QPushButton*>(QStringLiteral("ApplyButton"));
    QVERIFY(apply->isEnabled());
    button(t.w, "spUndo")->click();
    QVERIFY(waitForSets(t.unit, 3));
    QVERIFY(noMoreSets(t.unit, 3));
    QCOMPARE(sets(t.unit),
             (QList<QByteArray>{bytes(0xCA, 31 + a, int(oldH) + 100), bytes(0xDE, 63 + c, int(oldC) + 100),
                                bytes(0xDE, 63 + a, int(oldA) + 100)}));
    QCOMPARE(t.point(MapId::FuelRpmHigh, a), oldH);
    QCOMPARE(t.point(MapId::FuelRpmCruise, a), oldA);
    QCOMPARE(t.point(MapId::FuelRpmCruise, c), oldC);
    QVERIFY(rpmChart->pointMarkItems().empty());
    QVERIFY(!apply->isEnabled());
    QCOMPARE(d->table(kCruise)->rowCount(), 0);
    d->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    QVERIFY(noMoreSets(t.unit, 3));
    QVERIFY(waitUntil([&] { return d.isNull(); }, 3000));

    // A tune read again from the unit voids the suggestions too.
    t.unit.clearRecord();
    d = openDialog();
    QVERIFY(d);
    QVERIFY(!rpmChart->pointMarkItems().empty());
    // The PC's copy differs from what the unit stored: the read asks first.
    t.bench.prompts.expect(FakePrompts::kUnsavedChangesText);
    t.bench.prompts.unsavedChoice = UiPrompts::UnsavedChoice::Discard;
    t.w.spReadClick();
    QVERIFY(finishFlows(t.w));
    QVERIFY(nonPollCommands(t.unit).contains(0xFD));
    QVERIFY(rpmChart->pointMarkItems().empty());
    QVERIFY(!d->findChild<QPushButton*>(QStringLiteral("ApplyButton"))->isEnabled());
    d->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
    for (const QByteArray& command : sets(t.unit))
        QVERIFY(static_cast<std::uint8_t>(command.at(0)) != 0xDE &&
                static_cast<std::uint8_t>(command.at(0)) != 0xCA);
    QVERIFY(t.bench.prompts.unexpected().isEmpty());
}

QTEST_MAIN(TestMixture)
#include "tst_mixture.moc"
