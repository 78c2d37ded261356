#pragma once

#include <QColor>
#include <QWidget>

// The gradient bar: a range, a fill direction and a two-colour gradient laid over the whole
// length, so the colour at the tip tells the level. A value outside the range is shown at the
// nearer end; position() is what is drawn.
class TALProgressBar : public QWidget {
    Q_OBJECT

  public:
    enum class Direction { LeftToRight, RightToLeft, BottomToTop, TopToBottom };

    explicit TALProgressBar(QWidget* parent = nullptr);

    void setRange(double minimum, double maximum);
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    void setPosition(double value);
    double position() const { return pos_; }
    void setDirection(Direction d);
    Direction direction() const { return dir_; }
    void setColors(const QColor& start, const QColor& end);
    QColor startColor() const { return start_; }
    QColor endColor() const { return end_; }
    // Share of the range filled, 0..1.
    double fraction() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool vertical() const { return dir_ == Direction::BottomToTop || dir_ == Direction::TopToBottom; }

    double min_ = 0;
    double max_ = 100;
    double pos_ = 0;
    Direction dir_ = Direction::LeftToRight;
    QColor start_{0x1e, 0x90, 0xff};
    QColor end_{0x00, 0x00, 0x8b};
};
