#include "mapeditor/MapChartWidget.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// A map line whose points on the first and last axis positions are drawn whole, not cut in half
// by the plot area's edge; the axis ranges stay as they are.
class EdgeGraph : public QCPGraph {
  public:
    using QCPGraph::QCPGraph;

  protected:
    QRect clipRect() const override {
        constexpr int kPad = 4; // the point marker's radius and its pen
        return QCPGraph::clipRect().adjusted(-kPad, -kPad, kPad, kPad);
    }
};

constexpr QRgb kGreen = 0xff00a000;
constexpr QRgb kLightBlue = 0xff87cefa;
constexpr QRgb kLightRed = 0xffff8080;
constexpr QRgb kRed = 0xffe00000;
constexpr QRgb kDarkGreen = 0xff006400;
constexpr QRgb kNavy = 0xff000080;
constexpr QRgb kBlue = 0xff0000e0;
constexpr QRgb kYellow = 0xffe0c000;
constexpr QRgb kOrange = 0xffff8c00;
constexpr QRgb kLightPurple = 0xffc8a0ff;
constexpr QRgb kArrow = 0xff606060;

using S = ChartSeriesSetup;
constexpr auto kRound = QCPScatterStyle::ssDisc;

S cursor() {
    return {SeriesRole::Cursor, "", kGreen};
}
S marker(QRgb colour) {
    return {SeriesRole::LiveMarker, "", colour};
}
S arrow(const char* name) {
    return {SeriesRole::Marker, name, kArrow};
}
S line(MapId map, const char* name, QRgb colour, QCPScatterStyle::ScatterShape pointer = kRound) {
    return {SeriesRole::Map, name, colour, pointer, map};
}

std::vector<ChartSetup> buildSetups() {
    return {
        {"TimingChart",
         "Timing Map",
         1,
         50,
         1,
         false,
         "RPM x 100",
         0,
         45,
         "Degrees",
         {cursor(), marker(kLightBlue), line(MapId::Timing, "Timing", kRed)},
         {"Edit2", "Degrees:", "Edit3", "RPM:", false}},
        {"VacuumChart",
         "Vacuum Map",
         0,
         1.2,
         0.2,
         true,
         "Bar",
         -15,
         15,
         "Degrees",
         {cursor(), marker(kLightRed), line(MapId::VacuumTiming, "Vacuum", kDarkGreen)},
         {"Edit4", "Degrees:", "Edit5", "Vacuum:", true}},
        {"FuelVacChart",
         "Vacuum Map",
         0,
         1.2,
         0.1,
         true,
         "Bar",
         -50,
         50,
         "%",
         {arrow("low"), arrow("high"), cursor(), marker(kLightRed), line(MapId::FuelVacuum, "Fuel", kRed),
          arrow("LambdaLow"), arrow("LambdaHigh")},
         {"Edit22", "%", "Edit23", "Vacuum:", false}},
        {"FuelRPMChart",
         "RPM Map",
         0,
         50,
         5,
         true,
         "RPM",
         -50,
         50,
         "%",
         {cursor(), marker(kLightBlue), line(MapId::FuelRpmCruise, "Cruise", kRed),
          line(MapId::FuelRpmLow, "Low", kGreen, QCPScatterStyle::ssTriangleInverted),
          line(MapId::FuelRpmHigh, "High", kNavy, QCPScatterStyle::ssTriangle)},
         {"Edit19", "%", "Edit21", "RPM:", false}},
        {"TempChart",
         "Water Temp Correction",
         0,
         120,
         10,
         true,
         "°C",
         -60,
         60,
         "%",
         {cursor(), marker(kYellow), line(MapId::WaterTemp, "Water", kBlue)},
         {"Edit25", "%", "Edit26", "Temp:", false}},
        {"AirTmpChart",
         "Air Temp Correction",
         -20,
         100,
         10,
         true,
         "°C",
         -20,
         20,
         "%",
         {cursor(), marker(kOrange), line(MapId::AirTempFuel, "Fuel", kGreen),
          line(MapId::AirTempTiming, "Timing", kBlue)},
         {"Edit27", "%", "Edit29", "Temp:", false}},
        {"VoltageChart",
         "Voltage Correction",
         8,
         16,
         1,
         true,
         "V",
         -50,
         50,
         "%",
         {cursor(), marker(kLightPurple), line(MapId::Voltage, "Voltage", kRed)},
         {"Edit30", "%", "Edit31", "V:", false}},
    };
}

} // namespace

