#include "tools/TTPSCalForm.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "link/EmuLink.h"
#include "tools/DialogKeyPreview.h"
#include "tools/ToolSession.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(text);
    return l;
}

QLineEdit* readOnlyField(QWidget* parent, const char* name, const QString& caption) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setAccessibleName(caption);
    edit->setFixedWidth(60);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QPushButton* pushButton(QWidget* parent, const char* name, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(text);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TTPSCalForm::TTPSCalForm(ToolSession& session, QWidget* parent) : QDialog(parent), session_(session) {
    setObjectName(QStringLiteral("TPSCalForm"));
    setWindowTitle(QStringLiteral("Throttle Position Sensor Calibration"));

    TPSCalBar = new QProgressBar(this);
    TPSCalBar->setObjectName(QStringLiteral("TPSCalBar"));
    TPSCalBar->setAccessibleName(QStringLiteral("Throttle position"));
    TPSCalBar->setRange(ThrottleCalibration::kBarMinimum, ThrottleCalibration::kBarMaximum);
    TPSCalBar->setValue(0);
    TPSCalBar->setFormat(QStringLiteral("%p%"));
    TPSCalBar->setMinimumWidth(320);

    Label3 = label(this, "Label3", QString());
    Label3->setAccessibleName(QStringLiteral("Throttle reading"));
    Label3->setMinimumWidth(40);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Edit1 = readOnlyField(this, "Edit1", QStringLiteral("Closed throttle reading"));
    Edit2 = readOnlyField(this, "Edit2", QStringLiteral("Open throttle reading"));

    Panel1 = label(this, "Panel1", ThrottleCalibration::kOpenText);
    Panel1->setAccessibleName(QStringLiteral("Instruction"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setMinimumHeight(44);
    Panel1->setWordWrap(true);

    Button1 = pushButton(this, "Button1", QStringLiteral("OK"));
    Button2 = pushButton(this, "Button2", QStringLiteral("Reset"));
    Button3 = pushButton(this, "Button3", QStringLiteral("Cancel"));
    connect(Button1, &QPushButton::clicked, this, &TTPSCalForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTPSCalForm::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TTPSCalForm::Button3Click);

    auto* bar = new QGridLayout;
    bar->addWidget(TPSCalBar, 0, 0, 1, 3);
    bar->addWidget(Label3, 0, 3);
    bar->addWidget(label(this, "Label1", QStringLiteral("Min")), 1, 0, Qt::AlignLeft);
    bar->addWidget(label(this, "Label2", QStringLiteral("Max")), 1, 2, Qt::AlignRight);
    bar->setColumnStretch(1, 1);

    auto* fields = new QFormLayout;
    fields->addRow(label(this, "Label4", QStringLiteral("Minimum")), Edit1);
    fields->addRow(label(this, "Label5", QStringLiteral("Maximum")), Edit2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addLayout(fields);
    layout->addWidget(Panel1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    errorPause_.setSingleShot(true);
    errorPause_.setInterval(kErrorPauseMs);
    connect(&errorPause_, &QTimer::timeout, this, &TTPSCalForm::endErrorPause);
    connect(&session_.link(), &EmuLink::throttleFrameReceived, this, &TTPSCalForm::showFrame);
    new DialogKeyPreview(
        *this, [this](QKeyEvent* e) { return FormKeyDown(e); }, [](QKeyEvent*) { return false; });
    showCalibration();
}

void TTPSCalForm::CalBtnClick() {
    session_.setMainWindowEnabled(false);
    // A child of the main window; disabling the window disabled it too.
    setEnabled(true);
    show();
    raise();
    activateWindow();
    session_.link().startThrottlePoll();
}

void TTPSCalForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TTPSCalForm::FormShow() {
    errorPause_.stop();
    reading_.reset();
    const CalibrationData& data = session_.state().cal;
    cal_.start(data.TPSMin, data.TPSSpan);
    showCalibration();
}

void TTPSCalForm::showFrame(const QByteArray& frame) {
    const std::optional<int> reading = throttleReading(frame);
    if (!reading)
        return;
    reading_ = reading;
    if (*reading <= TPSCalBar->maximum())
        TPSCalBar->setValue(*reading);
    Label3->setText(QString::number(*reading));
}

bool TTPSCalForm::FormKeyDown(QKeyEvent* event) {
    if (event->key() != Qt::Key_F1 || !isVisible())
        return false;
    if (!event->isAutoRepeat())
        capture();
    return true;
}

void TTPSCalForm::capture() {
    // The reading, not the bar: the bar stays put for a reading beyond its end.
    if (!reading_)
        return;
    if (cal_.capture(*reading_) == ThrottleCalibration::Capture::Error)
        errorPause_.start();
    showCalibration();
}

void TTPSCalForm::endErrorPause() {
    cal_.endErrorPause();
    showCalibration();
}

void TTPSCalForm::showCalibration() {
    Edit1->setText(QString::number(cal_.minimum()));
    Edit2->setText(QString::number(cal_.maximum()));
    Panel1->setText(cal_.panelText());
    Button1->setEnabled(cal_.okEnabled());
}

void TTPSCalForm::Button1Click() {
    if (!cal_.okEnabled() || sending_)
        return;
    sendCalibration(cal_.minimum(), cal_.span(), true);
}

void TTPSCalForm::Button2Click() {
    if (sending_)
        return;
    errorPause_.stop();
    cal_.reset();
    TPSCalBar->setRange(ThrottleCalibration::kBarMinimum, ThrottleCalibration::kBarMaximum);
    showCalibration();
    sendCalibration(ThrottleCalibration::kResetMinimum, ThrottleCalibration::kResetSpan, false);
}

void TTPSCalForm::sendCalibration(int minimum, int span, bool close) {
    if (!session_.editor().setSetupValue(SetupId::ThrottleMinimum, static_cast<std::uint8_t>(minimum))) {
        Panel1->setText(kNotSentText);
        return;
    }
    sending_ = true;
    Button1->setEnabled(false);
    // The unit's pause is counted from when the first message left the PC: it may wait behind a
    // poll's exchange first. The window goes on meanwhile.
    waitUntilSent([this, minimum, span, close] {
        QTimer::singleShot(kSetPauseMs, this, [this, minimum, span, close] {
            sending_ = false;
            if (!session_.editor().setSetupValue(SetupId::ThrottleSpan, static_cast<std::uint8_t>(span))) {
                Panel1->setText(kNotSentText);
                Button1->setEnabled(cal_.okEnabled());
                return;
            }
            CalibrationData& data = session_.state().cal;
            data.TPSMin = minimum;
            data.TPSSpan = span;
            if (close)
                finish();
            else
                showCalibration();
        });
    });
}

void TTPSCalForm::waitUntilSent(std::function<void()> then) {
    if (session_.link().queuedSets() == 0) {
        then();
        return;
    }
    QTimer::singleShot(1, this, [this, then = std::move(then)]() mutable { waitUntilSent(std::move(then)); });
}

void TTPSCalForm::Button3Click() {
    finish();
}

void TTPSCalForm::reject() {
    Button3Click();
}

void TTPSCalForm::finish() {
    errorPause_.stop();
    session_.link().stopThrottlePoll();
    session_.setMainWindowEnabled(true);
    hide();
}
