#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TuneSession;

// Shown when the live poll loses the unit while the PC holds changes the unit has not stored.
// Either choice ends connected when a unit answers; otherwise the dialog stays. It cannot be
// dismissed without a choice: Esc and the title bar's close button do nothing.
class TCommsLostFrm : public QDialog {
    Q_OBJECT

  public:
    TCommsLostFrm(TuneSession& session, QWidget* parent);

    static QStringList memoLines();

  public slots:
    void BitBtn1Click(); // "Download data to EMU": keep the PC's data and write it
    void BitBtn2Click(); // "Upload data to PC": discard the PC's changes and read the unit

  signals:
    // "Upload data to PC" is under way: the unit's data replaces the PC's.
    void uploadChosen();

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void finishChoice(bool succeeded);
    void updateChoices();

    TuneSession& session_;
    bool choosing_ = false;
    QLabel* Label1;
    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
