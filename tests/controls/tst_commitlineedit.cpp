// The commit rule of the boxes that send typed values: typing never commits; Enter, Tab and
// leaving the box commit once; Esc puts the accepted text back; a refusal restores it and says why.
#include "controls/CommitLineEdit.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A window with the box under test and a second box to take the focus, and the texts committed.
struct Form {
    Form() {
        auto* layout = new QVBoxLayout(&window);
        box = new CommitLineEdit(&window);
        box->setObjectName(QStringLiteral("Box"));
        other = new QLineEdit(&window);
        other->setObjectName(QStringLiteral("Other"));
        layout->addWidget(box);
        layout->addWidget(other);
        box->setAcceptedText(QStringLiteral("7500"));
        box->setCommitter([this](const QString& text) {
            committed << text;
            if (onCommit)
                onCommit();
            return refuseWith;
        });
        window.show();
        window.activateWindow();
    }

    bool ready() {
        // Activation comes asynchronously; focus events flow only in the active window.
        if (!QTest::qWaitFor([this] { return window.isActiveWindow(); }))
            return false;
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
        return box->hasFocus();
    }

    QWidget window;
    CommitLineEdit* box = nullptr;
    QLineEdit* other = nullptr;
    QStringList committed;
    QString refuseWith; // empty: the committer takes the text
    std::function<void()> onCommit;
};

} // namespace

class TestCommitLineEdit : public QObject {
    Q_OBJECT

  private slots:
    void typingNeverCommits();
    void commitKeys_data();
    void commitKeys();
    void unchangedTextDoesNotCommit();
    void refusalRestoresAndSaysWhy();
    void escapeReverts();
    void anotherWindowIsNoLeaving();
    void promptAtCommitCommitsOnce_data();
    void promptAtCommitCommitsOnce();
    void undoKeysGoToTheWindowUnlessTyping();
    void acceptedTextFromOutside();
};

void TestCommitLineEdit::typingNeverCommits() {
    Form f;
    QVERIFY(f.ready());
    const QColor normal = f.box->palette().color(QPalette::Base);
    QSignalSpy pending(f.box, &CommitLineEdit::pendingChanged);
    QTest::keyClicks(f.box, QStringLiteral("7000"));
    QCOMPARE(f.box->text(), QStringLiteral("7000"));
    QVERIFY(f.committed.isEmpty());
    QVERIFY(f.box->isPending());
    // Pending text looks different, and says so to a screen reader.
    QVERIFY(f.box->palette().color(QPalette::Base) != normal);
    QVERIFY(!f.box->accessibleDescription().isEmpty());
    QCOMPARE(pending.size(), 1);
    QCOMPARE(pending.first().first().toBool(), true);
    QCOMPARE(f.box->acceptedText(), QStringLiteral("7500"));
}

void TestCommitLineEdit::commitKeys_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter") << "Return";
    QTest::newRow("keypad Enter") << "Enter";
    QTest::newRow("Tab") << "Tab";
    QTest::newRow("Shift+Tab") << "Backtab";
    QTest::newRow("a click elsewhere") << "click";
}

void TestCommitLineEdit::commitKeys() {
    QFETCH(QString, how);
    Form f;
    QVERIFY(f.ready());
    QTest::keyClicks(f.box, QStringLiteral("7000"));
    if (how == QLatin1String("Return"))
        QTest::keyClick(f.box, Qt::Key_Return);
    else if (how == QLatin1String("Enter"))
        QTest::keyClick(f.box, Qt::Key_Enter, Qt::KeypadModifier);
    else if (how == QLatin1String("Tab"))
        QTest::keyClick(f.box, Qt::Key_Tab);
    else if (how == QLatin1String("Backtab"))
        QTest::keyClick(f.box, Qt::Key_Backtab, Qt::ShiftModifier);
    else
        QTest::mouseClick(f.other, Qt::LeftButton);
    QCOMPARE(f.committed, QStringList{QStringLiteral("7000")});
    QCOMPARE(f.box->acceptedText(), QStringLiteral("7000"));
    QVERIFY(!f.box->isPending());
    QCOMPARE(f.box->palette().color(QPalette::Base), f.other->palette().color(QPalette::Base));

    // Nothing more: Enter again, leaving again, coming back and leaving once more.
    f.box->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(f.box, Qt::Key_Return);
    f.other->setFocus(Qt::MouseFocusReason);
    QCOMPARE(f.committed.size(), 1);
}

void TestCommitLineEdit::unchangedTextDoesNotCommit() {
    Form f;
    QVERIFY(f.ready());
    QTest::keyClick(f.box, Qt::Key_Return);
    QTest::keyClick(f.box, Qt::Key_Tab);
    QVERIFY(f.committed.isEmpty());
    // Typed back to what it was: no change, no commit.
    f.box->setFocus(Qt::MouseFocusReason);
    f.box->selectAll();
    QTest::keyClicks(f.box, QStringLiteral("750"));
    QVERIFY(f.box->isPending());
    QTest::keyClicks(f.box, QStringLiteral("0"));
    QVERIFY(!f.box->isPending());
    QTest::keyClick(f.box, Qt::Key_Return);
    QVERIFY(f.committed.isEmpty());
}

