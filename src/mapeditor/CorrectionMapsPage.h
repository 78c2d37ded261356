#pragma once

#include "mapeditor/MapPage.h"

class QRadioButton;

// "Correction Maps": water temperature (on its own panel, enabled with the fuel maps), the two air
// temperature curves with their selector, and battery voltage.
class CorrectionMapsPage : public MapPage {
    Q_OBJECT

  public:
    CorrectionMapsPage(const MapEditorContext& context, QWidget* parent = nullptr);

    QWidget* tempPanel() const { return tempPanel_; }
    // Selects the air temperature curve that tuning edits and marks its button.
    void selectAirCurve(MapId map);

  public slots:
    void RadioFuelClick();
    void RadioTimingClick();

  private:
    QWidget* tempPanel_ = nullptr;
    QRadioButton* RadioFuel = nullptr;
    QRadioButton* RadioTiming = nullptr;
};
