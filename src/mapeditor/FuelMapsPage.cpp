#include "mapeditor/FuelMapsPage.h"
#include "link/ImageLayout.h"
#include "link/SetupIds.h"

#include "controls/CommitLineEdit.h"
#include "link/Connection.h"
#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapToolsWidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

constexpr int kTrimMax = 255;
constexpr int kSliderPage = 10;
constexpr QRgb kThrottleMarker = 0xff606060; // the markers' grey
constexpr QRgb kLambdaMarker = 0xff8040b0;

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

const QString kTrimRange = QStringLiteral("a whole number from 0 to 255");

} // namespace

FuelMapsPage::FuelMapsPage(const MapEditorContext& context, QWidget* parent) : MapPage(context, parent) {
    setObjectName(QStringLiteral("TabSheet3"));
    auto* layout = new QHBoxLayout(this);
    auto* charts = new QVBoxLayout;
    // The four marker bars of the vacuum chart stand for Setup-tab settings: the throttle vacuum
    // pair in grey, the lambda pair in purple, each told apart by the legend under the chart.
    auto* legend = new QLabel(this);
    legend->setObjectName(QStringLiteral("FuelVacLegend"));
    legend->setTextFormat(Qt::RichText);
    legend->setText(QStringLiteral("<span style=\"color:%1\">&#9646;</span> Low/High throttle vacuum "
                                   "&nbsp; <span style=\"color:%2\">&#9646;</span> Lambda Low/High Limit")
                        .arg(QColor(kThrottleMarker).name(), QColor(kLambdaMarker).name()));
    legend->setToolTip(QStringLiteral(
        "Marker bars, set on the Setup tab: grey at \"Low throttle vacuum\" and \"High throttle vacuum\" "
        "(where the RPM fuel curve changes between Low, Cruise and High), purple at \"Lambda Low Limit\" "
        "and \"Lambda High Limit\". Light red: the live vacuum. Green: the editing cursor."));
    legend->setAccessibleName(QStringLiteral("Vacuum Map markers"));
    charts->addWidget(addChart(ChartId::FuelVacuum, this, legend), 1);
    if (QCustomPlot* vac = chart(ChartId::FuelVacuum)) {
        for (int i = 0; i < vac->plottableCount(); ++i) {
            auto* bars = qobject_cast<QCPBars*>(vac->plottable(i));
            if (!bars || !bars->name().startsWith(QStringLiteral("Lambda")))
                continue;
            bars->setPen(QPen(QColor(kLambdaMarker)));
            bars->setBrush(QColor(kLambdaMarker));
        }
    }

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
    row->addStretch(1);
    MixtureButton = new QPushButton(QStringLiteral("Mixture suggestions..."), selectors);
    MixtureButton->setObjectName(QStringLiteral("MixtureButton"));
    MixtureButton->setAccessibleName(QStringLiteral("Mixture suggestions"));
    MixtureButton->setToolTip(QStringLiteral(
        "Reads a logged run (the current recording or a log file) against the tune in the window and "
        "shows which fuel points ran lean or rich, with a bounded step for each; nothing is sent "
        "until you apply the ones you choose."));
    MixtureButton->setFocusPolicy(Qt::NoFocus); // the arrow keys tune the chart
    row->addWidget(MixtureButton);
    connect(MixtureButton, &QPushButton::clicked, this, &FuelMapsPage::mixtureSuggestionsRequested);
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
    Edit28->setCommitter([this](const QString& text) { return Edit28Change(text); });
    Edit32->setCommitter([this](const QString& text) { return Edit32Change(text); });
    // Every trim the setup block takes (sent from here, an undo, the Setup tab) shows on both.
    connect(&context_.editor, &CalibrationEditor::setupValueChanged, this, [this](int id) {
        if (id == SetupId::MainJet || id == SetupId::IdleJet)
            showSetupTrim(id);
    });
}

QWidget* FuelMapsPage::jetColumn(const char* box, const char* slider, const QString& caption,
                                 CommitLineEdit*& edit, QSlider*& track) {
    auto* column = new QWidget(this);
    column->setObjectName(QString::fromLatin1(slider) + QStringLiteral("Panel"));
    column->setMouseTracking(true);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(4, 0, 4, 0);
    auto* label = new QLabel(caption, column);
    label->setAlignment(Qt::AlignHCenter);
    edit = new CommitLineEdit(column);
    edit->setObjectName(QString::fromLatin1(box));
    edit->setAccessibleName(caption + QStringLiteral(" trim"));
    const bool main = QLatin1String(box) == QLatin1String("Edit28");
    edit->setHint(
        caption + QStringLiteral(" trim: ") + kTrimRange +
        QStringLiteral(", scaling all the fuel the EMU delivers (the top of the slider is the largest "
                       "trim). Keys on this page: %1 up/down by 1, %2 up/down by 10.")
            .arg(main ? QStringLiteral("Q/A") : QStringLiteral("D/C"),
                 main ? QStringLiteral("W/S") : QStringLiteral("F/V")));
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
    Edit28->setAcceptedText(QString::number(kTrimMax - MainJetAdjust->value()));
    Edit32->setAcceptedText(QString::number(kTrimMax - IdleJetAdjust->value()));
    filling_ = false;
}

