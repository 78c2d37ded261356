#pragma once

#include "calibration/EditJournal.h"
#include "calibration/EmuState.h"
#include "calibration/SettingsFile.h"
#include "ui/UiPrompts.h"
#include "undo/EditHistory.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class CalibrationEditor;
class EmuLink;
class QAction;
class QWidget;

// What the window lends the safety net: its prompts, its status line and the vehicle texts.
struct SafetyNetHost {
    QWidget* window = nullptr;
    std::function<UiPrompts&()> prompts;
    std::function<void(const QString&)> status;
    std::function<VehicleInfo()> vehicle;
};

// The tuner's safety net: the edit journal of the connected unit, the restore question at Connect,
// and the undo history with its two actions. The window calls the hooks below from its flows.
class EditSafetyNet : public QObject {
    Q_OBJECT

  public:
    EditSafetyNet(EmuState& state, EmuLink& link, CalibrationEditor& editor, SafetyNetHost host,
                  QObject* parent = nullptr);

    EditJournal& journal() { return journal_; }
    EditHistory& history() { return history_; }
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }

    // Connect has identified a live unit and loaded its data: offer a journal left by an earlier
    // session, then journal this session's edits.
    void unitReady();
    // The unit's data is stored (a confirmed write, a saved file) or freshly read: the journal starts
    // again. A fresh read also clears the undo history.
    void unitStored();
    void freshRead();
    // Open and Close all: the history is cleared; Close all also starts the journal again.
    void fileOpened();
    void closedAll();

    void undo();
    void redo();

    // The question's text for a journal's contents.
    static QString restoreQuestion(const JournalContents& contents);

  private:
    void journalEdit(const EditRecord& record);
    void updateActions();
    int reapply(const QList<EditRecord>& edits);
    bool saveWithEdits(const JournalContents& contents);
    // Moves a journal out of the way under a dated name; nothing when it cannot be moved.
    std::optional<QString> keepAside(const QString& path);
    // The open journal is the connected unit's.
    bool journalsThisUnit() const;

    EmuState& state_;
    EmuLink& link_;
    CalibrationEditor& editor_;
    SafetyNetHost host_;
    EditJournal journal_;
    EditHistory history_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    bool journalFailureShown_ = false;
};
