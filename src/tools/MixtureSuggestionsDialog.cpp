#include "tools/MixtureSuggestionsDialog.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/Rounding.h"
#include "mapeditor/CurveTools.h"
#include "monitor/DataLogFile.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kPointRole = Qt::UserRole;
constexpr int kCurveCount = 4;

const QString kCurveTitles[kCurveCount] = {QStringLiteral("Low"), QStringLiteral("Cruise"),
                                           QStringLiteral("High"), QStringLiteral("Fuel-vacuum")};

QString percent(double share) {
    return QString::number(roundHalfEven(share * 100.0)) + QStringLiteral(" %");
}

QString signedValue(double v) {
    const int n = static_cast<int>(roundHalfEven(v));
    return n > 0 ? QStringLiteral("+%1").arg(n) : QString::number(n);
}

QString rejectsText(const MixtureRejectCounts& counts) {
    QStringList parts;
    for (int k = 0; k < kMixtureRejectCount; ++k)
        if (const std::int64_t n = counts[static_cast<size_t>(k)])
            parts << QStringLiteral("%1 %2").arg(n).arg(mixtureRejectText(MixtureReject(k)));
    return parts.join(QStringLiteral(", "));
}

bool listed(const MixturePoint& p) {
    if (p.hits > 0)
        return true;
    for (std::int64_t n : p.rejects)
        if (n > 0)
            return true;
    return false;
}

QTableWidgetItem* cell(const QString& text, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setTextAlignment(align);
    return item;
}

} // namespace

const QString MixtureSuggestionsDialog::kSensorNote = QStringLiteral(
    "A narrowband sensor tells only whether the mixture is lean or rich of about 0.45 V, never by how "
    "much, so each pass moves a point a bounded step: apply, drive again, repeat. Nothing is sent "
    "until \"Apply\".");

