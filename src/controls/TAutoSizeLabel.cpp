#include "controls/TAutoSizeLabel.h"

#include <QPainter>

#include <cmath>

TAutoSizeLabel::TAutoSizeLabel(const QString& text, int angle, QWidget* parent) : QWidget(parent) {
    setText(text);
    setAngle(angle);
}

void TAutoSizeLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void TAutoSizeLabel::setAngle(int degrees) {
    const int quarter = static_cast<int>(std::lround(degrees / 90.0));
    angle_ = ((quarter % 4) + 4) % 4 * 90;
    updateGeometry();
    update();
}

QSize TAutoSizeLabel::sizeHint() const {
    const QFontMetrics fm(font());
    const QSize s(fm.horizontalAdvance(text_) + 4, fm.height() + 2);
    return sideways() ? s.transposed() : s;
}

void TAutoSizeLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.translate(width() / 2.0, height() / 2.0);
    p.rotate(-angle_); // counter-clockwise, as angles are read on a page
    const QSizeF box = sideways() ? QSizeF(height(), width()) : QSizeF(width(), height());
    p.drawText(QRectF(-box.width() / 2, -box.height() / 2, box.width(), box.height()), Qt::AlignCenter,
               text_);
}
