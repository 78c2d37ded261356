#include "monitor/DataLoggerPage.h"

#include "monitor/MonotonicClock.h"
#include "monitor/DataLogFile.h"
#include "monitor/TThreadedTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtNumeric>

#include <qcustomplot.h>

namespace {

// Colours as the unit's tools give them: 24-bit numbers with red in the low byte.
constexpr QColor bgr(unsigned v) {
    return QColor(static_cast<int>(v & 0xff), static_cast<int>((v >> 8) & 0xff),
                  static_cast<int>((v >> 16) & 0xff));
}

struct SeriesSetup {
    const char* title;
    const char* box; // object name of its check box
    unsigned colourBgr;
    double (*value)(const LiveValues&);
};

const SeriesSetup kSeries[DataLoggerPage::kSeriesCount] = {
    {"RPM", "LogRpm", 0x0000ff, [](const LiveValues& v) { return v.RpmHundreds; }},
    {"Timing", "LogTiming", 0x008000, [](const LiveValues& v) { return v.LiveTiming; }},
    {"Vacuum", "LogVacuum", 65021, [](const LiveValues& v) { return v.Vacuum * 100; }},
    {"Lambda", "LogLambda", 4227327, [](const LiveValues& v) { return v.LambdaHundredths / 10; }},
    {"Volt", "LogVolt", 0xff0000, [](const LiveValues& v) { return v.BatteryTenths / 10; }},
    {"Injector %", "LogInjectorDuty", 8421440, [](const LiveValues& v) { return double(v.InjectorDuty); }},
    {"Injector (ms)", "LogInjectorMs", 8421631, [](const LiveValues& v) { return v.InjectorTenthsMs / 10; }},
    {"Temperature", "LogTemperature", 0xff00ff, [](const LiveValues& v) { return v.WaterTemp; }},
    {"Throttle %", "LogThrottle", 0x800000, [](const LiveValues& v) { return v.ThrottlePercent; }},
    {"Air Temp", "LogAirTemp", 13421568, [](const LiveValues& v) { return v.AirTemp; }},
    {"POT %", "LogPot", 57600, [](const LiveValues& v) { return v.PotPercent; }},
};
constexpr int kInjectorDutyIndex = 5; // its swatch is grey

QLabel* swatch(const QColor& c, QWidget* parent) {
    auto* s = new QLabel(parent);
    s->setFixedSize(14, 14);
    s->setStyleSheet(QStringLiteral("background: %1; border: 1px solid #555;").arg(c.name()));
    return s;
}

QString intervalText(int ms) {
    return ms < 1000 ? QStringLiteral("%1 ms").arg(ms) : QStringLiteral("%1 s").arg(ms / 1000);
}

} // namespace

