#include "controls/TA3nalogGauge.h"

#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

QPointF onCircle(double qtDegrees, double radius) {
    const double r = qDegreesToRadians(qtDegrees);
    return {radius * std::cos(r), -radius * std::sin(r)};
}

QString numberText(double v) {
    return QString::number(std::round(v * 10) / 10, 'g', QLocale::FloatingPointShortest);
}

} // namespace

TA3nalogGauge::TA3nalogGauge(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TA3nalogGauge::setCaption(const QString& caption) {
    caption_ = caption;
    if (accessibleName().isEmpty())
        setAccessibleName(caption);
    faceChanged();
}

void TA3nalogGauge::setScaleValue(double fullScale) {
    full_ = fullScale > 0 ? fullScale : 1;
    faceChanged();
}

void TA3nalogGauge::setNumberMainTicks(int ticks) {
    mainTicks_ = std::max(1, ticks);
    faceChanged();
}

void TA3nalogGauge::setSubTicks(int ticks) {
    subTicks_ = std::max(1, ticks);
    faceChanged();
}

void TA3nalogGauge::setAngle(int sweepDegrees) {
    sweep_ = std::clamp(sweepDegrees, 10, 340);
    faceChanged();
}

void TA3nalogGauge::setRightHandStyle(bool on) {
    rightHand_ = on;
    faceChanged();
}

void TA3nalogGauge::setZoneLimits(double lower, double upper) {
    lower_ = lower;
    upper_ = upper;
    faceChanged();
}

void TA3nalogGauge::setZonesDrawn(int zones) {
    zones_ = zones;
    faceChanged();
}

void TA3nalogGauge::setZoneColors(const QColor& low, const QColor& mid, const QColor& high) {
    low_ = low;
    mid_ = mid;
    high_ = high;
    faceChanged();
}

QColor TA3nalogGauge::zoneColor(Zone zone) const {
    return zone == LowZone ? low_ : zone == MidZone ? mid_ : high_;
}

void TA3nalogGauge::setValue(double value) {
    if (std::isnan(value)) {
        if (parked_)
            return;
        parked_ = true;
        value_ = 0;
        setToolTip(QStringLiteral("%1: NA").arg(caption_));
        update();
        return;
    }
    if (value == value_ && !parked_)
        return;
    parked_ = false;
    value_ = value;
    setToolTip(
        QStringLiteral("%1: %2").arg(caption_, QString::number(value_, 'g', QLocale::FloatingPointShortest)));
    update();
}

double TA3nalogGauge::needleValue() const {
    const double stop = full_ * kStopDegrees / sweep_;
    return std::clamp(value_, -stop, full_ + stop);
}

double TA3nalogGauge::needleDegrees() const {
    return needleValue() / full_ * sweep_;
}

double TA3nalogGauge::startAngle() const {
    // Normal: the scale is centred on 12 o'clock. Right-hand: centred on half past one.
    const double centre = rightHand_ ? 45.0 : 90.0;
    return centre + sweep_ / 2.0;
}

double TA3nalogGauge::angleOf(double value) const {
    return startAngle() - value / full_ * sweep_;
}

void TA3nalogGauge::faceChanged() {
    face_ = QPixmap();
    update();
}

void TA3nalogGauge::resizeEvent(QResizeEvent* event) {
    face_ = QPixmap();
    QWidget::resizeEvent(event);
}

void TA3nalogGauge::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::StyleChange)
        face_ = QPixmap();
    QWidget::changeEvent(event);
}

TA3nalogGauge::Geometry TA3nalogGauge::dialGeometry() const {
    // Fit the arc, the pivot and the room under it for the read-out into the widget: bounds of the
    // unit-radius figure, scaled to the widget.
    QRectF figure(QPointF(-0.18, -0.18), QPointF(0.18, sweep_ < 90 ? 0.56 : 0.42));
    for (double a = 0; a <= sweep_; a += 2)
        figure |= QRectF(onCircle(startAngle() - a, 1.0), QSizeF(0.001, 0.001));
    figure |= QRectF(onCircle(angleOf(full_), 1.0), QSizeF(0.001, 0.001));
    figure.adjust(-0.06, -0.06, 0.06, 0.06);
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    const double r = std::min(area.width() / figure.width(), area.height() / figure.height());
    const QPointF pivot(area.center().x() - figure.center().x() * r,
                        area.center().y() - figure.center().y() * r);
    return {pivot, r};
}

