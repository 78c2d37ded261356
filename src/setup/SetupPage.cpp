#include "setup/SetupPage.h"
#include "link/ImageLayout.h"
#include "link/SetupIds.h"

#include "calibration/CalibrationEditor.h"
#include "calibration/EmuState.h"
#include "calibration/SettingsFile.h"
#include "controls/CommitLineEdit.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <QValidator>
#include <algorithm>

namespace {

constexpr int kBoxWidth = 64;

// The panels in their columns, top to bottom.
const std::vector<std::vector<const char*>> kColumns{
    {"Engine Configuration", "Timing Configuration", "Launch Control"},
    {"Fuel Configuration", "Vacuum Configuration", "Lambda Configuration"},
    {"Idle Control", "Tuning POT Input", "Active Sensors"},
};

// Vehicle texts are saved between "~" marks on one line of the settings file.
class VehicleTextValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.size() > SettingsFile::kVehicleFieldMaxLength || !SettingsFile::isValidVehicleText(input))
            return Invalid;
        return Acceptable;
    }
};

QString text(const char* s) {
    return QString::fromUtf8(s);
}

// The parameter's name in messages: its label without the trailing blanks some labels carry.
QString nameOf(const SetupParameter& p) {
    return text(p.label).trimmed();
}

bool panelIs(const SetupParameter& p, const char* panel) {
    return p.panel && qstrcmp(p.panel, panel) == 0;
}

// A picture of a signal edge: low, a step, high (rising) or the mirror (falling).
QIcon edgeIcon(bool rising) {
    QPixmap pixmap(20, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 2));
    const int low = 13, high = 3;
    const int from = rising ? low : high, to = rising ? high : low;
    painter.drawPolyline(QPolygon({QPoint(1, from), QPoint(10, from), QPoint(10, to), QPoint(19, to)}));
    painter.drawLine(QPoint(10, 8), QPoint(7, rising ? 11 : 5));
    painter.drawLine(QPoint(10, 8), QPoint(13, rising ? 11 : 5));
    return QIcon(pixmap);
}

} // namespace

