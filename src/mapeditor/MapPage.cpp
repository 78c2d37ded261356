#include "mapeditor/MapPage.h"

#include "calibration/Rounding.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapToolsWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kChartKeys = QStringLiteral(
    "\nKeys, pointing at the chart: Left/Right move the editing cursor, Up/Down change its point by one "
    "(sent when the key is released).");
const QString kTimingKeys = QStringLiteral(" Page Up/Page Down shift the whole curve.");
const QString kKeysPage = QStringLiteral("\nF1, then Keys, lists every key.");

} // namespace

MapPage::MapPage(const MapEditorContext& context, QWidget* parent) : QWidget(parent), context_(context) {
    // Pointer moves over the page background hide the readouts.
    setMouseTracking(true);
}

MapChartWidget* MapPage::chart(ChartId id) const {
    const auto it = charts_.find(id);
    return it == charts_.end() ? nullptr : it->second;
}

QLineEdit* MapPage::valueBox(ChartId id) const {
    const auto it = readouts_.find(id);
    return it == readouts_.end() ? nullptr : it->second.value;
}

QLineEdit* MapPage::positionBox(ChartId id) const {
    const auto it = readouts_.find(id);
    return it == readouts_.end() ? nullptr : it->second.position;
}

MapToolsWidget* MapPage::tools(ChartId id) const {
    const auto it = tools_.find(id);
    return it == tools_.end() ? nullptr : it->second;
}

QWidget* MapPage::addChart(ChartId id, QWidget* parent, QWidget* selectors) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(chartName(id)) + QStringLiteral("Panel"));
    panel->setMouseTracking(true);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* chart = new MapChartWidget(*mapChartSetup(chartName(id)), panel);
    auto* tools = new MapToolsWidget(context_, id, chart, panel);
    if (context_.hooks)
        connect(tools, &MapToolsWidget::status, this, [this](const QString& text) {
            if (context_.hooks->showStatus)
                context_.hooks->showStatus(text);
        });
    // The table of the curve, when shown, stands beside the chart.
    auto* plotRow = new QHBoxLayout;
    plotRow->addWidget(chart, 1);
    plotRow->addWidget(tools->table());
    layout->addLayout(plotRow, 1);
    charts_[id] = chart;
    tools_[id] = tools;

    const ChartReadoutSetup& r = chart->setup().readout;
    Readouts boxes;
    auto* row = new QHBoxLayout;
    const auto addReadout = [&](const char* name, const char* caption, QLabel*& label, QLineEdit*& box) {
        label = new QLabel(QString::fromUtf8(caption), panel);
        label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
        label->setMouseTracking(true);
        box = new QLineEdit(panel);
        box->setObjectName(QString::fromLatin1(name));
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setFixedWidth(70);
        // A read-out, not a field to type in: it wears the page's colour, not an entry's white.
        QPalette look = box->palette();
        look.setColor(QPalette::Base, look.color(QPalette::Window));
        box->setPalette(look);
        box->setAccessibleName(QString::fromUtf8(chart->setup().title) + QLatin1Char(' ') +
                               QString::fromUtf8(caption));
        label->setBuddy(box);
        const QString tip =
            (&box == &boxes.value
                 ? QStringLiteral("The value under the pointer, or of the point under the "
                                  "editing cursor (read-only).")
                 : QStringLiteral("Where the pointer or the editing cursor is (read-only).")) +
            kChartKeys + (id == ChartId::Timing ? kTimingKeys : QString()) + kKeysPage;
        label->setToolTip(tip);
        box->setToolTip(tip);
        // Showing or hiding the readouts must not resize the chart under the pointer.
        for (QWidget* w : std::initializer_list<QWidget*>{label, box}) {
            QSizePolicy policy = w->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            w->setSizePolicy(policy);
        }
        label->setVisible(r.visibleAtStart);
        box->setVisible(r.visibleAtStart);
        row->addWidget(label);
        row->addWidget(box);
    };
    if (selectors)
        row->addWidget(selectors);
    row->addWidget(tools);
    row->addStretch();
    addReadout(r.valueBox, r.valueCaption, boxes.valueCaption, boxes.value);
    row->addSpacing(16);
    addReadout(r.positionBox, r.positionCaption, boxes.positionCaption, boxes.position);
    row->addStretch();
    layout->addLayout(row);
    readouts_[id] = boxes;

    connect(chart, &QCustomPlot::mouseMove, this,
            [this, chart](QMouseEvent* e) { ChartMouseMove(chart, e); });
    connect(chart, &QCustomPlot::mousePress, this,
            [this, chart](QMouseEvent* e) { ChartMousePress(chart, e); });
    connect(chart, &QCustomPlot::mouseRelease, this,
            [this, chart](QMouseEvent* e) { ChartMouseRelease(chart, e); });
    return panel;
}

