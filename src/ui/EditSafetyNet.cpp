#include "ui/EditSafetyNet.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/CalibrationTransfer.h"
#include "link/EmuLink.h"

#include <QAction>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QWidget>

EditSafetyNet::EditSafetyNet(EmuState& state, EmuLink& link, CalibrationEditor& editor, SafetyNetHost host,
                             QObject* parent)
    : QObject(parent), state_(state), link_(link), editor_(editor), host_(std::move(host)),
      history_(editor, [this] {
          return state_.link.DataReady ? QString()
                                       : QStringLiteral("No data is loaded: nothing was changed.");
      }) {
    connect(&editor_, &CalibrationEditor::edited, this, &EditSafetyNet::journalEdit);

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
    connect(&history_, &EditHistory::changed, this, &EditSafetyNet::updateActions);
    updateActions();
}

void EditSafetyNet::journalEdit(const EditRecord& record) {
    if (!record.sent || !journal_.isOpen())
        return;
    if (journal_.append(record)) {
        journalFailureShown_ = false;
        return;
    }
    // Said once per failing run of edits: the tuner may go on, knowing a crash now loses them.
    if (!journalFailureShown_ && host_.status)
        host_.status(QStringLiteral("Edits are not being kept safe: %1").arg(journal_.lastError()));
    journalFailureShown_ = true;
}

void EditSafetyNet::updateActions() {
    undoAction_->setEnabled(history_.canUndo());
    redoAction_->setEnabled(history_.canRedo());
}

void EditSafetyNet::undo() {
    const QString why = history_.undo();
    if (!why.isEmpty() && host_.status)
        host_.status(why);
    updateActions();
}

void EditSafetyNet::redo() {
    const QString why = history_.redo();
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
    const int model = link.Identity.model();
    const QString path = journal_.pathFor(model, link.SerialNumberText);
    if (journal_.isOpen() && journal_.path() == path)
        return; // this session's own journal (a reconnect)
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
            const std::optional<QString> kept = keepAside(path);
            if (!kept) {
                // Never overwritten: this session goes without a journal rather than lose that one.
                journal_.close();
                host_.status(QStringLiteral("The earlier changes stay in %1; this session's changes are not "
                                            "being kept safe")
                                 .arg(path));
                return;
            }
            host_.status(QStringLiteral("The earlier changes are kept in %1").arg(*kept));
        }
    }
    if (!journal_.start(model, link.SerialNumberText) && host_.status)
        host_.status(QStringLiteral("Edits are not being kept safe: %1").arg(journal_.lastError()));
    if (!reapplyEdits.isEmpty()) {
        const int sent = reapply(reapplyEdits);
        host_.status(sent == reapplyEdits.size()
                         ? QStringLiteral("Sent the %1 earlier changes to the EMU again").arg(sent)
                         : QStringLiteral("Sent %1 of the %2 earlier changes to the EMU; the link failed")
                               .arg(sent)
                               .arg(reapplyEdits.size()));
    }
}

int EditSafetyNet::reapply(const QList<EditRecord>& edits) {
    int sent = 0;
    for (const EditRecord& e : edits) {
        const bool ok = e.kind == EditRecord::Kind::MapPoint
                            ? editor_.applyMapPoint(e.map, e.point, e.newValue)
                            : editor_.applySetupValue(e.setupId, static_cast<std::uint8_t>(e.newValue));
        if (!ok)
            break;
        ++sent;
    }
    return sent;
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

std::optional<QString> EditSafetyNet::keepAside(const QString& path) {
    const QString kept = path + QStringLiteral(".") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    if (!QFile::rename(path, kept))
        return std::nullopt;
    return kept;
}

bool EditSafetyNet::journalsThisUnit() const {
    const LinkState& link = state_.link;
    return journal_.isOpen() &&
           journal_.path() == journal_.pathFor(link.Identity.model(), link.SerialNumberText);
}

void EditSafetyNet::unitStored() {
    if (journalsThisUnit())
        journal_.restart();
}

void EditSafetyNet::freshRead() {
    unitStored();
    history_.clear();
}

void EditSafetyNet::fileOpened() {
    history_.clear();
}

void EditSafetyNet::closedAll() {
    unitStored();
    history_.clear();
}
