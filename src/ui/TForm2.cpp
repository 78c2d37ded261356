#include "ui/TForm2.h"

#include "ui/TForm1.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TForm2::TForm2(TForm1& main) : QDialog(&main), main_(main) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About the EMU Interface"));
    auto* line = new QLabel(TForm1::kCaption, this);
    line->setObjectName(QStringLiteral("Label1"));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TForm2::Button1Click);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(line);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm2::Button1Click() {
    main_.setEnabled(true);
    hide();
}

void TForm2::reject() {
    Button1Click();
}
