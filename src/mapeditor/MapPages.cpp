#include "mapeditor/MapPages.h"

#include "calibration/Rounding.h"
#include "mapeditor/CorrectionMapsPage.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/TimingMapPage.h"

#include <QKeyEvent>

#include <cmath>

namespace {

TuningKey tuningKey(int key) {
    switch (key) {
    case Qt::Key_Left:
        return TuningKey::Left;
    case Qt::Key_Right:
        return TuningKey::Right;
    case Qt::Key_Up:
        return TuningKey::Up;
    case Qt::Key_Down:
        return TuningKey::Down;
    case Qt::Key_PageUp:
        return TuningKey::PageUp;
    case Qt::Key_PageDown:
        return TuningKey::PageDown;
    default:
        return TuningKey::Other;
    }
}

} // namespace

MapPages::MapPages(EmuState& state, CalibrationEditor& editor, QWidget* parent)
    : QObject(parent), state_(state), editor_(editor) {
    const MapEditorContext context{state_, editor_, editing_};
    timing_ = new TimingMapPage(context, parent);
    fuel_ = new FuelMapsPage(context, parent);
    corrections_ = new CorrectionMapsPage(context, parent);
    // Every accepted edit rebuilds its curve; the chart replots once per pass of the event loop.
    connect(&editor_, &CalibrationEditor::mapChanged, this, &MapPages::plotMap);
}

MapPage* MapPages::pageOf(ChartId id) const {
    for (MapPage* page : std::initializer_list<MapPage*>{timing_, fuel_, corrections_})
        if (page->chart(id))
            return page;
    return nullptr;
}

MapChartWidget* MapPages::chart(ChartId id) const {
    MapPage* page = pageOf(id);
    return page ? page->chart(id) : nullptr;
}

void MapPages::plotMap(MapId id) {
    if (const auto c = chartByName(QString::fromLatin1(mapInfo(id).chart)))
        chart(*c)->plotMap(id, state_.cal);
}

void MapPages::configureForFamilies() {
    const CalibrationData& cal = state_.cal;
    const double rpmAxis = cal.RpmRange / 100.0;
    const double vacuumAxis = cal.VacuumRange / 10.0;
    if (cal.HasTimingMaps) {
        MapChartWidget* c = chart(ChartId::Timing);
        c->setBottomMaximum(roundHalfEven(rpmAxis));
        c->setEnabled(true);
    }
    if (cal.HasVacuumMap) {
        MapChartWidget* c = chart(ChartId::Vacuum);
        c->setEnabled(true);
        c->setBottomMaximum(vacuumAxis + 0.2);
        if (vacuumAxis < 2)
            c->setBottomStep(0.1);
    }
    if (cal.HasFuelMaps) {
        for (ChartId id :
             {ChartId::FuelVacuum, ChartId::FuelRpm, ChartId::Water, ChartId::Air, ChartId::Voltage})
            chart(id)->setEnabled(true);
        corrections_->tempPanel()->setEnabled(true);
        fuel_->setJetTrimsEnabled(true);
        corrections_->selectAirCurve(MapId::AirTempFuel);
        chart(ChartId::FuelVacuum)->setBottomMaximum(std::round((vacuumAxis + 0.2) * 100) / 100);
        chart(ChartId::FuelRpm)->setBottomMaximum(rpmAxis);
    }
}

void MapPages::fillAfterRead() {
    const CalibrationData& cal = state_.cal;
    editing_.TimingCursorX = 0;
    if (cal.HasTimingMaps) {
        plotMap(MapId::Timing);
        chart(ChartId::Timing)->setEnabled(true);
    }
    if (cal.HasVacuumMap)
        plotMap(MapId::VacuumTiming);
    if (cal.HasFuelMaps) {
        fuel_->loadJetTrims();
        for (MapId id : {MapId::FuelVacuum, MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmHigh,
                         MapId::WaterTemp, MapId::AirTempFuel, MapId::AirTempTiming, MapId::Voltage})
            plotMap(id);
        fuel_->selectFuelRpmCurve(MapId::FuelRpmCruise);
    }
}

void MapPages::plotAllMaps() {
    for (const MapInfo& info : mapTable())
        plotMap(info.id);
    for (ChartId id : {ChartId::Timing, ChartId::Vacuum, ChartId::FuelVacuum, ChartId::FuelRpm})
        chart(id)->clearRole(SeriesRole::Cursor);
}

void MapPages::closeAll() {
    // The arrays are zeroed: no chart may show or edit the old curves.
    for (int i = 0; i < kChartCount; ++i) {
        MapChartWidget* c = chart(static_cast<ChartId>(i));
        c->clearAllSeries();
        c->setEnabled(false);
    }
    corrections_->tempPanel()->setEnabled(false);
    fuel_->setJetTrimsEnabled(false);
    fuel_->clearJetTrims();
    editing_.ActiveMapChart.reset();
    editing_.keyEdited.reset();
}

void MapPages::SpeedButton3Click(bool down) {
    editing_.MouseTuningEnabled = down;
}

void MapPages::keyDown(const QKeyEvent& event, const QWidget* shownPage) {
    if (editing_.ActiveMapChart) {
        if (MapPage* page = pageOf(*editing_.ActiveMapChart))
            page->ChartKeyDown(*editing_.ActiveMapChart, tuningKey(event.key()));
    }
    // The shown tab may hold the page inside a sheet of its own.
    if (shownPage && (shownPage == fuel_ || shownPage->isAncestorOf(fuel_)))
        fuel_->jetKey(event.key());
}

void MapPages::keyUp(const QKeyEvent&) {
    const auto active = editing_.ActiveMapChart;
    const auto& edited = editing_.keyEdited;
    // Only the point the key press edited, only on the chart it was pressed on, and only while
    // the chart holds loaded data.
    if (!active || !edited || edited->chart != *active || !state_.link.DataReady)
        return;
    const MapChartWidget* c = chart(*active);
    if (!c || !c->isEnabled())
        return;
    editor_.sendMapPoint(edited->map, edited->point);
    editor_.endEditGroup();
}