SetupPage::SetupPage(EmuState& state, CalibrationEditor& editor, SetupPageHooks hooks, QWidget* parent)
    : QWidget(parent), state_(state), editor_(editor), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("TabSheet1"));
    for (const SetupParameter& p : setupParameters())
        if (p.kind != SetupKind::Other)
            bindings_[p.id].p = &p;

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(buildInfoPanels(), 0);

    auto* frame = new QFrame(this);
    parametersPanel_ = frame;
    frame->setObjectName(QStringLiteral("SetupPanel"));
    frame->setAccessibleName(QStringLiteral("Setup parameters"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto* grid = new QHBoxLayout(frame);
    grid->setContentsMargins(4, 4, 4, 4);
    for (const auto& column : kColumns) {
        auto* col = new QVBoxLayout;
        for (const char* panel : column)
            col->addWidget(buildPanel(panel, frame));
        col->addStretch();
        grid->addLayout(col);
    }

    // Last column: the accelerator pump and the two outputs.
    auto* last = new QVBoxLayout;
    auto* pump = new QGroupBox(frame);
    pump->setObjectName(QStringLiteral("PumpPanel"));
    pump->setAccessibleName(QStringLiteral("Accelerator Pump"));
    auto* pumpLayout = new QVBoxLayout(pump);
    pumpLayout->setContentsMargins(4, 4, 4, 4);
    Binding& pumpGroup = binding(37);
    auto* pumpBox = new QGroupBox(text(pumpGroup.p->label), pump);
    buildChoice(pumpGroup, pump, pumpBox);
    pumpLayout->addWidget(pumpBox);
    pumpSliders_ = new QWidget(pump);
    pumpSliders_->setObjectName(QStringLiteral("PumpSliderPanel"));
    auto* sliders = new QHBoxLayout(pumpSliders_);
    sliders->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char*, std::vector<int>> pumpGroups[] = {{"Map", {24, 23, 25}},
                                                                   {"TPS", {27, 26, 28}}};
    for (const auto& [group, ids] : pumpGroups) {
        auto* box = new QGroupBox(text(group), pumpSliders_);
        box->setObjectName(QStringLiteral("Pump%1Group").arg(text(group)));
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(2, 2, 2, 2);
        row->setSpacing(2);
        for (int id : ids)
            row->addWidget(buildSlider(binding(id), box));
        sliders->addWidget(box);
    }
    pumpSliders_->setEnabled(false);
    pumpLayout->addWidget(pumpSliders_);
    last->addWidget(pump);

    outputPanel_ = new QGroupBox(QStringLiteral("General Purpose Output"), frame);
    outputPanel_->setObjectName(QStringLiteral("OutputPanel"));
    auto* outputs = new QVBoxLayout(outputPanel_);
    for (const char* panel : {"Output 1", "Output 2"})
        outputs->addWidget(buildPanel(panel, outputPanel_));
    outputPanel_->setEnabled(false);
    last->addWidget(outputPanel_);
    last->addStretch();
    grid->addLayout(last);

    frame->setEnabled(false);
    layout->addWidget(frame, 1);

    // The sensor boxes and their buttons wait for the first fill.
    for (auto& [id, b] : bindings_) {
        if (!panelIs(*b.p, "Active Sensors"))
            continue;
        b.control->setEnabled(false);
        if (b.calibrate)
            b.calibrate->setEnabled(false);
    }
    updateHints();
    connect(&editor_, &CalibrationEditor::setupValueChanged, this, &SetupPage::showUnitValue);
}

QWidget* SetupPage::buildInfoPanels() {
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("InfoColumn"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);

    auto box = [this](QWidget* parent, const char* name, const QString& caption, bool readOnly) {
        auto* edit = new QLineEdit(parent);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setAccessibleName(caption);
        edit->setReadOnly(readOnly);
        if (!readOnly) {
            edit->setMaxLength(SettingsFile::kVehicleFieldMaxLength);
            edit->setValidator(new VehicleTextValidator(edit));
        }
        infoBoxes_[QString::fromLatin1(name)] = edit;
        return edit;
    };

    auto* version = new QGroupBox(QStringLiteral("EMU Version Information"), column);
    version->setObjectName(QStringLiteral("VersionPanel"));
    auto* versionForm = new QFormLayout(version);
    versionForm->setRowWrapPolicy(QFormLayout::WrapAllRows);
    QLineEdit* release = box(version, "Edit8", QStringLiteral("EMU Frimware Release"), true);
    QLineEdit* letter = box(version, "Edit66", QStringLiteral("EMU Frimware Release letter"), true);
    letter->setMaxLength(1);
    letter->setFixedWidth(32);
    auto* releaseRow = new QHBoxLayout;
    releaseRow->addWidget(release);
    releaseRow->addWidget(letter);
    versionForm->addRow(QStringLiteral("EMU Model"),
                        box(version, "Edit7", QStringLiteral("EMU Model"), true));
    versionForm->addRow(QStringLiteral("EMU Version"),
                        box(version, "Edit6", QStringLiteral("EMU Version"), true));
    versionForm->addRow(QStringLiteral("EMU Frimware Release"), releaseRow);
    versionForm->addRow(QStringLiteral("EMU Type"), box(version, "Edit18", QStringLiteral("EMU Type"), true));

    auto* vehicle = new QGroupBox(QStringLiteral("Vehicle Information"), column);
    vehicle->setObjectName(QStringLiteral("VehiclePanel"));
    auto* vehicleForm = new QFormLayout(vehicle);
    vehicleForm->setRowWrapPolicy(QFormLayout::WrapAllRows);
    vehicleForm->addRow(QStringLiteral("Vehicle Make"),
                        box(vehicle, "Edit9", QStringLiteral("Vehicle Make"), false));
    vehicleForm->addRow(QStringLiteral("Vehicle Model"),
                        box(vehicle, "Edit10", QStringLiteral("Vehicle Model"), false));
    vehicleForm->addRow(QStringLiteral("Engine Type"),
                        box(vehicle, "Edit11", QStringLiteral("Engine Type"), false));

    // The real-time frame of this tab; the live display fills it.
    auto* rt = new QFrame(column);
    rt->setObjectName(QStringLiteral("RT2"));
    rt->setAccessibleName(QStringLiteral("Real-time data"));
    rt->setFrameShape(QFrame::StyledPanel);
    rt->setMinimumHeight(160);
    realTimeFrame_ = rt;

    layout->addWidget(version);
    layout->addWidget(vehicle);
    layout->addWidget(rt, 1);
    column->setFixedWidth(185);
    return column;
}

QWidget* SetupPage::buildPanel(const char* panel, QWidget* parent) {
    if (qstrcmp(panel, "Tuning POT Input") == 0) {
        Binding& b = binding(14);
        auto* group = new QGroupBox(text(b.p->label), parent);
        buildChoice(b, parent, group);
        return group;
    }
    auto* box = new QGroupBox(text(panel), parent);
    box->setObjectName(QString::fromUtf8(panel).remove(QLatin1Char(' ')) + QStringLiteral("Panel"));
    auto* form = new QFormLayout(box);
    form->setContentsMargins(6, 4, 6, 4);
    form->setVerticalSpacing(3);
    for (const SetupParameter& p : setupParameters()) {
        if (!panelIs(p, panel))
            continue;
        Binding& b = binding(p.id);
        switch (p.kind) {
        case SetupKind::EditR:
        case SetupKind::EditZ:
            buildEdit(b, box);
            form->addRow(text(p.label), b.edit);
            break;
        case SetupKind::RadioGroup: {
            auto* group = new QGroupBox(text(p.label), box);
            buildChoice(b, box, group);
            form->addRow(group);
            break;
        }
        case SetupKind::RadioPair: {
            // The caption above its two buttons keeps the panel narrow.
            auto* row = new QWidget(box);
            buildChoice(b, box, row);
            row->layout()->setContentsMargins(12, 0, 0, 0);
            form->addRow(new QLabel(text(p.label), box));
            form->addRow(row);
            break;
        }
        case SetupKind::OutputSource: {
            auto* sources = new QWidget(box);
            buildChoice(b, box, sources);
            form->addRow(sources);
            break;
        }
        case SetupKind::Check:
        case SetupKind::EdgePair:
            form->addRow(buildRow(b, box));
            break;
        case SetupKind::TargetSlider:
            form->addRow(text(p.label), buildSlider(b, box));
            break;
        case SetupKind::Slider:
        case SetupKind::Other:
            break;
        }
    }
    return box;
}

void SetupPage::buildEdit(Binding& b, QWidget* parent) {
    const SetupParameter& p = *b.p;
    b.edit = new CommitLineEdit(parent);
    b.edit->setObjectName(text(p.control));
    b.edit->setAccessibleName(nameOf(p));
    b.edit->setFixedWidth(kBoxWidth);
    if (p.maxLength > 0)
        b.edit->setMaxLength(p.maxLength);
    b.control = b.edit;
    const int id = p.id;
    b.edit->setCommitter([this, id](const QString& typed) { return EditChange(id, typed); });
    connect(b.edit, &CommitLineEdit::refused, this, [this](const QString& reason) { status(reason); });
}

void SetupPage::buildChoice(Binding& b, QWidget* parent, QWidget* box) {
    const SetupParameter& p = *b.p;
    b.group = new QButtonGroup(parent);
    b.control = box;
    const bool named = p.kind == SetupKind::RadioGroup;
    if (named)
        box->setObjectName(text(p.control));
    box->setAccessibleName(text(p.label).trimmed());
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(named ? 6 : 0, named ? 2 : 0, 0, named ? 2 : 0);
    grid->setVerticalSpacing(2);
    const int count = static_cast<int>(p.items.size());
    const int columns =
        p.kind == SetupKind::RadioPair ? 2 : (p.kind == SetupKind::OutputSource ? 3 : (count > 3 ? 2 : 1));
    for (int i = 0; i < count; ++i) {
        auto* radio = new QRadioButton(text(p.items[static_cast<size_t>(i)]), box);
        radio->setObjectName(named ? QStringLiteral("%1Item%2").arg(text(p.control)).arg(i)
                                   : text(p.buttons[static_cast<size_t>(i)]));
        radio->setAccessibleName(text(p.label).trimmed() + QStringLiteral(": ") + radio->text());
        b.group->addButton(radio, i);
        b.buttons.push_back(radio);
        grid->addWidget(radio, i / columns, i % columns);
    }
    const int id = p.id;
    connect(b.group, &QButtonGroup::idToggled, this, [this, id](int item, bool checked) {
        if (checked)
            RadioClick(id, item);
    });
}

QWidget* SetupPage::buildRow(Binding& b, QWidget* parent) {
    const SetupParameter& p = *b.p;
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    b.check = new QCheckBox(text(p.label), row);
    b.check->setObjectName(text(p.control));
    b.check->setAccessibleName(text(p.label));
    b.control = b.check;
    layout->addWidget(b.check, 1);
    const int id = p.id;
    if (p.kind == SetupKind::EdgePair) {
        buildEdge(b, parent, row);
        connect(b.check, &QCheckBox::toggled, this, [this, id] { EdgeBoxClick(id); });
        return row;
    }
    if (*p.companion) {
        b.calibrate = new QPushButton(QStringLiteral("Calibrate"), row);
        b.calibrate->setObjectName(text(p.companion));
        b.calibrate->setAccessibleName(text(p.label) + QStringLiteral(" Calibrate"));
        layout->addWidget(b.calibrate);
    }
    connect(b.check, &QCheckBox::toggled, this, [this, id] { CheckBoxClick(id); });
    return row;
}

void SetupPage::buildEdge(Binding& b, QWidget*, QWidget* row) {
    const SetupParameter& p = *b.p;
    for (size_t i = 0; i < p.buttons.size(); ++i) {
        auto* button = new QToolButton(row);
        button->setObjectName(text(p.buttons[i]));
        button->setIcon(edgeIcon(i == 0));
        button->setToolTip(text(p.items[i]));
        button->setAccessibleName(text(p.label) + QLatin1Char(' ') + text(p.items[i]));
        button->setAutoRaise(true);
        button->setVisible(i == 0);
        row->layout()->addWidget(button);
        b.buttons.push_back(button);
        const int id = p.id;
        connect(button, &QToolButton::clicked, this, [this, id] { SpeedButtonClick(id); });
    }
}

QWidget* SetupPage::buildSlider(Binding& b, QWidget* parent) {
    const SetupParameter& p = *b.p;
    const bool target = p.kind == SetupKind::TargetSlider;
    auto* cell = new QWidget(parent);
    auto* layout = target ? static_cast<QBoxLayout*>(new QHBoxLayout(cell)) : new QVBoxLayout(cell);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const QString caption = target ? text(p.label) : text(p.label).section(QLatin1Char(' '), 1);
    int widestWord = 0; // a wrapped caption needs room for its longest word, or it is cut both sides
    if (!target) {
        auto* label = new QLabel(caption, cell);
        label->setAlignment(Qt::AlignHCenter);
        label->setWordWrap(true);
        QFont small = label->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        label->setFont(small);
        layout->addWidget(label);
        const QFontMetrics metrics(small);
        for (const QString& word : caption.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widestWord = std::max(widestWord, metrics.horizontalAdvance(word));
    }
    b.slider = new QSlider(target ? Qt::Horizontal : Qt::Vertical, cell);
    b.slider->setObjectName(text(p.control));
    b.slider->setAccessibleName(target ? caption : text(p.label));
    b.slider->setRange(static_cast<int>(p.min), static_cast<int>(p.max));
    // Start positions: 50 for the target; 5 and 18 for the pump (the middle of the old scales).
    b.slider->setValue(target ? 50 : (p.max > 10 ? 18 : 5));
    if (target)
        b.slider->setMinimumWidth(60);
    else
        cell->setFixedWidth(std::max(48, widestWord + 4));
    b.shown = new QLineEdit(cell);
    b.shown->setObjectName(text(p.companion));
    b.shown->setReadOnly(true);
    b.shown->setAccessibleName(caption + QStringLiteral(" value"));
    b.shown->setFixedWidth(target ? 48 : 44);
    b.control = b.slider;
    layout->addWidget(b.slider, 0, target ? Qt::Alignment() : Qt::AlignHCenter);
    layout->addWidget(b.shown, 0, target ? Qt::Alignment() : Qt::AlignHCenter);
    showSlider(b);
    const int id = p.id;
    connect(b.slider, &QSlider::valueChanged, this, [this, id] { TrackBarChange(id); });
    if (target)
        b.slider->installEventFilter(this);
    return cell;
}

// ---------------------------------------------------------------------------------------------
// Handlers

SetupContext SetupPage::contextFor(const SetupParameter& p) const {
    SetupContext c;
    c.rpmRange = state_.cal.RpmRange;
    if (p.sourceId >= 0)
        c.source = outputSourceOf(state_.cal.SetupBlock[static_cast<size_t>(p.sourceId)]);
    return c;
}

void SetupPage::status(const QString& text) const {
    if (hooks_.showStatus)
        hooks_.showStatus(text);
}

QString SetupPage::notReachedText(const Binding& b, std::uint8_t plain, const QString& shown) const {
    const QString value =
        shown.isEmpty() ? describeWire(*b.p, wireFromPlain(plain), contextFor(*b.p).source) : shown;
    return QStringLiteral("%1: %2 did not reach the EMU").arg(nameOf(*b.p), value);
}

bool SetupPage::send(const Binding& b, std::uint8_t plain, const QString& shown) {
    sendingId_ = b.p->id;
    const bool sent = editor_.setSetupValue(b.p->id, plain);
    sendingId_ = -1;
    if (!sent) {
        // A fill echoes what the tab now shows; with no unit on the port that is no news.
        if (!filling_)
            status(notReachedText(b, plain, shown));
        return false;
    }
    if (b.p->armsWrite && hooks_.armWrite)
        hooks_.armWrite();
    return true;
}

bool SetupPage::sendChoice(const Binding& b, std::uint8_t plain) {
    sendingId_ = b.p->id;
    const bool sent = editor_.setSetupChoice(b.p->id, plain);
    sendingId_ = -1;
    if (!sent && !filling_)
        status(notReachedText(b, plain, {}));
    return sent;
}

void SetupPage::applyEffect(const SetupParameter& p, double value) {
    CalibrationData& cal = state_.cal;
    switch (p.effect) {
    case SetupEffect::None:
        break;
    case SetupEffect::RpmRange:
        cal.RpmRange = static_cast<int>(value);
        break;
    case SetupEffect::VacuumRange:
        cal.VacuumRange = static_cast<int>(value);
        break;
    case SetupEffect::LowThrottleVacuum:
        cal.LowThrottleVacuum = value;
        emit fuelVacuumMarkerMoved(0, value);
        break;
    case SetupEffect::HighThrottleVacuum:
        cal.HighThrottleVacuum = value;
        emit fuelVacuumMarkerMoved(1, value);
        break;
    case SetupEffect::LambdaLowLimit:
        emit fuelVacuumMarkerMoved(5, value);
        break;
    case SetupEffect::LambdaHighLimit:
        emit fuelVacuumMarkerMoved(6, value);
        break;
    case SetupEffect::LambdaTarget:
        cal.LambdaTarget = value;
        emit lambdaTargetMoved(value, false);
        break;
    }
}

QString SetupPage::EditChange(int id, const QString& typed) {
    Binding& b = binding(id);
    const SetupParameter& p = *b.p;
    if (!state_.link.DataReady)
        return QStringLiteral("%1: no data is loaded, nothing was sent").arg(nameOf(p));
    const SetupContext context = contextFor(p);
    const SetupEntry entry = evaluateEntry(p, typed, context);
    switch (entry.status) {
    case EntryStatus::Ignored:
        // An emptied box sends nothing; it shows the value the unit holds again.
        b.edit->revert();
        return {};
    case EntryStatus::NotANumber:
        if (hooks_.showError)
            hooks_.showError(entry.error);
        return entry.error;
    case EntryStatus::OutOfRange:
        return QStringLiteral("%1 accepts %2: %3 was not sent")
            .arg(nameOf(p), acceptedRangeText(p, context), typed);
    case EntryStatus::Accepted:
        break;
    }
    if (!send(b, entry.plain, typed))
        return notReachedText(b, entry.plain, typed);
    applyEffect(p, entry.value);
    updateHints(); // a new RPM Range moves the limit of "RPM Limiter"
    return {};
}

void SetupPage::CheckBoxClick(int id) {
    Binding& b = binding(id);
    if (!state_.link.DataReady || quiet_)
        return;
    const bool checked = b.check->isChecked();
    if (!send(b, checked ? 2 : 1)) {
        showQuietly(b);
        return;
    }
    if (b.calibrate)
        b.calibrate->setEnabled(checked);
}

void SetupPage::RadioClick(int id, int item) {
    Binding& b = binding(id);
    if (quiet_)
        return;
    const auto plain = static_cast<std::uint8_t>(item);
    if (b.p->kind != SetupKind::RadioPair) {
        // Radio groups and output sources send on every change, also during a fill.
        if (!sendChoice(b, plain))
            showQuietly(b);
        return;
    }
    if (!state_.link.DataReady)
        return;
    if (id == SetupId::TriggerLevel && item == 1) {
        // "External" only after the typed confirmation, which sends it.
        if (hooks_.askTriggerExternal)
            hooks_.askTriggerExternal();
        return;
    }
    if (!send(b, plain))
        showQuietly(b);
}

void SetupPage::showSlider(Binding& b) {
    const int value = b.slider->value();
    if (b.p->kind == SetupKind::TargetSlider)
        b.shown->setText(QLocale().toString(value / 100.0, 'g', QLocale::FloatingPointShortest));
    else
        b.shown->setText(QString::number(value * b.p->shownFactor));
}

void SetupPage::TrackBarChange(int id) {
    Binding& b = binding(id);
    // The read-only box follows the slider also during a fill.
    showSlider(b);
    if (!state_.link.DataReady || quiet_)
        return;
    const int value = b.slider->value();
    if (!send(b, static_cast<std::uint8_t>(value))) {
        showQuietly(b);
        return;
    }
    if (b.p->kind == SetupKind::TargetSlider)
        applyEffect(*b.p, value / 100.0);
}

void SetupPage::TrackBar7Enter() {
    emit lambdaTargetEditing(true);
}

void SetupPage::TrackBar7Exit() {
    emit lambdaTargetEditing(false);
    emit lambdaTargetMoved(state_.cal.LambdaTarget, true);
}

bool SetupPage::eventFilter(QObject* watched, QEvent* event) {
    if (bindings_.count(SetupId::TargetVolts) && watched == binding(SetupId::TargetVolts).slider) {
        if (event->type() == QEvent::FocusIn)
            TrackBar7Enter();
        else if (event->type() == QEvent::FocusOut)
            TrackBar7Exit();
    }
    return QWidget::eventFilter(watched, event);
}

int SetupPage::edgeState(const Binding& b) const {
    if (!b.check->isChecked())
        return 2;
    return b.buttons[0]->isHidden() ? 1 : 0;
}

void SetupPage::EdgeBoxClick(int id) {
    Binding& b = binding(id);
    if (!state_.link.DataReady || quiet_)
        return;
    if (!send(b, static_cast<std::uint8_t>(edgeState(b))))
        showQuietly(b);
}

void SetupPage::SpeedButtonClick(int id) {
    Binding& b = binding(id);
    const bool firstShown = !b.buttons[0]->isHidden();
    b.buttons[0]->setVisible(!firstShown);
    b.buttons[1]->setVisible(firstShown);
    if (b.check->isChecked() && state_.link.DataReady && !send(b, static_cast<std::uint8_t>(edgeState(b))))
        showQuietly(b);
}

// ---------------------------------------------------------------------------------------------
// Filling

void SetupPage::fillOne(Binding& b) {
    const SetupParameter& p = *b.p;
    const std::uint8_t wire = state_.cal.SetupBlock[static_cast<size_t>(p.id)];
    if (p.kind == SetupKind::EdgePair) {
        // 1: first edge, 2: second edge, 3: off; anything else leaves the controls as they are.
        if (wire < 1 || wire > 3)
            return;
        b.check->setEnabled(true);
        if (wire != 3) {
            b.buttons[0]->setVisible(wire == 1);
            b.buttons[1]->setVisible(wire == 2);
        }
        b.check->setChecked(wire != 3);
        return;
    }
    if (wire == kSetupNotPresent) {
        b.control->setEnabled(false);
        if (b.edit)
            b.edit->setAcceptedText(QString());
        return;
    }
    b.control->setEnabled(true);
    switch (p.kind) {
    case SetupKind::EditR:
    case SetupKind::EditZ: {
        // The box shows the value as the accepted one: nothing is committed, nothing sent.
        const double value = decodedValue(p, wire, contextFor(p).source).value_or(0);
        b.edit->setAcceptedText(valueText(p, value));
        applyEffect(p, value);
        break;
    }
    case SetupKind::Check:
        b.check->setChecked(wire == 3);
        if (b.calibrate)
            b.calibrate->setEnabled(state_.link.EmuConnected && b.check->isChecked());
        break;
    case SetupKind::RadioGroup:
    case SetupKind::OutputSource:
    case SetupKind::RadioPair: {
        // An item the control does not have is no choice: the control stays as it is.
        const std::optional<int> item =
            p.kind == SetupKind::RadioPair
                ? (wire == 1 || wire == 2 ? std::optional<int>(wire - 1) : std::nullopt)
                : itemOfWire(p, wire);
        if (item)
            b.buttons[static_cast<size_t>(*item)]->setChecked(true);
        break;
    }
    case SetupKind::Slider:
    case SetupKind::TargetSlider: {
        const int plain = plainFromWire(wire);
        if (plain >= p.min && plain <= p.max)
            b.slider->setValue(plain);
        showSlider(b);
        if (p.kind == SetupKind::TargetSlider)
            applyEffect(p, b.slider->value() / 100.0);
        break;
    }
    case SetupKind::EdgePair:
    case SetupKind::Other:
        break;
    }
}

void SetupPage::FillSetupTab() {
    filling_ = true;
    for (const SetupParameter& p : setupParameters())
        if (p.kind != SetupKind::Other)
            fillOne(binding(p.id));
    filling_ = false;
    pumpSliders_->setEnabled(state_.cal.HasFuelMaps);
    filled_ = true;
    updateHints();
}

void SetupPage::refreshAfterWrite() {
    filling_ = true;
    for (const SetupParameter& p : setupParameters()) {
        const bool box = p.kind == SetupKind::EditR || p.kind == SetupKind::EditZ;
        const bool engineOrTiming = panelIs(p, "Engine Configuration") || panelIs(p, "Timing Configuration");
        if (box && (engineOrTiming || p.scale == SetupScale::BySource))
            fillOne(binding(p.id));
    }
    filling_ = false;
    updateHints();
}

void SetupPage::showQuietly(Binding& b) {
    quiet_ = true;
    fillOne(b);
    quiet_ = false;
}

void SetupPage::showUnitValue(int id) {
    // An output's Min and Max are read in its source's unit: a new source changes what they show.
    for (auto& [other, b] : bindings_)
        if (b.p->sourceId == id && b.edit)
            showQuietly(b);
    const auto it = bindings_.find(id);
    if (it != bindings_.end() && id != sendingId_)
        showQuietly(it->second);
    updateHints();
}

void SetupPage::updateHints() {
    for (auto& [id, b] : bindings_)
        if (b.edit)
            b.edit->setHint(QStringLiteral("Accepts %1").arg(acceptedRangeText(*b.p, contextFor(*b.p))));
}

// ---------------------------------------------------------------------------------------------
// Reaching the controls

QLineEdit* SetupPage::infoBox(const char* objectName) const {
    const auto it = infoBoxes_.find(QString::fromLatin1(objectName));
    return it == infoBoxes_.end() ? nullptr : it->second;
}

QCheckBox* SetupPage::sensorBox(int id) const {
    const auto it = bindings_.find(id);
    return it == bindings_.end() || it->second.p->kind != SetupKind::Check ? nullptr : it->second.check;
}

QPushButton* SetupPage::calibrateButton(int id) const {
    const auto it = bindings_.find(id);
    return it == bindings_.end() ? nullptr : it->second.calibrate;
}

void SetupPage::selectTriggerInternal() {
    Binding& b = binding(SetupId::TriggerLevel);
    if (b.buttons[0]->isChecked())
        RadioClick(SetupId::TriggerLevel, 0); // already shown: its handler still sends the choice
    else
        b.buttons[0]->setChecked(true);
}

void SetupPage::clearTriggerExternal() {
    Binding& b = binding(SetupId::TriggerLevel);
    b.group->setExclusive(false);
    b.buttons[1]->setChecked(false);
    b.group->setExclusive(true);
}
