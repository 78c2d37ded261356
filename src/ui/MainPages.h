#pragma once

#include "calibration/SettingsFile.h"
#include "setup/SetupPage.h"

#include <QList>
#include <QTabWidget>

#include <array>

class CalibrationEditor;
class DataLoggerPage;
class EngineMonitorPage;
class MapChartWidget;
class MapPages;
class QGroupBox;
class QLineEdit;
class TRT;
struct EmuState;

// The main window's pages in their fixed order (Setup, the three map pages, Data Logger, Engine
// Monitor), each map page with its real-time frame at the right and the Setup tab's frame in the
// place the page keeps for it. It only builds and holds them; the window binds them.
class MainPages : public QTabWidget {
    Q_OBJECT

  public:
    MainPages(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks, QWidget* parent);

    // The identity and vehicle boxes of the Setup tab.
    VehicleInfo vehicle() const;
    // The seven charts whose markers follow the live data.
    QList<MapChartWidget*> charts() const;
    TRT* frame(int n) const { return frames.at(static_cast<size_t>(n - 1)); }

    SetupPage* setup = nullptr;
    QWidget* setupPanel = nullptr;
    QGroupBox* outputPanel = nullptr;
    MapPages* maps = nullptr;
    DataLoggerPage* dataLogger = nullptr;
    EngineMonitorPage* engineMonitor = nullptr;
    std::array<TRT*, 4> frames{};
    MapChartWidget* TimingChart = nullptr;
    MapChartWidget* FuelVacChart = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLineEdit* Edit66 = nullptr;
    QLineEdit* Edit18 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLineEdit* Edit11 = nullptr;

  private:
    QWidget* buildSetupPage(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks);
    QWidget* withFrame(QWidget* page, TRT* frame);
};
