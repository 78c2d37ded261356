#include "undo/EditOperation.h"

#include "undo/ChangeMapPoint.h"
#include "undo/ChangeSetupValue.h"
#include "undo/UndoCommands.h"

#include <algorithm>

EditOperation::EditOperation(EditHistory& history, const EditRecord& first)
    : EditStep(history, false, nullptr), first_(first) {
    add(first);
}

int EditOperation::id() const {
    return kEditOperationId;
}

bool EditOperation::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const EditOperation*>(other);
    if (next->group() != group())
        return false;
    add(next->first_);
    return true;
}

void EditOperation::add(const EditRecord& r) {
    // A point or byte the operation changed before keeps its first old value.
    for (EditStep* c : changes_)
        if (c->takeOver(r))
            return;
    EditRecord single = r;
    single.mergeable = false;
    if (r.kind == EditRecord::Kind::MapPoint)
        changes_ << new ChangeMapPoint(history(), single, this);
    else
        changes_ << new ChangeSetupValue(history(), single, this);
    setText(QStringLiteral("%1 changes").arg(changes_.size()));
}

bool EditOperation::apply(bool toOld) {
    const auto sendOne = [toOld](EditStep* c) { return c->send(toOld); };
    if (toOld)
        return std::all_of(changes_.crbegin(), changes_.crend(), sendOne);
    return std::all_of(changes_.cbegin(), changes_.cend(), sendOne);
}
