#include "undo/EditHistory.h"

#include <QList>
#include <QUndoCommand>

namespace {

// One step: the changes of one drag, key or single edit, first old value and last new value of
// each point or setup byte it touched.
class EditStep : public QUndoCommand {
  public:
    EditStep(EditHistory& history, const EditRecord& first) : history_(history), group_(first.group) {
        add(first);
    }

    int group() const { return group_; }

    void add(const EditRecord& r) {
        for (EditRecord& c : changes_) {
            if (sameTarget(c, r)) {
                c.newValue = r.newValue;
                return;
            }
        }
        changes_ << r;
    }

    // The first redo comes with the push: the edit is already applied.
    void redo() override {
        if (pushed_) {
            for (const EditRecord& c : changes_)
                if (!history_.apply(c, false))
                    return;
        }
        pushed_ = true;
    }

    void undo() override {
        for (auto it = changes_.crbegin(); it != changes_.crend(); ++it)
            if (!history_.apply(*it, true))
                return;
    }

  private:
    static bool sameTarget(const EditRecord& a, const EditRecord& b) {
        if (a.kind != b.kind)
            return false;
        if (a.kind == EditRecord::Kind::SetupValue)
            return a.setupId == b.setupId;
        return a.map == b.map && a.point == b.point;
    }

    EditHistory& history_;
    int group_ = 0;
    QList<EditRecord> changes_;
    bool pushed_ = false;
};

} // namespace

EditHistory::EditHistory(CalibrationEditor& editor, std::function<QString()> canApply, QObject* parent)
    : QObject(parent), editor_(editor), canApply_(std::move(canApply)) {
    connect(&editor_, &CalibrationEditor::edited, this, &EditHistory::record);
    connect(&editor_, &CalibrationEditor::editGroupEnded, this, [this] { groupOpen_ = false; });
    connect(&stack_, &QUndoStack::indexChanged, this, &EditHistory::changed);
}

EditHistory::~EditHistory() = default;

void EditHistory::record(const EditRecord& r) {
    // Changes not yet sent (a key still held) come again as one sent change.
    if (applying_ || !r.sent)
        return;
    // A send that changed nothing (the key-up of any key, Ctrl+Z's own included, sends the point
    // under the cursor again) is no step, and must not drop what redo holds.
    if (r.oldValue == r.newValue && !(r.mergeable && groupOpen_))
        return;
    const bool onTop = stack_.index() == stack_.count() && stack_.count() > 0;
    auto* top = onTop ? static_cast<EditStep*>(const_cast<QUndoCommand*>(stack_.command(stack_.count() - 1)))
                      : nullptr;
    // The edits of one operation, and a drag's or a held key's run, are one step.
    if (top && ((r.group != 0 && top->group() == r.group) || (r.mergeable && groupOpen_))) {
        top->add(r);
        return;
    }
    stack_.push(new EditStep(*this, r));
    groupOpen_ = r.mergeable;
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
    else
        ++applied_;
    return sent;
}

QString EditHistory::step(bool isUndo) {
    if (isUndo ? !stack_.canUndo() : !stack_.canRedo())
        return isUndo ? QStringLiteral("Nothing to undo") : QStringLiteral("Nothing to redo");
    if (const QString why = canApply_ ? canApply_() : QString(); !why.isEmpty())
        return why;
    groupOpen_ = false;
    failed_ = false;
    applied_ = 0;
    applying_ = true;
    if (isUndo)
        stack_.undo();
    else
        stack_.redo();
    if (failed_ && applied_ == 0) {
        // Nothing reached the unit: the step stays where it was, and nothing is sent to put it back.
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
    stack_.clear();
    groupOpen_ = false;
}
