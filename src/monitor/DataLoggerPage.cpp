#include "monitor/DataLoggerPage.h"

#include "monitor/DataLogFile.h"
#include "monitor/LogReplay.h"
#include "monitor/LogTraceDisplay.h"
#include "monitor/MonotonicClock.h"
#include "monitor/TThreadedTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtNumeric>

#include <charconv>
#include <cmath>

#include <qcustomplot.h>

namespace {

// The value scales: one per unit (the two voltages apart, their ranges differ tenfold), each an
// axis with its unit, on the left or the right of the chart.
struct Scale {
    const char* label;
    double lower;
    double upper;
    bool right;
};
enum ScaleId {
    kRpmScale,
    kPercentScale,
    kTempScale,
    kBarScale,
    kLambdaScale,
    kBatteryScale,
    kMsScale,
    kDegScale
};
const Scale kScales[] = {
    {"RPM (rpm)", 0, 8000, false},
    {"Percent (%)", 0, 100, false},
    {"Temperature (\u00b0C)", -20, 140, false},
    {"Vacuum (bar)", 0, 3.5, true},
    {"Lambda (V)", 0, 1, true},
    {"Battery (V)", 8, 16, true},
    {"Injector (ms)", 0, 25, true},
    {"Timing (\u00b0)", 0, 45, true},
};

// Okabe-Ito colours, told apart with colour-blindness too (its yellow is too faint on white and
// is left out); the four that repeat a colour are dashed.
struct SeriesSetup {
    const char* title;
    const char* box; // object name of its check box
    int channel;     // the log channel it shows
    int scale;
    QRgb colour;
    Qt::PenStyle style;
};

const SeriesSetup kSeries[DataLoggerPage::kSeriesCount] = {
    {"RPM", "LogRpm", 0, kRpmScale, 0xD55E00, Qt::SolidLine},
    {"Timing", "LogTiming", 10, kDegScale, 0x009E73, Qt::SolidLine},
    {"Vacuum", "LogVacuum", 1, kBarScale, 0x56B4E9, Qt::SolidLine},
    {"Lambda", "LogLambda", 3, kLambdaScale, 0xE69F00, Qt::SolidLine},
    {"Volt", "LogVolt", 7, kBatteryScale, 0x0072B2, Qt::SolidLine},
    {"Injector %", "LogInjectorDuty", 9, kPercentScale, 0xCC79A7, Qt::SolidLine},
    {"Injector (ms)", "LogInjectorMs", 8, kMsScale, 0xCC79A7, Qt::DashLine},
    {"Temperature", "LogTemperature", 4, kTempScale, 0x000000, Qt::SolidLine},
    {"Throttle %", "LogThrottle", 2, kPercentScale, 0x0072B2, Qt::DashLine},
    {"Air Temp", "LogAirTemp", 5, kTempScale, 0x000000, Qt::DashLine},
    {"POT %", "LogPot", 6, kPercentScale, 0x009E73, Qt::DashLine},
};

// A logged float as the file writes it (1.51, not the binary 1.50999...).
QString valueText(float v) {
    if (std::isnan(v))
        return QStringLiteral("-");
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

QLabel* swatch(const QColor& c, Qt::PenStyle style, QWidget* parent) {
    auto* s = new QLabel(parent);
    s->setFixedSize(18, 14);
    QPixmap pm(18, 14);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setPen(QPen(c, 3, style));
    p.drawLine(1, 7, 17, 7);
    s->setPixmap(pm);
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
    LogChart->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    LogChart->axisRect()->setRangeDrag(Qt::Horizontal);
    LogChart->axisRect()->setRangeZoom(Qt::Horizontal);
    LogChart->axisRect()->setRangeDragAxes(LogChart->xAxis, nullptr);
    LogChart->axisRect()->setRangeZoomAxes(LogChart->xAxis, nullptr);
    LogChart->xAxis->setLabel(QStringLiteral("Time (s)"));
    LogChart->xAxis->setRange(0, DataLogClock::kWindowSeconds);
    LogChart->yAxis->setVisible(false);
    for (const Scale& sc : kScales) {
        QCPAxis* axis = LogChart->axisRect()->addAxis(sc.right ? QCPAxis::atRight : QCPAxis::atLeft);
        axis->setLabel(QString::fromUtf8(sc.label));
        axis->setRange(sc.lower, sc.upper);
        axis->setPadding(2);
        axis->setLabelPadding(2);
        scales_.push_back(axis);
    }
    LogChart->legend->setVisible(true);
    LogChart->legend->setFont(QFont(font().family(), 8));
    LogChart->legend->setBrush(QBrush(QColor(255, 255, 255, 225)));
    LogChart->legend->setRowSpacing(0);
    LogChart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    cursorLine_ = new QCPItemStraightLine(LogChart);
    cursorLine_->setPen(QPen(QColor(0x44, 0x44, 0x44), 1));
    cursorLine_->point1->setCoords(0, 0);
    cursorLine_->point2->setCoords(0, 1);
    LogChart->installEventFilter(this);
    LogChart->setMouseTracking(true);

    for (int i = 0; i < kSeriesCount; ++i) {
        const SeriesSetup& s = kSeries[i];
        const QColor colour = QColor::fromRgb(s.colour);
        auto* box = new QCheckBox(QString::fromUtf8(s.title), values);
        box->setObjectName(QString::fromLatin1(s.box));
        box->setAccessibleName(QStringLiteral("Log ") + QString::fromUtf8(s.title));
        box->setChecked(true);
        vv->addWidget(swatch(colour, s.style, values), i, 0);
        vv->addWidget(box, i, 1);
        boxes_[static_cast<size_t>(i)] = box;
        auto* trace =
            new LogTraceDisplay(LogChart->xAxis, scales_[static_cast<size_t>(s.scale)], log_, s.channel);
        trace->setName(QString::fromUtf8(s.title));
        QPen pen(colour, 1, s.style);
        pen.setCosmetic(true); // thin lines stroke fast; wide or dashed ones are filled as paths
        trace->setPen(pen);
        traces_[static_cast<size_t>(i)] = trace;
        // Unchecking hides the line; the log keeps every channel.
        connect(box, &QCheckBox::toggled, this, [this, trace](bool on) {
            trace->setVisible(on);
            if (on)
                trace->addToLegend();
            else
                trace->removeFromLegend();
            updateAxes();
            LogChart->replot(QCustomPlot::rpQueuedReplot);
        });
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
    RecordToFile->setToolTip(
        QStringLiteral("Write every sample to a log file in the chosen folder as it is taken"));
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

    OpenLogButton = new QPushButton(QStringLiteral("Open log..."), this);
    OpenLogButton->setObjectName(QStringLiteral("OpenLogButton"));
    OpenLogButton->setAccessibleName(QStringLiteral("Open log"));
    OpenLogButton->setToolTip(QStringLiteral("Open a recorded log (.csv or .msl) and replay it"));
    connect(OpenLogButton, &QPushButton::clicked, this, &DataLoggerPage::openLogClick);
    side->insertWidget(side->count() - 1, OpenLogButton);

    replay_ = new LogReplay(this);
    connect(replay_, &LogReplay::positionChanged, this, &DataLoggerPage::replayMoved);
    connect(replay_, &LogReplay::playingChanged, this, [this] { updateReplayControls(); });

    auto* column = new QVBoxLayout;
    ReplayBanner = new QLabel(this);
    ReplayBanner->setObjectName(QStringLiteral("ReplayBanner"));
    ReplayBanner->setAccessibleName(QStringLiteral("Replay"));
    ReplayBanner->setStyleSheet(
        QStringLiteral("background: #0072B2; color: white; font-weight: bold; padding: 3px;"));
    ReplayBanner->setVisible(false);
    column->addWidget(ReplayBanner);
    auto* player = new QHBoxLayout;
    PlayButton = new QPushButton(QStringLiteral("Play"), this);
    PlayButton->setObjectName(QStringLiteral("PlayButton"));
    PlayButton->setAccessibleName(QStringLiteral("Play or pause the replay"));
    connect(PlayButton, &QPushButton::clicked, this, [this] {
        if (replay_->playing())
            replay_->pause();
        else
            replay_->play();
    });
    ReplaySpeed = new QComboBox(this);
    ReplaySpeed->setObjectName(QStringLiteral("ReplaySpeed"));
    ReplaySpeed->setAccessibleName(QStringLiteral("Replay speed"));
    for (double sp : LogReplay::kSpeeds)
        ReplaySpeed->addItem(QString::number(sp) + QLatin1Char('x'), sp);
    ReplaySpeed->setCurrentIndex(2);
    connect(ReplaySpeed, &QComboBox::currentIndexChanged, this,
            [this] { replay_->setSpeed(ReplaySpeed->currentData().toDouble()); });
    ReplayPosition = new QSlider(Qt::Horizontal, this);
    ReplayPosition->setObjectName(QStringLiteral("ReplayPosition"));
    ReplayPosition->setAccessibleName(QStringLiteral("Replay position"));
    connect(ReplayPosition, &QSlider::valueChanged, this, [this](int ms) {
        if (ms != replay_->position())
            replay_->seek(ms);
    });
    player->addWidget(PlayButton);
    player->addWidget(ReplaySpeed);
    player->addWidget(ReplayPosition, 1);
    column->addLayout(player);
    column->addWidget(LogChart, 1);
    ChartHint =
        new QLabel(QStringLiteral("Wheel: zoom the time axis. Drag: pan. Move the mouse: read every value at "
                                  "the cursor. Space: drop a marker."),
                   this);
    ChartHint->setObjectName(QStringLiteral("ChartHint"));
    ChartHint->setAccessibleName(QStringLiteral("Chart hint"));
    column->addWidget(ChartHint);
    updateReplayControls();
    updateAxes();
    updateLegend();

    layout->addLayout(side, 0);
    layout->addLayout(column, 1);
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
    return running_;
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
    running_ = true;
    endReplay();
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
    running_ = false;
    DataLogTimer->setEnabled(false);
    MarkerButton->setEnabled(false);
    markerPending_ = false;
    stopFile();
}

void DataLoggerPage::clearLog() {
    log_.clear();
    markerPending_ = false;
    LogChart->xAxis->setRange(0, DataLogClock::kWindowSeconds);
    for (QCPItemStraightLine* l : markerLines_)
        LogChart->removeItem(l);
    for (QCPItemText* t : markerLabels_)
        LogChart->removeItem(t);
    markerLines_.clear();
    markerLabels_.clear();
    setCursorTime(0);
}

void DataLoggerPage::ThreadedTimer1Timer() {
    if (!running_ || !state_.link.EmuConnected || replayMode_)
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

    setCursorTime(t);
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
    const QString text =
        QStringLiteral("The log could not be written to %1: %2").arg(QDir::toNativeSeparators(path), why);
    if (hooks_.showError)
        hooks_.showError(text);
}

void DataLoggerPage::updateRecordStatus() {
    if (writer_.isOpen())
        RecordStatus->setText(
            QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(writer_.path())));
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

int DataLoggerPage::seriesChannel(int index) {
    return kSeries[index].channel;
}

void DataLoggerPage::updateAxes() {
    // A scale is shown while one of its lines is.
    for (size_t a = 0; a < scales_.size(); ++a) {
        bool used = false;
        for (int i = 0; i < kSeriesCount; ++i)
            used = used ||
                   (kSeries[i].scale == static_cast<int>(a) && boxes_[static_cast<size_t>(i)]->isChecked());
        scales_[a]->setVisible(used);
    }
}

QString DataLoggerPage::legendText(int index) const {
    const SeriesSetup& s = kSeries[index];
    const QString title = QString::fromUtf8(s.title);
    if (log_.empty())
        return title;
    const std::int64_t row = log_.rowAt(static_cast<std::int32_t>(std::lround(cursorSeconds_ * 1000)));
    const QString unit = QString::fromUtf8(LogChannels::at(s.channel).unit);
    return QStringLiteral("%1: %2 %3").arg(title, valueText(log_.value(row, s.channel)), unit);
}

void DataLoggerPage::updateLegend() {
    for (int i = 0; i < kSeriesCount; ++i)
        traces_[static_cast<size_t>(i)]->setName(legendText(i));
}

void DataLoggerPage::setCursorTime(double seconds) {
    cursorSeconds_ = seconds;
    cursorLine_->point1->setCoords(seconds, 0);
    cursorLine_->point2->setCoords(seconds, 1);
    updateLegend();
}

bool DataLoggerPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LogChart && !log_.empty()) {
        // The cursor follows the mouse while nothing moves it by itself; a click in a replay
        // moves the replay there.
        if (event->type() == QEvent::MouseMove && !(logging() || replay_->playing())) {
            const auto* me = static_cast<QMouseEvent*>(event);
            if (me->buttons() == Qt::NoButton) {
                setCursorTime(LogChart->xAxis->pixelToCoord(me->position().x()));
                LogChart->replot(QCustomPlot::rpQueuedReplot);
            }
        } else if (event->type() == QEvent::MouseButtonDblClick && replayMode_) {
            const auto* me = static_cast<QMouseEvent*>(event);
            replay_->seek(static_cast<std::int32_t>(
                std::lround(LogChart->xAxis->pixelToCoord(me->position().x()) * 1000)));
        }
    }
    return QWidget::eventFilter(watched, event);
}

void DataLoggerPage::drawAllMarkers() {
    for (const LogMarker& m : log_.markers())
        drawMarker(m, log_.timeMs(m.row) / 1000.0);
}

void DataLoggerPage::openLogClick() {
    const QString path = hooks_.chooseLog ? hooks_.chooseLog(folder_) : QString();
    if (!path.isEmpty())
        openLog(path);
}

bool DataLoggerPage::openLog(const QString& path) {
    DataLogFile::ReadResult r = DataLogFile::readFile(path);
    const QString name = QDir::toNativeSeparators(path);
    if (!r.ok) {
        if (hooks_.showError)
            hooks_.showError(QStringLiteral("%1 was not opened. %2").arg(name, r.error));
        return false;
    }
    if (logging() && !log_.empty() &&
        !confirm(QStringLiteral("A recording is running. Stop it and open the log?")))
        return false;
    if (logging())
        SpeedButton2Click();
    if (!r.warning.isEmpty() && hooks_.showError)
        hooks_.showError(QStringLiteral("%1 is damaged at %2").arg(name, r.warning));
    clearLog();
    log_ = std::move(r.log);
    replayMode_ = true;
    replayFile_ = path;
    drawAllMarkers();
    const double end = std::max(1.0, log_.durationMs() / 1000.0);
    LogChart->xAxis->setRange(0, end);
    replay_->setLog(&log_);
    updateReplayControls();
    emit replayStarted(path);
    replayMoved(replay_->position(), replay_->row());
    LogChart->replot(QCustomPlot::rpQueuedReplot);
    return true;
}

void DataLoggerPage::replayMoved(std::int32_t ms, std::int64_t row) {
    if (!replayMode_)
        return;
    const double t = ms / 1000.0;
    setCursorTime(t);
    {
        const QSignalBlocker block(ReplayPosition);
        ReplayPosition->setValue(ms);
    }
    // The window follows the cursor when it leaves it.
    const QCPRange range = LogChart->xAxis->range();
    if (t < range.lower || t > range.upper)
        LogChart->xAxis->setRange(t - range.size() * 0.1, t + range.size() * 0.9);
    ReplayBanner->setText(QStringLiteral("REPLAY of %1 at %2 s of %3 s: not live data")
                              .arg(QFileInfo(replayFile_).fileName(), QString::number(t, 'f', 1),
                                   QString::number(log_.durationMs() / 1000.0, 'f', 1)));
    if (!log_.empty())
        emit replaySample(liveFromLog(log_, row), t);
    replotIfShown();
}

void DataLoggerPage::endReplay() {
    if (!replayMode_)
        return;
    replay_->setLog(nullptr);
    replayMode_ = false;
    replayFile_.clear();
    updateReplayControls();
    emit replayEnded();
}

void DataLoggerPage::updateReplayControls() {
    ReplayBanner->setVisible(replayMode_);
    PlayButton->setEnabled(replayMode_);
    ReplaySpeed->setEnabled(replayMode_);
    ReplayPosition->setEnabled(replayMode_);
    PlayButton->setText(replay_->playing() ? QStringLiteral("Pause") : QStringLiteral("Play"));
    ReplayPosition->setRange(0, replayMode_ ? log_.durationMs() : 0);
}
