#include "mapeditor/TimingMapPage.h"

#include <QVBoxLayout>

TimingMapPage::TimingMapPage(const MapEditorContext& context, QWidget* parent) : MapPage(context, parent) {
    setObjectName(QStringLiteral("TabSheet2"));
    auto* layout = new QVBoxLayout(this);
    // The timing curve has up to 100 points: it gets the larger share of the height.
    layout->addWidget(addChart(ChartId::Timing, this), 3);
    layout->addWidget(addChart(ChartId::Vacuum, this), 2);
}
