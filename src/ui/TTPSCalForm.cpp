#include "ui/TTPSCalForm.h"

#include "ui/TForm1.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TTPSCalForm::TTPSCalForm(TForm1& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("TPSCalForm"));
    setWindowTitle(QStringLiteral("Throttle Position Sensor Calibration"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TTPSCalForm::Button1Click);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
}

void TTPSCalForm::Button1Click() {
    main_.setEnabled(true);
    hide();
}

void TTPSCalForm::reject() {
    Button1Click();
}
