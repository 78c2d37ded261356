#pragma once

#include "calibration/CalibrationEditor.h"

#include <QUndoCommand>

class EditHistory;

// One undo step over the edit door, or one change inside an operation. The edit is already on the
// unit and the window when the step is made, so the stack's first redo (the push) sends nothing;
// every later undo and redo sends through the history, which says whether the message got out.
class EditStep : public QUndoCommand {
  public:
    EditStep(EditHistory& history, bool mergeable, QUndoCommand* parent);

    void redo() final;
    void undo() final;
    // Sends the step's changes toward their old or new values; false when one did not reach the
    // unit (the ones after it are not sent).
    bool send(bool toOld);

    bool mergeable() const { return mergeable_; }
    // Inside an operation: the same point or setup byte again takes this change's new value.
    virtual bool takeOver(const EditRecord&) { return false; }

  protected:
    virtual bool apply(bool toOld) = 0;
    // Still taking merges: nothing ended the run (a drag's button up, a key up, undo, a store)
    // since the step was made.
    bool open() const;
    EditHistory& history() const { return history_; }

  private:
    EditHistory& history_;
    int run_ = 0;
    bool mergeable_ = false;
    bool pushed_ = false;
};
