#pragma once

#include "mixture/MixtureAnalysis.h"
#include "monitor/DataLog.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class CalibrationEditor;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

// What the suggestions dialog borrows from the window: the logger's recording, a log file to
// open, the arrows on the fuel charts and the status line.
struct MixtureDialogHooks {
    std::function<const DataLog*()> currentRecording;
    std::function<QString()> askLogName; // empty: cancelled
    // The points the shown suggestions would move, each with its direction; empty clears them.
    std::function<void(const std::vector<MixtureChange>&)> showArrows;
    std::function<void(const QString&)> showStatus;
};

// "Mixture suggestions": a logged run read against the tune in the window, one table per fuel
// curve with what each point's readings say, and a check box on every point a pass would move.
// Nothing is sent until "Apply", which puts the checked points through the edit door as one
// operation; "Close" sends nothing. The suggestions are void once the tune changes.
class MixtureSuggestionsDialog : public QDialog {
    Q_OBJECT

  public:
    static const QString kSensorNote;

    MixtureSuggestionsDialog(CalibrationEditor& editor, MixtureDialogHooks hooks, QWidget* parent = nullptr);

    // The tune was replaced or edited: the analysis no longer holds and nothing can be applied.
    void tuneChanged();

    const std::optional<MixtureResult>& result() const { return result_; }
    // The table of a curve: 0 Low, 1 Cruise, 2 High, 3 the fuel-vacuum map.
    QTableWidget* table(int curve) const;
    // The row of a point in a curve's table, -1 when the point is not listed.
    int rowOf(int curve, int point) const;
    // The changes of the checked rows.
    std::vector<MixtureChange> checkedChanges() const;

    // The columns of the tables.
    enum Column { Point, Axis, Hits, Lean, Rich, Confidence, Verdict, Suggestion, LeftOut, ColumnCount };

  public slots:
    void RecordingSourceClick();
    void FileSourceClick();
    void ApplyClick();

  protected:
    void done(int r) override;
    void showEvent(QShowEvent* event) override;

  private:
    void analyse();
    void fillTables();
    void clearTables();
    void showSummary(const QString& text);
    void updateApply();
    int curveIndex(MapId map) const;

    CalibrationEditor& editor_;
    MixtureDialogHooks hooks_;
    DataLog fileLog_;
    QString filePath_;
    bool fromFile_ = false;
    bool applying_ = false;
    std::optional<MixtureResult> result_;

    QRadioButton* RecordingSource = nullptr;
    QRadioButton* FileSource = nullptr;
    QLabel* SourceLabel = nullptr;
    QCheckBox* AdjustVacuum = nullptr;
    QSpinBox* MinWater = nullptr;
    QLabel* SensorNote = nullptr;
    QLabel* LeftOutLabel = nullptr;
    QTabWidget* CurveTabs = nullptr;
    std::vector<QTableWidget*> tables_;
    QLabel* SummaryLabel = nullptr;
    QPushButton* ApplyButton = nullptr;
    QPushButton* CloseButton = nullptr;
};
