#pragma once

#include <QWidget>

// A label drawn at 0, 90, 180 or 270 degrees that sizes itself to its rotated text.
class TAutoSizeLabel : public QWidget {
    Q_OBJECT

  public:
    explicit TAutoSizeLabel(const QString& text = {}, int angle = 0, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    int angle() const { return angle_; }
    void setAngle(int degrees); // taken to the nearest quarter turn

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool sideways() const { return angle_ == 90 || angle_ == 270; }

    QString text_;
    int angle_ = 0;
};