void FuelMapsPage::clearJetTrims() {
    filling_ = true;
    Edit28->setAcceptedText(QString());
    Edit32->setAcceptedText(QString());
    filling_ = false;
}

CommitLineEdit* FuelMapsPage::boxOf(int id) const {
    return id == SetupId::MainJet ? Edit28 : Edit32;
}

QSlider* FuelMapsPage::sliderOf(int id) const {
    return id == SetupId::MainJet ? MainJetAdjust : IdleJetAdjust;
}

void FuelMapsPage::showSetupTrim(int id) {
    CalibrationData& cal = context_.state.cal;
    const int stored = plainByteFromWire(cal.SetupBlock[static_cast<size_t>(id)]);
    (id == SetupId::MainJet ? cal.MainJetTrim : cal.IdleJetTrim) = stored;
    // Shown, not sent: the unit holds it already.
    filling_ = true;
    sliderOf(id)->setValue(kTrimMax - stored);
    boxOf(id)->setAcceptedText(QString::number(stored));
    filling_ = false;
}

void FuelMapsPage::showSuggestionMarks(const std::vector<PointMark>& marks) {
    for (ChartId id : {ChartId::FuelVacuum, ChartId::FuelRpm})
        if (MapChartWidget* c = chart(id))
            c->setPointMarks(marks);
}

void FuelMapsPage::clearSuggestionMarks() {
    for (ChartId id : {ChartId::FuelVacuum, ChartId::FuelRpm})
        if (MapChartWidget* c = chart(id))
            c->clearPointMarks();
}

void FuelMapsPage::selectFuelRpmCurve(MapId map) {
    context_.editing.FuelRpmCurveSelection = map;
    QRadioButton* chosen = map == MapId::FuelRpmLow    ? RadioLow
                           : map == MapId::FuelRpmHigh ? RadioHigh
                                                       : RadioCruise;
    chosen->setChecked(true);
    for (QRadioButton* r : {RadioLow, RadioCruise, RadioHigh})
        setBold(r, r == chosen);
    tools(ChartId::FuelRpm)->refresh(); // the table shows the chosen curve
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
    trimMoved(SetupId::MainJet, position);
}

void FuelMapsPage::IdleJetAdjustChange(int position) {
    trimMoved(SetupId::IdleJet, position);
}

void FuelMapsPage::trimMoved(int id, int position) {
    if (filling_)
        return;
    // A slider shows what the unit holds: a trim that cannot be sent puts it back.
    if (!context_.state.link.DataReady ||
        !context_.editor.setSetupValue(id, static_cast<std::uint8_t>(kTrimMax - position)))
        showSetupTrim(id);
}

QString FuelMapsPage::Edit28Change(const QString& text) {
    return trimCommitted(SetupId::MainJet, text);
}

QString FuelMapsPage::Edit32Change(const QString& text) {
    return trimCommitted(SetupId::IdleJet, text);
}

QString FuelMapsPage::trimCommitted(int id, const QString& text) {
    if (!context_.state.link.DataReady)
        return QStringLiteral("No data is loaded: nothing was sent.");
    const QString typed = text.trimmed();
    bool isInteger = false;
    const int trim = typed.toInt(&isInteger, 10);
    // A trim is one byte: anything else is refused, and the unit keeps what it has.
    if (!isInteger || trim < 0 || trim > kTrimMax) {
        if (showError)
            showError(isInteger ? QStringLiteral("%1 is not a valid trim: it must be 0 to 255.").arg(typed)
                                : Connection::conversionErrorText(text));
        return QStringLiteral("'%1' was refused: a trim is %2.").arg(typed, kTrimRange);
    }
    // Sent, the trim comes back through setupValueChanged: the slider follows and the box takes it.
    if (!context_.editor.setSetupValue(id, static_cast<std::uint8_t>(trim)))
        return QStringLiteral("The EMU did not take %1: the link to it is lost.").arg(trim);
    return {};
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
    // A unit without fuel maps has no trims to move (its bytes may be "not present"), and before
    // data is loaded there is nothing to send.
    if (!slider->isEnabled() || !context_.state.link.DataReady)
        return false;
    slider->setValue(slider->value() + delta); // the slider keeps its own 0..255 limits
    return true;
}
