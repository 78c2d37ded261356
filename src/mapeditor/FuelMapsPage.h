#pragma once

#include "link/SetupIds.h"
#include "mapeditor/MapPage.h"

#include <functional>
#include <vector>

class CommitLineEdit;
class QPushButton;
struct PointMark;
class QRadioButton;
class QSlider;

// "Fuel Maps": fuel against vacuum, the three RPM fuel curves with their selector, and the main
// and idle jet trims (setup parameters 3 and 2) on vertical sliders that show the trim inverted.
class FuelMapsPage : public MapPage {
    Q_OBJECT

  public:
    FuelMapsPage(const MapEditorContext& context, QWidget* parent = nullptr);

    // Connect: the sliders work when the unit has fuel maps; Close all stops them again.
    void setJetTrimsEnabled(bool enabled);
    // A read or a file: the sliders and boxes show the loaded trims; nothing is sent back.
    void loadJetTrims();
    // Slider and box show the trim the setup block holds (a trim sent, an undo, the Setup tab).
    void showSetupTrim(int id);
    void clearJetTrims();
    // Selects the RPM curve that tuning edits and marks its button.
    void selectFuelRpmCurve(MapId map);

    // The jet keys Q/A/W/S (main) and D/C/F/V (idle); true when the key is one of them and the
    // slider could take it. The window calls it only for plain keys (no Ctrl, Alt or Meta).
    bool jetKey(int key);

    // "Mixture suggestions...": the window opens the suggestions dialog on mixtureSuggestionsRequested.
    QPushButton* mixtureButton() const { return MixtureButton; }
    // Arrows on the suggested points of both fuel charts (replacing those shown); cleared again
    // when the suggestions are gone.
    void showSuggestionMarks(const std::vector<PointMark>& marks);
    void clearSuggestionMarks();

    QSlider* mainJetSlider() const { return MainJetAdjust; }
    QSlider* idleJetSlider() const { return IdleJetAdjust; }
    CommitLineEdit* mainJetBox() const { return Edit28; }
    CommitLineEdit* idleJetBox() const { return Edit32; }

    // Shows a refused trim to the user (the conversion error); set by the window.
    std::function<void(const QString&)> showError;

  signals:
    void mixtureSuggestionsRequested();

  public slots:
    void RadioLowClick();
    void RadioCruiseClick();
    void RadioHighClick();
    void MainJetAdjustChange(int position);
    void IdleJetAdjustChange(int position);

  public:
    // A committed trim (Enter, Tab or leaving the box): empty when it was sent, else the reason.
    QString Edit28Change(const QString& text);
    QString Edit32Change(const QString& text);

  private:
    QWidget* jetColumn(const char* box, const char* slider, const QString& caption, CommitLineEdit*& edit,
                       QSlider*& track);
    QString trimCommitted(int id, const QString& text);
    void trimMoved(int id, int position);
    CommitLineEdit* boxOf(int id) const;
    QSlider* sliderOf(int id) const;

    QRadioButton* RadioLow = nullptr;
    QRadioButton* RadioCruise = nullptr;
    QRadioButton* RadioHigh = nullptr;
    QPushButton* MixtureButton = nullptr;
    QSlider* MainJetAdjust = nullptr;
    QSlider* IdleJetAdjust = nullptr;
    CommitLineEdit* Edit28 = nullptr;
    CommitLineEdit* Edit32 = nullptr;
    bool filling_ = false;
};
