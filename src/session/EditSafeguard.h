#pragma once

#include "calibration/EditJournal.h"
#include "calibration/EmuState.h"
#include "undo/EditHistory.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class CalibrationEditor;

// What keeps a tuner's edits safe, below the window: the journal of the connected unit (every sent
// edit on the disk before the door returns) and the undo history. The session tells it when the
// data is stored, read afresh, opened or closed; the window only asks the restore question.
class EditSafeguard : public QObject {
    Q_OBJECT

  public:
    EditSafeguard(EmuState& state, CalibrationEditor& editor, QObject* parent = nullptr);

    EditJournal& journal() { return journal_; }
    const EditJournal& journal() const { return journal_; }
    EditHistory& history() { return history_; }

    // The unit's data is stored (a confirmed write, a saved file, the changes given up): the
    // journal starts again. A fresh read, an opened file and Close all also clear the history.
    void unitStored();
    void freshRead();
    void fileOpened();
    void closedAll();

    // The connected unit's journal file, and whether this session writes it already (a reconnect).
    QString unitJournalPath() const;
    bool journalsThisUnit() const;
    // Starts this session's journal of the connected unit; false (and problem()) when it cannot.
    bool startJournal();
    // Sends earlier edits again through the door; how many reached the unit.
    int reapply(const QList<EditRecord>& edits);
    // Moves a journal out of the way under a dated name; nothing when it cannot be moved.
    static std::optional<QString> keepAside(const QString& path);

  signals:
    // Edits are not being kept safe, and why; said once per failing run of edits.
    void problem(const QString& text);

  private:
    void journalEdit(const EditRecord& record);

    EmuState& state_;
    CalibrationEditor& editor_;
    EditJournal journal_;
    EditHistory history_;
    bool failureSaid_ = false;
};
