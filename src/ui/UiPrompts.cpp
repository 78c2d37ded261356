#include "ui/UiPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>

const QString QtUiPrompts::kApplicationTitle = QStringLiteral("Dorvanta - Engine Management Unit");

namespace {

const QString kFilter = QStringLiteral("*.emu (*.emu)");
const QString kFolder = QStringLiteral(".");

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& folder) {
    QFileDialog dialog(parent, QString(), folder.isEmpty() ? kFolder : folder, kFilter);
    dialog.setAcceptMode(mode);
    dialog.setDefaultSuffix(QStringLiteral("emu"));
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString QtUiPrompts::askOpenFileName(QWidget* parent, const QString& folder) {
    return runFileDialog(parent, QFileDialog::AcceptOpen, folder);
}

QString QtUiPrompts::askSaveFileName(QWidget* parent, const QString& folder) {
    return runFileDialog(parent, QFileDialog::AcceptSave, folder);
}

void QtUiPrompts::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, kApplicationTitle, text, QMessageBox::Ok);
}

void QtUiPrompts::showWarning(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, kApplicationTitle, text, QMessageBox::Ok);
}

UiPrompts::UnsavedChoice QtUiPrompts::askUnsavedChanges(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, kApplicationTitle,
                    QStringLiteral("The data tables on your PC have changes the EMU has not stored.\n\n"
                                   "Write them to the EMU, save them to a file, or discard them?"),
                    QMessageBox::NoButton, parent);
    QPushButton* write = box.addButton(QStringLiteral("Write to EMU"), QMessageBox::AcceptRole);
    QPushButton* save = box.addButton(QStringLiteral("Save to file..."), QMessageBox::ActionRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(write);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == write)
        return UnsavedChoice::WriteToEmu;
    if (box.clickedButton() == save)
        return UnsavedChoice::SaveToFile;
    if (box.clickedButton() == discard)
        return UnsavedChoice::Discard;
    return UnsavedChoice::Cancel;
}

bool QtUiPrompts::runPrintDialog(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool QtUiPrompts::askRetry(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, kApplicationTitle, text, QMessageBox::NoButton, parent);
    QPushButton* retry = box.addButton(QStringLiteral("Write again"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(retry);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == retry;
}

UiPrompts::JournalChoice QtUiPrompts::askJournalRestore(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text, QMessageBox::NoButton,
                    parent);
    box.setObjectName(QStringLiteral("JournalRestoreBox"));
    QPushButton* reapply = box.addButton(QStringLiteral("Send to EMU again"), QMessageBox::AcceptRole);
    QPushButton* save = box.addButton(QStringLiteral("Save as .EMU file..."), QMessageBox::ActionRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    QPushButton* later = box.addButton(QStringLiteral("Decide later"), QMessageBox::RejectRole);
    box.setDefaultButton(later);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == reapply)
        return JournalChoice::Reapply;
    if (box.clickedButton() == save)
        return JournalChoice::SaveToFile;
    if (box.clickedButton() == discard)
        return JournalChoice::Discard;
    return JournalChoice::Later;
}

bool QtUiPrompts::askConfirm(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, kApplicationTitle, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

QString QtUiPrompts::askFolder(QWidget* parent, const QString& folder) {
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Log folder"),
                                             folder.isEmpty() ? QDir::homePath() : folder);
}

QString QtUiPrompts::askOpenLogName(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open log"), folder.isEmpty() ? kFolder : folder,
                                        QStringLiteral("Data logs (*.csv *.msl);;All files (*)"));
}

std::optional<double> QtUiPrompts::askNumber(QWidget* parent, const QString& title, const QString& label,
                                             double initial) {
    bool ok = false;
    const double value = QInputDialog::getDouble(parent, title, label, initial, -1000, 1000, 1, &ok);
    if (!ok)
        return std::nullopt;
    return value;
}
