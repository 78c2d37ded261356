#include "controls/CommitLineEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>

namespace {

// Pending text: a pale amber that keeps black text readable and differs from the disabled grey.
const QColor kPendingBase(0xff, 0xf1, 0xc4);

// The keys of the window's undo and redo (Ctrl+Z, Ctrl+Shift+Z, Ctrl+Y) and the platform's own.
bool isUndoOrRedo(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlZ = key->key() == Qt::Key_Z &&
                       (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier));
    const bool ctrlY = key->key() == Qt::Key_Y && mods == Qt::ControlModifier;
    return ctrlZ || ctrlY || key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo);
}

} // namespace

CommitLineEdit::CommitLineEdit(QWidget* parent)
    : QLineEdit(parent), normalBase_(palette().color(QPalette::Base)) {
    connect(this, &QLineEdit::textChanged, this, &CommitLineEdit::updateLook);
}

void CommitLineEdit::setAcceptedText(const QString& text) {
    accepted_ = text;
    setText(text);
    if (!committing_ && !refusal_.isEmpty()) {
        // A new value from outside (a fill, an undo) makes an old refusal moot.
        refusal_.clear();
        setToolTip(hint_);
    }
    updateLook();
}

void CommitLineEdit::revert() {
    setText(accepted_);
    updateLook();
}

bool CommitLineEdit::commit() {
    if (!isPending() || committing_)
        return true;
    // The committer may show a message box, which takes the focus and would commit again.
    committing_ = true;
    const QString typed = text();
    const QString reason = committer_ ? committer_(typed) : QString();
    committing_ = false;
    if (reason.isEmpty()) {
        // The committer may have shown the value in its own form already. Setting the text anew
        // empties the box's own undo, which must not reach back past a value sent.
        if (text() == typed) {
            accepted_ = typed;
            setText(typed);
        }
        refusal_.clear();
        setToolTip(hint_);
        updateLook();
        return true;
    }
    refusal_ = reason;
    setText(accepted_);
    setToolTip(reason);
    updateLook();
    emit refused(reason);
    return false;
}

void CommitLineEdit::setHint(const QString& hint) {
    hint_ = hint;
    if (refusal_.isEmpty())
        setToolTip(hint);
}

bool CommitLineEdit::event(QEvent* event) {
    // The box's own text undo only while it holds typed text; otherwise Ctrl+Z is the tune's undo.
    if (event->type() == QEvent::ShortcutOverride && !isPending() &&
        isUndoOrRedo(static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return false;
    }
    if (event->type() == QEvent::ShortcutOverride && isPending()) {
        // Esc belongs to the box while it holds typed text.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void CommitLineEdit::keyPressEvent(QKeyEvent* event) {
    // Without typed text the box has nothing of its own to undo: its history holds the keys of a
    // value already sent, and taking one back would only make the box pending again.
    if (!isPending() && isUndoOrRedo(event)) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        commit();
        event->accept();
        return;
    case Qt::Key_Escape:
        if (isPending()) {
            revert();
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

void CommitLineEdit::focusOutEvent(QFocusEvent* event) {
    // The box's own context menu is no leaving, and neither is another window coming up (a
    // message box, a dialog of the link): half-typed text must not go to the unit because of
    // it. The focus comes back to the box with its text still pending.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
        commit();
    QLineEdit::focusOutEvent(event);
}

void CommitLineEdit::updateLook() {
    const bool pending = isPending();
    if (pending == shownPending_)
        return;
    shownPending_ = pending;
    QPalette p = palette();
    if (pending)
        p.setColor(QPalette::Base, kPendingBase);
    else
        p.setColor(QPalette::Base, normalBase_);
    setPalette(p);
    setAccessibleDescription(pending ? QStringLiteral("Not yet sent: Enter or Tab sends it, Esc puts it back")
                                     : QString());
    emit pendingChanged(pending);
}
