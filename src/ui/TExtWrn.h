#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TForm1;

// The typed confirmation before the trigger output is switched to the external level. Shown over
// the disabled main window; both buttons enable it again.
class TExtWrn : public QDialog {
    Q_OBJECT

  public:
    explicit TExtWrn(TForm1& main);

    QLineEdit* edit() const { return Edit1; }

  public slots:
    void Button2Click(); // OK
    void Button1Click(); // Cancel

  protected:
    void reject() override;

  private:
    TForm1& main_;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
};
