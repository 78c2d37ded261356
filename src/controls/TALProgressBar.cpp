#include "controls/TALProgressBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

TALProgressBar::TALProgressBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TALProgressBar::setRange(double minimum, double maximum) {
    min_ = std::min(minimum, maximum);
    max_ = std::max(minimum, maximum);
    setPosition(pos_);
}

void TALProgressBar::setPosition(double value) {
    const double clamped = std::isnan(value) ? min_ : std::clamp(value, min_, max_);
    if (clamped == pos_)
        return;
    pos_ = clamped;
    update();
}

void TALProgressBar::setDirection(Direction d) {
    dir_ = d;
    updateGeometry();
    update();
}

void TALProgressBar::setColors(const QColor& start, const QColor& end) {
    start_ = start;
    end_ = end;
    update();
}

double TALProgressBar::fraction() const {
    return max_ > min_ ? (pos_ - min_) / (max_ - min_) : 0.0;
}

QSize TALProgressBar::sizeHint() const {
    return vertical() ? QSize(18, 110) : QSize(110, 16);
}

QSize TALProgressBar::minimumSizeHint() const {
    return vertical() ? QSize(10, 40) : QSize(40, 10);
}

void TALProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(3.0, std::min(frame.width(), frame.height()) / 4);
    p.setPen(QPen(palette().color(QPalette::Mid), 1));
    p.setBrush(palette().color(QPalette::Base).darker(104));
    p.drawRoundedRect(frame, radius, radius);

    const QRectF inner = frame.adjusted(2, 2, -2, -2);
    const double f = fraction();
    if (f <= 0 || inner.isEmpty())
        return;
    QRectF fill = inner;
    QLinearGradient g;
    switch (dir_) {
    case Direction::LeftToRight:
        fill.setWidth(inner.width() * f);
        g = QLinearGradient(inner.topLeft(), inner.topRight());
        break;
    case Direction::RightToLeft:
        fill.setLeft(inner.right() - inner.width() * f);
        g = QLinearGradient(inner.topRight(), inner.topLeft());
        break;
    case Direction::BottomToTop:
        fill.setTop(inner.bottom() - inner.height() * f);
        g = QLinearGradient(inner.bottomLeft(), inner.topLeft());
        break;
    case Direction::TopToBottom:
        fill.setHeight(inner.height() * f);
        g = QLinearGradient(inner.topLeft(), inner.bottomLeft());
        break;
    }
    g.setColorAt(0, start_);
    g.setColorAt(1, end_);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(fill, radius / 2, radius / 2);
}
