#include "session/EditSafeguard.h"

#include "calibration/CalibrationEditor.h"

#include <QDateTime>
#include <QFile>

EditSafeguard::EditSafeguard(EmuState& state, CalibrationEditor& editor, QObject* parent)
    : QObject(parent), state_(state), editor_(editor), history_(editor, [this] {
          return state_.link.DataReady ? QString()
                                       : QStringLiteral("No data is loaded: nothing was changed.");
      }) {
    connect(&editor_, &CalibrationEditor::edited, this, &EditSafeguard::journalEdit);
}

void EditSafeguard::journalEdit(const EditRecord& record) {
    if (!record.sent || !journal_.isOpen())
        return;
    if (journal_.append(record)) {
        failureSaid_ = false;
        return;
    }
    // Said once per failing run of edits: the tuner may go on, knowing a crash now loses them.
    if (!failureSaid_)
        emit problem(QStringLiteral("Edits are not being kept safe: %1").arg(journal_.lastError()));
    failureSaid_ = true;
}

QString EditSafeguard::unitJournalPath() const {
    const LinkState& link = state_.link;
    return journal_.pathFor(link.Identity.model(), link.SerialNumberText);
}

bool EditSafeguard::journalsThisUnit() const {
    return journal_.isOpen() && journal_.path() == unitJournalPath();
}

bool EditSafeguard::startJournal() {
    const LinkState& link = state_.link;
    if (journal_.start(link.Identity.model(), link.SerialNumberText))
        return true;
    emit problem(QStringLiteral("Edits are not being kept safe: %1").arg(journal_.lastError()));
    return false;
}

int EditSafeguard::reapply(const QList<EditRecord>& edits) {
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

std::optional<QString> EditSafeguard::keepAside(const QString& path) {
    const QString kept = path + QStringLiteral(".") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    if (!QFile::rename(path, kept))
        return std::nullopt;
    return kept;
}

void EditSafeguard::unitStored() {
    if (journalsThisUnit())
        journal_.restart();
}

void EditSafeguard::freshRead() {
    unitStored();
    history_.clear();
}

void EditSafeguard::fileOpened() {
    history_.clear();
}

void EditSafeguard::closedAll() {
    unitStored();
    history_.clear();
}
