#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The one serial-port component. A small synchronous transport: open a numbered port with fixed
// framing (8N1), write a byte string, read what has arrived (plain) or until a terminator arrives
// (terminated), report the bytes waiting, purge, close. No thread and no buffering of its own.
//
// Port n names a device through PortNaming ("Com n"). On Linux the device is opened read-write
// without a controlling terminal, raw, and exclusively (TIOCEXCL and flock, so root is kept out too).
// A device that vanishes (a USB adapter unplugged, the far end of a pty closed) is treated as a
// closed port: the handle is closed, reads return empty, writes return false, nothing spins.
class TQCCom32 {
  public:
    enum THandshake { hsNone, hsHardware };

    // Why the last Open failed, so the window can tell a tuner what to do.
    enum class OpenError { None, NoDevice, PermissionDenied, Busy, Other };

    // Dialog hooks used only when ShowErrors is true; the widgets layer supplies them.
    enum class DialogChoice { Abort, Retry };
    using ErrorDialog = std::function<DialogChoice(const QString& text)>;
    using InfoDialog = std::function<void(const QString& text)>;

    TQCCom32();
    ~TQCCom32();
    TQCCom32(const TQCCom32&) = delete;
    TQCCom32& operator=(const TQCCom32&) = delete;

    // Published properties.
    bool AllowEvents() const { return allowEvents_; }
    void setAllowEvents(bool v) { allowEvents_ = v; }
    int Baud() const { return baud_; }
    void setBaud(int v);
    QString EndOfResponse() const { return endOfResponse_; }
    void setEndOfResponse(const QString& v);
    THandshake Handshaking() const { return handshaking_; }
    void setHandshaking(THandshake v);
    int InCount();
    bool InUse() const { return inUse_; }
    int ResponseTime() const { return responseTime_; }
    void setResponseTime(int ms) { responseTime_ = ms; }
    std::function<void(TQCCom32*)> OnTimeout;
    bool Opened() const { return fd_ >= 0; }
    // Open, and the device still behind it: a hung-up line (adapter pulled out, the far end of a
    // pty gone) is closed here and answers false.
    bool StillThere();
    int Port() const { return port_; }
    void setPort(int n);
    bool ShowErrors() const { return showErrors_; }
    void setShowErrors(bool v) { showErrors_ = v; }
    bool TimedOut() const { return timedOut_; }
    QString Version() const { return QStringLiteral("1.4.0"); }
    void setVersion(const QString&) {}

    // The parsed terminator built from EndOfResponse.
    QByteArray Terminator() const { return terminator_; }

    bool Open();
    void Close();
    bool Write(const QByteArray& data);
    void Read(QByteArray& result);
    void Purge();

    // Dialogs shown when ShowErrors is true (Abort/Retry warnings and the "in use" notice).
    ErrorDialog errorDialog;
    InfoDialog infoDialog;

    // The device path of the current Port and why the last Open failed.
    QString DevicePath() const;
    // Uses this device path whole, whatever Port is (a by-path name may hold ":"); empty: Port's.
    void setDevicePath(const QString& path);
    OpenError LastOpenError() const { return lastOpenError_; }
    QString LastOpenDevice() const { return lastOpenDevice_; }

    // How an errno from opening or locking a device is reported.
    static OpenError openErrorFor(int errorNumber);

  private:
    bool openDevice();
    void configure();
    void reopenIfOpen();
    void dropHandle();
    bool readAvailable(QByteArray& into);
    bool terminatedRead(QByteArray& result);
    void waitForInput(int maxMs);
    void dropIfGone(int errorNumber);

    int fd_ = -1;
    bool allowEvents_ = false;
    int baud_ = 9600;
    QString endOfResponse_;
    QByteArray terminator_;
    THandshake handshaking_ = hsNone;
    bool inUse_ = false;
    int responseTime_ = 1000;
    int port_ = 1;
    bool showErrors_ = true;
    bool timedOut_ = false;
    OpenError lastOpenError_ = OpenError::None;
    QString lastOpenDevice_;
    QString devicePathOverride_;
};
