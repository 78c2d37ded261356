#include "ui/TSerialFrm.h"

#include "ui/TForm1.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

TSerialFrm::TSerialFrm(TForm1& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("SerialFrm"));
    setWindowTitle(QStringLiteral("Serial Number"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TSerialFrm::Button1Click);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
}

void TSerialFrm::Button1Click() {
    main_.setEnabled(true);
    hide();
}

void TSerialFrm::reject() {
    Button1Click();
}
