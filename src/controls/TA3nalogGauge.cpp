#include "controls/TA3nalogGauge.h"

#include <QEvent>
#include <QFontMetricsF>
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

void TA3nalogGauge::setUnitNote(const QString& note) {
    unitNote_ = note;
    showTip();
}

void TA3nalogGauge::showTip() {
    const QString reading =
        parked_ ? QStringLiteral("NA") : QString::number(value_, 'g', QLocale::FloatingPointShortest);
    QString tip = QStringLiteral("%1: %2").arg(caption_, reading);
    if (!unitNote_.isEmpty())
        tip += QLatin1Char('\n') + unitNote_;
    setToolTip(tip);
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
        showTip();
        update();
        return;
    }
    if (value == value_ && !parked_)
        return;
    parked_ = false;
    value_ = value;
    showTip();
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
    words_.reset();
    update();
}

void TA3nalogGauge::resizeEvent(QResizeEvent* event) {
    face_ = QPixmap();
    words_.reset();
    QWidget::resizeEvent(event);
}

void TA3nalogGauge::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::StyleChange) {
        face_ = QPixmap();
        words_.reset();
    }
    QWidget::changeEvent(event);
}

namespace {

// Room under (or, right-handed, beside) the pivot for the read-out and the caption, in radii.
constexpr double kWordsBottom = 0.56;
constexpr double kRightHandWordsBottom = 0.40;

bool touching(const QRectF& a, const QRectF& b, double gap) {
    return a.adjusted(-gap, -gap, gap, gap).intersects(b);
}

} // namespace

