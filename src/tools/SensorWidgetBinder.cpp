#include "tools/SensorWidgetBinder.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "controls/CommitLineEdit.h"
#include "setup/SetupPage.h"
#include "tools/SensorCalibration.h"
#include "tools/TTPSCalForm.h"
#include "tools/ToolSession.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QFocusEvent>
#include <QPushButton>
#include <QRegularExpressionValidator>

SensorWidgetBinder::SensorWidgetBinder(ToolSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    connect(&session_.editor(), &CalibrationEditor::setupValueChanged, this,
            &SensorWidgetBinder::showUnitValue);
}

void SensorWidgetBinder::bindSetupPage(SetupPage& page, TTPSCalForm& dialog) {
    struct Sensor {
        int fittedId;
        const char* field;
        int calibrationId;
        const char* name;
    };
    for (const Sensor& s :
         {Sensor{SetupId::WaterFitted, "Edit52", SetupId::WaterTempSensor, "Water temperature calibration"},
          Sensor{SetupId::AirFitted, "Edit58", SetupId::AirTempSensor, "Air temperature calibration"},
          Sensor{SetupId::MapSensor, "Edit60", SetupId::MapSensorNumber, "Map sensor calibration"}}) {
        QPushButton* button = page.calibrateButton(s.fittedId);
        if (!button)
            continue;
        // The field sits beside its button, in the button's row of the sensor panel.
        auto* field = new CommitLineEdit(button->parentWidget());
        field->setObjectName(QString::fromLatin1(s.field));
        field->setAccessibleName(QString::fromLatin1(s.name));
        field->setMaximumWidth(60);
        if (auto* row = qobject_cast<QBoxLayout*>(button->parentWidget()->layout()))
            row->insertWidget(row->indexOf(button) + 1, field);
        attach(button, field, s.calibrationId, QString::fromLatin1(s.name));
    }
    if (QPushButton* throttle = page.calibrateButton(SetupId::ThrottleFitted))
        connect(throttle, &QAbstractButton::clicked, &dialog, &TTPSCalForm::CalBtnClick);
}

void SensorWidgetBinder::attach(QAbstractButton* button, CommitLineEdit* edit, int id, const QString& name) {
    // Digits only: anything else cannot be typed.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaxLength(SensorCalibration::kMaxDigits);
    edit->setHint(QStringLiteral("Accepts 0 to %1").arg(SensorCalibration::kSensorLimit - 1));
    edit->hide();
    edit->installEventFilter(this);
    edit->setCommitter(
        [this, edit, id, name](const QString& text) { return fieldCommitted(edit, id, name, text); });
    connect(edit, &CommitLineEdit::refused, this, [this](const QString& reason) {
        if (showStatus_)
            showStatus_(reason);
    });
    fields_.push_back({edit, id});
    connect(button, &QAbstractButton::clicked, edit, [this, edit, id] {
        // The field opens on the number the unit holds.
        edit->setAcceptedText(
            SensorCalibration::fieldText(session_.state().cal.SetupBlock[static_cast<size_t>(id)]));
        edit->show();
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    });
}

QString SensorWidgetBinder::fieldCommitted(CommitLineEdit* edit, int id, const QString& name,
                                           const QString& text) {
    const SensorCalibration::Action action =
        SensorCalibration::actionFor(text, SensorCalibration::kSensorLimit, session_.state().link.DataReady);
    switch (action.kind) {
    case SensorCalibration::Action::Kind::Nothing:
        edit->revert();
        return {};
    case SensorCalibration::Action::Kind::Refuse:
        return name + QLatin1Char(' ') + action.reason;
    case SensorCalibration::Action::Kind::Send:
        break;
    }
    committingId_ = id;
    const bool sent = session_.editor().setSetupValue(id, action.plain);
    committingId_ = -1;
    if (!sent)
        return QStringLiteral("%1: %2 did not reach the EMU").arg(name, text);
    return {};
}

void SensorWidgetBinder::showUnitValue(int id) {
    // The field that sent the number keeps it as typed (300 stays 300, not its low 8 bits).
    if (id == committingId_)
        return;
    for (const Field& f : fields_)
        if (f.id == id)
            f.edit->setAcceptedText(
                SensorCalibration::fieldText(session_.state().cal.SetupBlock[static_cast<size_t>(id)]));
}

const SensorWidgetBinder::Field* SensorWidgetBinder::fieldOf(const QObject* watched) const {
    // A field being destroyed loses its focus too; by then it is no CommitLineEdit any more.
    const auto* edit = qobject_cast<const CommitLineEdit*>(watched);
    if (!edit)
        return nullptr;
    for (const Field& f : fields_)
        if (f.edit == edit)
            return &f;
    return nullptr;
}

bool SensorWidgetBinder::eventFilter(QObject* watched, QEvent* event) {
    // Edit52Exit and its twins: leaving the field commits it, then hides it again. Another window
    // coming up (a message box) is no leaving: the field stays with its text.
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        const Field* f = fieldOf(watched);
        if (f && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            f->edit->commit();
            f->edit->hide();
        }
    }
    return QObject::eventFilter(watched, event);
}
