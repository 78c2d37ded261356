#include "mapeditor/FuelMapsPage.h"

#include "link/Connection.h"
#include "mapeditor/MapChartWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

constexpr int kTrimMax = 255;
constexpr int kSliderPage = 10;

QRadioButton* selector(QWidget* parent, const char* name, const QString& caption, const QString& what) {
    auto* radio = new QRadioButton(caption, parent);
    radio->setObjectName(QString::fromLatin1(name));
    radio->setAccessibleName(what + QLatin1Char(' ') + caption);
    radio->setFocusPolicy(Qt::NoFocus); // the arrow keys tune the chart, not the selector
    return radio;
}

void setBold(QWidget* w, bool bold) {
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

// The trim a box holds, when it is a whole number 0..255.
std::optional<int> trimOf(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value > kTrimMax)
        return std::nullopt;
    return value;
}

} // namespace

FuelMapsPage::FuelMapsPage(const MapEditorContext& context, QWidget* parent) : MapPage(context, parent) {
    setObjectName(QStringLiteral("TabSheet3"));
    auto* layout = new QHBoxLayout(this);
    auto* charts = new QVBoxLayout;
    charts->addWidget(addChart(ChartId::FuelVacuum, this), 1);

    auto* selectors = new QWidget(this);
    selectors->setObjectName(QStringLiteral("FuelRpmSelectors"));
    auto* row = new QHBoxLayout(selectors);
    row->setContentsMargins(0, 0, 0, 0);
    const QString what = QStringLiteral("RPM fuel curve");
    RadioLow = selector(selectors, "RadioLow", QStringLiteral("Low"), what);
    RadioCruise = selector(selectors, "RadioCruise", QStringLiteral("Cruise"), what);
    RadioHigh = selector(selectors, "RadioHigh", QStringLiteral("High"), what);
    RadioCruise->setChecked(true);
    for (QRadioButton* r : {RadioLow, RadioCruise, RadioHigh})
        row->addWidget(r);
    connect(RadioLow, &QRadioButton::clicked, this, &FuelMapsPage::RadioLowClick);
    connect(RadioCruise, &QRadioButton::clicked, this, &FuelMapsPage::RadioCruiseClick);
    connect(RadioHigh, &QRadioButton::clicked, this, &FuelMapsPage::RadioHighClick);
    charts->addWidget(addChart(ChartId::FuelRpm, this, selectors), 1);
    layout->addLayout(charts, 1);

    layout->addWidget(
        jetColumn("Edit28", "MainJetAdjust", QStringLiteral("Main Jet"), Edit28, MainJetAdjust));
    layout->addWidget(
        jetColumn("Edit32", "IdleJetAdjust", QStringLiteral("Idle Jet"), Edit32, IdleJetAdjust));
    connect(MainJetAdjust, &QSlider::valueChanged, this, &FuelMapsPage::MainJetAdjustChange);
    connect(IdleJetAdjust, &QSlider::valueChanged, this, &FuelMapsPage::IdleJetAdjustChange);
    connect(Edit28, &QLineEdit::textChanged, this, &FuelMapsPage::Edit28Change);
    connect(Edit32, &QLineEdit::textChanged, this, &FuelMapsPage::Edit32Change);
    connect(Edit28, &QLineEdit::editingFinished, this, [this] { trimFinished(kMainJetId, Edit28); });
    connect(Edit32, &QLineEdit::editingFinished, this, [this] { trimFinished(kIdleJetId, Edit32); });
    // The Setup tab edits the same two bytes: its changes show here too.
    connect(&context_.editor, &CalibrationEditor::setupValueChanged, this, [this](int id) {
        if (id == kMainJetId || id == kIdleJetId)
            showSetupTrim(id);
    });
}

QWidget* FuelMapsPage::jetColumn(const char* box, const char* slider, const QString& caption,
                                 QLineEdit*& edit, QSlider*& track) {
    auto* column = new QWidget(this);
    column->setObjectName(QString::fromLatin1(slider) + QStringLiteral("Panel"));
    column->setMouseTracking(true);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(4, 0, 4, 0);
    auto* label = new QLabel(caption, column);
    label->setAlignment(Qt::AlignHCenter);
    edit = new QLineEdit(column);
    edit->setObjectName(QString::fromLatin1(box));
    edit->setAccessibleName(caption + QStringLiteral(" trim"));
    edit->setFixedWidth(48);
    edit->setAlignment(Qt::AlignRight);
    label->setBuddy(edit);
    track = new QSlider(Qt::Vertical, column);
    track->setObjectName(QString::fromLatin1(slider));
    track->setAccessibleName(caption);
    track->setRange(0, kTrimMax);
    track->setPageStep(kSliderPage);
    track->setValue(127);
    // Position 0 at the top: the slider shows 255 - trim, so the largest trim is at the top.
    track->setInvertedAppearance(true);
    track->setFocusPolicy(Qt::NoFocus); // the letter keys move it; the arrows tune the charts
    track->setEnabled(false);
    layout->addWidget(label);
    layout->addWidget(edit, 0, Qt::AlignHCenter);
    layout->addWidget(track, 1, Qt::AlignHCenter);
    return column;
}

