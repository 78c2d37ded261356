#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

// The dial: a scale from 0 to full scale over a sweep angle, main and sub ticks, value numbers, a
// caption, three coloured zones (below the lower limit, between the limits, above the upper limit;
// each drawn or not) and a needle. The needle follows the value a little past either end of the
// scale and then rests on a stop, as a real gauge's needle does on its pin; the read-out under the
// pivot shows the true value.
class TA3nalogGauge : public QWidget {
    Q_OBJECT

  public:
    enum Zone { LowZone = 1, MidZone = 2, HighZone = 4 };
    // How far past either end of the scale the needle may go before it rests on its stop.
    static constexpr double kStopDegrees = 6;

    explicit TA3nalogGauge(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setScaleValue(double fullScale);
    double scaleValue() const { return full_; }
    void setNumberMainTicks(int ticks); // intervals between numbered ticks
    int numberMainTicks() const { return mainTicks_; }
    void setSubTicks(int ticks); // sub-intervals within a main interval
    void setAngle(int sweepDegrees);
    int angle() const { return sweep_; }
    void setRightHandStyle(bool on); // the scale sits in the upper-right quarter, pivot bottom-left
    bool rightHandStyle() const { return rightHand_; }
    void setZoneLimits(double lower, double upper);
    double lowerLimit() const { return lower_; }
    double upperLimit() const { return upper_; }
    void setZonesDrawn(int zones); // a combination of Zone
    int zonesDrawn() const { return zones_; }
    void setZoneColors(const QColor& low, const QColor& mid, const QColor& high);
    QColor zoneColor(Zone zone) const;

    // NaN parks the needle at the scale's start and the read-out shows "NA": no reading.
    void setValue(double value);
    double value() const { return value_; }
    bool parked() const { return parked_; }
    // The value the needle points at: the value held within the stops.
    double needleValue() const;
    // Degrees of the needle from the start of the scale, clockwise.
    double needleDegrees() const;

    QSize sizeHint() const override { return {220, 200}; }
    QSize minimumSizeHint() const override { return {90, 80}; }
    bool hasHeightForWidth() const override { return false; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Geometry {
        QPointF pivot;
        double radius;
    };
    Geometry dialGeometry() const;
    void paintFace(QPainter& p) const; // everything but the read-out and the needle
    void faceChanged();

    double startAngle() const; // Qt degrees (counter-clockwise from 3 o'clock) of the scale's 0
    double angleOf(double value) const;

    QString caption_;
    double full_ = 100;
    int mainTicks_ = 5;
    int subTicks_ = 5;
    int sweep_ = 270;
    bool rightHand_ = false;
    double lower_ = 0;
    double upper_ = 0;
    int zones_ = 0;
    QColor low_{Qt::green};
    QColor mid_{Qt::yellow};
    QColor high_{Qt::red};
    double value_ = 0;
    bool parked_ = false;
    QPixmap face_; // the face drawn once for the current settings and size
};
