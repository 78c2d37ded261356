#pragma once

#include "mapeditor/MapPage.h"

#include <functional>

class QLineEdit;
class QRadioButton;
class QSlider;

// "Fuel Maps": fuel against vacuum, the three RPM fuel curves with their selector, and the main
// and idle jet trims (setup parameters 3 and 2) on vertical sliders that show the trim inverted.
class FuelMapsPage : public MapPage {
    Q_OBJECT

  public:
    static constexpr int kMainJetId = 3;
    static constexpr int kIdleJetId = 2;

    FuelMapsPage(const MapEditorContext& context, QWidget* parent = nullptr);

    // Connect: the sliders work when the unit has fuel maps; Close all stops them again.
    void setJetTrimsEnabled(bool enabled);
    // A read or a file: the sliders and boxes show the loaded trims; nothing is sent back.
    void loadJetTrims();
    void clearJetTrims();
    // Selects the RPM curve that tuning edits and marks its button.
    void selectFuelRpmCurve(MapId map);

    // The jet keys Q/A/W/S (main) and D/C/F/V (idle); true when the key is one of them and the
    // slider could take it.
    bool jetKey(int key);

    QSlider* mainJetSlider() const { return MainJetAdjust; }
    QSlider* idleJetSlider() const { return IdleJetAdjust; }

    // Shows a refused trim to the user (the conversion error); set by the window.
    std::function<void(const QString&)> showError;

  public slots:
    void RadioLowClick();
    void RadioCruiseClick();
    void RadioHighClick();
    void MainJetAdjustChange(int position);
    void IdleJetAdjustChange(int position);
    void Edit28Change(const QString& text);
    void Edit32Change(const QString& text);

  private:
    QWidget* jetColumn(const char* box, const char* slider, const QString& caption, QLineEdit*& edit,
                       QSlider*& track);
    void trimTyped(int id, const QString& text);
    void trimFinished(int id, QLineEdit* box);
    void showSetupTrim(int id);

    QRadioButton* RadioLow = nullptr;
    QRadioButton* RadioCruise = nullptr;
    QRadioButton* RadioHigh = nullptr;
    QSlider* MainJetAdjust = nullptr;
    QSlider* IdleJetAdjust = nullptr;
    QLineEdit* Edit28 = nullptr;
    QLineEdit* Edit32 = nullptr;
    bool filling_ = false;
};
