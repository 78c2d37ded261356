#include "monitor/LogTraceDisplay.h"

#include <algorithm>
#include <cmath>

LogTraceDisplay::LogTraceDisplay(QCPAxis* keyAxis, QCPAxis* valueAxis, const DataLog& log, int channel)
    : QCPAbstractPlottable(keyAxis, valueAxis), log_(log), channel_(channel) {
    setSelectable(QCP::stNone);
}

double LogTraceDisplay::selectTest(const QPointF&, bool, QVariant*) const {
    return -1;
}

QCPRange LogTraceDisplay::getKeyRange(bool& foundRange, QCP::SignDomain) const {
    foundRange = !log_.empty();
    return foundRange ? QCPRange(key(0), key(log_.size() - 1)) : QCPRange();
}

QCPRange LogTraceDisplay::getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const {
    foundRange = false;
    QCPRange r;
    for (std::int64_t i = 0; i < log_.size(); ++i) {
        const double v = value(i);
        if (std::isnan(v))
            continue;
        if (!foundRange) {
            r = QCPRange(v, v);
            foundRange = true;
        } else {
            r.expand(v);
        }
    }
    return r;
}

void LogTraceDisplay::draw(QCPPainter* painter) {
    QCPAxis* k = mKeyAxis.data();
    QCPAxis* v = mValueAxis.data();
    if (!k || !v || log_.empty())
        return;
    const QCPRange range = k->range();
    const auto lo = static_cast<std::int32_t>(std::floor(range.lower * 1000));
    const auto hi = static_cast<std::int32_t>(std::ceil(range.upper * 1000));
    // One row either side of the window, so the lines run to its edges.
    std::int64_t first = std::max<std::int64_t>(0, log_.lowerBound(lo) - 1);
    const std::int64_t last = std::min<std::int64_t>(log_.size(), log_.lowerBound(hi) + 1);
    if (first >= last)
        return;
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);

    QVector<QPointF> line;
    const auto flush = [&] {
        if (line.size() > 1)
            painter->drawPolyline(line.constData(), static_cast<int>(line.size()));
        else if (line.size() == 1)
            painter->drawPoint(line.front());
        line.clear();
    };
    const double width = std::max(1.0, std::abs(k->coordToPixel(range.upper) - k->coordToPixel(range.lower)));
    const bool decimate = static_cast<double>(last - first) > 2 * width;
    if (!decimate) {
        for (std::int64_t i = first; i < last; ++i) {
            const double y = value(i);
            if (std::isnan(y)) {
                flush();
                continue;
            }
            line.append(QPointF(k->coordToPixel(key(i)), v->coordToPixel(y)));
        }
        flush();
        return;
    }
    // Per pixel column: the first, lowest, highest and last value, in that order.
    std::int64_t i = first;
    while (i < last) {
        const double px = std::floor(k->coordToPixel(key(i)));
        double firstV = NAN, lastV = NAN, minV = INFINITY, maxV = -INFINITY;
        bool gap = false;
        for (; i < last && std::floor(k->coordToPixel(key(i))) == px; ++i) {
            const double y = value(i);
            if (std::isnan(y)) {
                gap = true;
                continue;
            }
            if (std::isnan(firstV))
                firstV = y;
            lastV = y;
            minV = std::min(minV, y);
            maxV = std::max(maxV, y);
        }
        if (std::isnan(firstV)) {
            flush();
            continue;
        }
        line.append(QPointF(px, v->coordToPixel(firstV)));
        line.append(QPointF(px, v->coordToPixel(minV)));
        line.append(QPointF(px, v->coordToPixel(maxV)));
        line.append(QPointF(px, v->coordToPixel(lastV)));
        if (gap)
            flush();
    }
    flush();
}

void LogTraceDisplay::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const {
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->drawLine(QLineF(rect.left(), rect.center().y(), rect.right(), rect.center().y()));
}
