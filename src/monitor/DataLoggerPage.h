#pragma once

#include "calibration/EmuState.h"
#include "monitor/DataLog.h"
#include "monitor/DataLogClock.h"
#include "monitor/DataLogFile.h"

#include <QWidget>

#include <array>
#include <functional>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QCPAxis;
class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class LogReplay;
class LogTraceDisplay;
class QSlider;
class TThreadedTimer;

// What the logger asks of the window: questions and folders through the window's prompts (so a
// test can answer them), and the fuel curve the map pages have selected.
struct DataLoggerHooks {
    std::function<bool(const QString& question)> confirm;
    std::function<QString(const QString& startFolder)> chooseFolder;
    std::function<void(const QString& text)> showError;
    std::function<int()> fuelCurve;                          // 1 Low, 2 Cruise, 3 High, 0 none
    std::function<QString(const QString& folder)> chooseLog; // a log to open, empty: cancelled
};

// The "Data Logger" tab: the strip chart of the live values against time, and the log behind it.
// A threaded timer takes each sample on the user-interface thread on a fixed schedule; the time of
// a sample is when its frame was read. Every sample goes into the log (compact, see DataLog) and,
// with "Record to File", straight to a file in the chosen folder. The chart shows a 30 s window
// that jumps forward and stays pannable. Samples come from the decoded values, never from the
// displays; a silent unit leaves a gap. Markers (Space or "Marker") are numbered and kept with
// the row they were dropped on.
class DataLoggerPage : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kSeriesCount = 11;

    explicit DataLoggerPage(const EmuState& state, QWidget* parent = nullptr);
    ~DataLoggerPage() override;

    void setHooks(DataLoggerHooks hooks) { hooks_ = std::move(hooks); }

    // Selects an item of "Interval" by its nominal milliseconds (50, 100, 500, 1000).
    void selectInterval(int nominalMs);
    // The nominal milliseconds of the selected item, 0 when none is selected.
    int selectedInterval() const;

    TThreadedTimer& dataLogTimer() { return *DataLogTimer; }
    QCustomPlot* chart() const { return LogChart; }
    LogTraceDisplay* series(int index) const { return traces_[static_cast<size_t>(index)]; }
    // The log channel a chart series shows.
    static int seriesChannel(int index);
    const DataLogClock& clock() const { return clock_; }
    const DataLog& log() const { return log_; }
    // The clock the ticks and the start of a log read (the monotonic one by default); it must be
    // the one that stamps the frames.
    void setClock(std::function<long long()> clock) { now_ = std::move(clock); }

    // "On" is down: samples are being taken.
    bool logging() const;
    // The folder recordings go to (empty: asked the first time "Record to File" is checked).
    QString logFolder() const { return folder_; }
    void setLogFolder(const QString& folder) { folder_ = folder; }
    DataLogFile::Format recordFormat() const;
    void setRecordFormat(DataLogFile::Format format);
    // The file being recorded into, empty when none.
    QString recordingPath() const;
    // The name a recording started now gets: date, time and the unit.
    QString recordingName(const QDateTime& at) const;

    // A log opened from a file is shown and can be replayed.
    bool replaying() const { return replayMode_; }
    LogReplay& replay() { return *replay_; }
    QString replayFile() const { return replayFile_; }
    // Opens a log file for replay: true when it was opened (a file that is no log changes nothing).
    bool openLog(const QString& path);
    // The cursor's time (seconds) and the legend's text for a series there.
    double cursorTime() const { return cursorSeconds_; }
    QString legendText(int index) const;

  public slots:
    void SpeedButton1Click();   // "On": start a recording
    void SpeedButton2Click();   // "Off": stop sampling; the samples stay
    void ThreadedTimer1Timer(); // one sample
    void RecordToFileClick(bool checked);
    void chooseLogFolder();
    // Drops a marker with the note box's text on the next sample.
    void dropMarker();
    void openLogClick();
    void setCursorTime(double seconds);

  signals:
    void logFolderChosen(const QString& folder);
    // A recording to a file began (path) or ended (empty).
    void recordingChanged(const QString& path);
    // Replay: a log was opened (its file), a row of it is shown (the displays follow it), and
    // replay mode ended (the live values are shown again).
    void replayStarted(const QString& path);
    void replaySample(const LiveValues& values, double seconds);
    void replayEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void replotIfShown();
    void startFile();
    void stopFile();
    void recordingFailed(const QString& why);
    void clearLog();
    void drawMarker(const LogMarker& marker, double seconds);
    void drawAllMarkers();
    void endReplay();
    void replayMoved(std::int32_t ms, std::int64_t row);
    void updateReplayControls();
    void updateAxes();
    void updateLegend();
    void updateRecordStatus();
    bool confirm(const QString& question) const;

    const EmuState& state_;
    DataLoggerHooks hooks_;
    DataLogClock clock_;
    DataLog log_;
    DataLogWriter writer_;
    QString folder_;
    bool running_ = false; // between "On" and "Off" (the button shows it checked before its handler runs)
    bool markerPending_ = false;
    QString pendingNote_;
    std::function<long long()> now_; // the monotonic clock unless a test sets one
    TThreadedTimer* DataLogTimer = nullptr;
    QGroupBox* DataInterval = nullptr;
    QButtonGroup* intervalGroup_ = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    std::array<QCheckBox*, kSeriesCount> boxes_{};
    std::array<LogTraceDisplay*, kSeriesCount> traces_{};
    std::vector<QCPAxis*> scales_;
    QCPItemStraightLine* cursorLine_ = nullptr;
    double cursorSeconds_ = 0;
    LogReplay* replay_ = nullptr;
    bool replayMode_ = false;
    QString replayFile_;
    QPushButton* OpenLogButton = nullptr;
    QPushButton* PlayButton = nullptr;
    QComboBox* ReplaySpeed = nullptr;
    QSlider* ReplayPosition = nullptr;
    QLabel* ReplayBanner = nullptr;
    QLabel* ChartHint = nullptr;
    QCheckBox* DisplayChart = nullptr;
    QCheckBox* RecordToFile = nullptr;
    QComboBox* RecordFormat = nullptr;
    QPushButton* LogFolderButton = nullptr;
    QLabel* RecordStatus = nullptr;
    QPushButton* MarkerButton = nullptr;
    QLineEdit* MarkerNote = nullptr;
    QCustomPlot* LogChart = nullptr;
    std::vector<QCPItemStraightLine*> markerLines_;
    std::vector<QCPItemText*> markerLabels_;
};
