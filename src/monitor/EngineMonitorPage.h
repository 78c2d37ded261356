#pragma once

#include "calibration/LiveValues.h"

#include <QWidget>

class QPlainTextEdit;
class TA3nalogGauge;

// The "Engine Monitor" tab: seven dials and the "Event Logger" box.
class EngineMonitorPage : public QWidget {
    Q_OBJECT

  public:
    explicit EngineMonitorPage(QWidget* parent = nullptr);

    // Sets the seven dials from one frame's values.
    void showValues(const LiveValues& live);

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