void TA3nalogGauge::paintEvent(QPaintEvent*) {
    // The face changes only with the settings, the size and the palette; the needle and the
    // read-out change with every value, so only they are drawn each time.
    const qreal dpr = devicePixelRatioF();
    if (face_.isNull() || face_.size() != size() * dpr) {
        face_ = QPixmap(size() * dpr);
        face_.setDevicePixelRatio(dpr);
        face_.fill(Qt::transparent);
        QPainter fp(&face_);
        paintFace(fp);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, face_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Geometry geo = dialGeometry();
    const double r = geo.radius;
    p.translate(geo.pivot);
    const QColor ink = palette().color(QPalette::WindowText);

    // Read-out under the pivot; red when the value is off the scale.
    QFont valueFont = font();
    valueFont.setPixelSize(std::max(9, qRound(r * 0.15)));
    valueFont.setBold(true);
    p.setFont(valueFont);
    const bool off = value_ < 0 || value_ > full_;
    p.setPen(off ? QColor(0xc0, 0x10, 0x10) : ink);
    p.drawText(QRectF(-r * 0.6, r * 0.16, r * 1.2, r * 0.22), Qt::AlignCenter,
               parked_ ? QStringLiteral("NA")
                       : QString::number(std::round(value_ * 10) / 10, 'g', QLocale::FloatingPointShortest));

    // Needle.
    p.rotate(-angleOf(needleValue()));
    QPainterPath needle;
    needle.moveTo(-r * 0.12, -r * 0.025);
    needle.lineTo(r * 0.9, -r * 0.006);
    needle.lineTo(r * 0.9, r * 0.006);
    needle.lineTo(-r * 0.12, r * 0.025);
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x20, 0x10));
    p.drawPath(needle);
    p.setBrush(ink);
    p.drawEllipse(QPointF(0, 0), r * 0.055, r * 0.055);
}

void TA3nalogGauge::paintFace(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const Geometry geo = dialGeometry();
    const double r = geo.radius;
    p.translate(geo.pivot);
    const QColor ink = palette().color(QPalette::WindowText);
    // Face.
    {
        QPainterPath face;
        const double fr = r * 1.04;
        face.moveTo(0, 0);
        face.arcTo(QRectF(-fr, -fr, 2 * fr, 2 * fr), startAngle() + 4, -(sweep_ + 8));
        face.closeSubpath();
        QRadialGradient g(QPointF(0, 0), fr);
        g.setColorAt(0, palette().color(QPalette::Base));
        g.setColorAt(1, palette().color(QPalette::Base).darker(108));
        p.setPen(QPen(palette().color(QPalette::Mid), 1));
        p.setBrush(g);
        if (sweep_ < 300)
            p.drawPath(face);
        else
            p.drawEllipse(QPointF(0, 0), fr, fr);
    }

    // Zones: a band just inside the scale line.
    const double band = std::max(3.0, r * 0.07);
    const double zr = r * 0.94 - band / 2;
    const QRectF zoneRect(-zr, -zr, 2 * zr, 2 * zr);
    const auto drawZone = [&](double from, double to, const QColor& c) {
        from = std::clamp(from, 0.0, full_);
        to = std::clamp(to, 0.0, full_);
        if (to <= from)
            return;
        p.setPen(QPen(c, band, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(zoneRect, qRound(angleOf(from) * 16), qRound(-(to - from) / full_ * sweep_ * 16));
    };
    if (zones_ & LowZone)
        drawZone(0, lower_, low_);
    if (zones_ & MidZone)
        drawZone(lower_, upper_, mid_);
    if (zones_ & HighZone)
        drawZone(upper_, full_, high_);

    // Scale line, ticks and numbers.
    p.setPen(QPen(ink, std::max(1.0, r * 0.012)));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-r * 0.94, -r * 0.94, r * 1.88, r * 1.88), qRound(startAngle() * 16), -sweep_ * 16);
    QFont numbers = font();
    numbers.setPixelSize(std::max(8, qRound(r * (sweep_ < 90 ? 0.085 : 0.12))));
    p.setFont(numbers);
    const int steps = mainTicks_ * subTicks_;
    for (int i = 0; i <= steps; ++i) {
        const double v = full_ * i / steps;
        const double a = angleOf(v);
        const bool main = i % subTicks_ == 0;
        const double inner = main ? 0.80 : 0.87;
        p.setPen(
            QPen(ink, main ? std::max(1.5, r * 0.022) : std::max(1.0, r * 0.01), Qt::SolidLine, Qt::FlatCap));
        p.drawLine(onCircle(a, r * inner), onCircle(a, r * 0.94));
        if (main) {
            const QPointF c = onCircle(a, r * 0.66);
            const QRectF box(c.x() - r * 0.2, c.y() - r * 0.08, r * 0.4, r * 0.16);
            p.drawText(box, Qt::AlignCenter, numberText(v));
        }
    }

    // Caption: inside the arc, above the pivot.
    QFont captionFont = font();
    captionFont.setPixelSize(std::max(8, qRound(r * 0.11)));
    p.setFont(captionFont);
    p.setPen(ink);
    // A narrow scale has no room inside its arc: the caption goes under the read-out there.
    const QPointF cap = sweep_ < 90 ? QPointF(0, r * 0.45) : onCircle(startAngle() - sweep_ / 2.0, r * 0.36);
    p.drawText(QRectF(cap.x() - r * 0.5, cap.y() - r * 0.08, r, r * 0.16), Qt::AlignCenter, caption_);
}
