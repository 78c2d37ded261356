#pragma once

#include <QByteArray>
#include <QDialog>

#include <functional>

class CommitLineEdit;
class KeysDialog;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TSerialFrm;
class ToolSession;

// The About window: the program line and the connected unit. With a unit connected and Ctrl and
// Alt held, one picture opens the password entry to the serial-number dialog and the other the
// raw field of setup parameter 13.
class TForm2 : public QDialog {
    Q_OBJECT

  public:
    static const QString kWrongPassword;

    TForm2(ToolSession& session, QWidget* parent);

    // The dialog the right password opens.
    void setSerialForm(TSerialFrm* form);
    // The password's SHA-256 as 64 hexadecimal digits; the build's hash unless set.
    void setPasswordHash(const QByteArray& hexHash) { passwordHash_ = hexHash; }

    // Where a refused or undelivered parameter 13 is reported (the main window's status bar).
    void setStatusHook(std::function<void(const QString&)> hook) { showStatus_ = std::move(hook); }

    bool altHeld() const { return AltHeld; }
    bool ctrlHeld() const { return CtrlHeld; }

    // Key preview: Alt and Ctrl set their flags; releasing any key clears both.
    bool FormKeyDown(QKeyEvent* event);
    bool FormKeyUp(QKeyEvent* event);

  public slots:
    void FormShow();
    void Button1Click(); // OK
    void showKeys();     // the Keys page
    void Button2Click(); // the password's OK
    void Image3Click();
    void Image4Click();
    // The committed text of the parameter field: an empty text when it went to the unit (or there
    // was nothing to send), else why not.
    QString Edit2Change(const QString& text);
    // After Update in the serial-number dialog.
    void showSerialUpdated(const QString& serial);

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool serviceAllowed() const;
    void hideServiceControls();

    ToolSession& session_;
    TSerialFrm* serialForm_ = nullptr;
    KeysDialog* keys_ = nullptr;
    QByteArray passwordHash_;
    std::function<void(const QString&)> showStatus_;
    bool AltHeld = false;
    bool CtrlHeld = false;

    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Image3 = nullptr;
    QLabel* Image4 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Label2 = nullptr;
    CommitLineEdit* Edit2 = nullptr;
};