void TestCommitLineEdit::refusalRestoresAndSaysWhy() {
    Form f;
    QVERIFY(f.ready());
    f.box->setHint(QStringLiteral("Accepts 0 to 8000 RPM"));
    QCOMPARE(f.box->toolTip(), QStringLiteral("Accepts 0 to 8000 RPM"));
    QSignalSpy refused(f.box, &CommitLineEdit::refused);
    f.refuseWith = QStringLiteral("RPM Limiter accepts 0 to 8000 RPM: 99999 was not sent");
    QTest::keyClicks(f.box, QStringLiteral("99999"));
    QTest::keyClick(f.box, Qt::Key_Return);
    QCOMPARE(f.committed, QStringList{QStringLiteral("99999")});
    QCOMPARE(f.box->text(), QStringLiteral("7500"));
    QVERIFY(!f.box->isPending());
    QCOMPARE(f.box->toolTip(), f.refuseWith);
    QCOMPARE(f.box->refusal(), f.refuseWith);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(refused.first().first().toString(), f.refuseWith);

    // The next value taken brings the hint back.
    f.refuseWith.clear();
    f.box->selectAll();
    QTest::keyClicks(f.box, QStringLiteral("7000"));
    QTest::keyClick(f.box, Qt::Key_Return);
    QCOMPARE(f.box->acceptedText(), QStringLiteral("7000"));
    QVERIFY(f.box->refusal().isEmpty());
    QCOMPARE(f.box->toolTip(), QStringLiteral("Accepts 0 to 8000 RPM"));
}

void TestCommitLineEdit::escapeReverts() {
    Form f;
    QVERIFY(f.ready());
    QTest::keyClicks(f.box, QStringLiteral("70"));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(f.box, &escape);
    QVERIFY(escape.isAccepted());
    QCOMPARE(f.box->text(), QStringLiteral("7500"));
    QVERIFY(!f.box->isPending());
    // Nothing was typed: Esc is not the box's, it goes on to the window (which ends the program).
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(f.box, &again);
    QVERIFY(!again.isAccepted());
    f.other->setFocus(Qt::MouseFocusReason);
    QVERIFY(f.committed.isEmpty());
}

void TestCommitLineEdit::anotherWindowIsNoLeaving() {
    Form f;
    QVERIFY(f.ready());
    QTest::keyClicks(f.box, QStringLiteral("70"));
    // A dialog of the link coming up while typing takes the window's focus away.
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(f.box, &away);
    QFocusEvent menu(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(f.box, &menu);
    QVERIFY(f.committed.isEmpty());
    QVERIFY(f.box->isPending());
    QCOMPARE(f.box->text(), QStringLiteral("70"));
}

void TestCommitLineEdit::promptAtCommitCommitsOnce_data() {
    QTest::addColumn<bool>("messageBox");
    QTest::newRow("the focus moves within the window") << false;
    QTest::newRow("a modal message box") << true;
}

void TestCommitLineEdit::promptAtCommitCommitsOnce() {
    QFETCH(bool, messageBox);
    Form f;
    QVERIFY(f.ready());
    f.refuseWith = QStringLiteral("'7x' is not a valid integer value.");
    f.onCommit = [&f, messageBox] {
        if (!messageBox) {
            f.other->setFocus(Qt::OtherFocusReason);
            return;
        }
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), f.refuseWith, QMessageBox::Ok,
                        &f.window);
        QTimer::singleShot(50, &box, &QMessageBox::accept);
        box.exec();
    };
    QTest::keyClicks(f.box, QStringLiteral("7x"));
    QTest::keyClick(f.box, Qt::Key_Return);
    QTest::qWait(50);
    // Back in the box and out again: the text is the accepted one, so nothing is committed.
    f.box->setFocus(Qt::MouseFocusReason);
    f.other->setFocus(Qt::MouseFocusReason);
    QCOMPARE(f.committed, QStringList{QStringLiteral("7x")});
    QCOMPARE(f.box->text(), QStringLiteral("7500"));
}

void TestCommitLineEdit::undoKeysGoToTheWindowUnlessTyping() {
    Form f;
    QAction undo(&f.window);
    undo.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo.setShortcutContext(Qt::WindowShortcut);
    f.window.addAction(&undo);
    QSignalSpy undone(&undo, &QAction::triggered);
    QVERIFY(f.ready());

    // A committed value: Ctrl+Z is the window's (the tune's undo), and the box keeps its text.
    QTest::keyClicks(f.box, QStringLiteral("7000"));
    QTest::keyClick(f.box, Qt::Key_Return);
    QTest::keyClick(f.box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(undone.size(), 1);
    QCOMPARE(f.box->text(), QStringLiteral("7000"));

    // Typed text: the box's own text undo takes the key.
    QTest::keyClicks(f.box, QStringLiteral("5"));
    QCOMPARE(f.box->text(), QStringLiteral("70005"));
    QTest::keyClick(f.box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(undone.size(), 1);
    QCOMPARE(f.box->text(), QStringLiteral("7000"));

    // With nothing to undo in the window, the key must not undo the keys of the sent value either.
    undo.setEnabled(false);
    QTest::keyClick(f.box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(f.box->text(), QStringLiteral("7000"));
    QVERIFY(!f.box->isPending());
    QCOMPARE(f.committed, QStringList{QStringLiteral("7000")});
}

void TestCommitLineEdit::acceptedTextFromOutside() {
    Form f;
    QVERIFY(f.ready());
    f.refuseWith = QStringLiteral("refused");
    QTest::keyClicks(f.box, QStringLiteral("1"));
    QTest::keyClick(f.box, Qt::Key_Return);
    QCOMPARE(f.box->toolTip(), QStringLiteral("refused"));
    // An undo shows the unit's value: no commit, not pending, the old refusal gone.
    f.box->setAcceptedText(QStringLiteral("6000"));
    QCOMPARE(f.box->text(), QStringLiteral("6000"));
    QVERIFY(!f.box->isPending());
    QVERIFY(f.box->refusal().isEmpty());
    QCOMPARE(f.committed.size(), 1);
    f.other->setFocus(Qt::MouseFocusReason);
    QCOMPARE(f.committed.size(), 1);
}

QTEST_MAIN(TestCommitLineEdit)
#include "tst_commitlineedit.moc"