const std::vector<ChartSetup>& mapChartSetups() {
    static const std::vector<ChartSetup> setups = buildSetups();
    return setups;
}

const ChartSetup* mapChartSetup(const char* objectName) {
    for (const ChartSetup& setup : mapChartSetups())
        if (std::strcmp(setup.objectName, objectName) == 0)
            return &setup;
    return nullptr;
}

MapChartWidget::MapChartWidget(const ChartSetup& setup, QWidget* parent)
    : QCustomPlot(parent), setup_(setup), ticker_(new QCPAxisTickerFixed), step_(setup.xStep) {
    setObjectName(QString::fromLatin1(setup.objectName));
    setAccessibleName(QString::fromUtf8(setup.title));
    setCursor(Qt::CrossCursor);
    setInteractions({});    // neither zoom nor panning
    setMouseTracking(true); // plain pointer moves fill the readouts
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(240, 150);

    plotLayout()->insertRow(0);
    auto* title =
        new QCPTextElement(this, QString::fromUtf8(setup.title), QFont(font().family(), 10, QFont::Bold));
    plotLayout()->addElement(0, 0, title);

    ticker_->setTickStep(setup.xStep);
    // The step is the smallest label distance; labels thin out on a narrow chart.
    ticker_->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    ticker_->setTickCount(10);
    xAxis->setTicker(ticker_);
    xAxis->setRange(setup.xMin, setup.xMax);
    xAxis->setLabel(QString::fromUtf8(setup.xLabel));
    yAxis->setRange(setup.yMin, setup.yMax);
    yAxis->setLabel(QString::fromUtf8(setup.yLabel));

    if (setup.axisAtMid) {
        auto* zero = new QCPItemStraightLine(this);
        zero->point1->setCoords(0, 0);
        zero->point2->setCoords(1, 0);
        zero->setPen(QPen(Qt::black));
        zero->setSelectable(false);
    }

    // The live marker moves at the poll's rate. Its bar keeps the operating point on a layer of
    // its own that is never drawn on screen; a thin child widget over the plot shows it, so a move
    // repaints only the strips it leaves and enters, not the whole chart (a layer's replot would).
    addLayer(QStringLiteral("live"), layer(QStringLiteral("main")), QCustomPlot::limAbove);
    QCPLayer* live = layer(QStringLiteral("live"));
    live->setVisible(false);
    connect(this, &QCustomPlot::afterReplot, this, &MapChartWidget::placeLiveOverlay);

    int mapLines = 0;
    for (const ChartSeriesSetup& s : setup.series) {
        const QColor colour = QColor::fromRgba(s.colour);
        if (s.role == SeriesRole::Map) {
            QCPGraph* graph = new EdgeGraph(xAxis, yAxis);
            graph->setName(QString::fromLatin1(s.name));
            graph->setPen(QPen(colour, 1.5));
            graph->setScatterStyle(QCPScatterStyle(s.pointer, colour, colour, 5));
            series_.push_back(graph);
            ++mapLines;
            continue;
        }
        auto* bar = new QCPBars(xAxis, yAxis);
        bar->setName(QString::fromLatin1(s.name));
        bar->setWidthType(QCPBars::wtAbsolute);
        bar->setWidth(s.role == SeriesRole::Marker ? 3 : 2);
        bar->setPen(QPen(colour));
        bar->setBrush(colour);
        bar->removeFromLegend();
        if (s.role == SeriesRole::LiveMarker) {
            bar->setLayer(live);
            liveOverlay_ = new QWidget(this);
            liveOverlay_->setObjectName(QStringLiteral("LiveMarker"));
            liveOverlay_->setAccessibleName(QStringLiteral("Live operating point"));
            liveOverlay_->setAttribute(Qt::WA_TransparentForMouseEvents);
            liveOverlay_->setAutoFillBackground(true);
            QPalette p = liveOverlay_->palette();
            p.setColor(QPalette::Window, colour);
            liveOverlay_->setPalette(p);
            liveOverlay_->hide();
        }
        series_.push_back(bar);
    }

    if (mapLines > 1) {
        legend->setVisible(true);
        legend->setFont(QFont(font().family(), 8));
        legend->setBrush(QColor(255, 255, 255, 200));
        axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    }
    setEnabled(false);
}

