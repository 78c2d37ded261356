#include "ui/LiveView.h"

#include "calibration/CalibrationEditor.h"
#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapPages.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/LiveDecode.h"
#include "monitor/LiveDisplays.h"
#include "monitor/LiveMonitor.h"
#include "session/TuneSession.h"
#include "ui/StatusPanels.h"

#include <QCheckBox>
#include <QFileInfo>

#include <memory>

LiveView::LiveView(TuneSession& session, MapPages& pages, const std::array<TRT*, 4>& frames,
                   const QList<MapChartWidget*>& charts, EngineMonitorPage* monitorPage, QCheckBox* tracking,
                   StatusPanels& status, DataLoggerPage* logger, QObject* parent)
    : QObject(parent) {
    monitor_ = new LiveMonitor(session.state(), this);
    displays_ = new LiveDisplays(this);
    for (TRT* frame : frames)
        displays_->addFrame(frame);
    for (MapChartWidget* c : charts)
        displays_->addChart(c);
    displays_->setMonitorPage(monitorPage);
    connect(&session.emuLink(), &EmuLink::frameReceived, monitor_, &LiveMonitor::takeFrame);
    // During a replay the displays show the replayed rows, not the poll's (which is stopped).
    connect(monitor_, &LiveMonitor::liveUpdated, displays_, [this](const LiveValues& v) {
        if (!replaying_)
            displays_->UpdateLiveDisplays(v);
    });
    connect(monitor_, &LiveMonitor::framesMissed, displays_, &LiveDisplays::setMissedFrames);
    // A silent unit says so in panel 0, unless a message came during the silence (a send that
    // did not reach the unit says more); the panel's earlier text comes back with the frames.
    auto statusBefore = std::make_shared<QString>();
    connect(monitor_, &LiveMonitor::liveUpdated, this, [&status, statusBefore](const LiveValues& v) {
        if (!v.stale && status.text(0) != LiveMonitor::kNoDataText)
            *statusBefore = status.text(0);
    });
    connect(monitor_, &LiveMonitor::dataStopped, this, [&status, statusBefore] {
        if (status.text(0) == *statusBefore)
            status.setText(0, LiveMonitor::kNoDataText);
    });
    connect(monitor_, &LiveMonitor::framesResumed, this, [&session, &status, statusBefore] {
        if (status.text(0) == LiveMonitor::kNoDataText)
            status.setText(0, *statusBefore);
        // Whatever answers after a silence is identified before anything else is sent to it.
        session.verifyUnit();
    });
    connect(&session, &TuneSession::calibrationClosed, monitor_, &LiveMonitor::calibrationChanged);
    connect(tracking, &QCheckBox::toggled, monitor_, &LiveMonitor::setTracking);
    // Realtime tracking: the fuel curve for the load, and the chart cursors on the operating point,
    // so the keys edit the point the engine runs at.
    connect(monitor_, &LiveMonitor::fuelCurveTracked, this, [&pages](FuelCurve curve) {
        static constexpr MapId kCurves[] = {MapId::FuelRpmCruise, MapId::FuelRpmLow, MapId::FuelRpmCruise,
                                            MapId::FuelRpmHigh};
        if (curve != FuelCurve::None)
            pages.fuelPage()->selectFuelRpmCurve(kCurves[static_cast<int>(curve)]);
    });
    connect(monitor_, &LiveMonitor::operatingPointTracked, this,
            [&pages](double rpmHundreds, double vacuum) {
                MapEditorState& editing = pages.editing();
                editing.TimingCursorX = rpmHundreds;
                editing.FuelRpmCursorX = rpmHundreds;
                editing.VacuumCursorX = vacuum;
            });
    if (logger) {
        connect(logger, &DataLoggerPage::replayStarted, this, [this, &session, &status](const QString& path) {
            if (!replaying_) {
                replaying_ = true;
                pollWasRunning_ = session.emuLink().pollRunning();
                statusBeforeReplay_ = status.text(0);
            }
            // Nothing goes to a unit while a log is replayed.
            session.emuLink().stopPoll();
            status.setText(0, QStringLiteral("Replay of %1: not live data").arg(QFileInfo(path).fileName()));
        });
        connect(logger, &DataLoggerPage::replaySample, displays_,
                [this](const LiveValues& v, double) { displays_->UpdateLiveDisplays(v); });
        connect(logger, &DataLoggerPage::replayEnded, this, [this, &session, &status] {
            replaying_ = false;
            status.setText(0, statusBeforeReplay_);
            displays_->UpdateLiveDisplays(session.state().live);
            if (pollWasRunning_)
                session.emuLink().startPoll();
        });
    }
    connect(&session.editor(), &CalibrationEditor::setupValueChanged, this,
            [this, &session] { displays_->setLambdaTarget(liveSettings(session.state().cal).lambdaTarget); });
}
