#include "ui/TVerChk.h"

#include "link/LinkState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TVerChk::TVerChk(const LinkState& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), link_(link) {
    setObjectName(QStringLiteral("VerChk"));
    setWindowTitle(QStringLiteral("Notice"));

    auto* label1 = new QLabel(QStringLiteral("Please Note"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);
    auto* label2 = new QLabel(
        QStringLiteral(
            "The EMU version currently installed does not match the Software Version you are using."),
        this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setWordWrap(true);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setAccessibleName(QStringLiteral("Notice"));
    Memo1->setMinimumSize(420, 110);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TVerChk::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(label2);
    layout->addWidget(Memo1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TVerChk::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TVerChk::FormShow() {
    Memo1->appendPlainText(link_.VersionNoticeText);
}

void TVerChk::Button1Click() {
    hide();
}