QCPAbstractPlottable* MapChartWidget::series(int index) const {
    if (index < 0 || index >= seriesCount())
        return nullptr;
    return series_[static_cast<size_t>(index)];
}

QCPBars* MapChartWidget::bars(int index) const {
    return qobject_cast<QCPBars*>(series(index));
}

QCPGraph* MapChartWidget::line(int index) const {
    return qobject_cast<QCPGraph*>(series(index));
}

QCPGraph* MapChartWidget::mapLine(MapId id) const {
    for (size_t i = 0; i < setup_.series.size(); ++i)
        if (setup_.series[i].role == SeriesRole::Map && setup_.series[i].map == id)
            return qobject_cast<QCPGraph*>(series_[i]);
    return nullptr;
}

void MapChartWidget::plotMap(MapId id, const CalibrationData& data) {
    QCPGraph* graph = mapLine(id);
    if (!graph)
        return;
    const MapScales scales = data.scales();
    const MapArray& values = data.map(id);
    const int points = mapShownPoints(id, scales);
    QVector<double> xs;
    QVector<double> ys;
    xs.reserve(points);
    ys.reserve(points);
    for (int i = 1; i <= points; ++i) {
        double x = mapPointX(id, i, scales);
        if (id == MapId::VacuumTiming)
            x = data.VacuumAxis[static_cast<size_t>(i)];
        else if (id == MapId::FuelVacuum)
            x = data.FuelVacuumAxis[static_cast<size_t>(i)];
        xs.push_back(x);
        ys.push_back(values[static_cast<size_t>(i)]);
    }
    graph->data()->clear();
    graph->setData(xs, ys, true);
    replot(QCustomPlot::rpQueuedReplot);
}

int MapChartWidget::nearestDrawnPoint(double x) const {
    for (size_t i = 0; i < setup_.series.size(); ++i) {
        const auto* graph = qobject_cast<const QCPGraph*>(series_[i]);
        if (setup_.series[i].role != SeriesRole::Map || !graph || graph->data()->isEmpty())
            continue;
        int nearest = 0;
        double distance = std::numeric_limits<double>::infinity();
        int point = 0;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            ++point;
            if (std::abs(it->key - x) < distance) {
                distance = std::abs(it->key - x);
                nearest = point;
            }
        }
        return nearest;
    }
    return 0;
}

void MapChartWidget::clearSeries(int index) {
    if (QCPGraph* graph = line(index))
        graph->data()->clear();
    else if (QCPBars* bar = bars(index))
        bar->data()->clear();
    replot(QCustomPlot::rpQueuedReplot);
}

void MapChartWidget::clearAllSeries() {
    for (int i = 0; i < seriesCount(); ++i)
        clearSeries(i);
}

void MapChartWidget::clearRole(SeriesRole role) {
    for (int i = 0; i < seriesCount(); ++i)
        if (setup_.series[static_cast<size_t>(i)].role == role)
            clearSeries(i);
}

