#pragma once

#include <QColor>
#include <QLineEdit>
#include <QString>

#include <functional>

// A box whose typed text counts only when it is committed: by Enter, by Tab or by leaving the box.
// Until then it looks pending (tinted) and nothing is sent; Esc puts back the accepted text, the
// value the unit holds. A commit of a text that differs from the accepted one is handed to the
// committer once; it either takes the text (it becomes the accepted text) or says why not, and
// then the accepted text comes back and the reason stays in the box's tooltip. Another window
// taking the focus (a message box, a dialog of the link) is no leaving; a message box shown by the
// committer cannot commit a second time. Ctrl+Z and the redo keys are the box's own only while it
// holds typed text; otherwise they go on to the window (the tune's undo).
class CommitLineEdit : public QLineEdit {
    Q_OBJECT

  public:
    // Returns an empty text when the value was taken, or the reason it was refused. A committer
    // that puts another text in the box (revert(), setAcceptedText()) keeps that text instead.
    using Committer = std::function<QString(const QString& text)>;

    explicit CommitLineEdit(QWidget* parent = nullptr);

    void setCommitter(Committer committer) { committer_ = std::move(committer); }

    // Shows a value as the accepted one (a fill, an undo, a value the unit now holds). No commit.
    void setAcceptedText(const QString& text);
    QString acceptedText() const { return accepted_; }
    // Typed text not yet committed.
    bool isPending() const { return text() != accepted_; }
    // Puts the accepted text back (Esc).
    void revert();
    // Commits now, as Enter would. False when the text was refused.
    bool commit();

    // The tooltip the box shows when nothing was refused (the accepted range, say).
    void setHint(const QString& hint);
    // The last refusal's reason; empty after a value was taken.
    QString refusal() const { return refusal_; }

  signals:
    void pendingChanged(bool pending);
    // A committed text was refused; the accepted text is back in the box.
    void refused(const QString& reason);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void updateLook();

    Committer committer_;
    QColor normalBase_;
    QString accepted_;
    QString hint_;
    QString refusal_;
    bool shownPending_ = false;
    bool committing_ = false;
};
