#pragma once

#include "link/EmuIdentity.h"
#include "link/EmuProtocol.h"
#include "link/LinkState.h"
#include "link/TQCCom32.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

struct CalibrationData;

// What a whole-image read brought: the reply as it came, and whether it is the whole image.
struct ImageRead {
    QByteArray reply;
    bool complete() const { return reply.size() >= EmuLength::kImageReply; }
    int received() const { return static_cast<int>(reply.size()); }
    // "The EMU sent n of 481 bytes of its data table; nothing was loaded."
    QString shortText() const;
};

// How a whole-image write ended. Only Written means the unit holds what was sent.
struct WriteResult {
    enum class Status {
        Written,          // the read-back matched
        NothingToWrite,   // no complete calibration is loaded
        NoUnit,           // nothing answered the identify before the write
        WrongModel,       // a unit of another model is on the port; nothing was sent
        PortFailed,       // the image did not leave the PC
        ReadBackShort,    // the unit sent back fewer than 481 bytes
        ReadBackMismatch, // the unit holds something else than was sent
    };
    Status status = Status::NoUnit;
    EmuIdentity unit; // what answered the identify
    int expectedModel = 0;
    int received = 0;  // bytes of the read-back
    int differing = 0; // positions that differ after the write
    bool ok() const { return status == Status::Written; }
    // The image left the PC, or should have: writing again may help.
    bool worthRetrying() const {
        return status == Status::PortFailed || status == Status::ReadBackShort ||
               status == Status::ReadBackMismatch;
    }
    // Plain words for the status bar and the retry question.
    QString text() const;
};

// The one owner of the link: the transport EFI, the protocol over it and the poll timer. Every
// flow that talks to the unit runs here, on the user-interface thread, and returns its result as
// a value. The poll is paused around every other flow, so no set message or image transfer lands
// inside a poll's pause.
class EmuLink : public QObject {
    Q_OBJECT

  public:
    explicit EmuLink(LinkState& link, QObject* parent = nullptr);
    ~EmuLink() override;

    TQCCom32& port() { return EFI; }
    EmuProtocol& protocol() { return protocol_; }
    LinkState& state() { return link_; }

    // The line settings of the unit: 19200 baud, 8N1, no handshake. Written only here.
    static void configureLine(TQCCom32& port);

    // Opens EFI on its current port unless it is open already.
    bool open();

    // 0xFF and its pause on the current port (opened when needed).
    EmuIdentity identify(int pauseMs);
    // The same with the reply as it came, for callers that must tell a cut identity from none.
    QByteArray identifyReply(int pauseMs);

    // 0xFD, 500 ms, the reply as it came.
    ImageRead readImage();

    // A three-byte set message (fire and forget). False when it did not reach the port.
    bool sendSet(std::uint8_t command, std::uint8_t id, std::uint8_t value);

    // The whole-image write of a calibration built into data (PlainImageText): identify the unit
    // first and refuse a missing one or another model than expectedModel; send 0xF3 and the image;
    // read the image back and compare it over the setup block and the regions the type holds.
    WriteResult writeCalibration(const CalibrationData& data, int expectedModel);

    // The live poll: Timer1 is single-shot and re-armed at the end of each tick, so the period runs
    // from the end of one exchange to the start of the next. A tick queries 0xFC while EmuConnected
    // and hands the reply (possibly empty) to frameReceived.
    QTimer& pollTimer() { return Timer1; }
    void startPoll();
    void stopPoll();
    bool pollRunning() const { return pollWanted_; }

    // The throttle calibration's poll: the same 0xFC exchange on Timer2, for the calibration
    // dialog only, whose frames go to throttleFrameReceived. It runs beside the live poll; both
    // are paused around the other flows.
    QTimer& throttleTimer() { return Timer2; }
    void startThrottlePoll();
    void stopThrottlePoll();
    bool throttlePollRunning() const { return throttleWanted_; }

    // Pauses the poll for the lifetime of a flow and resumes it after.
    class FlowGuard {
      public:
        explicit FlowGuard(EmuLink& link);
        ~FlowGuard();
        FlowGuard(const FlowGuard&) = delete;
        FlowGuard& operator=(const FlowGuard&) = delete;

      private:
        EmuLink& link_;
    };

  signals:
    void frameReceived(const QByteArray& frame);
    void throttleFrameReceived(const QByteArray& frame);

  public slots:
    void Timer1Timer();
    void Timer2Timer();

  private:
    void rearmPoll();

    LinkState& link_;
    TQCCom32 EFI;
    EmuProtocol protocol_;
    QTimer Timer1;
    QTimer Timer2;
    bool pollWanted_ = false;
    bool throttleWanted_ = false;
    int flowDepth_ = 0;
};
