#include "undo/EditStep.h"

#include "undo/EditHistory.h"

EditStep::EditStep(EditHistory& history, bool mergeable, QUndoCommand* parent)
    : QUndoCommand(parent), history_(history), run_(history.run()), mergeable_(mergeable),
      pushed_(parent != nullptr) {
}

void EditStep::redo() {
    if (!pushed_) {
        pushed_ = true;
        return;
    }
    send(false);
}

void EditStep::undo() {
    send(true);
}

bool EditStep::send(bool toOld) {
    return apply(toOld);
}

bool EditStep::open() const {
    return history_.run() == run_;
}
