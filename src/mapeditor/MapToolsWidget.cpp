#include "mapeditor/MapToolsWidget.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/Rounding.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPage.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

QString number(double x) {
    return QString::number(x, 'g', 10);
}

QString toolName(CurveTool tool) {
    switch (tool) {
    case CurveTool::SetTo:
        return QStringLiteral("Set");
    case CurveTool::Add:
        return QStringLiteral("Add");
    case CurveTool::Scale:
        return QStringLiteral("Scale");
    case CurveTool::Interpolate:
        return QStringLiteral("Interpolate");
    case CurveTool::Smooth:
        return QStringLiteral("Smooth");
    case CurveTool::Copy:
        return QStringLiteral("Copy");
    case CurveTool::Paste:
        return QStringLiteral("Paste");
    case CurveTool::SelectAll:
        return QStringLiteral("Select all");
    }
    return {};
}

} // namespace

MapToolsWidget::MapToolsWidget(const MapEditorContext& context, ChartId chart, MapChartWidget* plot,
                               QWidget* parent)
    : QWidget(parent), context_(context), chart_(chart), plot_(plot) {
    const QString name = QString::fromLatin1(chartName(chart));
    const QString title = QString::fromUtf8(plot->setup().title);
    setObjectName(name + QStringLiteral("ToolRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);

    menu_ = new QMenu(this);
    menu_->setObjectName(name + QStringLiteral("ToolMenu"));
    menu_->setAccessibleName(title + QStringLiteral(" tools"));
    addAction(CurveTool::SetTo, QStringLiteral("Set to..."), QKeySequence(Qt::CTRL | Qt::Key_E));
    // Not Ctrl+D, F, W...: the jet letters stay free of chords.
    addAction(CurveTool::Add, QStringLiteral("Add..."), QKeySequence(Qt::CTRL | Qt::Key_Plus));
    addAction(CurveTool::Scale, QStringLiteral("Scale by %..."), QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(CurveTool::Interpolate, QStringLiteral("Interpolate"), QKeySequence(Qt::CTRL | Qt::Key_I));
    addAction(CurveTool::Smooth, QStringLiteral("Smooth"), QKeySequence(Qt::CTRL | Qt::Key_M));
    menu_->addSeparator();
    addAction(CurveTool::Copy, QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    addAction(CurveTool::Paste, QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    addAction(CurveTool::SelectAll, QStringLiteral("Select all points"), QKeySequence(Qt::CTRL | Qt::Key_A));

    toolsButton_ = new QToolButton(this);
    toolsButton_->setObjectName(name + QStringLiteral("Tools"));
    toolsButton_->setText(QStringLiteral("Tools"));
    toolsButton_->setAccessibleName(title + QStringLiteral(" tools"));
    toolsButton_->setToolTip(QStringLiteral("Tools for the selected points (Shift+drag or Shift+Left/Right "
                                            "selects)"));
    toolsButton_->setMenu(menu_);
    toolsButton_->setPopupMode(QToolButton::InstantPopup);
    toolsButton_->setFocusPolicy(Qt::NoFocus);

    tableToggle_ = new QToolButton(this);
    tableToggle_->setObjectName(name + QStringLiteral("TableToggle"));
    tableToggle_->setText(QStringLiteral("Table"));
    tableToggle_->setCheckable(true);
    tableToggle_->setAccessibleName(title + QStringLiteral(" table"));
    tableToggle_->setToolTip(QStringLiteral("Show the points as a table (Ctrl+T)"));
    tableToggle_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    tableToggle_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(toolsButton_);
    row->addWidget(tableToggle_);

    // The table is placed beside the chart by the page; hidden until toggled on.
    table_ = new QTableWidget(0, 2, parent);
    table_->setObjectName(name + QStringLiteral("Table"));
    table_->setAccessibleName(title + QStringLiteral(" points"));
    table_->setHorizontalHeaderLabels(
        {QString::fromUtf8(MapTuning::axisTitle(chart)), QString::fromUtf8(plot->setup().yLabel)});
    table_->verticalHeader()->setDefaultSectionSize(20);
    // The value column takes what the axis column leaves, so both stay in sight whole.
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ContiguousSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    table_->setColumnWidth(0, 64);
    table_->setFixedWidth(190);
    table_->setVisible(false);
    // The menu's keys work while the chart or the table has the focus.
    plot_->addActions(menu_->actions());
    table_->addActions(menu_->actions());
    for (QAction* a : menu_->actions())
        a->setShortcutContext(Qt::WidgetShortcut);

    connect(tableToggle_, &QToolButton::toggled, this, [this](bool on) {
        table_->setVisible(on);
        if (on)
            fillTable();
    });
    connect(table_, &QTableWidget::itemChanged, this, &MapToolsWidget::cellCommitted);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &MapToolsWidget::tableSelectionChanged);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (filling_ || row < 0)
            return;
        // The chart's cursor goes to the table's point.
        const double x = MapTuning::pointX(chart_, row + 1, context_.state.cal.scales());
        context_.editing.cursorX(chart_) = x;
        plot_->setEditCursor(x, MapTuning::cursorHeight(chart_));
    });
    connect(&context_.editor, &CalibrationEditor::mapChanged, this, [this](MapId changed) {
        if (map() == changed && table_->isVisible())
            fillTable();
    });

    plot_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_->popup(plot_->mapToGlobal(at)); });

    band_ = new QCPItemRect(plot_);
    band_->setLayer(QStringLiteral("grid"));
    band_->setSelectable(false);
    band_->setPen(QPen(QColor(70, 110, 200, 160)));
    band_->setBrush(QColor(70, 110, 200, 55));
    band_->setClipToAxisRect(true);
    band_->setVisible(false);
}