void MapPage::showReadouts(ChartId id, bool visible) {
    const auto it = readouts_.find(id);
    if (it == readouts_.end())
        return;
    for (QWidget* w : std::initializer_list<QWidget*>{it->second.valueCaption, it->second.value,
                                                      it->second.positionCaption, it->second.position})
        w->setVisible(visible);
}

void MapPage::hideReadouts() {
    for (const auto& [id, boxes] : readouts_)
        showReadouts(id, false);
}

void MapPage::mouseMoveEvent(QMouseEvent* event) {
    hideReadouts();
    QWidget::mouseMoveEvent(event);
}

void MapPage::ChartMouseMove(MapChartWidget* chart, QMouseEvent* event) {
    const auto id = chartByName(chart->objectName());
    if (!id)
        return;
    MapEditorState& editing = context_.editing;
    const MapScales scales = context_.state.cal.scales();
    const QPointF at = chart->valueAt(event->position());

    showReadouts(*id, true);
    const PointerReadout readout = MapTuning::pointerReadout(*id, at.x(), at.y(), scales);
    editing.cursorX(*id) = readout.cursorX;
    const Readouts& boxes = readouts_[*id];
    if (readout.valueText)
        boxes.value->setText(*readout.valueText);
    if (readout.positionText)
        boxes.position->setText(*readout.positionText);
    chart->setFocus(Qt::MouseFocusReason);
    chart->clearRole(SeriesRole::Cursor);
    editing.ActiveMapChart = *id;

    if (event->buttons() & Qt::LeftButton) {
        // Shift+drag selects points; it never tunes.
        if (MapToolsWidget* t = tools(*id); t && t->selecting()) {
            t->extendSelection(at.x());
            return;
        }
        ChartDragOver(chart, event);
    }
}

void MapPage::ChartDragOver(MapChartWidget* chart, QMouseEvent* event) {
    const auto id = chartByName(chart->objectName());
    MapEditorState& editing = context_.editing;
    if (!id || !editing.MouseTuningEnabled || !chart->isEnabled())
        return;
    const auto map = MapTuning::editedMap(*id, editing);
    if (!map)
        return;
    CalibrationData& cal = context_.state.cal;
    const MapScales scales = cal.scales();
    const QPointF at = chart->valueAt(event->position());
    const auto edit = MapTuning::dragEdit(*id, at.x(), at.y(), scales);
    if (!edit)
        return;

    // The vacuum axes keep the edited point's x to 2 decimals, and the cursor follows it.
    if (*id == ChartId::Vacuum || *id == ChartId::FuelVacuum) {
        const double x = MapTuning::roundTo(MapTuning::pointX(*id, edit->point, scales), 2);
        MapArray& axis = *id == ChartId::Vacuum ? cal.VacuumAxis : cal.FuelVacuumAxis;
        axis[static_cast<size_t>(edit->point)] = x;
        editing.VacuumCursorX = x;
    } else if (*id == ChartId::Timing) {
        editing.TimingCursorX = MapTuning::pointX(ChartId::Timing, edit->point, scales);
    }
    if (*id == ChartId::Timing || *id == ChartId::FuelRpm)
        chart->clearRole(SeriesRole::Cursor);
    // The curve is rebuilt from the door's mapChanged.
    context_.editor.setMapPoint(*map, edit->point, edit->value, true, true);
}

void MapPage::ChartMousePress(MapChartWidget* chart, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const auto id = chartByName(chart->objectName());
    MapToolsWidget* t = id ? tools(*id) : nullptr;
    if (t && chart->isEnabled()) {
        if (event->modifiers() & Qt::ShiftModifier) {
            t->beginSelection(chart->valueAt(event->position()).x());
            return;
        }
        t->setSelection({});
    }
    if (!context_.editing.MouseTuningEnabled)
        return;
    dragging_ = true;
    chart->setCursor(Qt::SizeVerCursor);
}

void MapPage::ChartMouseRelease(MapChartWidget* chart, QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (const auto id = chartByName(chart->objectName()))
        if (MapToolsWidget* t = tools(*id))
            t->endSelection();
    if (!dragging_)
        return;
    dragging_ = false;
    // Back to the pointer the chart had: none once a key has been pressed on it.
    chart->setCursor(chart->property("keyTuned").toBool() ? Qt::BlankCursor : Qt::CrossCursor);
    context_.editor.endEditGroup();
}