TA3nalogGauge::Geometry TA3nalogGauge::dialGeometry() const {
    // Fit the arc, the pivot and the room for the read-out and the caption into the widget: bounds
    // of the unit-radius figure, scaled to the widget.
    QRectF figure(QPointF(-0.32, -0.18), QPointF(0.32, rightHand_ ? kRightHandWordsBottom : kWordsBottom));
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

QPainterPath TA3nalogGauge::needlePath(double r, double qtDegrees) const {
    QPainterPath needle;
    needle.moveTo(-r * 0.12, -r * 0.025);
    needle.lineTo(r * 0.9, -r * 0.006);
    needle.lineTo(r * 0.9, r * 0.006);
    needle.lineTo(-r * 0.12, r * 0.025);
    needle.closeSubpath();
    return QTransform().rotate(-qtDegrees).map(needle);
}

QList<TA3nalogGauge::Label> TA3nalogGauge::placeNumbers(const QFont& font, double r) const {
    // Each number sits just inside its tick's inner end, on the tick's line.
    const QFontMetricsF fm(font);
    QList<Label> out;
    for (int i = 0; i <= mainTicks_; ++i) {
        const double v = full_ * i / mainTicks_;
        const QString text = numberText(v);
        const double w = fm.horizontalAdvance(text);
        const double h = fm.ascent() + fm.descent();
        const double a = qDegreesToRadians(angleOf(v));
        const double extent = std::abs(w / 2 * std::cos(a)) + std::abs(h / 2 * std::sin(a));
        const QPointF c = onCircle(angleOf(v), r * 0.77 - extent);
        out.append({text, QRectF(c.x() - w / 2, c.y() - h / 2, w, h)});
    }
    return out;
}

const TA3nalogGauge::Words& TA3nalogGauge::words() const {
    if (!words_)
        words_ = placeWords();
    return *words_;
}

TA3nalogGauge::Words TA3nalogGauge::placeWords() const {
    const double r = dialGeometry().radius;
    const double gap = std::max(2.0, r * 0.01);
    Words w;

    // Numbers: the largest size at which no two touch; at the smallest, only those with room.
    const double largest = std::max(8.0, r * (sweep_ < 90 ? 0.1 : 0.12));
    const double smallest = std::max(8.0, largest * 0.55);
    w.numberFont = font();
    for (double px = largest;; px -= 0.5) {
        w.numberFont.setPixelSize(qRound(std::max(px, smallest)));
        w.numbers = placeNumbers(w.numberFont, r);
        bool apart = true;
        for (qsizetype i = 1; i < w.numbers.size() && apart; ++i)
            apart = !touching(w.numbers[i - 1].rect, w.numbers[i].rect, gap);
        if (sweep_ > 300 && w.numbers.size() > 2)
            apart = apart && !touching(w.numbers.first().rect, w.numbers.last().rect, gap);
        if (apart)
            break;
        if (px <= smallest) {
            // Every k-th number, the smallest k at which none touch; the full-scale number stays
            // and the one before it gives way when they are too close.
            const QList<Label> all = w.numbers;
            const qsizetype n = all.size() - 1;
            for (qsizetype k = 2; k <= n; ++k) {
                QList<Label> kept;
                for (qsizetype i = 0; i < n; i += k)
                    kept.append(all[i]);
                if (kept.size() > 1 && touching(kept.last().rect, all[n].rect, gap))
                    kept.removeLast();
                kept.append(all[n]);
                bool keptApart = true;
                for (qsizetype i = 1; i < kept.size() && keptApart; ++i)
                    keptApart = !touching(kept[i - 1].rect, kept[i].rect, gap);
                if (keptApart || k == n) {
                    w.numbers = kept;
                    break;
                }
            }
            break;
        }
    }

    // Read-out under the pivot, sized for the widest reading it shows.
    w.readoutFont = font();
    w.readoutFont.setPixelSize(std::max(9, qRound(r * 0.15)));
    w.readoutFont.setBold(true);
    const QFontMetricsF vm(w.readoutFont);
    const double readoutWidth =
        vm.horizontalAdvance(QStringLiteral("-") + numberText(full_ * 1.5) + QStringLiteral(".8"));
    w.readout = QRectF(-readoutWidth / 2, r * 0.15, readoutWidth, vm.ascent() + vm.descent());

    // Caption: where the needle never passes, clear of the numbers and the read-out, inside the
    // widget: the largest size that has such a place, the place nearest the read-out first.
    const QPointF pivot = dialGeometry().pivot;
    QList<QPointF> centres;
    if (rightHand_)
        centres = {{r * 0.52, r * 0.12}, {r * 0.52, r * 0.28}};
    else
        centres = {{0, r * 0.46}, {0, r * 0.54}, {0, r * 0.62}, {0, r * 0.70}, {0, r * 0.78}};
    w.captionFont = font();
    const auto captionBox = [&](const QPointF& c) {
        const QFontMetricsF cm(w.captionFont);
        const double cw = cm.horizontalAdvance(caption_);
        const double ch = cm.ascent() + cm.descent();
        return QRectF(c.x() - cw / 2, c.y() - ch / 2, cw, ch);
    };
    const auto clear = [&](const QRectF& box) {
        const QRectF shown = box.translated(pivot);
        return QRectF(rect()).contains(shown) && !touching(box, w.readout, gap) &&
               std::none_of(w.numbers.begin(), w.numbers.end(),
                            [&](const Label& n) { return touching(box, n.rect, gap); }) &&
               !needleCrosses(shown);
    };
    for (double px = std::max(8.0, r * 0.11); px >= 8.0; px -= 0.5) {
        w.captionFont.setPixelSize(qRound(px));
        for (const QPointF& c : centres) {
            if (clear(captionBox(c))) {
                w.caption = captionBox(c);
                return w;
            }
        }
    }
    w.captionFont.setPixelSize(8);
    w.caption = captionBox(centres.first());
    return w;
}

QList<TA3nalogGauge::Label> TA3nalogGauge::numberLabels() const {
    const QPointF pivot = dialGeometry().pivot;
    QList<Label> out = words().numbers;
    for (Label& l : out)
        l.rect.translate(pivot);
    return out;
}

QRectF TA3nalogGauge::captionRect() const {
    return words().caption.translated(dialGeometry().pivot);
}

QRectF TA3nalogGauge::readoutRect() const {
    return words().readout.translated(dialGeometry().pivot);
}

bool TA3nalogGauge::needleCrosses(const QRectF& rect) const {
    const Geometry geo = dialGeometry();
    const double stop = kStopDegrees;
    for (double a = -stop; a <= sweep_ + stop; a += 1) {
        const QPainterPath needle = needlePath(geo.radius, startAngle() - a).translated(geo.pivot);
        if (needle.intersects(rect))
            return true;
    }
    return false;
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
    const Words& w = words();
    p.setFont(w.readoutFont);
    const bool off = value_ < 0 || value_ > full_;
    p.setPen(off ? QColor(0xc0, 0x10, 0x10) : ink);
    p.drawText(w.readout.adjusted(-r * 0.3, 0, r * 0.3, 0), Qt::AlignCenter,
               parked_ ? QStringLiteral("NA")
                       : QString::number(std::round(value_ * 10) / 10, 'g', QLocale::FloatingPointShortest));

    // Needle.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x20, 0x10));
    p.drawPath(needlePath(r, angleOf(needleValue())));
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
    const Words& w = words();
    const int steps = mainTicks_ * subTicks_;
    for (int i = 0; i <= steps; ++i) {
        const double a = angleOf(full_ * i / steps);
        const bool main = i % subTicks_ == 0;
        const double inner = main ? 0.80 : 0.87;
        p.setPen(
            QPen(ink, main ? std::max(1.5, r * 0.022) : std::max(1.0, r * 0.01), Qt::SolidLine, Qt::FlatCap));
        p.drawLine(onCircle(a, r * inner), onCircle(a, r * 0.94));
    }
    p.setPen(ink);
    p.setFont(w.numberFont);
    for (const Label& n : w.numbers)
        p.drawText(n.rect.adjusted(-4, 0, 4, 0), Qt::AlignCenter, n.text);

    p.setFont(w.captionFont);
    p.drawText(w.caption.adjusted(-4, 0, 4, 0), Qt::AlignCenter, caption_);
}
