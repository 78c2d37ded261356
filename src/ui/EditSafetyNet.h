#pragma once

#include "calibration/SettingsFile.h"
#include "session/EditSafeguard.h"
#include "ui/UiPrompts.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class TuneSession;
class QAction;
class QWidget;

// What the window lends the safety net: its prompts, its status line and the vehicle texts.
struct SafetyNetHost {
    QWidget* window = nullptr;
    std::function<UiPrompts&()> prompts;
    std::function<void(const QString&)> status;
    std::function<VehicleInfo()> vehicle;
};

// The window's side of the tuner's safety net: the restore question at Connect and the two undo
// actions. The journal and the history themselves are the session's (EditSafeguard).
class EditSafetyNet : public QObject {
    Q_OBJECT

  public:
    EditSafetyNet(TuneSession& session, SafetyNetHost host, QObject* parent = nullptr);

    EditJournal& journal() { return guard_.journal(); }
    EditHistory& history() { return guard_.history(); }
    QAction* undoAction() const { return undoAction_; }
    QAction* redoAction() const { return redoAction_; }

    // Connect has identified a live unit and loaded its data: offer a journal left by an earlier
    // session, then journal this session's edits.
    void unitReady();

    void undo();
    void redo();

    // The question's text for a journal's contents.
    static QString restoreQuestion(const JournalContents& contents);

  private:
    void updateActions();
    bool saveWithEdits(const JournalContents& contents);

    EmuState& state_;
    EditSafeguard& guard_;
    SafetyNetHost host_;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
};
