#pragma once

#include <QDialog>

class TForm1;

// The throttle position sensor calibration; for now a window with an OK button.
class TTPSCalForm : public QDialog {
    Q_OBJECT

  public:
    explicit TTPSCalForm(TForm1& main);

  public slots:
    void Button1Click();

  protected:
    void reject() override;

  private:
    TForm1& main_;
};
