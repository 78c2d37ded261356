#pragma once

#include "mapeditor/MapPage.h"

// "Timing Map": the timing curve over RPM and the vacuum advance curve.
class TimingMapPage : public MapPage {
    Q_OBJECT

  public:
    TimingMapPage(const MapEditorContext& context, QWidget* parent = nullptr);
};
