#include "undo/EditHistory.h"

#include "undo/ChangeMapPoint.h"
#include "undo/ChangeSetupValue.h"
#include "undo/EditOperation.h"

namespace {

QUndoCommand* makeStep(EditHistory& history, const EditRecord& r) {
    if (r.group != 0)
        return new EditOperation(history, r);
    if (r.kind == EditRecord::Kind::MapPoint)
        return new ChangeMapPoint(history, r);
    return new ChangeSetupValue(history, r);
}

} // namespace

EditHistory::EditHistory(CalibrationEditor& editor, std::function<QString()> canApply, QObject* parent)
    : QObject(parent), editor_(editor), canApply_(std::move(canApply)) {
    connect(&editor_, &CalibrationEditor::edited, this, &EditHistory::record);
    // A drag's button up and a key's release end its run; so do the start and end of an operation.
    connect(&editor_, &CalibrationEditor::editGroupEnded, this, &EditHistory::endRun);
    connect(&editor_, &CalibrationEditor::operationBegan, this, &EditHistory::endRun);
    connect(&editor_, &CalibrationEditor::operationEnded, this, &EditHistory::endRun);
    connect(&stack_, &QUndoStack::indexChanged, this, &EditHistory::changed);
    connect(&stack_, &QUndoStack::cleanChanged, this, [this](bool clean) { emit modifiedChanged(!clean); });
}

EditHistory::~EditHistory() = default;

void EditHistory::record(const EditRecord& r) {
    // Changes not yet sent (a key still held) come again as one sent change. A send that changed
    // nothing (the key-up of any key, Ctrl+Z's own included, sends the point under the cursor
    // again) is no step, and must not drop what redo holds.
    if (applying_ || (!r.sent && !r.offline) || r.oldValue == r.newValue)
        return;
    // The stack offers the new step to the one on top, which takes it when it is the same drag,
    // held key or operation.
    stack_.push(makeStep(*this, r));
}

bool EditHistory::apply(const EditRecord& c, bool toOld) {
    if (silent_)
        return true;
    const double value = toOld ? c.oldValue : c.newValue;
    const bool sent = c.kind == EditRecord::Kind::MapPoint
                          ? editor_.applyMapPoint(c.map, c.point, value)
                          : editor_.applySetupValue(c.setupId, static_cast<std::uint8_t>(value));
    if (!sent)
        failed_ = true;
    return sent;
}

QString EditHistory::step(bool isUndo) {
    if (isUndo ? !stack_.canUndo() : !stack_.canRedo())
        return isUndo ? QStringLiteral("Nothing to undo") : QStringLiteral("Nothing to redo");
    if (const QString why = canApply_ ? canApply_() : QString(); !why.isEmpty())
        return why;
    endRun();
    failed_ = false;
    applying_ = true;
    if (isUndo)
        stack_.undo();
    else
        stack_.redo();
    if (failed_) {
        // Not every message reached the unit: the step stays where it was, to be taken whole once
        // the link is back (the door changed only what the unit got), and nothing is sent to put
        // it back.
        silent_ = true;
        if (isUndo)
            stack_.redo();
        else
            stack_.undo();
        silent_ = false;
    }
    applying_ = false;
    if (failed_)
        return QStringLiteral("The EMU did not take the change: the link to it is lost");
    return {};
}

QString EditHistory::undo() {
    return step(true);
}

QString EditHistory::redo() {
    return step(false);
}

void EditHistory::clear() {
    endRun();
    stack_.clear();
}

void EditHistory::setClean() {
    endRun();
    stack_.setClean();
}
