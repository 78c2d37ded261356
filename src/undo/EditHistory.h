#pragma once

#include "calibration/CalibrationEditor.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <functional>

// The session's undo history of the edits sent to the unit, as commands on a QUndoStack: a map
// point change (ChangeMapPoint), a setup value change (ChangeSetupValue) and an operation's edits
// under one parent (EditOperation, by the door's group number). A drag (button down to button up)
// and a key held down merge into one step. Undo and redo send through the edit door, so the unit,
// the state and every page that repaints from the door's signals agree; a step whose messages do
// not all reach the unit is not taken.
//
// The history also knows whether the PC's data is held anywhere else: setClean() when the unit
// or a file holds it (a confirmed write, a save, a fresh read), isModified() and modifiedChanged()
// after every edit, undo and redo.
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
    // Forgets every step (Read, Open, Close all): what the PC holds is then what it was given.
    void clear();

    // The PC's data is now held by the unit or a file: this point of the history is clean.
    void setClean();
    // The PC's data differs from what was last stored, saved or read (an undo back to that point
    // makes it equal again).
    bool isModified() const { return !stack_.isClean(); }

    // Used by the steps: sends one change through the door's methods that send first and record
    // nothing here. False when the message did not reach the unit.
    bool apply(const EditRecord& change, bool toOld);
    // The run of mergeable edits now open; a step made in an earlier run takes no merges.
    int run() const { return run_; }

  signals:
    void changed();
    void modifiedChanged(bool modified);

  private:
    void record(const EditRecord& record);
    void endRun() { ++run_; }
    QString step(bool isUndo);

    CalibrationEditor& editor_;
    std::function<QString()> canApply_;
    QUndoStack stack_;
    int run_ = 0;
    bool applying_ = false;
    bool failed_ = false;
    bool silent_ = false;
};
