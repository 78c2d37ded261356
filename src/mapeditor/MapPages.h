#pragma once

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "mapeditor/MapToolsWidget.h"
#include "mapeditor/MapTuning.h"

#include <QObject>

class CorrectionMapsPage;
class FuelMapsPage;
class MapChartWidget;
class MapPage;
class QKeyEvent;
class QWidget;
class TimingMapPage;

// The map editor: the "Timing Map", "Fuel Maps" and "Correction Maps" pages, the tuning state they
// share (active chart, cursors, selections, mouse tuning) and what the window tells them: a unit
// connected, data arrived, data written, Close all, and the keys it previews.
class MapPages : public QObject {
    Q_OBJECT

  public:
    MapPages(EmuState& state, CalibrationEditor& editor, QWidget* parent);

    TimingMapPage* timingPage() const { return timing_; }
    FuelMapsPage* fuelPage() const { return fuel_; }
    CorrectionMapsPage* correctionPage() const { return corrections_; }
    MapChartWidget* chart(ChartId id) const;
    MapEditorState& editing() { return editing_; }
    const MapEditorState& editing() const { return editing_; }
    MapToolsWidget* tools(ChartId id) const;
    // The map page on show in the given tab, or nullptr when the tab shows no map page.
    MapPage* shownPage(const QWidget* shownTab) const;
    // The curve tools' number question and status line; the window sets them.
    MapToolHooks& toolHooks() { return hooks_; }

    // Connect: axes for the map families the unit has, and those charts (and the jet trims) enabled.
    void configureForFamilies();
    // "RPM Range" or "Map Sensor (kPa x10)" changed: the scales come again from the setup block,
    // and the point counts, the vacuum axes, the chart axes and the curves follow as after a read.
    // The cursors stay on the points they were on (or the nearest end point).
    void rescale();
    // A read or an opened file: the curves, the jet trims and the curve selection.
    void fillAfterRead();
    // Every curve rebuilt from the arrays, editing cursors cleared (after a whole write).
    void plotAllMaps();
    // Close all: charts emptied and disabled, no active chart, trims cleared.
    void closeAll();

    // Key preview of the window: the active chart's part when that chart is on the shown page,
    // then the jet keys while the "Fuel Maps" page is shown. Nothing acts on a key that the
    // receiving control uses itself (a box, a list, a slider...) or with Ctrl, Alt or Meta held.
    // The receiver is the widget the key goes to (the focus widget when none is given).
    void keyDown(const QKeyEvent& event, const QWidget* shownPage, const QWidget* receiver = nullptr);
    // Key release (any key, anywhere): the points key presses changed go to the unit.
    void keyUp(const QKeyEvent& event);

  public slots:
    void SpeedButton3Click(bool down);

  private:
    MapPage* pageOf(ChartId id) const;
    bool isShown(const MapPage* page, const QWidget* shownPage) const;
    void plotMap(MapId id);
    void plotFamilies();
    void configureAxes();
    // The changes kept back for a key release are void once the maps are replaced.
    void dropUnsentKeyEdits();
    // Selections and tables show the curves again (new data, another curve chosen).
    void refreshTools();

    EmuState& state_;
    CalibrationEditor& editor_;
    MapEditorState editing_;
    MapToolHooks hooks_;
    TimingMapPage* timing_ = nullptr;
    FuelMapsPage* fuel_ = nullptr;
    CorrectionMapsPage* corrections_ = nullptr;
};