DataLoggerPage::DataLoggerPage(const EmuState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("DataLoggerPage"));
    DataLogTimer = new TThreadedTimer(this);
    DataLogTimer->setObjectName(QStringLiteral("DataLogTimer"));
    DataLogTimer->setInterval(DataLogClock::timerIntervalFor(DataLogClock::kDefaultNominalMs));
    DataLogTimer->setThreadPriority(QThread::TimeCriticalPriority);
    DataLogTimer->setAllowZero(true);
    DataLogTimer->setPaced(true);
    connect(DataLogTimer, &TThreadedTimer::OnTimer, this, &DataLoggerPage::ThreadedTimer1Timer);

    auto* layout = new QHBoxLayout(this);
    auto* side = new QVBoxLayout;

    DataInterval = new QGroupBox(QStringLiteral("Interval"), this);
    DataInterval->setObjectName(QStringLiteral("DataInterval"));
    auto* iv = new QVBoxLayout(DataInterval);
    intervalGroup_ = new QButtonGroup(this);
    for (int ms : DataLogClock::kNominalMs) {
        auto* r = new QRadioButton(intervalText(ms), DataInterval);
        r->setObjectName(QStringLiteral("DataInterval%1").arg(ms));
        r->setAccessibleName(QStringLiteral("Interval ") + intervalText(ms));
        intervalGroup_->addButton(r, ms);
        iv->addWidget(r);
    }
    side->addWidget(DataInterval);

    auto* onOff = new QHBoxLayout;
    auto* onOffGroup = new QButtonGroup(this);
    const auto latch = [&](QToolButton*& b, const char* name, const QString& text) {
        b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setAccessibleName(QStringLiteral("Logging ") + text);
        b->setCheckable(true);
        b->setMinimumWidth(48);
        onOffGroup->addButton(b);
        onOff->addWidget(b);
    };
    latch(SpeedButton1, "SpeedButton1", QStringLiteral("On"));
    latch(SpeedButton2, "SpeedButton2", QStringLiteral("Off"));
    SpeedButton2->setChecked(true);
    connect(SpeedButton1, &QToolButton::clicked, this, &DataLoggerPage::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &DataLoggerPage::SpeedButton2Click);
    side->addLayout(onOff);

    auto* values = new QGroupBox(QStringLiteral("Values"), this);
    values->setObjectName(QStringLiteral("ValuesBox"));
    auto* vv = new QGridLayout(values);
    vv->setVerticalSpacing(2);

    LogChart = new QCustomPlot(this);
    LogChart->setObjectName(QStringLiteral("LogChart"));
    LogChart->setAccessibleName(QStringLiteral("Data log chart"));
    LogChart->setNotAntialiasedElements(QCP::aeAll);
    LogChart->setAntialiasedElements(QCP::aeNone);
    LogChart->setInteractions(QCP::iRangeDrag);
    LogChart->axisRect()->setRangeDrag(Qt::Horizontal);
    LogChart->xAxis->setLabel(QStringLiteral("Time (s)"));
    LogChart->yAxis->setLabel(QStringLiteral("Value"));
    LogChart->xAxis->setRange(0, DataLogClock::kWindowSeconds);
    LogChart->yAxis->setRange(0, 100);
    auto ticker = QSharedPointer<QCPAxisTickerFixed>::create();
    ticker->setTickStep(1);
    ticker->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    LogChart->xAxis->setTicker(ticker);
    LogChart->legend->setVisible(false);

    for (int i = 0; i < kSeriesCount; ++i) {
        const SeriesSetup& s = kSeries[i];
        const QColor colour = bgr(s.colourBgr);
        auto* box = new QCheckBox(QString::fromUtf8(s.title), values);
        box->setObjectName(QString::fromLatin1(s.box));
        box->setAccessibleName(QStringLiteral("Log ") + QString::fromUtf8(s.title));
        box->setChecked(true);
        vv->addWidget(swatch(i == kInjectorDutyIndex ? QColor(Qt::gray) : colour, values), i, 0);
        vv->addWidget(box, i, 1);
        boxes_[static_cast<size_t>(i)] = box;
        QCPGraph* g = LogChart->addGraph();
        g->setName(QString::fromUtf8(s.title));
        g->setPen(QPen(colour, 1));
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle::ssNone);
        g->setAdaptiveSampling(true);
        graphs_[static_cast<size_t>(i)] = g;
    }
    side->addWidget(values);

    DisplayChart = new QCheckBox(QStringLiteral("Display Chart"), this);
    DisplayChart->setObjectName(QStringLiteral("DisplayChart"));
    DisplayChart->setAccessibleName(QStringLiteral("Display Chart"));
    DisplayChart->setChecked(true);
    DisplayChart->setEnabled(false);
    side->addWidget(DisplayChart);

    auto* record = new QHBoxLayout;
    RecordToFile = new QCheckBox(QStringLiteral("Record to File"), this);
    RecordToFile->setObjectName(QStringLiteral("RecordToFile"));
    RecordToFile->setAccessibleName(QStringLiteral("Record to File"));
    RecordToFile->setToolTip(QStringLiteral("Write every sample to a log file in the chosen folder as it is taken"));
    connect(RecordToFile, &QCheckBox::clicked, this, &DataLoggerPage::RecordToFileClick);
    RecordFormat = new QComboBox(this);
    RecordFormat->setObjectName(QStringLiteral("RecordFormat"));
    RecordFormat->setAccessibleName(QStringLiteral("Log file format"));
    RecordFormat->addItem(QStringLiteral("CSV"), int(DataLogFile::Format::Csv));
    RecordFormat->addItem(QStringLiteral(".msl"), int(DataLogFile::Format::Msl));
    record->addWidget(RecordToFile);
    record->addWidget(RecordFormat);
    side->addLayout(record);
    LogFolderButton = new QPushButton(QStringLiteral("Log folder..."), this);
    LogFolderButton->setObjectName(QStringLiteral("LogFolderButton"));
    LogFolderButton->setAccessibleName(QStringLiteral("Choose the log folder"));
    connect(LogFolderButton, &QPushButton::clicked, this, &DataLoggerPage::chooseLogFolder);
    side->addWidget(LogFolderButton);
    RecordStatus = new QLabel(this);
    RecordStatus->setObjectName(QStringLiteral("RecordStatus"));
    RecordStatus->setAccessibleName(QStringLiteral("Recording"));
    RecordStatus->setWordWrap(true);
    RecordStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    side->addWidget(RecordStatus);

    auto* markers = new QHBoxLayout;
    MarkerButton = new QPushButton(QStringLiteral("Marker"), this);
    MarkerButton->setObjectName(QStringLiteral("MarkerButton"));
    MarkerButton->setAccessibleName(QStringLiteral("Drop a marker"));
    MarkerButton->setToolTip(QStringLiteral("Mark this moment in the log (Space)"));
    MarkerButton->setEnabled(false);
    connect(MarkerButton, &QPushButton::clicked, this, &DataLoggerPage::dropMarker);
    MarkerNote = new QLineEdit(this);
    MarkerNote->setObjectName(QStringLiteral("MarkerNote"));
    MarkerNote->setAccessibleName(QStringLiteral("Marker note"));
    MarkerNote->setPlaceholderText(QStringLiteral("note"));
    MarkerNote->setMaxLength(80);
    connect(MarkerNote, &QLineEdit::returnPressed, this, &DataLoggerPage::dropMarker);
    markers->addWidget(MarkerButton);
    markers->addWidget(MarkerNote, 1);
    side->addLayout(markers);
    // Space anywhere on the page drops a marker; a text box takes its own spaces first.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    space->setContext(Qt::WidgetWithChildrenShortcut);
    connect(space, &QShortcut::activated, this, [this] {
        if (logging())
            dropMarker();
    });
    side->addStretch();
    updateRecordStatus();

    layout->addLayout(side, 0);
    layout->addWidget(LogChart, 1);
}

