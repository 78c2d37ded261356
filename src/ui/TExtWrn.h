#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class CalibrationEditor;

// The typed confirmation before the trigger output is switched to the external level. Shown over
// the disabled main window; both buttons enable it again.
class TExtWrn : public QDialog {
    Q_OBJECT

  public:
    TExtWrn(CalibrationEditor& editor, QWidget* parent);

    QLineEdit* edit() const { return Edit1; }

  public slots:
    void Button2Click(); // OK
    void Button1Click(); // Cancel

  signals:
    // The output stays internal: the Setup tab's choice goes back to it.
    void revertRequested();

  protected:
    void reject() override;

  private:
    void finish(bool revert);

    CalibrationEditor& editor_;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
};
