#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;
class TForm1;

// "Save From?": save the unit's stored data or the program's current data to a .EMU file. Shown
// over the disabled main window, which it enables again when it closes.
class TSaveFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TSaveFrm(TForm1& main);

    QRadioButton* fromEmu() const { return RadioButton1; }
    QRadioButton* fromPc() const { return RadioButton2; }

  public slots:
    void FormShow();
    void Button1Click(); // OK
    void Button2Click(); // Cancel
    void FormKeyUp(int key);

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void finish();

    TForm1& main_;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QPushButton* Button1;
    QPushButton* Button2;
};