DataLoggerPage::~DataLoggerPage() {
    // The worker is joined here, before the chart it feeds goes away.
    delete DataLogTimer;
    DataLogTimer = nullptr;
}

void DataLoggerPage::selectInterval(int nominalMs) {
    if (QAbstractButton* b = intervalGroup_->button(nominalMs))
        b->setChecked(true);
}

int DataLoggerPage::selectedInterval() const {
    const int id = intervalGroup_->checkedId();
    return id > 0 ? id : 0;
}

bool DataLoggerPage::logging() const {
    return SpeedButton1->isChecked();
}

bool DataLoggerPage::confirm(const QString& question) const {
    return hooks_.confirm ? hooks_.confirm(question) : true;
}

void DataLoggerPage::SpeedButton1Click() {
    // A running log is not thrown away without a question.
    if (logging() && !log_.empty() &&
        !confirm(QStringLiteral("A recording is running. Clear the chart and start a new recording?"))) {
        SpeedButton1->setChecked(true);
        return;
    }
    SpeedButton1->setChecked(true);
    // Before any interval is chosen, "On" takes the usual 100 ms and shows it chosen.
    if (selectedInterval() == 0)
        selectInterval(DataLogClock::kDefaultNominalMs);
    const int n = selectedInterval();
    stopFile();
    DataLogTimer->setEnabled(false);
    DataLogTimer->setInterval(DataLogClock::timerIntervalFor(n));
    clock_.start(n, now_ ? now_() : monotonicMs());
    clearLog();
    DataLogTimer->setEnabled(true);
    MarkerButton->setEnabled(true);
    if (RecordToFile->isChecked())
        startFile();
    replotIfShown();
}

