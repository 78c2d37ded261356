#pragma once

#include <QDialog>

class TForm1;

// The About window: for now the program line and an OK button that enables the main window again.
class TForm2 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm2(TForm1& main);

  public slots:
    void Button1Click();

  protected:
    void reject() override;

  private:
    TForm1& main_;
};