void MapChartWidget::setPointMarks(const std::vector<PointMark>& marks) {
    clearPointMarks();
    for (const PointMark& m : marks) {
        QCPGraph* graph = mapLine(m.map);
        if (!graph || m.direction == 0 || m.point < 1 || m.point > graph->dataCount())
            continue;
        const auto at = graph->data()->at(m.point - 1);
        auto* item = new QCPItemText(this);
        item->setClipToAxisRect(false);
        item->position->setType(QCPItemPosition::ptPlotCoords);
        item->position->setCoords(at->key, at->value);
        const bool up = m.direction > 0;
        item->setText(up ? QStringLiteral("\u25B2") : QStringLiteral("\u25BC"));
        item->setPositionAlignment(Qt::AlignHCenter | (up ? Qt::AlignBottom : Qt::AlignTop));
        item->setPadding(QMargins(0, 3, 0, 3));
        item->setColor(graph->pen().color());
        QFont f = font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.4);
        item->setFont(f);
        marks_.push_back(item);
    }
    replot(QCustomPlot::rpQueuedReplot);
}

void MapChartWidget::clearPointMarks() {
    if (marks_.empty())
        return;
    for (QCPItemText* item : marks_)
        removeItem(item);
    marks_.clear();
    replot(QCustomPlot::rpQueuedReplot);
}

void MapChartWidget::setBottomMaximum(double maximum) {
    xAxis->setRangeUpper(maximum);
    replot(QCustomPlot::rpQueuedReplot);
}

void MapChartWidget::setBottomStep(double step) {
    step_ = step;
    ticker_->setTickStep(step);
    replot(QCustomPlot::rpQueuedReplot);
}

QCPBars* MapChartWidget::firstBarsOf(SeriesRole role) const {
    for (size_t i = 0; i < setup_.series.size(); ++i)
        if (setup_.series[i].role == role)
            return qobject_cast<QCPBars*>(series_[i]);
    return nullptr;
}

void MapChartWidget::setEditCursor(double x, double height) {
    QCPBars* bar = firstBarsOf(SeriesRole::Cursor);
    if (!bar)
        return;
    // The bar stands on the bottom of the value axis, so it crosses the whole curve area.
    bar->setBaseValue(setup_.yMin);
    bar->data()->clear();
    bar->addData(x, height - setup_.yMin);
    replot(QCustomPlot::rpQueuedReplot);
}

bool MapChartWidget::hasEditCursor() const {
    const QCPBars* bar = firstBarsOf(SeriesRole::Cursor);
    return bar && bar->dataCount() > 0;
}

void MapChartWidget::setLiveMarker(double x, double y) {
    QCPBars* bar = firstBarsOf(SeriesRole::LiveMarker);
    if (!bar)
        return;
    bar->data()->clear();
    bar->addData(x, y);
    replotLiveMarker();
}

void MapChartWidget::replotLiveMarker() {
    placeLiveOverlay();
}

void MapChartWidget::placeLiveOverlay() {
    if (!liveOverlay_)
        return;
    const QCPBars* bar = firstBarsOf(SeriesRole::LiveMarker);
    if (!bar || bar->dataCount() == 0) {
        liveOverlay_->hide();
        return;
    }
    const auto point = bar->data()->constBegin();
    const double left = xAxis->coordToPixel(point->key) - bar->width() / 2.0;
    const double base = yAxis->coordToPixel(bar->baseValue());
    const double top = yAxis->coordToPixel(bar->baseValue() + point->value);
    const QRect area = axisRect()->rect();
    const QRectF shown =
        QRectF(QPointF(left, std::min(base, top)), QPointF(left + bar->width() + 1, std::max(base, top)))
            .intersected(QRectF(area));
    if (shown.isEmpty() || !std::isfinite(left)) {
        liveOverlay_->hide();
        return;
    }
    liveOverlay_->setGeometry(shown.toAlignedRect());
    liveOverlay_->show();
}

QPointF MapChartWidget::valueAt(const QPointF& pixel) const {
    return {xAxis->pixelToCoord(pixel.x()), yAxis->pixelToCoord(pixel.y())};
}

QPointF MapChartWidget::pixelAt(double x, double y) const {
    return {xAxis->coordToPixel(x), yAxis->coordToPixel(y)};
}

void MapChartWidget::wheelEvent(QWheelEvent* event) {
    event->accept();
}
