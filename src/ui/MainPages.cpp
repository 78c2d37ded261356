#include "ui/MainPages.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "mapeditor/CorrectionMapsPage.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/TimingMapPage.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/TRT.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

MainPages::MainPages(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks, QWidget* parent)
    : QTabWidget(parent) {
    setObjectName(QStringLiteral("PageControl1"));
    setAccessibleName(QStringLiteral("Pages"));
    for (int i = 0; i < 4; ++i)
        frames[static_cast<size_t>(i)] = new TRT(QStringLiteral("RT%1").arg(i + 1), this);
    addTab(buildSetupPage(state, editor, std::move(hooks)), QStringLiteral("Setup"));
    maps = new MapPages(state, editor, this);
    addTab(withFrame(maps->timingPage(), frame(1)), QStringLiteral("Timing Map"));
    addTab(withFrame(maps->fuelPage(), frame(3)), QStringLiteral("Fuel Maps"));
    addTab(withFrame(maps->correctionPage(), frame(4)), QStringLiteral("Correction Maps"));
    TimingChart = maps->chart(ChartId::Timing);
    FuelVacChart = maps->chart(ChartId::FuelVacuum);
    dataLogger = new DataLoggerPage(state, this);
    addTab(dataLogger, QStringLiteral("Data Logger"));
    engineMonitor = new EngineMonitorPage(this);
    addTab(engineMonitor, QStringLiteral("Engine Monitor"));
    for (int i = 0; i < count(); ++i)
        if (widget(i)->objectName().isEmpty())
            widget(i)->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
}

QWidget* MainPages::buildSetupPage(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks) {
    setup = new SetupPage(state, editor, std::move(hooks), this);
    connect(setup, &SetupPage::fuelVacuumMarkerMoved, this, [this, &state](int series, double x) {
        // The chart only shows for a unit with fuel maps.
        QCPBars* bars = FuelVacChart && state.cal.HasFuelMaps ? FuelVacChart->bars(series) : nullptr;
        if (bars) {
            bars->data()->set({QCPBarsData(x, FuelVacChart->setup().yMax)});
            FuelVacChart->replot(QCustomPlot::rpQueuedReplot);
        }
    });
    Edit6 = setup->infoBox("Edit6");
    Edit7 = setup->infoBox("Edit7");
    Edit8 = setup->infoBox("Edit8");
    Edit66 = setup->infoBox("Edit66");
    Edit18 = setup->infoBox("Edit18");
    Edit9 = setup->infoBox("Edit9");
    Edit10 = setup->infoBox("Edit10");
    Edit11 = setup->infoBox("Edit11");
    // The tab's real-time frame goes in the place the page keeps for it.
    QWidget* place = setup->realTimeFrame();
    place->setObjectName(QStringLiteral("RT2Place"));
    auto* placeLayout = new QVBoxLayout(place);
    placeLayout->setContentsMargins(0, 0, 0, 0);
    frame(2)->setCompact(true);
    placeLayout->addWidget(frame(2));
    setupPanel = setup->parametersPanel();
    outputPanel = setup->outputPanel();
    return setup;
}

QWidget* MainPages::withFrame(QWidget* page, TRT* frame) {
    auto* sheet = new QWidget(this);
    auto* layout = new QHBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page, 1);
    layout->addWidget(frame);
    return sheet;
}

VehicleInfo MainPages::vehicle() const {
    return VehicleInfo{Edit9->text(), Edit10->text(), Edit11->text()};
}

QList<MapChartWidget*> MainPages::charts() const {
    return {maps->chart(ChartId::Timing), maps->chart(ChartId::Vacuum),  maps->chart(ChartId::FuelVacuum),
            maps->chart(ChartId::FuelRpm), maps->chart(ChartId::Water),  maps->chart(ChartId::Air),
            maps->chart(ChartId::Voltage)};
}
