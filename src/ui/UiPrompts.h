#pragma once

#include <QString>

#include <optional>

class QPrinter;
class QWidget;

// The prompts that wait for the user. The window asks through this interface so that tests can
// answer in place of the user; the default shows the real dialogs.
class UiPrompts {
  public:
    enum class UnsavedChoice { WriteToEmu, SaveToFile, Discard, Cancel };
    // Edits of a session that ended before they were stored: send them again, save them as a file,
    // throw them away, or keep them aside and decide later.
    enum class JournalChoice { Reapply, SaveToFile, Discard, Later };

    virtual ~UiPrompts() = default;

    // A .emu file to open or to save, starting in the given folder (the working folder when
    // empty); empty when the user cancels.
    virtual QString askOpenFileName(QWidget* parent, const QString& folder) = 0;
    virtual QString askSaveFileName(QWidget* parent, const QString& folder) = 0;
    // An error box with an OK button.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A warning the user should act on (a port that cannot be used).
    virtual void showWarning(QWidget* parent, const QString& text) = 0;
    // Exit while the PC holds changes the unit has not stored.
    virtual UnsavedChoice askUnsavedChanges(QWidget* parent) = 0;
    // The print dialog; true when the user accepted it.
    virtual bool runPrintDialog(QWidget* parent, QPrinter& printer) = 0;
    // A failed operation that may be tried again; true for "try again".
    virtual bool askRetry(QWidget* parent, const QString& text) = 0;
    // At Connect, when the unit's edit journal still holds edits.
    virtual JournalChoice askJournalRestore(QWidget* parent, const QString& text) = 0;
    // A yes/no question; true for yes.
    virtual bool askConfirm(QWidget* parent, const QString& text) = 0;
    // A folder, starting in the given one; empty when the user cancels.
    virtual QString askFolder(QWidget* parent, const QString& folder) = 0;
    // A data log (.csv or .msl) to open; empty when the user cancels.
    virtual QString askOpenLogName(QWidget* parent, const QString& folder) = 0;
    // A number for a map tool (the value to set, to add, the percentage); empty when cancelled.
    virtual std::optional<double> askNumber(QWidget* parent, const QString& title, const QString& label,
                                            double initial) = 0;
};

// The real dialogs.
class QtUiPrompts : public UiPrompts {
  public:
    // The title of every message box.
    static const QString kApplicationTitle;

  public:
    QString askOpenFileName(QWidget* parent, const QString& folder) override;
    QString askSaveFileName(QWidget* parent, const QString& folder) override;
    void showError(QWidget* parent, const QString& text) override;
    void showWarning(QWidget* parent, const QString& text) override;
    UnsavedChoice askUnsavedChanges(QWidget* parent) override;
    bool runPrintDialog(QWidget* parent, QPrinter& printer) override;
    bool askRetry(QWidget* parent, const QString& text) override;
    JournalChoice askJournalRestore(QWidget* parent, const QString& text) override;
    bool askConfirm(QWidget* parent, const QString& text) override;
    QString askFolder(QWidget* parent, const QString& folder) override;
    QString askOpenLogName(QWidget* parent, const QString& folder) override;
    std::optional<double> askNumber(QWidget* parent, const QString& title, const QString& label,
                                    double initial) override;
};
