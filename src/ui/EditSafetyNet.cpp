#include "ui/EditSafetyNet.h"

#include "calibration/CalibrationTransfer.h"
#include "session/TuneSession.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QWidget>

EditSafetyNet::EditSafetyNet(TuneSession& session, SafetyNetHost host, QObject* parent)
    : QObject(parent), state_(session.state()), guard_(session.safeguard()), host_(std::move(host)) {
    undoAction_ = new QAction(QStringLiteral("Undo"), this);
    undoAction_->setObjectName(QStringLiteral("UndoAction"));
    undoAction_->setShortcut(QKeySequence::Undo);
    redoAction_ = new QAction(QStringLiteral("Redo"), this);
    redoAction_->setObjectName(QStringLiteral("RedoAction"));
    redoAction_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (QAction* a : {undoAction_, redoAction_}) {
        a->setShortcutContext(Qt::WindowShortcut);
        if (host_.window)
            host_.window->addAction(a);
    }
    connect(undoAction_, &QAction::triggered, this, &EditSafetyNet::undo);
    connect(redoAction_, &QAction::triggered, this, &EditSafetyNet::redo);
    connect(&guard_.history(), &EditHistory::changed, this, &EditSafetyNet::updateActions);
    updateActions();
}

void EditSafetyNet::updateActions() {
    undoAction_->setEnabled(guard_.history().canUndo());
    redoAction_->setEnabled(guard_.history().canRedo());
}

void EditSafetyNet::undo() {
    const QString why = guard_.history().undo();
    if (!why.isEmpty() && host_.status)
        host_.status(why);
    updateActions();
}

void EditSafetyNet::redo() {
    const QString why = guard_.history().redo();
    if (!why.isEmpty() && host_.status)
        host_.status(why);
    updateActions();
}

QString EditSafetyNet::restoreQuestion(const JournalContents& contents) {
    const int n = static_cast<int>(contents.edits.size());
    const QDateTime last = contents.edits.isEmpty() ? QDateTime() : contents.edits.constLast().time;
    QString text =
        QStringLiteral(
            "The last session with this EMU (serial %1) ended before its changes were written to the "
            "EMU or saved to a file.\n\n%2 made, the last one at %3.")
            .arg(contents.serial.isEmpty() ? QStringLiteral("unknown") : contents.serial,
                 n == 1 ? QStringLiteral("1 change was") : QStringLiteral("%1 changes were").arg(n),
                 QLocale().toString(last, QLocale::ShortFormat));
    if (!contents.problem.isEmpty())
        text +=
            QStringLiteral("\n\nThe record of that session is damaged at the end: %1.").arg(contents.problem);
    text +=
        QStringLiteral("\n\nThe EMU may have lost them if it was switched off. Send them to the EMU again, "
                       "save them as a .EMU file made from the EMU's data with the changes applied, or "
                       "discard them? Nothing is changed until you choose.");
    return text;
}

void EditSafetyNet::unitReady() {
    const LinkState& link = state_.link;
    if (!link.EmuConnected || !link.DataReady || !link.Identity.isLiveUnit())
        return;
    if (guard_.journalsThisUnit())
        return; // this session's own journal (a reconnect)
    const QString path = guard_.unitJournalPath();
    std::optional<JournalContents> left;
    if (QFile::exists(path))
        left = EditJournal::readFile(path);
    QList<EditRecord> reapplyEdits;
    if (left && !left->edits.isEmpty()) {
        bool keep = false;
        switch (host_.prompts().askJournalRestore(host_.window, restoreQuestion(*left))) {
        case UiPrompts::JournalChoice::Reapply:
            reapplyEdits = left->edits;
            break;
        case UiPrompts::JournalChoice::SaveToFile:
            keep = !saveWithEdits(*left);
            break;
        case UiPrompts::JournalChoice::Discard:
            break;
        case UiPrompts::JournalChoice::Later:
            keep = true;
            break;
        }
        if (keep) {
            const std::optional<QString> kept = EditSafeguard::keepAside(path);
            if (!kept) {
                // Never overwritten: this session goes without a journal rather than lose that one.
                guard_.journal().close();
                host_.status(QStringLiteral("The earlier changes stay in %1; this session's changes are not "
                                            "being kept safe")
                                 .arg(path));
                return;
            }
            host_.status(QStringLiteral("The earlier changes are kept in %1").arg(*kept));
        }
    }
    guard_.startJournal();
    if (!reapplyEdits.isEmpty()) {
        const int sent = guard_.reapply(reapplyEdits);
        host_.status(sent == reapplyEdits.size()
                         ? QStringLiteral("Sent the %1 earlier changes to the EMU again").arg(sent)
                         : QStringLiteral("Sent %1 of the %2 earlier changes to the EMU; the link failed")
                               .arg(sent)
                               .arg(reapplyEdits.size()));
    }
}

bool EditSafetyNet::saveWithEdits(const JournalContents& contents) {
    // The question comes right after Connect has read the unit's whole image, before any edit: the
    // window's image is the unit's.
    if (!state_.link.CalibrationLoaded) {
        host_.prompts().showError(host_.window,
                                  QStringLiteral("The EMU's data could not be read, so nothing was saved."));
        return false;
    }
    QString error;
    std::optional<std::array<std::uint8_t, kImageSize>> image = CalibrationTransfer::imageFromPc(state_.cal);
    EditJournal::applyToImage(contents.edits, *image);
    const VehicleInfo vehicle = host_.vehicle ? host_.vehicle() : VehicleInfo{};
    const EmuIdentity& identity = state_.link.Identity;
    if (const QString reason = SettingsFile::refusalReason(identity, vehicle); !reason.isEmpty()) {
        host_.prompts().showError(host_.window, reason);
        return false;
    }
    const QString path = host_.prompts().askSaveFileName(host_.window, QString());
    if (path.isEmpty())
        return false;
    const QByteArray text = SettingsFile::write(identity, vehicle, image->data(), kImageReplySize);
    if (!SettingsFile::saveToFile(path, text, &error)) {
        host_.prompts().showError(host_.window, error);
        return false;
    }
    host_.status(QStringLiteral("The earlier changes were saved to %1").arg(path));
    return true;
}