void MapPage::ChartKeyDown(ChartId id, TuningKey key, bool extend) {
    MapChartWidget* c = chart(id);
    MapEditorState& editing = context_.editing;
    if (!c || !c->isEnabled())
        return;
    const auto map = MapTuning::editedMap(id, editing);
    if (!map)
        return;
    const CalibrationData& cal = context_.state.cal;
    const MapScales scales = cal.scales();
    const QCPRange range = c->xAxis->range();
    const auto plan =
        MapTuning::keyPlan(id, key, editing.cursorX(id), range.lower, range.upper, scales, cal.map(*map));
    if (!plan)
        return;

    c->setEditCursor(plan->cursorX, MapTuning::cursorHeight(id));
    if (MapToolsWidget* t = tools(id); t && (key == TuningKey::Left || key == TuningKey::Right)) {
        const int from = std::clamp(MapTuning::pointIndex(id, editing.cursorX(id), scales), 1,
                                    MapTuning::chartPoints(id, scales));
        if (extend)
            t->keySelect(from, plan->point);
        else
            t->setSelection({});
        t->showCursorPoint(plan->point);
    }
    const double current = cal.map(*map)[static_cast<size_t>(plan->point)];
    // Only Up, Down and the page keys change a value; every other key leaves the tune alone.
    if (plan->shift != 0)
        shiftCurve(*map, plan->shift, MapTuning::chartPoints(id, scales));
    else if ((key == TuningKey::Up || key == TuningKey::Down) && plan->value != current)
        keepKeyEdit(id, *map, plan->point, plan->value);
    editing.cursorX(id) = plan->cursorX;
    editing.KeyCursorX = plan->cursorX;

    showCursorValue(id);
    readouts_[id].position->setText(plan->positionText);
    // From the first key press on a chart only the editing cursor bar shows where it is.
    c->setProperty("keyTuned", true);
    c->setCursor(Qt::BlankCursor);
}

void MapPage::keepKeyEdit(ChartId id, MapId map, int point, double value) {
    // The unit gets the point when the key is released; until then it is a change on the PC only.
    if (!context_.editor.setMapPoint(map, point, value, true, false))
        return;
    auto& edits = context_.editing.unsentKeyEdits;
    const MapEditorState::KeyEdit edit{id, map, point};
    if (std::find(edits.begin(), edits.end(), edit) == edits.end())
        edits.push_back(edit);
}

void MapPage::shiftCurve(MapId map, int direction, int points) {
    // Every point the shift changes goes to the unit now, as one operation: one undo step and one
    // journal group. A point the link refuses ends it, so the window shows what the unit holds.
    CalibrationEditor& editor = context_.editor;
    const CalibrationEditor::Group group(editor);
    for (int i = 1; i <= points; ++i) {
        const double value = context_.state.cal.map(map)[static_cast<size_t>(i)];
        const double shifted = MapTuning::shiftedTimingValue(value, direction);
        if (shifted != value && !editor.setMapPoint(map, i, shifted, false, true))
            return;
    }
}

void MapPage::showCursorValue(ChartId id) {
    const auto it = readouts_.find(id);
    const auto map = MapTuning::editedMap(id, context_.editing);
    if (it == readouts_.end() || !map)
        return;
    const CalibrationData& cal = context_.state.cal;
    const MapScales scales = cal.scales();
    const int point = MapTuning::pointIndex(id, context_.editing.cursorX(id), scales);
    if (point < 1 || point > MapTuning::chartPoints(id, scales))
        return;
    it->second.value->setText(QString::number(roundHalfEven(cal.map(*map)[static_cast<size_t>(point)])));
}

void MapPage::refreshReadouts(std::optional<MapId> changed) {
    for (auto& [id, boxes] : readouts_) {
        const auto map = MapTuning::editedMap(id, context_.editing);
        if (changed && map != changed)
            continue;
        const MapScales scales = context_.state.cal.scales();
        const int point = MapTuning::pointIndex(id, context_.editing.cursorX(id), scales);
        const bool onCurve =
            map && point >= 1 && point <= MapTuning::chartPoints(id, scales) && charts_[id]->isEnabled();
        // Nothing shown yet: the pointer has not been over the chart since the boxes were cleared.
        if (boxes.value->text().isEmpty() && boxes.position->text().isEmpty())
            continue;
        if (onCurve) {
            showCursorValue(id);
        } else {
            boxes.value->clear();
            boxes.position->clear();
        }
    }
}

void MapPage::clearReadouts() {
    for (auto& [id, boxes] : readouts_) {
        boxes.value->clear();
        boxes.position->clear();
    }
}
