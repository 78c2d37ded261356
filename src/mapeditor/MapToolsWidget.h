#pragma once

#include "mapeditor/CurveTools.h"
#include "mapeditor/MapTuning.h"

#include <QWidget>

#include <functional>
#include <optional>

class CalibrationEditor;
class MapChartWidget;
class QCPItemRect;
class QMenu;
class QTableWidget;
class QTableWidgetItem;
class QToolButton;
struct EmuState;
struct MapEditorContext;

enum class CurveTool { SetTo, Add, Scale, Interpolate, Smooth, Copy, Paste, SelectAll };

// What the curve tools need from the window: a number asked of the tuner (empty: cancelled) and
// the status line.
struct MapToolHooks {
    std::function<std::optional<double>(const QString& title, const QString& label, double initial)>
        askNumber;
    std::function<void(const QString&)> showStatus;
};

// The tools of one chart: the points selected on it (drawn as a band over the curve), the "Tools"
// menu (also the chart's context menu, with its keys), and the table of the curve being edited,
// shown beside the chart by the "Table" toggle. Every change goes through the edit door: a tool is
// one operation, a typed cell one point.
class MapToolsWidget : public QWidget {
    Q_OBJECT

  public:
    MapToolsWidget(const MapEditorContext& context, ChartId chart, MapChartWidget* plot, QWidget* parent);

    ChartId chartId() const { return chart_; }
    QTableWidget* table() const { return table_; }
    QToolButton* toolsButton() const { return toolsButton_; }
    QToolButton* tableToggle() const { return tableToggle_; }
    QMenu* menu() const { return menu_; }

    PointRange selection() const;
    // Selects points (clamped to the curve; empty clears), draws the band and marks the rows.
    void setSelection(PointRange range);
    // Shift+drag: the anchor where the button went down, then the point under the pointer.
    void beginSelection(double x);
    void extendSelection(double x);
    bool selecting() const { return anchor_ > 0; }
    void endSelection() { anchor_ = 0; }
    // Shift+Left/Right moved the cursor from one point to another: the selection grows or shrinks
    // from where the first Shift+arrow started.
    void keySelect(int fromPoint, int toPoint);
    // The chart's cursor is on a point: the table's current row follows.
    void showCursorPoint(int point);

    // Runs a tool on the selection (Set, Add and Scale with no selection: the point under the
    // cursor) with the given number, or asks for it. Says what happened, as the status line does.
    QString run(CurveTool tool, std::optional<double> value = std::nullopt);

    // The curve or the curve selection changed: the table shows it again.
    void refresh();

  signals:
    void status(const QString& text);

  private:
    std::optional<MapId> map() const;
    std::vector<double> curve(MapId map) const;
    std::vector<double> axis() const;
    int points() const;
    int cursorPoint() const;
    void drawSelection();
    void fillTable();
    void cellCommitted(QTableWidgetItem* item);
    void tableSelectionChanged();
    void addAction(CurveTool tool, const QString& text, const QKeySequence& key);
    QString say(const QString& text);

    const MapEditorContext& context_;
    ChartId chart_;
    MapChartWidget* plot_;
    QCPItemRect* band_ = nullptr;
    QToolButton* toolsButton_ = nullptr;
    QToolButton* tableToggle_ = nullptr;
    QMenu* menu_ = nullptr;
    QTableWidget* table_ = nullptr;
    int anchor_ = 0;    // Shift+drag
    int keyAnchor_ = 0; // Shift+arrows
    bool filling_ = false;
};
