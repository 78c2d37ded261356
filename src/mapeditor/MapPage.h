#pragma once

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "mapeditor/MapTuning.h"

#include <QWidget>

#include <map>
#include <optional>

class MapChartWidget;
class MapToolsWidget;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMouseEvent;

// What a map page works on: the state, the edit door and the tuning state the pages share.
struct MapEditorContext {
    EmuState& state;
    CalibrationEditor& editor;
    MapEditorState& editing;
    struct MapToolHooks* hooks = nullptr; // the curve tools' questions and status line
};

// A map page: its charts with their readout boxes, and the pointer, drag and key handling of those
// charts. Every chart is handled by the same handlers, driven by the chart's tuning rules.
class MapPage : public QWidget {
    Q_OBJECT

  public:
    MapPage(const MapEditorContext& context, QWidget* parent = nullptr);

    MapChartWidget* chart(ChartId id) const;
    const std::map<ChartId, MapChartWidget*>& charts() const { return charts_; }
    QLineEdit* valueBox(ChartId id) const;
    QLineEdit* positionBox(ChartId id) const;
    // The selection, the tools menu and the table of a chart.
    MapToolsWidget* tools(ChartId id) const;

    // The readout boxes of this page and their captions.
    void hideReadouts();
    // The value boxes show the maps as they are now (after an edit, an undo, a read or an open);
    // only the charts showing the changed map when one is named. A cursor off the curve empties
    // its boxes.
    void refreshReadouts(std::optional<MapId> changed = std::nullopt);
    // Close all: nothing left to read out.
    void clearReadouts();

    // A key pressed while a chart of this page is active.
    // With extend (Shift held), Left and Right also select the points the cursor passes.
    void ChartKeyDown(ChartId id, TuningKey key, bool extend = false);
    // The value box shows the value of the point under the chart's cursor (after a send failed,
    // the value the unit still holds).
    void showCursorValue(ChartId id);

    // Pointer moved over a chart (any button), and moved with the left button held.
    void ChartMouseMove(MapChartWidget* chart, QMouseEvent* event);
    void ChartDragOver(MapChartWidget* chart, QMouseEvent* event);

  protected:
    // A chart of this page inside a panel with its readout row; extra widgets (the curve
    // selectors) go at the start of that row.
    QWidget* addChart(ChartId id, QWidget* parent, QWidget* selectors = nullptr);
    void mouseMoveEvent(QMouseEvent* event) override;

    MapEditorContext context_;

  private:
    struct Readouts {
        QLabel* valueCaption = nullptr;
        QLineEdit* value = nullptr;
        QLabel* positionCaption = nullptr;
        QLineEdit* position = nullptr;
    };
    void showReadouts(ChartId id, bool visible);
    void ChartMousePress(MapChartWidget* chart, QMouseEvent* event);
    void ChartMouseRelease(MapChartWidget* chart, QMouseEvent* event);
    void keepKeyEdit(ChartId id, MapId map, int point, double value);
    void shiftCurve(MapId map, int direction, int points);

    std::map<ChartId, MapChartWidget*> charts_;
    std::map<ChartId, Readouts> readouts_;
    std::map<ChartId, MapToolsWidget*> tools_;
    bool dragging_ = false;
};
