#include "mapeditor/MapPages.h"

#include "calibration/Rounding.h"
#include "calibration/SetupParameters.h"
#include "mapeditor/CorrectionMapsPage.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapKeyWidgets.h"
#include "mapeditor/TimingMapPage.h"

#include <QApplication>
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
    const MapEditorContext context{state_, editor_, editing_, &hooks_};
    timing_ = new TimingMapPage(context, parent);
    fuel_ = new FuelMapsPage(context, parent);
    corrections_ = new CorrectionMapsPage(context, parent);
    // Every accepted edit rebuilds its curve; the chart replots once per pass of the event loop.
    connect(&editor_, &CalibrationEditor::mapChanged, this, &MapPages::plotMap);
    // The RPM range and the vacuum sensor's range place every point of the charts.
    connect(&editor_, &CalibrationEditor::setupValueChanged, this, [this](int id) {
        const SetupParameter* p = setupParameter(id);
        if (p && (p->effect == SetupEffect::RpmRange || p->effect == SetupEffect::VacuumRange))
            rescale();
    });
}

MapPage* MapPages::pageOf(ChartId id) const {
    for (MapPage* page : std::initializer_list<MapPage*>{timing_, fuel_, corrections_})
        if (page->chart(id))
            return page;
    return nullptr;
}

MapPage* MapPages::shownPage(const QWidget* shownTab) const {
    for (MapPage* page : std::initializer_list<MapPage*>{timing_, fuel_, corrections_})
        if (isShown(page, shownTab))
            return page;
    return nullptr;
}

MapToolsWidget* MapPages::tools(ChartId id) const {
    MapPage* page = pageOf(id);
    return page ? page->tools(id) : nullptr;
}

MapChartWidget* MapPages::chart(ChartId id) const {
    MapPage* page = pageOf(id);
    return page ? page->chart(id) : nullptr;
}

void MapPages::plotMap(MapId id) {
    if (const auto c = chartByName(QString::fromLatin1(mapInfo(id).chart))) {
        chart(*c)->plotMap(id, state_.cal);
        // The read-outs under the chart follow the curve.
        pageOf(*c)->refreshReadouts(id);
    }
}

bool MapPages::isShown(const MapPage* page, const QWidget* shownPage) const {
    // The shown tab may hold the page inside a sheet of its own.
    return page && shownPage && (shownPage == page || shownPage->isAncestorOf(page));
}

void MapPages::configureForFamilies() {
    const CalibrationData& cal = state_.cal;
    if (cal.HasTimingMaps)
        chart(ChartId::Timing)->setEnabled(true);
    if (cal.HasVacuumMap)
        chart(ChartId::Vacuum)->setEnabled(true);
    if (cal.HasFuelMaps) {
        for (ChartId id :
             {ChartId::FuelVacuum, ChartId::FuelRpm, ChartId::Water, ChartId::Air, ChartId::Voltage})
            chart(id)->setEnabled(true);
        corrections_->tempPanel()->setEnabled(true);
        fuel_->setJetTrimsEnabled(true);
        corrections_->selectAirCurve(MapId::AirTempFuel);
    }
    configureAxes();
}

void MapPages::configureAxes() {
    const CalibrationData& cal = state_.cal;
    const double rpmAxis = rpmAxisLength(cal.scales());
    const double vacuumAxis = vacuumAxisLength(cal.scales());
    if (cal.HasTimingMaps)
        chart(ChartId::Timing)->setBottomMaximum(roundHalfEven(rpmAxis));
    if (cal.HasVacuumMap) {
        MapChartWidget* c = chart(ChartId::Vacuum);
        c->setBottomMaximum(vacuumAxis + 0.2);
        // A short range gets finer ticks; a longer one (a later sensor change) the layout's again.
        c->setBottomStep(vacuumAxis < 2 ? 0.1 : c->setup().xStep);
    }
    if (cal.HasFuelMaps) {
        chart(ChartId::FuelVacuum)->setBottomMaximum(std::round((vacuumAxis + 0.2) * 100) / 100);
        chart(ChartId::FuelRpm)->setBottomMaximum(rpmAxis);
    }
}

void MapPages::plotFamilies() {
    const CalibrationData& cal = state_.cal;
    if (cal.HasTimingMaps)
        plotMap(MapId::Timing);
    if (cal.HasVacuumMap)
        plotMap(MapId::VacuumTiming);
    if (cal.HasFuelMaps)
        for (MapId id : {MapId::FuelVacuum, MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmHigh,
                         MapId::WaterTemp, MapId::AirTempFuel, MapId::AirTempTiming, MapId::Voltage})
            plotMap(id);
}