MixtureSuggestionsDialog::MixtureSuggestionsDialog(CalibrationEditor& editor, MixtureDialogHooks hooks,
                                                   QWidget* parent)
    : QDialog(parent), editor_(editor), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("MixtureSuggestionsDialog"));
    setWindowTitle(QStringLiteral("Mixture suggestions"));
    setAccessibleName(QStringLiteral("Mixture suggestions"));
    auto* layout = new QVBoxLayout(this);

    auto* source = new QHBoxLayout;
    source->addWidget(new QLabel(QStringLiteral("Log:"), this));
    RecordingSource = new QRadioButton(QStringLiteral("Current recording"), this);
    RecordingSource->setObjectName(QStringLiteral("RecordingSource"));
    RecordingSource->setAccessibleName(QStringLiteral("Use the current recording"));
    RecordingSource->setToolTip(QStringLiteral("The run the Data Logger page holds now."));
    FileSource = new QRadioButton(QStringLiteral("Open log..."), this);
    FileSource->setObjectName(QStringLiteral("FileSource"));
    FileSource->setAccessibleName(QStringLiteral("Open a log file"));
    FileSource->setToolTip(QStringLiteral("A .csv or .msl log recorded with this tune."));
    SourceLabel = new QLabel(this);
    SourceLabel->setObjectName(QStringLiteral("SourceLabel"));
    SourceLabel->setAccessibleName(QStringLiteral("Log analysed"));
    source->addWidget(RecordingSource);
    source->addWidget(FileSource);
    source->addWidget(SourceLabel, 1);
    layout->addLayout(source);
    connect(RecordingSource, &QRadioButton::clicked, this, &MixtureSuggestionsDialog::RecordingSourceClick);
    connect(FileSource, &QRadioButton::clicked, this, &MixtureSuggestionsDialog::FileSourceClick);

    auto* options = new QHBoxLayout;
    AdjustVacuum =
        new QCheckBox(QStringLiteral("Adjust the fuel-vacuum map instead of the RPM curves"), this);
    AdjustVacuum->setObjectName(QStringLiteral("AdjustVacuum"));
    AdjustVacuum->setAccessibleName(AdjustVacuum->text());
    AdjustVacuum->setToolTip(QStringLiteral(
        "Each reading is made by one RPM point and one fuel-vacuum point together; a pass moves only one "
        "of the two maps."));
    auto* waterCaption = new QLabel(QStringLiteral("Warm from:"), this);
    MinWater = new QSpinBox(this);
    MinWater->setObjectName(QStringLiteral("MinWater"));
    MinWater->setAccessibleName(QStringLiteral("Warm threshold"));
    MinWater->setToolTip(QStringLiteral("Readings with the water colder than this are left out: the "
                                        "warm-up enrichment is at work."));
    MinWater->setRange(0, 120);
    MinWater->setSuffix(QStringLiteral(" °C"));
    MinWater->setValue(static_cast<int>(MixtureOptions{}.minWaterC));
    waterCaption->setBuddy(MinWater);
    options->addWidget(AdjustVacuum);
    options->addStretch(1);
    options->addWidget(waterCaption);
    options->addWidget(MinWater);
    layout->addLayout(options);
    connect(AdjustVacuum, &QCheckBox::toggled, this, [this] { analyse(); });
    connect(MinWater, &QSpinBox::valueChanged, this, [this] { analyse(); });

    SensorNote = new QLabel(kSensorNote, this);
    SensorNote->setObjectName(QStringLiteral("SensorNote"));
    SensorNote->setWordWrap(true);
    layout->addWidget(SensorNote);

    LeftOutLabel = new QLabel(this);
    LeftOutLabel->setObjectName(QStringLiteral("LeftOutLabel"));
    LeftOutLabel->setAccessibleName(QStringLiteral("Readings left out"));
    LeftOutLabel->setWordWrap(true);
    layout->addWidget(LeftOutLabel);

    CurveTabs = new QTabWidget(this);
    CurveTabs->setObjectName(QStringLiteral("CurveTabs"));
    CurveTabs->setAccessibleName(QStringLiteral("Fuel curves"));
    const QStringList headers{
        QStringLiteral("Point"),   QStringLiteral("RPM"),        QStringLiteral("Hits"),
        QStringLiteral("Lean"),    QStringLiteral("Rich"),       QStringLiteral("Confidence"),
        QStringLiteral("Reading"), QStringLiteral("Suggestion"), QStringLiteral("Left out")};
    for (int c = 0; c < kCurveCount; ++c) {
        auto* t = new QTableWidget(0, ColumnCount, CurveTabs);
        t->setObjectName(QStringLiteral("MixtureTable%1").arg(c + 1));
        t->setAccessibleName(kCurveTitles[c] + QStringLiteral(" fuel curve suggestions"));
        QStringList h = headers;
        if (c == 3)
            h[Axis] = QStringLiteral("Vacuum (bar)");
        t->setHorizontalHeaderLabels(h);
        t->verticalHeader()->hide();
        t->setSelectionBehavior(QAbstractItemView::SelectRows);
        t->horizontalHeader()->setStretchLastSection(true);
        connect(t, &QTableWidget::itemChanged, this, [this] { updateApply(); });
        tables_.push_back(t);
        CurveTabs->addTab(t, kCurveTitles[c]);
    }
    layout->addWidget(CurveTabs, 1);

    auto* bottom = new QHBoxLayout;
    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setAccessibleName(QStringLiteral("Suggestions summary"));
    SummaryLabel->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    ApplyButton = buttons->addButton(QStringLiteral("Apply"), QDialogButtonBox::ActionRole);
    ApplyButton->setObjectName(QStringLiteral("ApplyButton"));
    ApplyButton->setAccessibleName(QStringLiteral("Apply the checked suggestions"));
    ApplyButton->setToolTip(
        QStringLiteral("Sends the checked points to the EMU as one step that Undo takes back."));
    CloseButton = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setAccessibleName(QStringLiteral("Close without applying"));
    // Return in the warm threshold box must never apply: neither button is the default.
    ApplyButton->setAutoDefault(false);
    CloseButton->setAutoDefault(false);
    bottom->addWidget(SummaryLabel, 1);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    connect(ApplyButton, &QPushButton::clicked, this, &MixtureSuggestionsDialog::ApplyClick);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    // Any edit of a fuel point (a chart, a key, an undo) voids what the dialog shows.
    connect(&editor_, &CalibrationEditor::mapChanged, this, [this](MapId map) {
        if (!applying_ && curveIndex(map) >= 0)
            tuneChanged();
    });
    RecordingSource->setChecked(true);
    resize(980, 600);
    updateApply();
}

QTableWidget* MixtureSuggestionsDialog::table(int curve) const {
    return tables_.at(static_cast<size_t>(curve));
}

int MixtureSuggestionsDialog::curveIndex(MapId map) const {
    switch (map) {
    case MapId::FuelRpmLow:
        return 0;
    case MapId::FuelRpmCruise:
        return 1;
    case MapId::FuelRpmHigh:
        return 2;
    case MapId::FuelVacuum:
        return 3;
    default:
        return -1;
    }
}

int MixtureSuggestionsDialog::rowOf(int curve, int point) const {
    const QTableWidget* t = table(curve);
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, Point)->data(kPointRole).toInt() == point)
            return r;
    return -1;
}

void MixtureSuggestionsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!result_)
        analyse();
}

void MixtureSuggestionsDialog::RecordingSourceClick() {
    fromFile_ = false;
    analyse();
}

