#include "ui/TCommsLostFrm.h"

#include "session/TuneSession.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QStringList TCommsLostFrm::memoLines() {
    return {
        QStringLiteral("The data table changes on your PC has not been saved by the EMU device."),
        QStringLiteral("The changes will only be saves once you have clicked the 'Download data to "),
        QStringLiteral("EMU' button. You have two options: 1) Download the data tables from the PC"),
        QStringLiteral("to the EMU, 2) Upload the data from the EMU to the PC. Remember, that once"),
        QStringLiteral("you have made your choice, the data tables on the EMU or PC will be LOST!!"),
        QString(),
        QStringLiteral("PLEASE SWITCH ON THE IGNITION BEFORE MAKING THE SELECTION!!"),
    };
}

TCommsLostFrm::TCommsLostFrm(TuneSession& session, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), session_(session) {
    setObjectName(QStringLiteral("CommsLostFrm"));
    setWindowTitle(QStringLiteral("Warning"));

    Label1 = new QLabel(QStringLiteral("WARNING: The EMU has been disconnected from the PC."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 = new QLabel(QStringLiteral("What do you want to do? "), this);
    Label2->setObjectName(QStringLiteral("Label2"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(memoLines().join(QLatin1Char('\n')));
    Memo1->setAccessibleName(QStringLiteral("Warning"));
    Memo1->setMinimumSize(560, 130);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp),
                              QStringLiteral("Download data to EMU"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown),
                              QStringLiteral("Upload data to PC"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    connect(BitBtn1, &QPushButton::clicked, this, &TCommsLostFrm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TCommsLostFrm::BitBtn2Click);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Memo1);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TCommsLostFrm::showEvent(QShowEvent* event) {
    updateChoices();
    QDialog::showEvent(event);
}

void TCommsLostFrm::closeEvent(QCloseEvent* event) {
    // Only one of the two choices ends the dialog.
    event->ignore();
}

void TCommsLostFrm::reject() {}

void TCommsLostFrm::updateChoices() {
    // Only a complete calibration may be written: after "Close all" or a cut read there is none.
    BitBtn1->setEnabled(!choosing_ && session_.state().link.CalibrationLoaded);
    BitBtn2->setEnabled(!choosing_);
}

void TCommsLostFrm::finishChoice(bool succeeded) {
    choosing_ = false;
    updateChoices();
    if (succeeded) {
        hide();
        return;
    }
    // No unit answered, or it did not take the data: the choice is offered again.
    show();
    raise();
}

void TCommsLostFrm::BitBtn1Click() {
    if (choosing_)
        return;
    choosing_ = true;
    updateChoices();
    session_.downloadToUnit().then(this, [this](bool ok) { finishChoice(ok); });
}

void TCommsLostFrm::BitBtn2Click() {
    if (choosing_)
        return;
    choosing_ = true;
    updateChoices();
    if (parentWidget())
        parentWidget()->activateWindow();
    emit uploadChosen();
    session_.uploadFromUnit().then(this, [this](bool ok) { finishChoice(ok); });
}
