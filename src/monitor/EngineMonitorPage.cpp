#include "monitor/EngineMonitorPage.h"

#include "calibration/Rounding.h"
#include "controls/TA3nalogGauge.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QtNumeric>

#include <cmath>

namespace {

struct DialSetup {
    const char* name;
    const char* caption;
    double fullScale;
    int mainTicks;
    int sweep;
    bool rightHand;
    double lower;
    double upper;
    int zones;
    QRgb low;
    QRgb mid;
    QRgb high;
    const char* unitNote;
};

constexpr QRgb kGreen = 0xff00a000;
constexpr QRgb kYellow = 0xfff0d000;
constexpr QRgb kRed = 0xffe00000;
constexpr QRgb kBlue = 0xff2050e0;
constexpr QRgb kLime = 0xff00ff00;
constexpr int kL = TA3nalogGauge::LowZone;
constexpr int kM = TA3nalogGauge::MidZone;
constexpr int kH = TA3nalogGauge::HighZone;

const DialSetup kDials[] = {
    {"RPMGauge", "RPM x 100", 70, 7, 270, false, 1, 60, kH, kGreen, kYellow, kRed,
     "Engine speed in hundreds of RPM: 30 is 3000 RPM"},
    {"VacuumGauge", "kPa x10", 10, 7, 120, false, 1, 1, 0, kGreen, kYellow, kRed,
     "Manifold vacuum in tens of kPa: 5 is 50 kPa, that is 0.5 bar"},
    {"AnalogTiming", "Degrees", 45, 5, 45, true, 10, 35, kL | kH, kYellow, kYellow, kRed,
     "Ignition advance the maps give now, ° before top dead centre"},
    {"TempGauge", "ºC", 140, 7, 120, false, 40, 95, kL | kH, kBlue, kBlue, kRed, "Water temperature, °C"},
    {"VoltGauge", "V", 16, 4, 120, false, 11, 13, kL | kM | kH, kYellow, kGreen, kRed, "Battery voltage, V"},
    {"LambdaGauge", "Lambda V (/10)", 10, 10, 270, false, 4, 6, kL | kM | kH, kRed, kYellow, kLime,
     "Lambda sensor in tenths of a volt: 4.5 is 0.45 V"},
    {"InjectorGauge", "% Inj", 100, 5, 120, false, 20, 80, kL | kH, kYellow, kYellow, kRed,
     "Injector duty cycle, % of the time the injectors are open"},
};

} // namespace

EngineMonitorPage::EngineMonitorPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EngineMonitorPage"));
    auto* grid = new QGridLayout(this);
    grid->setSpacing(8);
    TA3nalogGauge** fields[] = {&RPMGauge,  &VacuumGauge, &AnalogTiming, &TempGauge,
                                &VoltGauge, &LambdaGauge, &InjectorGauge};
    int i = 0;
    for (const DialSetup& d : kDials) {
        auto* g = new TA3nalogGauge(this);
        g->setObjectName(QString::fromLatin1(d.name));
        g->setCaption(QString::fromUtf8(d.caption));
        g->setAccessibleName(QString::fromUtf8(d.caption));
        g->setScaleValue(d.fullScale);
        g->setNumberMainTicks(d.mainTicks);
        g->setSubTicks(d.fullScale / d.mainTicks >= 10 ? 5 : 4);
        g->setAngle(d.sweep);
        g->setRightHandStyle(d.rightHand);
        g->setZoneLimits(d.lower, d.upper);
        g->setZonesDrawn(d.zones);
        g->setZoneColors(QColor::fromRgb(d.low), QColor::fromRgb(d.mid), QColor::fromRgb(d.high));
        g->setUnitNote(QString::fromUtf8(d.unitNote));
        *fields[i] = g;
        ++i;
    }
    // The engine's speed and load large on top; the others below.
    grid->addWidget(RPMGauge, 0, 0, 1, 2);
    grid->addWidget(VacuumGauge, 0, 2);
    grid->addWidget(AnalogTiming, 0, 3);
    grid->addWidget(TempGauge, 1, 0);
    grid->addWidget(VoltGauge, 1, 1);
    grid->addWidget(LambdaGauge, 1, 2);
    grid->addWidget(InjectorGauge, 1, 3);

    auto* events = new QGroupBox(QStringLiteral("Event Logger"), this);
    events->setObjectName(QStringLiteral("EventLoggerBox"));
    auto* v = new QVBoxLayout(events);
    EventLog = new QPlainTextEdit(events);
    EventLog->setObjectName(QStringLiteral("EventLog"));
    EventLog->setAccessibleName(QStringLiteral("Event Logger"));
    EventLog->setReadOnly(true);
    EventLog->setPlainText(QStringLiteral("Inactive"));
    EventLog->setMaximumHeight(70);
    const QString unused = QStringLiteral("Event Logger: not in use; this program logs no events here. "
                                          "The Data Logger page plots the live readings.");
    EventLog->setToolTip(unused);
    events->setToolTip(unused);
    v->addWidget(EventLog);
    grid->addWidget(events, 2, 0, 1, 4);
    grid->setRowStretch(0, 3);
    grid->setRowStretch(1, 2);
}

void EngineMonitorPage::showValues(const LiveValues& live, LiveRefresh::Fields changed) {
    using F = LiveRefresh::Field;
    if (changed & F::Stale)
        changed = LiveRefresh::All;
    // A NaN parks a dial: no reading to point at.
    const auto set = [&](TA3nalogGauge* g, double v) { g->setValue(live.stale ? qQNaN() : v); };
    if (changed & F::Rpm)
        set(RPMGauge, live.RpmHundreds);
    if (changed & F::Vacuum)
        set(VacuumGauge, live.Vacuum * 10);
    if (changed & F::Timing)
        set(AnalogTiming, std::isnan(live.LiveTiming) ? live.LiveTiming : roundHalfEven(live.LiveTiming));
    if (changed & F::Water)
        set(TempGauge, roundHalfEven(live.WaterTemp));
    if (changed & F::Battery)
        set(VoltGauge, live.BatteryTenths / 10);
    if (changed & F::Lambda)
        set(LambdaGauge, live.LambdaHundredths / 10);
    if (changed & F::Duty)
        set(InjectorGauge, live.InjectorDuty);
}

TA3nalogGauge* EngineMonitorPage::gauge(const QString& name) const {
    return findChild<TA3nalogGauge*>(name);
}
