#include "monitor/TRT.h"

#include "calibration/Rounding.h"
#include "controls/AnchoredLabelRow.h"
#include "controls/TALProgressBar.h"
#include "controls/TAutoSizeLabel.h"
#include "monitor/LiveDecode.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kVacuumErrorAbove = 3.5; // bar; beyond any sensor fitted
// The frame's own unit texts: the timing read-out's degree mark and the temperature bars' unit.
constexpr char kSpecDegreeMark[] = "o";
constexpr char kSpecDegreesC[] = "ºC";
const QColor kYellow(0xf0, 0xd0, 0x00);

// A read-out whose text changes at the poll's rate keeps one size, as wide as the widest text it
// can show: a label whose size is fixed asks no layout to run again when its text changes, so a
// new value repaints the label alone instead of laying out the whole page.
void holdSize(QLabel* label, std::initializer_list<const char*> widest) {
    int width = label->fontMetrics().horizontalAdvance(label->text());
    for (const char* text : widest)
        width = std::max(width, label->fontMetrics().horizontalAdvance(QString::fromUtf8(text)));
    const QMargins m = label->contentsMargins();
    label->setFixedSize(width + m.left() + m.right() + 2 * label->margin() + 2, label->sizeHint().height());
}

QLabel* scaleLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    l->setFont(f);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

} // namespace

QString shortestText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

