#pragma once

#include "calibration/LiveValues.h"
#include "monitor/LiveRefresh.h"

#include <QWidget>

class QPlainTextEdit;
class TA3nalogGauge;

// The "Engine Monitor" tab: seven dials and the "Event Logger" box.
class EngineMonitorPage : public QWidget {
    Q_OBJECT

  public:
    explicit EngineMonitorPage(QWidget* parent = nullptr);

    // Sets the dials of the changed fields; stale values park every needle at its minimum.
    void showValues(const LiveValues& live, LiveRefresh::Fields changed = LiveRefresh::All);

    TA3nalogGauge* gauge(const QString& name) const;

  private:
    TA3nalogGauge* RPMGauge = nullptr;
    TA3nalogGauge* VacuumGauge = nullptr;
    TA3nalogGauge* AnalogTiming = nullptr;
    TA3nalogGauge* TempGauge = nullptr;
    TA3nalogGauge* VoltGauge = nullptr;
    TA3nalogGauge* LambdaGauge = nullptr;
    TA3nalogGauge* InjectorGauge = nullptr;
    QPlainTextEdit* EventLog = nullptr;
};
