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

// "Compare with file..." and "Compare with EMU": the tune on the PC against a .EMU file or the
// unit's own image, as a table of every setup parameter and map point that differs, with those
// points ringed on their charts while it is open.
class TuneCompareDialog : public QDialog {
    Q_OBJECT

  public:
    using ChartOf = std::function<MapChartWidget*(MapId)>;
    TuneCompareDialog(EmuState& state, ChartOf chartOf, QWidget* parent = nullptr);
    ~TuneCompareDialog() override;

    // Compares the PC's data with the file; an empty text when shown, otherwise why not.
    QString compareWith(const QString& path);
    // Compares the PC's data with the image just read from the unit (wire form) and shows whether
    // the window and the unit are in step.
    void compareWithUnit(const WireImageArray& image, int model);

    const TuneDifferences& differences() const { return differences_; }
    QTableWidget* table() const { return table_; }
    // The chart marks of the differing points.
    QList<QCPGraph*> marks() const;

  protected:
    void hideEvent(QHideEvent* event) override;

  private:
    void compareWithSide(const TuneSide& other);
    void fill(const QString& title, const QString& other, const QString& sameText, const QString& otherModelText);
    void markCharts();
    void clearMarks();

    EmuState& state_;
    ChartOf chartOf_;
    TuneDifferences differences_;
    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
    QList<QPointer<QCPGraph>> marks_;
};
