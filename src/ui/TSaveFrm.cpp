#include "ui/TSaveFrm.h"

#include "link/LinkState.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TSaveFrm::TSaveFrm(const LinkState& link, QWidget* parent) : QDialog(parent), link_(link) {
    setObjectName(QStringLiteral("SaveFrm"));
    setWindowTitle(QStringLiteral("Save From?"));

    auto* group = new QGroupBox(this);
    RadioButton1 = new QRadioButton(QStringLiteral("Save From EMU"), group);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2 = new QRadioButton(QStringLiteral("Save From PC"), group);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton1->setChecked(true);
    RadioButton1->setToolTip(QStringLiteral("Reads the calibration the EMU holds now and saves that: what "
                                            "the engine runs on, whatever the window shows"));
    RadioButton2->setToolTip(QStringLiteral("Saves the calibration the window shows, with the changes not "
                                            "yet written to the EMU; nothing is read from the EMU"));
    auto* choices = new QVBoxLayout(group);
    choices->addWidget(RadioButton1);
    choices->addWidget(RadioButton2);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button1, &QPushButton::clicked, this, &TSaveFrm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TSaveFrm::Button2Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSaveFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TSaveFrm::FormShow() {
    RadioButton1->setEnabled(link_.EmuConnected);
}

void TSaveFrm::Button1Click() {
    const bool fromPc = RadioButton2->isChecked();
    const bool fromEmu = RadioButton1->isChecked() && link_.EmuConnected;
    finish();
    if (fromPc || fromEmu)
        emit saveChosen(fromPc);
}

void TSaveFrm::Button2Click() {
    finish();
}

void TSaveFrm::FormKeyUp(int key) {
    if (key == Qt::Key_Escape)
        Button2Click();
}

void TSaveFrm::keyPressEvent(QKeyEvent* event) {
    // Escape acts on release, like the rest of the dialog's keys; the press must not reject.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TSaveFrm::keyReleaseEvent(QKeyEvent* event) {
    FormKeyUp(event->key());
    QDialog::keyReleaseEvent(event);
}

void TSaveFrm::closeEvent(QCloseEvent* event) {
    if (parentWidget())
        parentWidget()->setEnabled(true);
    QDialog::closeEvent(event);
}

void TSaveFrm::finish() {
    if (parentWidget())
        parentWidget()->setEnabled(true);
    hide();
}
