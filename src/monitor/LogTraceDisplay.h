#pragma once

#include "monitor/DataLog.h"

#include <qcustomplot.h>

// One channel of a data log drawn straight from the log's arrays: no copy of the samples. Only the
// rows in the visible time window are looked at (found by bisection), and where there are more
// rows than pixels each pixel column is drawn as the span of its values, so the cost of a replot
// follows the width of the chart, not the length of the log. A row not measured breaks the line.
class LogTraceDisplay : public QCPAbstractPlottable {
    Q_OBJECT

  public:
    LogTraceDisplay(QCPAxis* keyAxis, QCPAxis* valueAxis, const DataLog& log, int channel);

    int channel() const { return channel_; }
    // The rows and their times (seconds) and values, for reading the trace back.
    int dataCount() const { return static_cast<int>(log_.size()); }
    double key(std::int64_t row) const { return log_.timeMs(row) / 1000.0; }
    double value(std::int64_t row) const { return log_.value(row, channel_); }

    double selectTest(const QPointF& pos, bool onlySelectable, QVariant* details = nullptr) const override;
    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange& inKeyRange = QCPRange()) const override;

  protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

  private:
    const DataLog& log_;
    int channel_;
};
