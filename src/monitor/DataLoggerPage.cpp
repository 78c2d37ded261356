#include "monitor/DataLoggerPage.h"

#include "monitor/MonotonicClock.h"
#include "monitor/TThreadedTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
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
    RecordToFile = new QCheckBox(QStringLiteral("Record to File"), this);
    RecordToFile->setObjectName(QStringLiteral("RecordToFile"));
    RecordToFile->setAccessibleName(QStringLiteral("Record to File"));
    RecordToFile->setEnabled(false);
    side->addWidget(DisplayChart);
    side->addWidget(RecordToFile);
    side->addStretch();

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

void DataLoggerPage::SpeedButton1Click() {
    SpeedButton1->setChecked(true);
    // Before any interval is chosen, "On" takes the usual 100 ms and shows it chosen.
    if (selectedInterval() == 0)
        selectInterval(DataLogClock::kDefaultNominalMs);
    const int n = selectedInterval();
    DataLogTimer->setInterval(DataLogClock::timerIntervalFor(n));
    clock_.start(n, now_ ? now_() : monotonicMs());
    DataLogTimer->setEnabled(true);
    LogChart->xAxis->setRange(0, DataLogClock::kWindowSeconds);
    for (QCPGraph* g : graphs_)
        g->data()->clear();
    replotIfShown();
}

void DataLoggerPage::SpeedButton2Click() {
    SpeedButton2->setChecked(true);
    DataLogTimer->setEnabled(false);
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
    for (int i = 0; i < kSeriesCount; ++i)
        if (boxes_[static_cast<size_t>(i)]->isChecked())
            graphs_[static_cast<size_t>(i)]->addData(t, gap ? qQNaN() : kSeries[i].value(state_.live));
    const QCPRange range = LogChart->xAxis->range();
    const double start = DataLogClock::windowStartAfter(t, range.lower);
    if (start != range.lower)
        LogChart->xAxis->setRange(start, start + DataLogClock::kWindowSeconds);
    replotIfShown();
}

void DataLoggerPage::replotIfShown() {
    if (LogChart->isVisible())
        LogChart->replot(QCustomPlot::rpQueuedReplot);
}

void DataLoggerPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    LogChart->replot(QCustomPlot::rpQueuedReplot);
}
