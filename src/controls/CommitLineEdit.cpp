#include "controls/CommitLineEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPalette>

namespace {

// Pending text: a pale amber that keeps black text readable and differs from the disabled grey.
const QColor kPendingBase(0xff, 0xf1, 0xc4);

} // namespace

CommitLineEdit::CommitLineEdit(QWidget* parent)
    : QLineEdit(parent), normalBase_(palette().color(QPalette::Base)) {
    connect(this, &QLineEdit::textChanged, this, &CommitLineEdit::updateLook);
}

void CommitLineEdit::setAcceptedText(const QString& text) {
    accepted_ = text;
    setText(text);
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
        // The committer may have shown the value in its own form already.
        if (text() == typed)
            accepted_ = typed;
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
    if (event->type() == QEvent::ShortcutOverride && !isPending()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
            (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Y)) {
            event->ignore();
            return false;
        }
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
    // A pop-up menu of the box itself (its context menu) is no leaving.
    if (event->reason() != Qt::PopupFocusReason)
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