TRT::TRT(const QString& objectName, QWidget* parent) : QFrame(parent) {
    setObjectName(objectName);
    setAccessibleName(QStringLiteral("Real-time data"));
    setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    auto* top = new QGridLayout;
    top->setHorizontalSpacing(10);
    top->setContentsMargins(0, 0, 0, 0);
    const auto addReadout = [&](int column, QLabel*& label, const char* name, const QString& caption,
                                const QString& unit, const QString& meaning) {
        auto* c = new QLabel(caption, this);
        c->setAlignment(Qt::AlignCenter);
        c->setToolTip(meaning);
        label = readout(name, QStringLiteral("NA"), caption);
        label->setToolTip(meaning);
        top->addWidget(c, 0, column);
        auto* row = new QHBoxLayout;
        row->addStretch();
        row->addWidget(label);
        if (!unit.isEmpty())
            row->addWidget(new QLabel(unit, this), 0, Qt::AlignTop);
        row->addStretch();
        top->addLayout(row, 1, column);
    };
    addReadout(0, Label49, "Label49", QStringLiteral("Timing"), QString::fromUtf8(kSpecDegreeMark),
               QStringLiteral("Ignition advance the maps give now, ° before top dead centre"));
    addReadout(1, Label50, "Label50", QStringLiteral("RPM"), QString(), QStringLiteral("Engine speed, RPM"));
    addReadout(2, Label51, "Label51", QStringLiteral("Vacuum"), QString(),
               QStringLiteral("Manifold vacuum, bar (\"Err\" above 3.5 bar: no sensor reading)"));
    layout->addLayout(top);

    // The bars with their captions above and their readings and units below. Each caption and
    // reading is centred on its bar; where neighbours would touch, every other one steps down a line.
    captions_ = new AnchoredLabelRow(this);
    captions_->setObjectName(QStringLiteral("BarCaptions"));
    values_ = new AnchoredLabelRow(this);
    values_->setObjectName(QStringLiteral("BarValues"));
    units_ = new AnchoredLabelRow(this);
    units_->setObjectName(QStringLiteral("BarUnits"));
    wideOnly_ << captions_;
    auto* bars = new QHBoxLayout;
    bars->setSpacing(2);
    bars->addWidget(barColumn(WaterBar, "WaterBar", Label53, "Label53", QStringLiteral("Water"),
                              QString::fromUtf8(kSpecDegreesC), {"120", "60", "0"},
                              QStringLiteral("Water temperature, °C")));
    bars->addWidget(barColumn(AirBar, "AirBar", Label54, "Label54", QStringLiteral("Air"),
                              QString::fromUtf8(kSpecDegreesC), {"100", "40", "-20"},
                              QStringLiteral("Air temperature, °C")));
    bars->addWidget(barColumn(BATBar, "BATBar", Label55, "Label55", QStringLiteral("Battery"),
                              QStringLiteral("V"), {"16", "12", "8"}, QStringLiteral("Battery voltage, V")));
    bars->addWidget(barColumn(InjBar, "InjBar", Label10, "Label10", QStringLiteral("Injectors"),
                              QStringLiteral("ms"), {"25", "12", "0"},
                              QStringLiteral("Injector pulse width, ms")));
    bars->addWidget(barColumn(InjPers, "InjPers", Label13, "Label13", QStringLiteral("Injectors"),
                              QStringLiteral("%"), {"100", "50", "0"},
                              QStringLiteral("Injector duty cycle, % of the time open")));
    bars->addWidget(barColumn(TPSBar, "TPSBar", Label19, "Label19", QStringLiteral("TPS"),
                              QStringLiteral("%"), {"100", "50", "0"},
                              QStringLiteral("Throttle position, % open")));
    bars->addWidget(barColumn(POTBar, "POTBar", Label20, "Label20", QStringLiteral("POT"),
                              QStringLiteral("%"), {"100", "50", "0"},
                              QStringLiteral("Tuning potentiometer, % of its travel")));
    layout->addWidget(captions_);
    layout->addLayout(bars, 1);
    layout->addWidget(values_);
    layout->addWidget(units_);

    WaterBar->setRange(0, 120);
    WaterBar->setColors(QColor(Qt::blue), QColor(0x00, 0xa0, 0x00));
    AirBar->setRange(-20, 100);
    AirBar->setPosition(-20);
    AirBar->setColors(QColor(0x87, 0xce, 0xeb), QColor(0x00, 0x00, 0x80));
    BATBar->setRange(80, 160);
    BATBar->setPosition(80);
    BATBar->setColors(kYellow, QColor(0x00, 0xa0, 0x00));
    InjBar->setRange(0, 250);
    InjBar->setColors(QColor(0x40, 0xc0, 0xc0), QColor(0x00, 0x60, 0x80));
    InjPers->setRange(0, 100);
    InjPers->setColors(QColor(0x40, 0xc0, 0xc0), QColor(0x00, 0x60, 0x80));
    TPSBar->setRange(0, 100);
    TPSBar->setColors(QColor(0x90, 0xe0, 0x90), QColor(0x00, 0x80, 0x00));
    POTBar->setRange(0, 100);
    POTBar->setColors(QColor(0xd0, 0xa0, 0xf0), QColor(0x60, 0x20, 0x90));
    Label20->setText(QStringLiteral("0"));

    // Lambda: two halves around 0.50 V, the target marker above them.
    auto* lambdaHead = new QHBoxLayout;
    LambdaCaption = new QLabel(QStringLiteral("Lambda"), this);
    LambdaCaption->setObjectName(QStringLiteral("LambdaCaption"));
    Label56 = readout("Label56", QStringLiteral("0"), QStringLiteral("Lambda"));
    const QString lambdaMeaning =
        QStringLiteral("Lambda sensor, V: the bars grow from 0.50 V, left below it and right above it");
    LambdaCaption->setToolTip(lambdaMeaning);
    Label56->setToolTip(lambdaMeaning);
    lambdaHead->addWidget(LambdaCaption);
    lambdaHead->addStretch();
    lambdaHead->addWidget(Label56);
    lambdaHead->addWidget(new QLabel(QStringLiteral("V"), this));
    layout->addLayout(lambdaHead);

    auto* lambdaRow = new QHBoxLayout;
    lambdaRow->addWidget(scaleLabel(QStringLiteral("0"), this));
    lambdaPanel_ = new QWidget(this);
    lambdaPanel_->setObjectName(QStringLiteral("LambdaPanel"));
    lambdaPanel_->setMinimumHeight(34);
    lambdaPanel_->installEventFilter(this);
    LambdaBarL = new TALProgressBar(lambdaPanel_);
    LambdaBarL->setObjectName(QStringLiteral("LambdaBarL"));
    LambdaBarL->setAccessibleName(QStringLiteral("Lambda rich"));
    LambdaBarL->setDirection(TALProgressBar::Direction::RightToLeft);
    LambdaBarL->setRange(0, 50);
    LambdaBarL->setColors(kYellow, QColor(Qt::red));
    LambdaBarR = new TALProgressBar(lambdaPanel_);
    LambdaBarR->setObjectName(QStringLiteral("LambdaBarR"));
    LambdaBarR->setAccessibleName(QStringLiteral("Lambda lean"));
    LambdaBarR->setDirection(TALProgressBar::Direction::LeftToRight);
    LambdaBarR->setRange(0, 50);
    LambdaBarR->setColors(kYellow, QColor(0x00, 0xa0, 0x00));
    Shape1 = new QFrame(lambdaPanel_);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setAccessibleName(QStringLiteral("Target lambda"));
    Shape1->setStyleSheet(
        QStringLiteral("#Shape1 { background: white; border: 1px solid black; border-radius: 3px; }"));
    Label6 = new QLabel(QStringLiteral(".50"), lambdaPanel_);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setAccessibleName(QStringLiteral("Target lambda volts"));
    QFont small = Label6->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    Label6->setFont(small);
    lambdaRow->addWidget(lambdaPanel_, 1);
    lambdaRow->addWidget(scaleLabel(QStringLiteral("1.0"), this));
    layout->addLayout(lambdaRow);
    setLambdaTarget(0.5);

    holdSize(Label49, {"NA", "-88.5"});
    holdSize(Label50, {"NA", "25400"});
    holdSize(Label51, {"Err", "NA", "8.88"});
    holdSize(Label56, {"NA", "2.54"});
}