void MixtureSuggestionsDialog::FileSourceClick() {
    const QString path = hooks_.askLogName ? hooks_.askLogName() : QString();
    if (path.isEmpty()) {
        // Cancelled: the source stays what it was.
        (fromFile_ ? FileSource : RecordingSource)->setChecked(true);
        return;
    }
    DataLogFile::ReadResult read = DataLogFile::readFile(path);
    if (!read.ok) {
        (fromFile_ ? FileSource : RecordingSource)->setChecked(true);
        showSummary(QStringLiteral("%1 was not read: %2").arg(QFileInfo(path).fileName(), read.error));
        return;
    }
    fileLog_ = std::move(read.log);
    filePath_ = path;
    fromFile_ = true;
    analyse();
    if (!read.warning.isEmpty())
        SourceLabel->setText(SourceLabel->text() + QStringLiteral(" (") + read.warning + QLatin1Char(')'));
}

void MixtureSuggestionsDialog::analyse() {
    result_.reset();
    clearTables();
    const DataLog* log =
        fromFile_ ? &fileLog_ : (hooks_.currentRecording ? hooks_.currentRecording() : nullptr);
    const QString name =
        fromFile_ ? QFileInfo(filePath_).fileName() : QStringLiteral("the current recording");
    if (!log || log->empty()) {
        SourceLabel->setText(fromFile_ ? name : QStringLiteral("The recording is empty."));
        showSummary(
            QStringLiteral("No samples to read: record a run on the Data Logger page, or open a log."));
        return;
    }
    const int seconds = log->durationMs() / 1000;
    SourceLabel->setText(QStringLiteral("%1: %2 samples, %3:%4")
                             .arg(name)
                             .arg(log->size())
                             .arg(seconds / 60)
                             .arg(seconds % 60, 2, 10, QLatin1Char('0')));
    const EmuState& state = editor_.state();
    if (!state.link.DataReady) {
        showSummary(QStringLiteral("No tune is loaded: connect to the EMU or open a file first."));
        return;
    }
    if (!state.cal.HasFuelMaps) {
        showSummary(QStringLiteral("This EMU has no fuel maps."));
        return;
    }
    MixtureOptions options;
    options.adjustVacuumMap = AdjustVacuum->isChecked();
    options.minWaterC = MinWater->value();
    result_ = analyseMixture(*log, state.cal, options);
    fillTables();
}

void MixtureSuggestionsDialog::clearTables() {
    for (QTableWidget* t : tables_) {
        const QSignalBlocker block(t);
        t->setRowCount(0);
    }
    LeftOutLabel->clear();
    if (hooks_.showArrows)
        hooks_.showArrows({});
    updateApply();
}

void MixtureSuggestionsDialog::fillTables() {
    const MixtureResult& result = *result_;
    const QString reasons = rejectsText(result.rejects);
    LeftOutLabel->setText(QStringLiteral("%1 of %2 samples used; left out: %3")
                              .arg(result.used)
                              .arg(result.samples)
                              .arg(reasons.isEmpty() ? QStringLiteral("none") : reasons));
    for (const MixtureCurve& curve : result.curves) {
        const int c = curveIndex(curve.map);
        if (c < 0)
            continue;
        QTableWidget* t = table(c);
        const QSignalBlocker block(t);
        const bool vacuum = curve.map == MapId::FuelVacuum;
        for (const MixturePoint& p : curve.points) {
            if (!listed(p))
                continue;
            const int row = t->rowCount();
            t->insertRow(row);
            auto* point = cell(QString::number(p.point), Qt::AlignLeft | Qt::AlignVCenter);
            point->setData(kPointRole, p.point);
            if (p.step != 0 && curve.adjusted) {
                point->setFlags(point->flags() | Qt::ItemIsUserCheckable);
                point->setCheckState(Qt::Checked);
            }
            t->setItem(row, Point, point);
            t->setItem(row, Axis,
                       cell(vacuum ? QString::number(p.axis, 'f', 2)
                                   : QString::number(roundHalfEven(p.axis * 100.0))));
            t->setItem(row, Hits, cell(QString::number(p.hits)));
            t->setItem(row, Lean, cell(p.hits ? percent(p.leanShare) : QStringLiteral("-")));
            t->setItem(row, Rich, cell(p.hits ? percent(p.richShare) : QStringLiteral("-")));
            t->setItem(row, Confidence,
                       cell(mixtureConfidenceText(p.confidence), Qt::AlignLeft | Qt::AlignVCenter));
            t->setItem(row, Verdict, cell(mixtureVerdictText(p.verdict), Qt::AlignLeft | Qt::AlignVCenter));
            QString suggestion;
            if (p.step != 0)
                suggestion =
                    QStringLiteral("%1 → %2 %").arg(signedValue(p.current), signedValue(p.suggested));
            else if (!curve.adjusted && p.hits > 0)
                suggestion = QStringLiteral("(other map)");
            t->setItem(row, Suggestion, cell(suggestion, Qt::AlignLeft | Qt::AlignVCenter));
            t->setItem(row, LeftOut, cell(rejectsText(p.rejects), Qt::AlignLeft | Qt::AlignVCenter));
        }
        t->resizeColumnsToContents();
        int suggested = 0;
        for (const MixturePoint& p : curve.points)
            suggested += curve.adjusted && p.step != 0;
        CurveTabs->setTabText(c, suggested ? QStringLiteral("%1 (%2)").arg(kCurveTitles[c]).arg(suggested)
                                           : kCurveTitles[c]);
    }
    // The tab worth seeing first: the curve with the most suggestions, else the first with readings.
    int shown = -1;
    int most = 0;
    for (const MixtureCurve& curve : result.curves) {
        const int c = curveIndex(curve.map);
        int suggested = 0;
        for (const MixturePoint& p : curve.points)
            suggested += curve.adjusted && p.step != 0;
        if (c >= 0 && suggested > most) {
            most = suggested;
            shown = c;
        }
    }
    for (int c = 0; c < kCurveCount && shown < 0; ++c)
        if (table(c)->rowCount() > 0)
            shown = c;
    if (shown >= 0)
        CurveTabs->setCurrentIndex(shown);
    if (hooks_.showArrows)
        hooks_.showArrows(mixtureChanges(result));
    updateApply();
}

