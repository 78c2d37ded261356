#pragma once

#include "calibration/CalibrationEditor.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <functional>

// The session's undo history of the edits sent to the unit. A drag (button down to button up) and a
// key held down are each one step. Undo and redo send through the edit door, so the unit, the state
// and every page that repaints from the door's signals agree; a step whose message cannot reach
// the unit is not taken.
class EditHistory : public QObject {
    Q_OBJECT

  public:
    // canApply says why nothing may be sent now (empty: go ahead).
    EditHistory(CalibrationEditor& editor, std::function<QString()> canApply, QObject* parent = nullptr);
    ~EditHistory() override;

    QUndoStack& stack() { return stack_; }
    bool canUndo() const { return stack_.canUndo(); }
    bool canRedo() const { return stack_.canRedo(); }
    int count() const { return stack_.count(); }

    // Each returns an empty text when done, or why nothing changed.
    QString undo();
    QString redo();
    void clear();

    // Used by the steps: the door's methods that send first and record nothing here.
    bool apply(const EditRecord& change, bool toOld);

  signals:
    void changed();

  private:
    void record(const EditRecord& record);
    QString step(bool isUndo);

    CalibrationEditor& editor_;
    std::function<QString()> canApply_;
    QUndoStack stack_;
    bool applying_ = false;
    bool failed_ = false;
    bool silent_ = false;
    int applied_ = 0;
    bool groupOpen_ = false;
};
