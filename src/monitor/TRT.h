#pragma once

#include "calibration/LiveValues.h"
#include "monitor/LiveRefresh.h"

#include <QFrame>
#include <QList>

class AnchoredLabelRow;
class QLabel;
class TALProgressBar;

// The real-time frame: the live read-outs, their bars with scale labels, the centre-zero lambda
// bar and its target marker. Placed once on each tab that tunes (RT1..RT4); all four show the same
// values. Before the first frame every read-out shows "NA" or "0" and every bar its minimum.
class TRT : public QFrame {
    Q_OBJECT

  public:
    explicit TRT(const QString& objectName, QWidget* parent = nullptr);

    // Writes the read-outs of the changed fields in their fixed order: timing, RPM, vacuum,
    // throttle, the bars, the labels. Stale values show "NA" and empty bars: no data arrives.
    void showValues(const LiveValues& live, LiveRefresh::Fields changed = LiveRefresh::All);
    // The lambda target marker, centred at the target's share of the lambda panel's width.
    void setLambdaTarget(double volts);
    double lambdaTarget() const { return lambdaTarget_; }
    // Late frames so far, where the user can see them.
    void setMissedFrames(int missed, int polls);

    // A narrow frame (the Setup tab's column): the bar captions stand rotated beside their bars
    // and the scale numbers are left out, so every caption stays readable.
    void setCompact(bool compact);

    TALProgressBar* bar(const QString& name) const;
    QLabel* label(const QString& name) const;
    QWidget* lambdaPanel() const { return lambdaPanel_; }
    QWidget* targetMarker() const { return Shape1; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* readout(const char* name, const QString& caption, const QString& accessible);
    QWidget* barColumn(TALProgressBar*& bar, const char* barName, QLabel*& value, const char* labelName,
                       const QString& caption, const QString& unit, const QStringList& scale,
                       const QString& meaning);
    void placeTarget();

    AnchoredLabelRow* captions_ = nullptr;
    AnchoredLabelRow* values_ = nullptr;
    AnchoredLabelRow* units_ = nullptr;
    QList<QWidget*> wideOnly_;    // captions and scale numbers of the full-width layout
    QList<QWidget*> compactOnly_; // rotated captions

    QLabel* Label49 = nullptr; // timing
    QLabel* Label50 = nullptr; // RPM
    QLabel* Label51 = nullptr; // vacuum
    QLabel* Label53 = nullptr; // water
    QLabel* Label54 = nullptr; // air
    QLabel* Label55 = nullptr; // battery
    QLabel* Label10 = nullptr; // injector pulse
    QLabel* Label13 = nullptr; // injector duty
    QLabel* Label19 = nullptr; // throttle
    QLabel* Label20 = nullptr; // tuning potentiometer
    QLabel* Label56 = nullptr; // lambda volts
    QLabel* Label6 = nullptr;  // target caption
    QLabel* LambdaCaption = nullptr;
    TALProgressBar* WaterBar = nullptr;
    TALProgressBar* AirBar = nullptr;
    TALProgressBar* BATBar = nullptr;
    TALProgressBar* InjBar = nullptr;
    TALProgressBar* InjPers = nullptr;
    TALProgressBar* TPSBar = nullptr;
    TALProgressBar* POTBar = nullptr;
    TALProgressBar* LambdaBarL = nullptr;
    TALProgressBar* LambdaBarR = nullptr;
    QWidget* lambdaPanel_ = nullptr;
    QFrame* Shape1 = nullptr;
    double lambdaTarget_ = 0.5;
};

// The shortest decimal form of a value, as every read-out writes it.
QString shortestText(double value);