void TRT::setCompact(bool compact) {
    for (QWidget* w : wideOnly_)
        w->setVisible(!compact);
    for (QWidget* w : compactOnly_)
        w->setVisible(compact);
}

QLabel* TRT::readout(const char* name, const QString& initial, const QString& accessible) {
    auto* l = new QLabel(initial, this);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(accessible);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.15);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QWidget* TRT::barColumn(TALProgressBar*& bar, const char* barName, QLabel*& value, const char* labelName,
                        const QString& caption, const QString& unit, const QStringList& scale,
                        const QString& meaning) {
    auto* column = new QWidget(this);
    column->setToolTip(meaning);
    auto* middle = new QHBoxLayout(column);
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(2);
    auto* c = new QLabel(caption, this);
    QFont f = c->font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    c->setFont(f);
    c->setToolTip(meaning);
    auto* scaleBox = new QVBoxLayout;
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            scaleBox->addStretch();
        QLabel* number = scaleLabel(scale.value(i), column);
        scaleBox->addWidget(number);
        wideOnly_ << number;
    }
    middle->addLayout(scaleBox);
    auto* rotated = new TAutoSizeLabel(caption, 90, column);
    rotated->setFont(f);
    rotated->setVisible(false);
    middle->addWidget(rotated);
    compactOnly_ << rotated;
    bar = new TALProgressBar(column);
    bar->setObjectName(QString::fromLatin1(barName));
    bar->setAccessibleName(caption + QLatin1Char(' ') + unit);
    bar->setToolTip(meaning);
    bar->setDirection(TALProgressBar::Direction::BottomToTop);
    middle->addWidget(bar);
    captions_->addLabel(c, bar);
    value = new QLabel(QStringLiteral("0"), this);
    value->setObjectName(QString::fromLatin1(labelName));
    value->setAccessibleName(caption + QLatin1Char(' ') + unit);
    value->setToolTip(meaning);
    values_->addLabel(value, bar);
    auto* u = new QLabel(unit, this);
    u->setFont(f);
    u->setToolTip(meaning);
    units_->addLabel(u, bar);
    return column;
}

