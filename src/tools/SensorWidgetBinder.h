#pragma once

#include <QObject>

#include <vector>

class QAbstractButton;
class QLineEdit;
class TTPSCalForm;
class ToolSession;

// Binds the Setup page's "Calibrate" buttons to the sensor calibration: the throttle sensor's
// button opens the calibration dialog; each of the other three reveals its hidden number field,
// which sends every change to the unit and hides again when it loses the focus.
class SensorWidgetBinder : public QObject {
    Q_OBJECT

  public:
    SensorWidgetBinder(ToolSession& session, QObject* parent = nullptr);

    // Button1/Edit52 (id 44), Button2/Edit58 (id 50), Button3/Edit60 (id 52). The field starts hidden.
    void attach(QAbstractButton* button, QLineEdit* edit, int id);
    // CalBtn: CalBtnClick of the dialog.
    void attachThrottle(QAbstractButton* button, TTPSCalForm& dialog);

    // A field's change handler (Edit52Change and its twins): send the typed number.
    void fieldChanged(QLineEdit* edit, int id);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ToolSession& session_;
    std::vector<QLineEdit*> fields_;
};
