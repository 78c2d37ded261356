#pragma once

#include "calibration/EmuState.h"
#include "monitor/DataLogClock.h"

#include <QWidget>

#include <array>
#include <functional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QCPGraph;
class QCustomPlot;
class QGroupBox;
class QRadioButton;
class QToolButton;
class TThreadedTimer;

// The "Data Logger" tab: the strip chart of the live values against time. A threaded timer takes
// each sample on the user-interface thread at the chosen interval; the time of a sample is its
// count times the nominal step. The chart shows a 30 s window that jumps forward and stays
// pannable; samples are appended, never rebuilt, so hours of them stay cheap. Samples come from
// the decoded values, never from the displays; a silent unit leaves a gap.
class DataLoggerPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kSeriesCount = 11;

    explicit DataLoggerPage(const EmuState& state, QWidget* parent = nullptr);
    ~DataLoggerPage() override;

    // Selects an item of "Interval" by its nominal milliseconds (50, 100, 500, 1000).
    void selectInterval(int nominalMs);
    // The nominal milliseconds of the selected item, 0 when none is selected.
    int selectedInterval() const;

    TThreadedTimer& dataLogTimer() { return *DataLogTimer; }
    QCustomPlot* chart() const { return LogChart; }
    QCPGraph* series(int index) const { return graphs_[static_cast<size_t>(index)]; }
    const DataLogClock& clock() const { return clock_; }
    // The clock the ticks and the start of a log read (the monotonic one by default); it must be
    // the one that stamps the frames.
    void setClock(std::function<long long()> clock) { now_ = std::move(clock); }

  public slots:
    void SpeedButton1Click();   // "On": start a recording
    void SpeedButton2Click();   // "Off": stop sampling; the samples stay
    void ThreadedTimer1Timer(); // one sample

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void replotIfShown();

    const EmuState& state_;
    DataLogClock clock_;
    std::function<long long()> now_; // the monotonic clock unless a test sets one
    TThreadedTimer* DataLogTimer = nullptr;
    QGroupBox* DataInterval = nullptr;
    QButtonGroup* intervalGroup_ = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    std::array<QCheckBox*, kSeriesCount> boxes_{};
    std::array<QCPGraph*, kSeriesCount> graphs_{};
    QCheckBox* DisplayChart = nullptr;
    QCheckBox* RecordToFile = nullptr;
    QCustomPlot* LogChart = nullptr;
};