void TRT::showValues(const LiveValues& live, LiveRefresh::Fields changed) {
    using F = LiveRefresh::Field;
    if (changed & F::Stale)
        changed = LiveRefresh::All;
    const bool none = live.stale;
    const QString na = QStringLiteral("NA");
    const auto text = [&](double v) { return none || std::isnan(v) ? na : shortestText(v); };
    const auto bar = [&](TALProgressBar* b, double v) { b->setPosition(none ? b->minimum() : v); };
    if (changed & F::Timing)
        Label49->setText(text(live.LiveTiming));
    if (changed & F::Rpm)
        Label50->setText(none ? na : QString::number(roundHalfEven(live.RpmHundreds) * 100));
    if (changed & F::Vacuum)
        Label51->setText(!none && live.Vacuum > kVacuumErrorAbove ? QStringLiteral("Err")
                                                                  : text(live.Vacuum));
    if (changed & F::Throttle) {
        bar(TPSBar, roundHalfEven(live.ThrottlePercent));
        Label19->setText(text(live.ThrottlePercent));
    }
    if (changed & F::Water)
        bar(WaterBar, roundHalfEven(live.WaterTemp));
    if (changed & F::Air)
        bar(AirBar, roundHalfEven(live.AirTemp));
    if (changed & F::Lambda) {
        const LambdaHalves halves = LiveDecode::lambdaHalves(live.LambdaHundredths);
        bar(LambdaBarL, halves.left);
        bar(LambdaBarR, halves.right);
    }
    if (changed & F::Duty)
        bar(InjPers, live.InjectorDuty);
    if (changed & F::Pot)
        bar(POTBar, roundHalfEven(live.PotPercent));
    if (changed & F::Battery)
        bar(BATBar, roundHalfEven(live.BatteryTenths));
    if (changed & F::Injector)
        bar(InjBar, roundHalfEven(live.InjectorTenthsMs));
    if (changed & F::Water)
        Label53->setText(text(live.WaterTemp));
    if (changed & F::Air)
        Label54->setText(text(live.AirTemp));
    if (changed & F::Battery)
        Label55->setText(text(live.BatteryTenths / 10));
    if (changed & F::Lambda)
        Label56->setText(text(live.LambdaHundredths / 100));
    if (changed & F::Injector)
        Label10->setText(text(live.InjectorTenthsMs / 10));
    if (changed & F::Duty)
        Label13->setText(none ? na : QString::number(live.InjectorDuty));
    if (changed & F::Pot)
        Label20->setText(text(live.PotPercent));
}

void TRT::setLambdaTarget(double volts) {
    lambdaTarget_ = volts;
    Label6->setText(QLatin1Char('.') + shortestText(std::round(volts * 100)));
    Shape1->setToolTip(QStringLiteral("Target Lambda Volts = %1V").arg(shortestText(volts)));
    placeTarget();
}

void TRT::setMissedFrames(int missed, int polls) {
    setToolTip(QStringLiteral("Late frames from the EMU: %1 of %2 polls").arg(missed).arg(polls));
}

void TRT::placeTarget() {
    const int w = lambdaPanel_->width();
    const int h = lambdaPanel_->height();
    const int barTop = h / 2;
    LambdaBarL->setGeometry(0, barTop, w / 2, h - barTop);
    LambdaBarR->setGeometry(w / 2, barTop, w - w / 2, h - barTop);
    const int centre = roundHalfEven(w * lambdaTarget_);
    constexpr int kMarkerWidth = 8;
    Shape1->setGeometry(centre - kMarkerWidth / 2, barTop - 5, kMarkerWidth, h - barTop + 5);
    Label6->adjustSize();
    Label6->move(centre - Label6->width() / 2 - 1, barTop - 5 - Label6->height());
    Shape1->raise();
}

bool TRT::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lambdaPanel_ && event->type() == QEvent::Resize)
        placeTarget();
    return QFrame::eventFilter(watched, event);
}

TALProgressBar* TRT::bar(const QString& name) const {
    return findChild<TALProgressBar*>(name);
}

QLabel* TRT::label(const QString& name) const {
    return findChild<QLabel*>(name);
}
