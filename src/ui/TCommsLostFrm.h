#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TForm1;

// Shown when the live poll loses the unit while the PC holds changes the unit has not stored.
// Either choice ends connected when a unit answers; otherwise the dialog comes back.
class TCommsLostFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TCommsLostFrm(TForm1& main);

    static QStringList memoLines();

  public slots:
    void BitBtn1Click(); // "Download data to EMU": keep the PC's data and write it
    void BitBtn2Click(); // "Upload data to PC": discard the PC's changes and read the unit

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void showAgain();
    void updateChoices();

    TForm1& main_;
    QLabel* Label1;
    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
