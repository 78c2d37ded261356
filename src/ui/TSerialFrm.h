#pragma once

#include <QDialog>

class TForm1;

// The workshop serial-number dialog; for now a window with an OK button.
class TSerialFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TSerialFrm(TForm1& main);

  public slots:
    void Button1Click();

  protected:
    void reject() override;

  private:
    TForm1& main_;
};