void MapPages::fillAfterRead() {
    const CalibrationData& cal = state_.cal;
    dropUnsentKeyEdits();
    editing_.TimingCursorX = 0;
    if (cal.HasTimingMaps)
        chart(ChartId::Timing)->setEnabled(true);
    if (cal.HasFuelMaps)
        fuel_->loadJetTrims();
    plotFamilies();
    if (cal.HasFuelMaps)
        fuel_->selectFuelRpmCurve(MapId::FuelRpmCruise);
    for (MapPage* page : std::initializer_list<MapPage*>{timing_, fuel_, corrections_})
        page->refreshReadouts();
    refreshTools();
}

void MapPages::rescale() {
    CalibrationData& cal = state_.cal;
    // The point under each chart's cursor as the chart shows it (the Setup tab may have taken the
    // new range already, so the old scales are known only from what is drawn).
    std::array<int, kChartCount> points{};
    for (int i = 0; i < kChartCount; ++i) {
        const auto id = static_cast<ChartId>(i);
        points[static_cast<size_t>(i)] = chart(id)->nearestDrawnPoint(editing_.cursorX(id));
    }

    deriveSetupValues(cal);
    placeVacuumAxes(cal);
    configureAxes();
    plotFamilies();

    // Each cursor back on its point, wherever the new scale puts it. The two vacuum charts share
    // one cursor: the one being tuned decides which point it keeps.
    const MapScales after = cal.scales();
    const bool fuelVacuumLeads = editing_.ActiveMapChart == ChartId::FuelVacuum;
    for (int i = 0; i < kChartCount; ++i) {
        const auto id = static_cast<ChartId>(i);
        if ((id == ChartId::Vacuum && fuelVacuumLeads) || (id == ChartId::FuelVacuum && !fuelVacuumLeads))
            continue;
        const int point = std::clamp(points[static_cast<size_t>(i)], 1, MapTuning::chartPoints(id, after));
        editing_.cursorX(id) = MapTuning::pointX(id, point, after);
    }
    for (int i = 0; i < kChartCount; ++i) {
        const auto id = static_cast<ChartId>(i);
        MapChartWidget* c = chart(id);
        if (c->hasEditCursor())
            c->setEditCursor(editing_.cursorX(id), MapTuning::cursorHeight(id));
    }
    if (editing_.ActiveMapChart)
        editing_.KeyCursorX = editing_.cursorX(*editing_.ActiveMapChart);
}

void MapPages::dropUnsentKeyEdits() {
    editing_.unsentKeyEdits.clear();
    editor_.forgetUnsent();
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
    dropUnsentKeyEdits();
    for (MapPage* page : std::initializer_list<MapPage*>{timing_, fuel_, corrections_})
        page->clearReadouts();
    editing_.selections.fill({});
    refreshTools();
}

void MapPages::refreshTools() {
    for (int i = 0; i < kChartCount; ++i)
        if (MapToolsWidget* t = tools(static_cast<ChartId>(i)))
            t->refresh();
}

void MapPages::SpeedButton3Click(bool down) {
    editing_.MouseTuningEnabled = down;
}

void MapPages::keyDown(const QKeyEvent& event, const QWidget* shownPage, const QWidget* receiver) {
    if (!receiver)
        receiver = QApplication::focusWidget();
    if (!MapKeys::tuningKeyAllowed(receiver, event.modifiers()))
        return;
    // Only a chart the tuner can see: the last chart visited on another page stays untouched.
    if (const auto active = editing_.ActiveMapChart) {
        if (MapPage* page = pageOf(*active); isShown(page, shownPage))
            page->ChartKeyDown(*active, tuningKey(event.key()), event.modifiers() & Qt::ShiftModifier);
    }
    if (isShown(fuel_, shownPage))
        fuel_->jetKey(event.key());
}

void MapPages::keyUp(const QKeyEvent&) {
    if (editing_.unsentKeyEdits.empty())
        return;
    // Every point a press changed, on whatever chart it was, and only while the unit lacks it.
    const std::vector<MapEditorState::KeyEdit> edits = std::move(editing_.unsentKeyEdits);
    editing_.unsentKeyEdits.clear();
    for (const MapEditorState::KeyEdit& e : edits) {
        if (!editor_.hasUnsentPoint(e.map, e.point))
            continue;
        // A send that does not reach the port puts the unit's value back; the box shows it too.
        if (!editor_.sendMapPoint(e.map, e.point))
            if (MapPage* page = pageOf(e.chart))
                page->showCursorValue(e.chart);
    }
    editor_.endEditGroup();
}
