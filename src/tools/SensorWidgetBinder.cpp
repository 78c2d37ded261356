#include "tools/SensorWidgetBinder.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "tools/SensorCalibration.h"
#include "tools/TTPSCalForm.h"
#include "tools/ToolSession.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include <algorithm>

SensorWidgetBinder::SensorWidgetBinder(ToolSession& session, QObject* parent)
    : QObject(parent), session_(session) {
}

void SensorWidgetBinder::attach(QAbstractButton* button, QLineEdit* edit, int id) {
    // Digits only: a number outside 0..499 becomes "0", anything else cannot be typed.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaxLength(SensorCalibration::kMaxDigits);
    edit->hide();
    edit->installEventFilter(this);
    fields_.push_back(edit);
    connect(button, &QAbstractButton::clicked, edit, [edit] {
        edit->show();
        edit->setFocus();
    });
    connect(edit, &QLineEdit::textChanged, this, [this, edit, id] { fieldChanged(edit, id); });
}

void SensorWidgetBinder::attachThrottle(QAbstractButton* button, TTPSCalForm& dialog) {
    connect(button, &QAbstractButton::clicked, &dialog, &TTPSCalForm::CalBtnClick);
}

void SensorWidgetBinder::fieldChanged(QLineEdit* edit, int id) {
    const SensorCalibration::Action action = SensorCalibration::actionFor(
        edit->text(), SensorCalibration::kSensorLimit, session_.state().link.DataReady);
    switch (action.kind) {
    case SensorCalibration::Action::Kind::Nothing:
        return;
    case SensorCalibration::Action::Kind::ReplaceWithZero:
        // The new text is a change of its own, which sends 0.
        edit->setText(QStringLiteral("0"));
        return;
    case SensorCalibration::Action::Kind::Send:
        session_.editor().setSetupValue(id, action.plain);
        return;
    }
}

bool SensorWidgetBinder::eventFilter(QObject* watched, QEvent* event) {
    // Edit52Exit and its twins: leaving the field hides it again.
    if (event->type() == QEvent::FocusOut) {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit && std::find(fields_.begin(), fields_.end(), edit) != fields_.end())
            edit->hide();
    }
    return QObject::eventFilter(watched, event);
}
