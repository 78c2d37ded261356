#include "link/EmuLink.h"

#include "calibration/CalibrationData.h"
#include "calibration/CalibrationTransfer.h"
#include "link/Connection.h"

namespace {

constexpr int kPollPeriodMs = 20;
// After the image has been queued: its time on the wire (482 bytes at 19200 baud) and a margin
// for the unit to store it, before the read-back is asked for.
constexpr int kReadBackSettleMs = 251 + 250;

} // namespace

QString ImageRead::shortText() const {
    return QStringLiteral("The EMU sent %1 of %2 bytes of its data table; nothing was loaded.")
        .arg(received())
        .arg(EmuLength::kImageReply);
}

QString WriteResult::text() const {
    const QString failed = Connection::kWriteFailed + QStringLiteral(": ");
    switch (status) {
    case Status::Written:
        return Connection::kTableWritten;
    case Status::NothingToWrite:
        return failed + QStringLiteral("nothing to write; read from the EMU or open a file first.");
    case Status::NoUnit:
        return failed + QStringLiteral("no EMU answered on the port; nothing was written.");
    case Status::WrongModel:
        return failed + QStringLiteral("the EMU on the port is model %1, but the data is for model %2; "
                                       "nothing was written.")
                            .arg(unit.model())
                            .arg(expectedModel);
    case Status::PortFailed:
        return failed + QStringLiteral("the data did not reach the port.");
    case Status::ReadBackShort:
        return failed + QStringLiteral("the EMU sent back %1 of %2 bytes, so the write is not confirmed.")
                            .arg(received)
                            .arg(EmuLength::kImageReply);
    case Status::ReadBackMismatch:
        return failed + QStringLiteral("%1 of the EMU's positions differ from what was sent.").arg(differing);
    }
    return {};
}

EmuLink::EmuLink(LinkState& link, QObject* parent) : QObject(parent), link_(link), protocol_(EFI) {
    configureLine(EFI);
    EFI.setPort(1);
    EFI.setAllowEvents(false);
    EFI.setEndOfResponse(QString());
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setSingleShot(true);
    Timer1.setInterval(kPollPeriodMs);
    connect(&Timer1, &QTimer::timeout, this, &EmuLink::Timer1Timer);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setSingleShot(true);
    Timer2.setInterval(kPollPeriodMs);
    connect(&Timer2, &QTimer::timeout, this, &EmuLink::Timer2Timer);
}

EmuLink::~EmuLink() {
    Timer1.stop();
    Timer2.stop();
    EFI.Close();
}

void EmuLink::configureLine(TQCCom32& port) {
    port.setShowErrors(false);
    port.setBaud(19200);
    port.setHandshaking(TQCCom32::hsNone);
    port.setResponseTime(100);
}

bool EmuLink::open() {
    return EFI.Opened() || EFI.Open();
}

QByteArray EmuLink::identifyReply(int pauseMs) {
    FlowGuard guard(*this);
    // A device that went away and came back reopens here, so the first exchange after a replug works.
    open();
    return protocol_.identify(pauseMs);
}

EmuIdentity EmuLink::identify(int pauseMs) {
    return EmuIdentity::fromReply(identifyReply(pauseMs));
}

ImageRead EmuLink::readImage() {
    FlowGuard guard(*this);
    open();
    return ImageRead{protocol_.readImage(EmuPause::kReadImage)};
}

bool EmuLink::sendSet(std::uint8_t command, std::uint8_t id, std::uint8_t value) {
    FlowGuard guard(*this);
    return protocol_.sendSet(command, id, value);
}

WriteResult EmuLink::writeCalibration(const CalibrationData& data, int expectedModel) {
    FlowGuard guard(*this);
    WriteResult result;
    result.expectedModel = expectedModel;
    open();
    result.unit = EmuIdentity::fromReply(protocol_.identify(EmuPause::kIdentifyConnect));
    if (!result.unit.isLiveUnit()) {
        result.status = WriteResult::Status::NoUnit;
        return result;
    }
    if (result.unit.model() != expectedModel) {
        result.status = WriteResult::Status::WrongModel;
        return result;
    }
    if (!protocol_.writeImage(data.PlainImageText)) {
        result.status = WriteResult::Status::PortFailed;
        return result;
    }
    protocol_.sleep(kReadBackSettleMs);
    const QByteArray readBack = protocol_.readImage(EmuPause::kReadImage);
    result.received = static_cast<int>(readBack.size());
    if (readBack.size() < EmuLength::kImageReply) {
        result.status = WriteResult::Status::ReadBackShort;
        return result;
    }
    result.differing = CalibrationTransfer::readBackDifferences(data, readBack);
    result.status =
        result.differing == 0 ? WriteResult::Status::Written : WriteResult::Status::ReadBackMismatch;
    return result;
}

void EmuLink::startPoll() {
    pollWanted_ = true;
    rearmPoll();
}

void EmuLink::stopPoll() {
    pollWanted_ = false;
    Timer1.stop();
}

void EmuLink::startThrottlePoll() {
    throttleWanted_ = true;
    rearmPoll();
}

void EmuLink::stopThrottlePoll() {
    throttleWanted_ = false;
    Timer2.stop();
}

void EmuLink::rearmPoll() {
    if (flowDepth_ > 0)
        return;
    // A timer already counting keeps its count, so neither poll starves the other.
    if (pollWanted_ && !Timer1.isActive())
        Timer1.start();
    if (throttleWanted_ && !Timer2.isActive())
        Timer2.start();
}

void EmuLink::Timer1Timer() {
    if (!pollWanted_ || flowDepth_ > 0)
        return;
    if (link_.EmuConnected) {
        const QByteArray frame = protocol_.realTimeFrame();
        emit frameReceived(frame);
    }
    rearmPoll();
}

void EmuLink::Timer2Timer() {
    if (!throttleWanted_ || flowDepth_ > 0)
        return;
    const QByteArray frame = protocol_.realTimeFrame();
    emit throttleFrameReceived(frame);
    rearmPoll();
}

EmuLink::FlowGuard::FlowGuard(EmuLink& link) : link_(link) {
    ++link_.flowDepth_;
    link_.Timer1.stop();
    link_.Timer2.stop();
}

EmuLink::FlowGuard::~FlowGuard() {
    if (--link_.flowDepth_ == 0)
        link_.rearmPoll();
}
