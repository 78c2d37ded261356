#pragma once

#include <QDialog>

class QPushButton;
class QRadioButton;
struct LinkState;

// "Save From?": save the unit's stored data or the program's current data to a .EMU file. Shown
// over the disabled main window, which it enables again when it closes.
class TSaveFrm : public QDialog {
    Q_OBJECT

  public:
    TSaveFrm(const LinkState& link, QWidget* parent);

    QRadioButton* fromEmu() const { return RadioButton1; }
    QRadioButton* fromPc() const { return RadioButton2; }

  public slots:
    void FormShow();
    void Button1Click(); // OK
    void Button2Click(); // Cancel
    void FormKeyUp(int key);

  signals:
    // OK: the source chosen (the PC's data, or the unit's).
    void saveChosen(bool fromPc);

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void finish();

    const LinkState& link_;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QPushButton* Button1;
    QPushButton* Button2;
};
