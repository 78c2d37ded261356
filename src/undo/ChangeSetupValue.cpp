#include "undo/ChangeSetupValue.h"

#include "undo/EditHistory.h"
#include "undo/UndoCommands.h"

ChangeSetupValue::ChangeSetupValue(EditHistory& history, const EditRecord& record, QUndoCommand* parent)
    : EditStep(history, record.mergeable, parent), change_(record) {
    setText(QStringLiteral("Setup %1").arg(record.setupId));
}

int ChangeSetupValue::id() const {
    return kChangeSetupValueId;
}

bool ChangeSetupValue::mergeWith(const QUndoCommand* other) {
    const auto* next = static_cast<const ChangeSetupValue*>(other);
    if (!mergeable() || !next->mergeable() || !open() || next->change_.setupId != change_.setupId)
        return false;
    change_.newValue = next->change_.newValue;
    setObsolete(change_.oldValue == change_.newValue);
    return true;
}

bool ChangeSetupValue::takeOver(const EditRecord& r) {
    if (r.kind != EditRecord::Kind::SetupValue || r.setupId != change_.setupId)
        return false;
    change_.newValue = r.newValue;
    return true;
}

bool ChangeSetupValue::apply(bool toOld) {
    return history().apply(change_, toOld);
}