void DataLoggerPage::SpeedButton2Click() {
    SpeedButton2->setChecked(true);
    DataLogTimer->setEnabled(false);
    MarkerButton->setEnabled(false);
    markerPending_ = false;
    stopFile();
}

void DataLoggerPage::clearLog() {
    log_.clear();
    markerPending_ = false;
    LogChart->xAxis->setRange(0, DataLogClock::kWindowSeconds);
    for (QCPGraph* g : graphs_)
        g->data()->clear();
    for (QCPItemStraightLine* l : markerLines_)
        LogChart->removeItem(l);
    for (QCPItemText* t : markerLabels_)
        LogChart->removeItem(t);
    markerLines_.clear();
    markerLabels_.clear();
}

void DataLoggerPage::ThreadedTimer1Timer() {
    if (!SpeedButton1->isChecked() || !state_.link.EmuConnected)
        return;
    // While no data arrives the lines break once (a NaN point) and stay broken: no copies of the
    // last values. Time goes on, so the gap shows how long the silence lasted.
    const DataLogClock::Tick tick = clock_.take(state_.live, now_ ? now_() : monotonicMs());
    if (tick.take == DataLogClock::Take::None)
        return;
    const double t = tick.timeMs / 1000.0;
    const bool gap = tick.take == DataLogClock::Take::Gap;

    LogSample sample;
    sample.timeMs = static_cast<std::int32_t>(tick.timeMs);
    sample.sample = static_cast<std::uint32_t>(clock_.count());
    for (int c = 0; c < LogChannels::kCount; ++c) {
        double v = LogChannels::at(c).fromLive(state_.live);
        if (c == LogChannels::kFuelCurve)
            v = hooks_.fuelCurve ? hooks_.fuelCurve() : 0;
        sample.values[static_cast<size_t>(c)] = gap ? qQNaN() : static_cast<float>(v);
    }
    log_.append(sample);
    const LogMarker* marker = nullptr;
    if (markerPending_) {
        markerPending_ = false;
        marker = &log_.addMarker(log_.size() - 1, pendingNote_);
        drawMarker(*marker, t);
    }
    if (writer_.isOpen() && !writer_.append(sample, marker))
        recordingFailed(writer_.error());

    for (int i = 0; i < kSeriesCount; ++i)
        if (boxes_[static_cast<size_t>(i)]->isChecked())
            graphs_[static_cast<size_t>(i)]->addData(t, gap ? qQNaN() : kSeries[i].value(state_.live));
    const QCPRange range = LogChart->xAxis->range();
    const double start = DataLogClock::windowStartAfter(t, range.lower);
    if (start != range.lower)
        LogChart->xAxis->setRange(start, start + DataLogClock::kWindowSeconds);
    replotIfShown();
}

void DataLoggerPage::dropMarker() {
    if (!logging())
        return;
    markerPending_ = true;
    pendingNote_ = MarkerNote->text();
    MarkerNote->clear();
}

void DataLoggerPage::drawMarker(const LogMarker& marker, double seconds) {
    auto* line = new QCPItemStraightLine(LogChart);
    line->point1->setCoords(seconds, 0);
    line->point2->setCoords(seconds, 1);
    line->setPen(QPen(QColor(0x33, 0x33, 0x33), 1, Qt::DashLine));
    auto* label = new QCPItemText(LogChart);
    label->position->setTypeX(QCPItemPosition::ptPlotCoords);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(seconds, 0.02);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(QStringLiteral(" M%1 %2").arg(marker.number).arg(marker.note).trimmed());
    label->setPadding(QMargins(3, 1, 3, 1));
    label->setBrush(QBrush(QColor(255, 255, 255, 220)));
    markerLines_.push_back(line);
    markerLabels_.push_back(label);
}

DataLogFile::Format DataLoggerPage::recordFormat() const {
    return static_cast<DataLogFile::Format>(RecordFormat->currentData().toInt());
}