std::vector<MixtureChange> MixtureSuggestionsDialog::checkedChanges() const {
    std::vector<MixtureChange> out;
    if (!result_)
        return out;
    for (const MixtureChange& change : mixtureChanges(*result_)) {
        const int c = curveIndex(change.map);
        const int row = c < 0 ? -1 : rowOf(c, change.point);
        if (row >= 0 && table(c)->item(row, Point)->checkState() == Qt::Checked)
            out.push_back(change);
    }
    return out;
}

void MixtureSuggestionsDialog::showSummary(const QString& text) {
    SummaryLabel->setText(text);
}

void MixtureSuggestionsDialog::updateApply() {
    if (!result_) {
        ApplyButton->setEnabled(false);
        return;
    }
    const size_t suggested = mixtureChanges(*result_).size();
    const size_t checked = checkedChanges().size();
    ApplyButton->setEnabled(checked > 0);
    showSummary(suggested == 0
                    ? QStringLiteral("No point to change: every point seen often enough "
                                     "switches around the target, or too few readings.")
                    : QStringLiteral("%1 of %2 suggested points checked.").arg(checked).arg(suggested));
}

void MixtureSuggestionsDialog::tuneChanged() {
    if (!result_)
        return;
    result_.reset();
    clearTables();
    for (int c = 0; c < kCurveCount; ++c)
        CurveTabs->setTabText(c, kCurveTitles[c]);
    showSummary(QStringLiteral("The tune has changed since this analysis: choose the log again to read it "
                               "against the tune as it is now."));
}

void MixtureSuggestionsDialog::ApplyClick() {
    const std::vector<MixtureChange> changes = checkedChanges();
    if (changes.empty())
        return;
    // One edit per curve, in the order the tables list them.
    std::vector<std::pair<MapId, CurveEdit>> edits;
    for (const MixtureChange& c : changes) {
        if (edits.empty() || edits.back().first != c.map)
            edits.push_back({c.map, {}});
        edits.back().second.changes.push_back({c.point, c.to});
    }
    int applied = 0;
    applying_ = true;
    {
        // Every curve's points in one operation: one undo step, one journal group.
        const CalibrationEditor::Group group(editor_);
        for (const auto& [map, edit] : edits) {
            const int n = CurveTools::apply(editor_, map, edit);
            applied += n;
            if (n < static_cast<int>(edit.changes.size()))
                break;
        }
    }
    applying_ = false;
    const int wanted = static_cast<int>(changes.size());
    const QString text =
        applied == wanted
            ? QStringLiteral("Mixture suggestions: %1 %2 changed")
                  .arg(applied)
                  .arg(applied == 1 ? "point" : "points")
            : QStringLiteral("Mixture suggestions: %1 of %2 points changed; the EMU did not take the rest")
                  .arg(applied)
                  .arg(wanted);
    if (hooks_.showStatus)
        hooks_.showStatus(text);
    if (applied == wanted) {
        accept();
        return;
    }
    tuneChanged();
    showSummary(text);
}

void MixtureSuggestionsDialog::done(int r) {
    if (hooks_.showArrows)
        hooks_.showArrows({});
    QDialog::done(r);
}
