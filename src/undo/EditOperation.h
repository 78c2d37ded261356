#pragma once

#include "undo/EditStep.h"

#include <QList>

// The edits of one operation (a curve shift, a tool applied to a selection: the door's group) as
// one step: a parent command with one change per point or setup byte, undone in reverse order.
class EditOperation : public EditStep {
  public:
    EditOperation(EditHistory& history, const EditRecord& first);

    int id() const override;
    // The operation's next edit (the same group number).
    bool mergeWith(const QUndoCommand* other) override;
    int group() const { return first_.group; }

  protected:
    bool apply(bool toOld) override;

  private:
    void add(const EditRecord& record);

    EditRecord first_;
    QList<EditStep*> changes_; // children: owned by QUndoCommand
};