void DataLoggerPage::setRecordFormat(DataLogFile::Format format) {
    RecordFormat->setCurrentIndex(RecordFormat->findData(int(format)));
}

QString DataLoggerPage::recordingPath() const {
    return writer_.isOpen() ? writer_.path() : QString();
}

QString DataLoggerPage::recordingName(const QDateTime& at) const {
    QString unit = QStringLiteral("EMU");
    if (state_.link.Identity.model() > 0)
        unit += QString::number(state_.link.Identity.model());
    if (!state_.link.SerialNumberText.isEmpty())
        unit += QLatin1Char(' ') + state_.link.SerialNumberText;
    for (QChar& c : unit)
        if (!c.isLetterOrNumber() && c != u'-' && c != u' ')
            c = u'_';
    return at.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) + QLatin1Char(' ') + unit + QLatin1Char('.') +
           DataLogFile::suffix(recordFormat());
}

void DataLoggerPage::chooseLogFolder() {
    const QString folder = hooks_.chooseFolder ? hooks_.chooseFolder(folder_) : QString();
    if (folder.isEmpty())
        return;
    folder_ = folder;
    emit logFolderChosen(folder);
    updateRecordStatus();
}

void DataLoggerPage::RecordToFileClick(bool checked) {
    RecordToFile->setChecked(checked);
    if (!checked) {
        stopFile();
        return;
    }
    if (folder_.isEmpty() || !QDir(folder_).exists())
        chooseLogFolder();
    if (folder_.isEmpty() || !QDir(folder_).exists()) {
        RecordToFile->setChecked(false);
        return;
    }
    // Checked while logging: the file starts with what the chart holds; else with the next "On".
    if (logging())
        startFile();
    updateRecordStatus();
}

void DataLoggerPage::startFile() {
    if (folder_.isEmpty() || !QDir(folder_).exists()) {
        recordingFailed(QStringLiteral("The log folder is not there any more."));
        return;
    }
    const QDir dir(folder_);
    const QString base = recordingName(QDateTime::currentDateTime());
    QString path = dir.filePath(base);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(QFileInfo(base).completeBaseName() + QStringLiteral(" (%1).").arg(n) +
                            QFileInfo(base).suffix());
    const QString error = writer_.open(path, recordFormat());
    if (!error.isEmpty()) {
        recordingFailed(error);
        return;
    }
    const auto& markers = log_.markers();
    size_t next = 0;
    for (std::int64_t i = 0; i < log_.size(); ++i) {
        const LogMarker* m = next < markers.size() && markers[next].row == i ? &markers[next++] : nullptr;
        if (!writer_.append(log_.sample(i), m)) {
            recordingFailed(writer_.error());
            return;
        }
    }
    RecordFormat->setEnabled(false);
    updateRecordStatus();
    emit recordingChanged(path);
}

void DataLoggerPage::stopFile() {
    if (!writer_.isOpen())
        return;
    writer_.close();
    RecordFormat->setEnabled(true);
    updateRecordStatus();
    emit recordingChanged(QString());
}

void DataLoggerPage::recordingFailed(const QString& why) {
    const QString path = writer_.path();
    writer_.close();
    RecordToFile->setChecked(false);
    RecordFormat->setEnabled(true);
    updateRecordStatus();
    emit recordingChanged(QString());
    const QString text = QStringLiteral("The log could not be written to %1: %2").arg(QDir::toNativeSeparators(path), why);
    if (hooks_.showError)
        hooks_.showError(text);
}

void DataLoggerPage::updateRecordStatus() {
    if (writer_.isOpen())
        RecordStatus->setText(QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(writer_.path())));
    else if (folder_.isEmpty())
        RecordStatus->setText(QStringLiteral("No log folder chosen yet"));
    else
        RecordStatus->setText(QStringLiteral("Log folder: %1").arg(QDir::toNativeSeparators(folder_)));
}

void DataLoggerPage::replotIfShown() {
    if (LogChart->isVisible())
        LogChart->replot(QCustomPlot::rpQueuedReplot);
}

void DataLoggerPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    LogChart->replot(QCustomPlot::rpQueuedReplot);
}
