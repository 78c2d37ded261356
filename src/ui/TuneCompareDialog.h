#pragma once

#include "calibration/EmuState.h"
#include "calibration/TuneComparison.h"

#include <QDialog>
#include <QPointer>

#include <functional>

class MapChartWidget;
class QCPGraph;
class QLabel;
class QTableWidget;

// "Compare with file...": the tune on the PC against a .EMU file, as a table of every setup
// parameter and map point that differs, with those points ringed on their charts while it is open.
class TuneCompareDialog : public QDialog {
    Q_OBJECT

  public:
    using ChartOf = std::function<MapChartWidget*(MapId)>;
    TuneCompareDialog(EmuState& state, ChartOf chartOf, QWidget* parent = nullptr);
    ~TuneCompareDialog() override;

    // Compares the PC's data with the file; an empty text when shown, otherwise why not.
    QString compareWith(const QString& path);

    const TuneDifferences& differences() const { return differences_; }
    QTableWidget* table() const { return table_; }
    // The chart marks of the differing points.
    QList<QCPGraph*> marks() const;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    void fill(const QString& path);
    void markCharts();
    void clearMarks();

    EmuState& state_;
    ChartOf chartOf_;
    TuneDifferences differences_;
    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
    QList<QPointer<QCPGraph>> marks_;
};
