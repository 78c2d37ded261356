#include "ui/TExtWrn.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationEditor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr std::uint8_t kTriggerExternal = 1;

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

} // namespace

TExtWrn::TExtWrn(CalibrationEditor& editor, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), editor_(editor) {
    setObjectName(QStringLiteral("ExtWrn"));
    setWindowTitle(QStringLiteral("Warning"));

    QLabel* title = label(this, "Label1", QStringLiteral("Warning: Trigger Level Output"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    title->setFont(bold);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("Type 'yes' to confirm"));
    Button1 = new QPushButton(QStringLiteral("Cancel"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TExtWrn::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TExtWrn::Button2Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(label(
        this, "Label2", QStringLiteral("This setting could damage the EMU or coils if set incorrectly.")));
    layout->addWidget(
        label(this, "Label3", QStringLiteral("Are you sure you have drivers inside the coils?")));
    layout->addWidget(label(
        this, "Label4", QStringLiteral("Type 'yes' inside the box provided and click 'OK' to confirm, ")));
    layout->addWidget(label(this, "Label5", QStringLiteral("or click 'Cancel'.")));
    layout->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TExtWrn::Button2Click() {
    const QString text = Edit1->text();
    const bool confirmed = text == QLatin1String("yes") || text == QLatin1String("YES");
    if (confirmed)
        editor_.setSetupValue(SetupId::TriggerLevel, kTriggerExternal);
    finish(!confirmed);
}

void TExtWrn::Button1Click() {
    finish(true);
}

void TExtWrn::finish(bool revert) {
    Edit1->clear();
    hide();
    if (parentWidget())
        parentWidget()->setEnabled(true);
    // The choice goes back after the unit has had its pause, without holding the window.
    if (revert)
        QTimer::singleShot(100, this, &TExtWrn::revertRequested);
}

void TExtWrn::reject() {
    Button1Click();
}
