#pragma once

#include "undo/EditStep.h"

// One setup byte changed (plain values, as sent with 0xF2).
class ChangeSetupValue : public EditStep {
  public:
    ChangeSetupValue(EditHistory& history, const EditRecord& record, QUndoCommand* parent = nullptr);

    int id() const override;
    // The same byte's next value in a run of mergeable edits.
    bool mergeWith(const QUndoCommand* other) override;
    // The same byte again inside an operation: its new value.
    bool takeOver(const EditRecord& record) override;

  protected:
    bool apply(bool toOld) override;

  private:
    EditRecord change_;
};
