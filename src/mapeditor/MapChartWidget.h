#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"

#include <qcustomplot.h>

#include <vector>

// What a series of a map chart is for. Tuning and the live display refer to a series by its
// position on the chart, so the order in the table is part of the chart's contract.
enum class SeriesRole { Cursor, LiveMarker, Map, Marker };

struct ChartSeriesSetup {
    SeriesRole role;
    const char* name; // legend name of a map line, or the marker's name ("low", "LambdaHigh")
    QRgb colour;
    QCPScatterStyle::ScatterShape pointer = QCPScatterStyle::ssNone; // map lines only
    MapId map = MapId::Timing;                                       // map lines only
};

// The two read-only boxes under a chart that tuning fills.
struct ChartReadoutSetup {
    const char* valueBox;
    const char* valueCaption;
    const char* positionBox;
    const char* positionCaption;
    bool visibleAtStart;
};

struct ChartSetup {
    const char* objectName;
    const char* title;
    double xMin;
    double xMax;
    double xStep;
    bool axisAtMid; // the value axis crosses zero mid-height; a zero line is drawn there
    const char* xLabel;
    double yMin;
    double yMax;
    const char* yLabel;
    std::vector<ChartSeriesSetup> series; // in chart order
    ChartReadoutSetup readout;
};

// A mark on one point of a map line: an arrow pointing up (direction > 0) or down.
struct PointMark {
    MapId map = MapId::FuelRpmCruise;
    int point = 0; // 1-based
    int direction = 0;
};

// The seven map charts, in page order: TimingChart, VacuumChart, FuelVacChart, FuelRPMChart,
// TempChart, AirTmpChart, VoltageChart.
const std::vector<ChartSetup>& mapChartSetups();
const ChartSetup* mapChartSetup(const char* objectName);

// One chart of the map editor, built from its table entry: title, fixed axes (no zoom or pan),
// a cross-hair cursor, and its series in table order. It starts disabled and empty.
class MapChartWidget : public QCustomPlot {
    Q_OBJECT

  public:
    explicit MapChartWidget(const ChartSetup& setup, QWidget* parent = nullptr);

    const ChartSetup& setup() const { return setup_; }

    int seriesCount() const { return static_cast<int>(series_.size()); }
    QCPAbstractPlottable* series(int index) const;
    QCPBars* bars(int index) const;
    QCPGraph* line(int index) const;

    // The line that shows a map, or nullptr when the map is not on this chart.
    QCPGraph* mapLine(MapId id) const;
    bool showsMap(MapId id) const { return mapLine(id) != nullptr; }

    // Rebuilds a map's curve: clears its line, then one point (x, value) per map point in order.
    // The vacuum maps take their x from VacuumAxis and FuelVacuumAxis, the others from mapPointX.
    void plotMap(MapId id, const CalibrationData& data);
    // The point (1-based) of the map lines drawn nearest to x, 0 when none is drawn. The lines of
    // a chart share their x positions.
    int nearestDrawnPoint(double x) const;

    void clearSeries(int index);
    void clearAllSeries();
    // Clears every series of a role (the editing cursor, the live marker, the setting markers).
    void clearRole(SeriesRole role);

    void setBottomMaximum(double maximum);
    void setBottomStep(double step);
    double bottomStep() const { return step_; }

    // The editing cursor: one thin bar at x reaching the given height (the top of the value axis).
    void setEditCursor(double x, double height);
    bool hasEditCursor() const;
    // The live operating point: one bar at x reaching y. Filled by the live display.
    void setLiveMarker(double x, double y);
    // Moves the live marker to its bar's point without replotting the chart.
    void replotLiveMarker();

    // Arrows on points of the map lines this chart draws (marks for other maps are skipped); they
    // replace the marks shown before. The arrow sits above a point it moves up, below one it moves
    // down, in its line's colour.
    void setPointMarks(const std::vector<PointMark>& marks);
    void clearPointMarks();
    const std::vector<QCPItemText*>& pointMarkItems() const { return marks_; }

    // Chart values at a pixel position, through the axes the map lines share.
    QPointF valueAt(const QPointF& pixel) const;
    QPointF pixelAt(double x, double y) const;

  protected:
    // The wheel neither scrolls nor zooms a chart, nor reaches anything behind it.
    void wheelEvent(QWheelEvent* event) override;

  private:
    QCPBars* firstBarsOf(SeriesRole role) const;
    // Puts the live marker's widget over its bar's place on the plot (hidden without a point).
    void placeLiveOverlay();

    ChartSetup setup_;
    std::vector<QCPAbstractPlottable*> series_;
    QSharedPointer<QCPAxisTickerFixed> ticker_;
    double step_ = 1;
    QWidget* liveOverlay_ = nullptr;
    std::vector<QCPItemText*> marks_;
};
