#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class TForm1;

// The notice that the unit's firmware does not match this software. Each showing adds the
// notice text as a new line; earlier lines stay.
class TVerChk : public QDialog {
    Q_OBJECT

  public:
    explicit TVerChk(TForm1& main);

    QPlainTextEdit* memo() const { return Memo1; }

  public slots:
    void FormShow();
    void Button1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    TForm1& main_;
    QPlainTextEdit* Memo1;
    QPushButton* Button1;
};
