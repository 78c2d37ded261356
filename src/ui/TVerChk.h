#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
struct LinkState;

// The notice that the unit's firmware does not match this software. Each showing adds the
// notice text as a new line; earlier lines stay.
class TVerChk : public QDialog {
    Q_OBJECT

  public:
    TVerChk(const LinkState& link, QWidget* parent);

    QPlainTextEdit* memo() const { return Memo1; }

  public slots:
    void FormShow();
    void Button1Click();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    const LinkState& link_;
    QPlainTextEdit* Memo1;
    QPushButton* Button1;
};