void MapToolsWidget::addAction(CurveTool tool, const QString& text, const QKeySequence& key) {
    auto* action = menu_->addAction(text);
    action->setObjectName(QString::fromLatin1(chartName(chart_)) + toolName(tool).remove(QLatin1Char(' ')));
    action->setShortcut(key);
    if (tool == CurveTool::Add) // the plus key without Shift on most layouts
        action->setShortcuts({key, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(action, &QAction::triggered, this, [this, tool] { run(tool); });
}

std::optional<MapId> MapToolsWidget::map() const {
    return MapTuning::editedMap(chart_, context_.editing);
}

int MapToolsWidget::points() const {
    return MapTuning::chartPoints(chart_, context_.state.cal.scales());
}

std::vector<double> MapToolsWidget::curve(MapId id) const {
    const MapArray& values = context_.state.cal.map(id);
    return {values.begin() + 1, values.begin() + 1 + points()};
}

std::vector<double> MapToolsWidget::axis() const {
    const MapScales scales = context_.state.cal.scales();
    std::vector<double> xs;
    for (int i = 1; i <= points(); ++i)
        xs.push_back(MapTuning::axisValue(chart_, MapTuning::pointX(chart_, i, scales)));
    return xs;
}

int MapToolsWidget::cursorPoint() const {
    const int point =
        MapTuning::pointIndex(chart_, context_.editing.cursorX(chart_), context_.state.cal.scales());
    return std::clamp(point, 1, points());
}

PointRange MapToolsWidget::selection() const {
    return const_cast<MapEditorState&>(context_.editing).selection(chart_);
}

void MapToolsWidget::setSelection(PointRange range) {
    if (!range.isEmpty()) {
        range.first = std::clamp(range.first, 1, points());
        range.last = std::clamp(range.last, 1, points());
    } else {
        range = {};
        keyAnchor_ = 0;
    }
    context_.editing.selection(chart_) = range;
    drawSelection();
    if (filling_)
        return;
    filling_ = true;
    table_->clearSelection();
    if (!range.isEmpty() && table_->rowCount() >= range.last)
        table_->setRangeSelected(QTableWidgetSelectionRange(range.first - 1, 0, range.last - 1, 1), true);
    filling_ = false;
}

void MapToolsWidget::drawSelection() {
    const PointRange range = selection();
    if (range.isEmpty() || !plot_->isEnabled()) {
        band_->setVisible(false);
        plot_->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    const MapScales scales = context_.state.cal.scales();
    const double first = MapTuning::pointX(chart_, range.first, scales);
    const double last = MapTuning::pointX(chart_, range.last, scales);
    const double half =
        points() > 1 ? (MapTuning::pointX(chart_, 2, scales) - MapTuning::pointX(chart_, 1, scales)) / 2
                     : 0.5;
    const QCPRange y = plot_->yAxis->range();
    band_->topLeft->setCoords(first - half, y.upper);
    band_->bottomRight->setCoords(last + half, y.lower);
    band_->setVisible(true);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void MapToolsWidget::beginSelection(double x) {
    const int point = std::clamp(MapTuning::pointIndex(chart_, x, context_.state.cal.scales()), 1, points());
    anchor_ = point;
    setSelection({point, point});
}

void MapToolsWidget::extendSelection(double x) {
    if (anchor_ <= 0)
        return;
    const int point = std::clamp(MapTuning::pointIndex(chart_, x, context_.state.cal.scales()), 1, points());
    setSelection(PointRange::between(anchor_, point));
}

void MapToolsWidget::keySelect(int fromPoint, int toPoint) {
    const PointRange now = selection();
    // Continue a selection the cursor is at an end of; otherwise start one where the cursor was.
    if (keyAnchor_ == 0 || now.isEmpty() || (fromPoint != now.first && fromPoint != now.last))
        keyAnchor_ = fromPoint;
    setSelection(PointRange::between(keyAnchor_, toPoint));
}

void MapToolsWidget::showCursorPoint(int point) {
    if (!table_->isVisible() || point < 1 || point > table_->rowCount())
        return;
    filling_ = true;
    table_->setCurrentCell(point - 1, 1, QItemSelectionModel::NoUpdate);
    filling_ = false;
    setSelection(selection());
}

QString MapToolsWidget::say(const QString& text) {
    emit status(text);
    return text;
}

QString MapToolsWidget::run(CurveTool tool, std::optional<double> value) {
    const auto id = map();
    if (!id || !plot_->isEnabled())
        return say(QStringLiteral("Choose a curve to edit first"));
    const std::vector<double> values = curve(*id);
    const ValueLimits limits = CurveTools::limitsOf(*id);
    PointRange range = selection();
    const QString mapName = QString::fromLatin1(mapInfo(*id).name);

    if (tool == CurveTool::SelectAll) {
        setSelection({1, points()});
        return say(QStringLiteral("%1 points of %2 selected").arg(points()).arg(mapName));
    }
    if (tool == CurveTool::Copy) {
        const PointRange copied = range.isEmpty() ? PointRange{1, points()} : range;
        QGuiApplication::clipboard()->setText(CurveTools::formatText(axis(), values, copied));
        return say(QStringLiteral("%1 points of %2 copied").arg(copied.size()).arg(mapName));
    }

    CurveEdit edit;
    const bool needsNumber = tool == CurveTool::SetTo || tool == CurveTool::Add || tool == CurveTool::Scale;
    if (needsNumber && range.isEmpty())
        range = {cursorPoint(), cursorPoint()};
    if (needsNumber && !value) {
        const QString unit = QString::fromUtf8(plot_->setup().yLabel);
        const QString label = tool == CurveTool::SetTo ? QStringLiteral("Value (%1):").arg(unit)
                              : tool == CurveTool::Add
                                  ? QStringLiteral("Add (%1, negative subtracts):").arg(unit)
                                  : QStringLiteral("Scale by (%, negative lowers):");
        const QString title =
            QStringLiteral("%1 points %2..%3").arg(toolName(tool)).arg(range.first).arg(range.last);
        const double initial = tool == CurveTool::SetTo ? values[static_cast<size_t>(range.first - 1)] : 0;
        if (context_.hooks && context_.hooks->askNumber)
            value = context_.hooks->askNumber(title, label, initial);
        if (!value)
            return {};
    }
    switch (tool) {
    case CurveTool::SetTo:
        edit = CurveTools::setTo(values, range, *value, limits);
        break;
    case CurveTool::Add:
        edit = CurveTools::add(values, range, *value, limits);
        break;
    case CurveTool::Scale:
        edit = CurveTools::scale(values, range, *value, *id);
        break;
    case CurveTool::Interpolate:
        edit = CurveTools::interpolate(values, range, limits);
        break;
    case CurveTool::Smooth:
        edit = CurveTools::smooth(values, range, limits);
        break;
    case CurveTool::Paste: {
        QString error;
        const auto pasted = CurveTools::parseText(QGuiApplication::clipboard()->text(), &error);
        if (!pasted)
            return say(error);
        edit = CurveTools::paste(values, range.isEmpty() ? 1 : range.first, *pasted, limits);
        break;
    }
    case CurveTool::Copy:
    case CurveTool::SelectAll:
        break;
    }
    if (!edit.ok())
        return say(edit.error);
    const int applied = CurveTools::apply(context_.editor, *id, edit);
    QString text = edit.changes.empty()
                       ? QStringLiteral("%1: no point of %2 changes").arg(toolName(tool), mapName)
                       : QStringLiteral("%1: %2 of %3 points of %4 changed")
                             .arg(toolName(tool))
                             .arg(applied)
                             .arg(edit.changes.size())
                             .arg(mapName);
    if (const QString clamped = CurveTools::clampedText(edit.clamped, limits); !clamped.isEmpty())
        text += QStringLiteral("; ") + clamped;
    return say(text);
}

void MapToolsWidget::refresh() {
    if (table_->isVisible())
        fillTable();
    setSelection(selection());
}

void MapToolsWidget::fillTable() {
    const auto id = map();
    filling_ = true;
    const int n = id ? points() : 0;
    table_->setRowCount(n);
    const MapScales scales = context_.state.cal.scales();
    for (int i = 0; i < n; ++i) {
        auto* x = table_->item(i, 0);
        if (!x) {
            x = new QTableWidgetItem;
            x->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            x->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(i, 0, x);
        }
        x->setText(MapTuning::axisText(chart_, MapTuning::pointX(chart_, i + 1, scales)));
        auto* v = table_->item(i, 1);
        if (!v) {
            v = new QTableWidgetItem;
            v->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(i, 1, v);
        }
        v->setText(number(context_.state.cal.map(*id)[static_cast<size_t>(i + 1)]));
    }
    filling_ = false;
    setSelection(selection());
}

void MapToolsWidget::cellCommitted(QTableWidgetItem* item) {
    if (filling_ || !item || item->column() != 1)
        return;
    const auto id = map();
    if (!id)
        return;
    const int point = item->row() + 1;
    const double held = context_.state.cal.map(*id)[static_cast<size_t>(point)];
    const QString typed = item->text().trimmed();
    const auto restore = [&] {
        filling_ = true;
        item->setText(number(held));
        filling_ = false;
    };
    bool ok = false;
    QString field = typed;
    if (!field.contains(QLatin1Char('.')))
        field.replace(QLatin1Char(','), QLatin1Char('.'));
    const double value = field.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        restore();
        say(QStringLiteral("'%1' is not a valid integer value.").arg(typed));
        return;
    }
    const ValueLimits limits = CurveTools::limitsOf(*id);
    if (value < limits.lower || value > limits.upper) {
        restore();
        say(QStringLiteral("%1 point %2: enter a value from %3 to %4")
                .arg(QString::fromLatin1(mapInfo(*id).name))
                .arg(point)
                .arg(number(limits.lower), number(limits.upper)));
        return;
    }
    const double rounded = roundHalfEven(value);
    if (rounded == held) {
        restore();
        return;
    }
    if (!context_.editor.setMapPoint(*id, point, rounded, false, true))
        restore();
}

void MapToolsWidget::tableSelectionChanged() {
    if (filling_)
        return;
    int first = 0;
    int last = 0;
    for (const QTableWidgetSelectionRange& r : table_->selectedRanges()) {
        first = first == 0 ? r.topRow() + 1 : std::min(first, r.topRow() + 1);
        last = std::max(last, r.bottomRow() + 1);
    }
    filling_ = true;
    setSelection(first > 0 ? PointRange{first, last} : PointRange{});
    filling_ = false;
}
