#pragma once

#include <functional>

#include "tools/ThrottleCalibration.h"

#include <QDialog>
#include <QTimer>

#include <optional>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class ToolSession;

// The guided throttle position sensor calibration: the live reading on a bar, F1 to capture the
// fully open and then the closed throttle, "OK" to store both in the unit.
class TTPSCalForm : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kErrorPauseMs = 1500;
    static constexpr int kSetPauseMs = 200; // between the two set messages
    static inline const QString kNotSentText =
        QStringLiteral("The calibration did not reach the EMU: check the link and try again");

    TTPSCalForm(ToolSession& session, QWidget* parent);

    const ThrottleCalibration& calibration() const { return cal_; }

    // Key preview: F1 captures.
    bool FormKeyDown(QKeyEvent* event);

  public slots:
    // The throttle sensor's "Calibrate" button: over a disabled main window, with Timer2 polling.
    void CalBtnClick();
    void FormShow();
    void Button1Click(); // OK
    void Button2Click(); // Reset
    void Button3Click(); // Cancel
    void showFrame(const QByteArray& frame);

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void capture();
    void endErrorPause();
    void showCalibration();
    void finish();
    // Sends the minimum, then after the unit's pause the span; then closes the dialog (OK) or
    // shows the calibration (Reset). A message that does not reach the unit keeps the dialog open
    // and says so.
    void sendCalibration(int minimum, int span, bool close);
    bool sending_ = false;
    // Runs then once the set messages queued behind an exchange have left the PC.
    void waitUntilSent(std::function<void()> then);

    ToolSession& session_;
    ThrottleCalibration cal_;
    // The last reading of this showing: what F1 captures (none yet: F1 captures nothing).
    std::optional<int> reading_;
    QTimer errorPause_;

    QProgressBar* TPSCalBar = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLabel* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
};