void FuelMapsPage::setJetTrimsEnabled(bool enabled) {
    MainJetAdjust->setEnabled(enabled);
    IdleJetAdjust->setEnabled(enabled);
}

void FuelMapsPage::loadJetTrims() {
    const CalibrationData& cal = context_.state.cal;
    filling_ = true;
    MainJetAdjust->setValue(kTrimMax - cal.MainJetTrim);
    IdleJetAdjust->setValue(kTrimMax - cal.IdleJetTrim);
    Edit28->setText(QString::number(kTrimMax - MainJetAdjust->value()));
    Edit32->setText(QString::number(kTrimMax - IdleJetAdjust->value()));
    filling_ = false;
}

void FuelMapsPage::clearJetTrims() {
    filling_ = true;
    Edit28->clear();
    Edit32->clear();
    filling_ = false;
}

void FuelMapsPage::showSetupTrim(int id) {
    QLineEdit* box = id == kMainJetId ? Edit28 : Edit32;
    const int stored = static_cast<std::uint8_t>(context_.state.cal.SetupBlock[static_cast<size_t>(id)] - 1);
    if (trimOf(box->text()) == stored)
        return;
    filling_ = true;
    box->setText(QString::number(stored));
    filling_ = false;
}

void FuelMapsPage::selectFuelRpmCurve(MapId map) {
    context_.editing.FuelRpmCurveSelection = map;
    QRadioButton* chosen = map == MapId::FuelRpmLow    ? RadioLow
                           : map == MapId::FuelRpmHigh ? RadioHigh
                                                       : RadioCruise;
    chosen->setChecked(true);
    for (QRadioButton* r : {RadioLow, RadioCruise, RadioHigh})
        setBold(r, r == chosen);
}

void FuelMapsPage::RadioLowClick() {
    selectFuelRpmCurve(MapId::FuelRpmLow);
}

void FuelMapsPage::RadioCruiseClick() {
    selectFuelRpmCurve(MapId::FuelRpmCruise);
}

void FuelMapsPage::RadioHighClick() {
    selectFuelRpmCurve(MapId::FuelRpmHigh);
}

void FuelMapsPage::MainJetAdjustChange(int position) {
    Edit28->setText(QString::number(kTrimMax - position));
}

void FuelMapsPage::IdleJetAdjustChange(int position) {
    Edit32->setText(QString::number(kTrimMax - position));
}

void FuelMapsPage::Edit28Change(const QString& text) {
    trimTyped(kMainJetId, text);
}

void FuelMapsPage::Edit32Change(const QString& text) {
    trimTyped(kIdleJetId, text);
}

void FuelMapsPage::trimTyped(int id, const QString& text) {
    if (filling_ || !context_.state.link.DataReady)
        return;
    // A trim is one byte: anything else is never sent (the box says so when the user leaves it).
    if (const auto trim = trimOf(text))
        context_.editor.setSetupValue(id, static_cast<std::uint8_t>(*trim));
}

void FuelMapsPage::trimFinished(int id, QLineEdit* box) {
    const QString text = box->text();
    if (!context_.state.link.DataReady || trimOf(text))
        return;
    // Back to the trim the unit holds before telling the user, so a second "finished" finds it whole.
    const QString refused = text;
    filling_ = true;
    box->setText(QString::number(
        static_cast<std::uint8_t>(context_.state.cal.SetupBlock[static_cast<size_t>(id)] - 1)));
    filling_ = false;
    if (!showError)
        return;
    bool isInteger = false;
    refused.trimmed().toInt(&isInteger, 10);
    showError(isInteger
                  ? QStringLiteral("%1 is not a valid trim: it must be 0 to 255.").arg(refused.trimmed())
                  : Connection::conversionErrorText(refused));
}

bool FuelMapsPage::jetKey(int key) {
    QSlider* slider = nullptr;
    int delta = 0;
    switch (key) {
    case Qt::Key_Q:
        slider = MainJetAdjust;
        delta = -1;
        break;
    case Qt::Key_A:
        slider = MainJetAdjust;
        delta = +1;
        break;
    case Qt::Key_W:
        slider = MainJetAdjust;
        delta = -kSliderPage;
        break;
    case Qt::Key_S:
        slider = MainJetAdjust;
        delta = +kSliderPage;
        break;
    case Qt::Key_D:
        slider = IdleJetAdjust;
        delta = -1;
        break;
    case Qt::Key_C:
        slider = IdleJetAdjust;
        delta = +1;
        break;
    case Qt::Key_F:
        slider = IdleJetAdjust;
        delta = -kSliderPage;
        break;
    case Qt::Key_V:
        slider = IdleJetAdjust;
        delta = +kSliderPage;
        break;
    default:
        return false;
    }
    // A unit without fuel maps has no trims to move (its bytes may be "not present").
    if (!slider->isEnabled())
        return false;
    slider->setValue(slider->value() + delta); // the slider keeps its own 0..255 limits
    return true;
}
