#include "mapeditor/CorrectionMapsPage.h"

#include "mapeditor/MapToolsWidget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

CorrectionMapsPage::CorrectionMapsPage(const MapEditorContext& context, QWidget* parent)
    : MapPage(context, parent) {
    setObjectName(QStringLiteral("TabSheet4"));
    auto* grid = new QGridLayout(this);

    tempPanel_ = new QWidget(this);
    tempPanel_->setObjectName(QStringLiteral("TempPanel"));
    tempPanel_->setMouseTracking(true);
    auto* tempLayout = new QVBoxLayout(tempPanel_);
    tempLayout->setContentsMargins(0, 0, 0, 0);
    tempLayout->addWidget(addChart(ChartId::Water, tempPanel_));
    tempPanel_->setEnabled(false);

    auto* selectors = new QWidget(this);
    selectors->setObjectName(QStringLiteral("AirCurveSelectors"));
    auto* row = new QHBoxLayout(selectors);
    row->setContentsMargins(0, 0, 0, 0);
    const auto selector = [selectors](const char* name, const QString& caption) {
        auto* radio = new QRadioButton(caption, selectors);
        radio->setObjectName(QString::fromLatin1(name));
        radio->setAccessibleName(QStringLiteral("Air temperature curve ") + caption);
        radio->setFocusPolicy(Qt::NoFocus); // the arrow keys tune the chart, not the selector
        return radio;
    };
    RadioFuel = selector("RadioFuel", QStringLiteral("Fuel"));
    RadioTiming = selector("RadioTiming", QStringLiteral("Timing"));
    RadioFuel->setChecked(true);
    row->addWidget(RadioFuel);
    row->addWidget(RadioTiming);
    connect(RadioFuel, &QRadioButton::clicked, this, &CorrectionMapsPage::RadioFuelClick);
    connect(RadioTiming, &QRadioButton::clicked, this, &CorrectionMapsPage::RadioTimingClick);

    grid->addWidget(tempPanel_, 0, 0);
    grid->addWidget(addChart(ChartId::Air, this, selectors), 0, 1);
    grid->addWidget(addChart(ChartId::Voltage, this), 1, 0, 1, 2);
}

void CorrectionMapsPage::selectAirCurve(MapId map) {
    context_.editing.AirTempCurveSelection = map;
    QRadioButton* chosen = map == MapId::AirTempTiming ? RadioTiming : RadioFuel;
    chosen->setChecked(true);
    for (QRadioButton* r : {RadioFuel, RadioTiming}) {
        QFont f = r->font();
        f.setBold(r == chosen);
        r->setFont(f);
    }
    tools(ChartId::Air)->refresh(); // the table shows the chosen curve
}

void CorrectionMapsPage::RadioFuelClick() {
    selectAirCurve(MapId::AirTempFuel);
}

void CorrectionMapsPage::RadioTimingClick() {
    selectAirCurve(MapId::AirTempTiming);
}
