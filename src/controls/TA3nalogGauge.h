#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QPixmap>
#include <QWidget>

#include <optional>

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
    // What the numbers are, in words and units, for the tooltip (the caption is often short).
    void setUnitNote(const QString& note);
    QString unitNote() const { return unitNote_; }
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

    // Where the face puts its words, in widget coordinates: the numbers of the main ticks that
    // have room (neighbours never touch; the first and last always stand), the caption and the
    // read-out. The caption and the read-out sit where the needle never passes.
    struct Label {
        QString text;
        QRectF rect;
    };
    QList<Label> numberLabels() const;
    QRectF captionRect() const;
    QRectF readoutRect() const;
    // Whether the needle, anywhere between its stops, passes over the rectangle.
    bool needleCrosses(const QRectF& rect) const;

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
    // The face's words around the pivot (pivot-relative coordinates) and the fonts they use.
    struct Words {
        QFont numberFont;
        QList<Label> numbers;
        QFont captionFont;
        QRectF caption;
        QFont readoutFont;
        QRectF readout;
    };
    const Words& words() const; // placed once for the current settings and size
    Words placeWords() const;
    QList<Label> placeNumbers(const QFont& font, double r) const;
    QPainterPath needlePath(double r, double qtDegrees) const;
    void paintFace(QPainter& p) const; // everything but the read-out and the needle
    void faceChanged();
    void showTip();

    double startAngle() const; // Qt degrees (counter-clockwise from 3 o'clock) of the scale's 0
    double angleOf(double value) const;

    QString caption_;
    QString unitNote_;
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
    mutable std::optional<Words> words_;
    QPixmap face_; // the face drawn once for the current settings and size
};
