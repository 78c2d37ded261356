#include "tools/TForm2.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "controls/CommitLineEdit.h"
#include "controls/ToolIcons.h"
#include "link/Connection.h"
#include "tools/DialogKeyPreview.h"
#include "tools/KeysDialog.h"
#include "tools/SensorCalibration.h"
#include "tools/SerialNumberDialog.h"
#include "tools/ServicePassword.h"
#include "tools/ToolSession.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

const QString TForm2::kWrongPassword = QStringLiteral("Wrong password");

namespace {

const QString kParameter13Name = QStringLiteral("Setup parameter 13");

QLabel* picture(QWidget* parent, const char* name, const QString& caption, ToolIcon icon) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(caption);
    l->setPixmap(toolIcon(icon).pixmap(48, 48));
    l->setFixedSize(56, 56);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

} // namespace

TForm2::TForm2(ToolSession& session, QWidget* parent)
    : QDialog(parent), session_(session), passwordHash_(ServicePassword::builtInHash()) {
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About the EMU Interface"));

    Image4 = picture(this, "Image4", QStringLiteral("EMU picture"), ToolIcon::Connect);
    Image3 = picture(this, "Image3", QStringLiteral("Program picture"), ToolIcon::About);
    Image3->installEventFilter(this);
    Image4->installEventFilter(this);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("About"));
    Memo1->setReadOnly(true);
    Memo1->setFixedSize(340, 120);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setAccessibleName(QStringLiteral("Password"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setPlaceholderText(QStringLiteral("Password"));
    Button2 = new QPushButton(QStringLiteral("OK"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAccessibleName(QStringLiteral("Check password"));
    Button2->setAutoDefault(false);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm2::Button2Click);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAccessibleName(QStringLiteral("Password result"));

    Edit2 = new CommitLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setAccessibleName(kParameter13Name);
    Edit2->setMaxLength(SensorCalibration::kMaxDigits);
    Edit2->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit2));
    Edit2->setFixedWidth(60);
    Edit2->setHint(QStringLiteral("%1: accepts 0 to %2")
                       .arg(kParameter13Name)
                       .arg(SensorCalibration::kParameter13Limit - 1));
    Edit2->setCommitter([this](const QString& text) { return Edit2Change(text); });
    connect(Edit2, &CommitLineEdit::refused, this, [this](const QString& reason) {
        if (showStatus_)
            showStatus_(reason);
    });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TForm2::Button1Click);

    auto* pictures = new QVBoxLayout;
    pictures->addWidget(Image4);
    pictures->addWidget(Image3);
    pictures->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(pictures);
    top->addWidget(Memo1);

    auto* service = new QHBoxLayout;
    service->addWidget(Edit1);
    service->addWidget(Button2);
    service->addWidget(Label2);
    service->addStretch();
    service->addWidget(Edit2);

    auto* keys = new QPushButton(QStringLiteral("Keys"), this);
    keys->setObjectName(QStringLiteral("KeysButton"));
    keys->setAccessibleName(QStringLiteral("Keys"));
    keys->setToolTip(QStringLiteral("The keys of the charts, the jet trims, the data logger and the window"));
    keys->setAutoDefault(false);
    connect(keys, &QPushButton::clicked, this, &TForm2::showKeys);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(keys);
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(service);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    new DialogKeyPreview(
        *this, [this](QKeyEvent* e) { return FormKeyDown(e); },
        [this](QKeyEvent* e) { return FormKeyUp(e); });
    hideServiceControls();
}

void TForm2::setSerialForm(TSerialFrm* form) {
    serialForm_ = form;
    form->setOwnerWindow(this);
    connect(form, &TSerialFrm::serialNumberUpdated, this, &TForm2::showSerialUpdated);
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm2::FormShow() {
    const EmuState& state = session_.state();
    const LinkState& link = state.link;
    AltHeld = false;
    CtrlHeld = false;
    Memo1->setPlainText(QStringList{
        session_.programCaption(), QStringLiteral("Model: EMU ") + QString::number(link.Identity.model()),
        QStringLiteral("Version: ") + link.FirmwareVersionText, QStringLiteral("Type: ") + link.EmuTypeText,
        QStringLiteral("Serial: ") + Connection::serialNumberText(state.cal.SetupBlock.data())}
                            .join(QLatin1Char('\n')));
}

bool TForm2::FormKeyDown(QKeyEvent* event) {
    if (event->key() == Qt::Key_Alt)
        AltHeld = true;
    else if (event->key() == Qt::Key_Control)
        CtrlHeld = true;
    return false;
}

bool TForm2::FormKeyUp(QKeyEvent* event) {
    if (!event->isAutoRepeat()) {
        AltHeld = false;
        CtrlHeld = false;
    }
    return false;
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Image3)
            Image3Click();
        else if (watched == Image4)
            Image4Click();
    }
    return QDialog::eventFilter(watched, event);
}

bool TForm2::serviceAllowed() const {
    return session_.state().link.EmuConnected && AltHeld && CtrlHeld;
}

void TForm2::Image4Click() {
    if (!serviceAllowed())
        return;
    Edit1->show();
    Button2->show();
    Edit1->setFocus();
}

void TForm2::Image3Click() {
    if (!serviceAllowed())
        return;
    // The field opens on the value the unit holds, which Esc puts back.
    Edit2->setAcceptedText(SensorCalibration::fieldText(
        session_.state().cal.SetupBlock[static_cast<size_t>(SetupId::Parameter13)]));
    Edit2->show();
    Edit2->setFocus();
    Edit2->selectAll();
}

void TForm2::Button2Click() {
    const QString typed = Edit1->text();
    Edit1->clear();
    if (!ServicePassword::matches(typed, passwordHash_)) {
        Label2->setText(kWrongPassword);
        Label2->show();
        return;
    }
    Label2->hide();
    if (!serialForm_)
        return;
    // The serial dialog sits over this window, which sits over the disabled main window.
    setEnabled(false);
    serialForm_->setEnabled(true);
    serialForm_->show();
    serialForm_->raise();
    serialForm_->activateWindow();
}

QString TForm2::Edit2Change(const QString& text) {
    const SensorCalibration::Action action = SensorCalibration::actionFor(
        text, SensorCalibration::kParameter13Limit, session_.state().link.DataReady);
    switch (action.kind) {
    case SensorCalibration::Action::Kind::Nothing:
        Edit2->revert();
        return {};
    case SensorCalibration::Action::Kind::Refuse:
        return kParameter13Name + QLatin1Char(' ') + action.reason;
    case SensorCalibration::Action::Kind::Send:
        break;
    }
    if (!session_.editor().setSetupValue(SetupId::Parameter13, action.plain))
        return QStringLiteral("%1: %2 did not reach the EMU").arg(kParameter13Name, text);
    return {};
}

void TForm2::showSerialUpdated(const QString& serial) {
    Memo1->setPlainText(QStringLiteral("Serial number updated...\nNew serial number is ") + serial);
}

void TForm2::hideServiceControls() {
    Edit1->clear();
    Edit1->hide();
    Button2->hide();
    Label2->hide();
    // Closing the window is no commit: typed text not yet sent is dropped.
    Edit2->revert();
    Edit2->hide();
}

void TForm2::showKeys() {
    if (!keys_)
        keys_ = new KeysDialog(this);
    keys_->show();
    keys_->raise();
}

void TForm2::Button1Click() {
    session_.setMainWindowEnabled(true);
    hideServiceControls();
    AltHeld = false;
    CtrlHeld = false;
    hide();
}

void TForm2::reject() {
    Button1Click();
}
