#include "link/TQCCom32.h"

#include "PtyPair.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Choice = TQCCom32::DialogChoice;
using OpenError = TQCCom32::OpenError;

Q_DECLARE_METATYPE(TQCCom32::THandshake)
Q_DECLARE_METATYPE(TQCCom32::OpenError)

namespace {

constexpr int kWaitMs = 5000; // generous: CI machines are slow and loaded

// One pty behind Com1 (through a symlink in EMU_PORTS) and a quiet transport on it.
struct Rig {
    explicit Rig(PtyPair::Mode mode = PtyPair::Mode::Raw) : pty(mode), ports({pty.makeLink()}) {
        com.setShowErrors(false);
    }
    PtyPair pty;
    ScopedEmuPorts ports;
    TQCCom32 com;
};

// Runs body in a child process with the rights of user "nobody" and returns its exit code
// (below 255), or -1 when the rights cannot be dropped here.
int runAsNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(255);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// Exit code of a child that tries the transport: 0 opened, else 10 + the reason.
int tryOpenCode() {
    TQCCom32 com;
    com.setShowErrors(false);
    return com.Open() ? 0 : 10 + int(com.LastOpenError());
}

bool hasFlag(tcflag_t flags, tcflag_t flag) {
    return (flags & flag) == flag;
}

QByteArray allByteValues() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.append(char(i));
    }
    return bytes;
}

// Slows the line to 300 baud behind the transport's back, so a later reconfiguration shows.
void tamperSpeed(PtyPair& pty) {
    termios tio = *pty.deviceSettings();
    ::cfsetispeed(&tio, B300);
    ::cfsetospeed(&tio, B300);
    ::tcsetattr(pty.slaveFd(), TCSANOW, &tio);
}

speed_t deviceSpeed(const PtyPair& pty) {
    const auto tio = pty.deviceSettings();
    return tio ? ::cfgetospeed(&*tio) : B0;
}

} // namespace

class TransportTest : public QObject {
    Q_OBJECT

  private slots:
    void defaults();
    void endOfResponseParsing_data();
    void endOfResponseParsing();

    void openConfiguresRawLine_data();
    void openConfiguresRawLine();
    void settersReopenOnlyOnChange();
    void portSetterMovesToTheNewDevice();

    void plainReadWithNothingReceivedReturnsAtOnce();
    void plainReadReturnsExactlyWhatArrived_data();
    void plainReadReturnsExactlyWhatArrived();
    void terminatedReadCompletes_data();
    void terminatedReadCompletes();
    void terminatorSplitOverTwoChunks();
    void terminatedReadTimesOutWithPartial();
    void timeoutDialog_data();
    void timeoutDialog();
    void reentrantReadIsRefused_data();
    void reentrantReadIsRefused();
    void allowEventsRunsEventsWhileWaiting_data();
    void allowEventsRunsEventsWhileWaiting();

    void writeSendsExactlyTheBytes_data();
    void writeSendsExactlyTheBytes();
    void writeEmpty();
    void largeWriteIsSentWhole();
    void writeGivesUpWhenFarEndStalls();
    void readAndWriteAfterCloseReopen();
    void purgeDropsWaitingInput();
    void inCount();

    void openFailure_data();
    void openFailure();
    void missingDeviceReasons();
    void secondInstanceIsBusy();
    void otherUsersAreKeptOutUntilClose();
    void permissionDeniedIsReported();
    void openErrorFromErrno_data();
    void openErrorFromErrno();

    void unplugClosesThePort_data();
    void unplugClosesThePort();
    void repeatedReadsAfterUnplugDoNotHang();
    void unplugDuringTerminatedRead();
    void replugBehindTheSameName();
};

void TransportTest::defaults() {
    TQCCom32 com;
    QCOMPARE(com.AllowEvents(), false);
    QCOMPARE(com.Baud(), 9600);
    QCOMPARE(com.EndOfResponse(), QString());
    QCOMPARE(com.Terminator(), QByteArray());
    QCOMPARE(com.Handshaking(), TQCCom32::hsNone);
    QCOMPARE(com.InUse(), false);
    QCOMPARE(com.ResponseTime(), 1000);
    QCOMPARE(com.Port(), 1);
    QCOMPARE(com.ShowErrors(), true);
    QCOMPARE(com.TimedOut(), false);
    QCOMPARE(com.Opened(), false);
    QCOMPARE(com.InCount(), 0);
    QCOMPARE(com.Version(), QStringLiteral("1.4.0"));
    com.setVersion(QStringLiteral("2.0"));
    QCOMPARE(com.Version(), QStringLiteral("1.4.0"));
}

void TransportTest::endOfResponseParsing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("terminator");

    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("CR LF") << "#13#10" << QByteArray("\r\n");
    QTest::newRow("literal then code") << "OK#13" << QByteArray("OK\r");
    QTest::newRow("letters after a code fall back") << "#13OK" << QByteArray("#13OK");
    QTest::newRow("empty code falls back") << "##" << QByteArray("##");
    QTest::newRow("empty code between codes falls back") << "#13##10" << QByteArray("#13##10");
    QTest::newRow("plain text") << "END" << QByteArray("END");
    QTest::newRow("single code") << "#65" << QByteArray("A");
    QTest::newRow("zero byte") << "#0" << QByteArray(1, '\0');
    QTest::newRow("low 8 bits") << "#300" << QByteArray(1, char(44));
    QTest::newRow("256 wraps to 0") << "#256" << QByteArray(1, '\0');
    QTest::newRow("255") << "#255" << QByteArray(1, char(0xFF));
    QTest::newRow("lone hash") << "#" << QByteArray();
    QTest::newRow("literal and trailing hash") << "OK#" << QByteArray("OK");
    QTest::newRow("trailing hash after code") << "#13#" << QByteArray("\r");
    QTest::newRow("space in code falls back") << "#1 3" << QByteArray("#1 3");
}

void TransportTest::endOfResponseParsing() {
    QFETCH(QString, text);
    QFETCH(QByteArray, terminator);

    TQCCom32 com;
    com.setEndOfResponse(QStringLiteral("#10"));
    com.setEndOfResponse(text);
    QCOMPARE(com.EndOfResponse(), text);
    QCOMPARE(com.Terminator(), terminator);
}

void TransportTest::openConfiguresRawLine_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<TQCCom32::THandshake>("handshake");

    QTest::newRow("1200") << 1200 << speed_t(B1200) << TQCCom32::hsNone;
    QTest::newRow("9600") << 9600 << speed_t(B9600) << TQCCom32::hsNone;
    QTest::newRow("19200") << 19200 << speed_t(B19200) << TQCCom32::hsNone;
    QTest::newRow("38400") << 38400 << speed_t(B38400) << TQCCom32::hsNone;
    QTest::newRow("57600") << 57600 << speed_t(B57600) << TQCCom32::hsNone;
    QTest::newRow("115200") << 115200 << speed_t(B115200) << TQCCom32::hsNone;
    QTest::newRow("19200 hardware") << 19200 << speed_t(B19200) << TQCCom32::hsHardware;
}

void TransportTest::openConfiguresRawLine() {
    QFETCH(int, baud);
    QFETCH(speed_t, speed);
    QFETCH(TQCCom32::THandshake, handshake);

    // A cooked pty: whatever is raw afterwards, the transport made so.
    Rig rig(PtyPair::Mode::Cooked);
    QVERIFY(rig.pty.isValid());
    rig.com.setBaud(baud);
    rig.com.setHandshaking(handshake);
    QVERIFY(rig.com.Open());
    QVERIFY(rig.com.Opened());

    const auto tio = rig.pty.deviceSettings();
    QVERIFY(tio);
    QCOMPARE(::cfgetospeed(&*tio), speed);
    QCOMPARE(::cfgetispeed(&*tio), speed);
    QCOMPARE(tio->c_cflag & CSIZE, tcflag_t(CS8));
    QVERIFY(!hasFlag(tio->c_cflag, PARENB));
    QVERIFY(!hasFlag(tio->c_cflag, CSTOPB));
    QVERIFY(hasFlag(tio->c_cflag, CREAD));
    QVERIFY(hasFlag(tio->c_cflag, CLOCAL));
    QCOMPARE(hasFlag(tio->c_cflag, CRTSCTS), handshake == TQCCom32::hsHardware);
    for (const tcflag_t flag : {ICANON, ECHO, ECHONL, ISIG, IEXTEN}) {
        QVERIFY(!hasFlag(tio->c_lflag, flag));
    }
    for (const tcflag_t flag : {IXON, IXOFF, ICRNL, INLCR, IGNCR, ISTRIP, INPCK, BRKINT}) {
        QVERIFY(!hasFlag(tio->c_iflag, flag));
    }
    QVERIFY(!hasFlag(tio->c_oflag, OPOST));
    QCOMPARE(int(tio->c_cc[VMIN]), 0);
    QCOMPARE(int(tio->c_cc[VTIME]), 0);
}

void TransportTest::settersReopenOnlyOnChange() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());

    // Same values: no reopen, so the tampered speed survives.
    tamperSpeed(rig.pty);
    rig.com.setPort(1);
    rig.com.setBaud(9600);
    rig.com.setHandshaking(TQCCom32::hsNone);
    QCOMPARE(deviceSpeed(rig.pty), speed_t(B300));
    QVERIFY(rig.com.Opened());

    // A new baud rate while open: closed and opened again with it.
    rig.com.setBaud(19200);
    QVERIFY(rig.com.Opened());
    QCOMPARE(deviceSpeed(rig.pty), speed_t(B19200));

    rig.com.setHandshaking(TQCCom32::hsHardware);
    QVERIFY(rig.com.Opened());
    QVERIFY(hasFlag(rig.pty.deviceSettings()->c_cflag, CRTSCTS));
    rig.com.setHandshaking(TQCCom32::hsNone);
    QVERIFY(!hasFlag(rig.pty.deviceSettings()->c_cflag, CRTSCTS));

    // While closed the setters only store.
    rig.com.Close();
    rig.com.setBaud(38400);
    rig.com.setHandshaking(TQCCom32::hsHardware);
    QVERIFY(!rig.com.Opened());
    QCOMPARE(deviceSpeed(rig.pty), speed_t(B19200));
    QVERIFY(rig.com.Open());
    QCOMPARE(deviceSpeed(rig.pty), speed_t(B38400));
    QVERIFY(hasFlag(rig.pty.deviceSettings()->c_cflag, CRTSCTS));

    // The response time only stores.
    tamperSpeed(rig.pty);
    rig.com.setResponseTime(250);
    QCOMPARE(rig.com.ResponseTime(), 250);
    QCOMPARE(deviceSpeed(rig.pty), speed_t(B300));
}

void TransportTest::portSetterMovesToTheNewDevice() {
    PtyPair a;
    PtyPair b;
    QVERIFY(a.isValid() && b.isValid());
    ScopedEmuPorts ports({a.makeLink(), b.makeLink()});
    TQCCom32 com;
    com.setShowErrors(false);

    // A new port while closed does not open.
    com.setPort(2);
    QVERIFY(!com.Opened());
    com.setPort(1);
    QVERIFY(!com.Opened());

    QVERIFY(com.Open());
    com.setPort(2);
    QVERIFY(com.Opened());
    QVERIFY(com.Write("x"));
    QCOMPARE(b.receive(1), QByteArray("x"));
    QCOMPARE(a.drain(50), QByteArray());

    // The old device was let go, the new one is held.
    TQCCom32 other;
    other.setShowErrors(false);
    QVERIFY(other.Open());
    other.Close();
    other.setPort(2);
    QVERIFY(!other.Open());
    QCOMPARE(other.LastOpenError(), OpenError::Busy);

    com.Close();
    com.setPort(1);
    QVERIFY(!com.Opened());
    QVERIFY(other.Open());
}

void TransportTest::plainReadWithNothingReceivedReturnsAtOnce() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setResponseTime(20000);
    QVERIFY(rig.com.Open());

    QByteArray result("stale");
    QElapsedTimer clock;
    clock.start();
    rig.com.Read(result);
    // A plain read must not wait for the response time (20 s); this only guards against that.
    QVERIFY2(clock.elapsed() < 10000, "a plain read waited");
    QCOMPARE(result, QByteArray());
    QCOMPARE(rig.com.TimedOut(), false);
    QVERIFY(rig.com.Opened());
}

void TransportTest::plainReadReturnsExactlyWhatArrived_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("zero and 0xFF") << QByteArray("\x00\xFF", 2);
    QTest::newRow("XON XOFF") << QByteArray("\x11\x13");
    QTest::newRow("interrupt, EOF, suspend") << QByteArray("\x03\x04\x1A");
    QTest::newRow("CR LF CR") << QByteArray("\r\n\r");
    QTest::newRow("image-sized") << QByteArray(481, char(0x31));
    QTest::newRow("every byte value") << allByteValues();
}

void TransportTest::plainReadReturnsExactlyWhatArrived() {
    QFETCH(QByteArray, bytes);

    // Cooked pty: only the transport's own raw settings keep these bytes intact.
    Rig rig(PtyPair::Mode::Cooked);
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), int(bytes.size()), kWaitMs);

    QByteArray result("stale");
    rig.com.Read(result);
    QCOMPARE(result, bytes);
    QCOMPARE(rig.pty.drain(20), QByteArray()); // nothing echoed back

    rig.com.Read(result);
    QCOMPARE(result, QByteArray());
}

void TransportTest::terminatedReadCompletes_data() {
    QTest::addColumn<QString>("endOfResponse");
    QTest::addColumn<QByteArray>("arrived");

    QTest::newRow("CR LF at the end") << "#13#10" << QByteArray("OK\r\n");
    QTest::newRow("bytes after CR LF kept") << "#13#10" << QByteArray("OK\r\nXY");
    QTest::newRow("CR LF first") << "#13#10" << QByteArray("\r\nrest");
    QTest::newRow("literal and code") << "OK#13" << QByteArray("xxOK\rz");
    QTest::newRow("zero byte") << "#0" << QByteArray("ab\0cd", 5);
    QTest::newRow("raw fallback text") << "#13OK" << QByteArray("a#13OKb");
}

void TransportTest::terminatedReadCompletes() {
    QFETCH(QString, endOfResponse);
    QFETCH(QByteArray, arrived);

    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setEndOfResponse(endOfResponse);
    rig.com.setResponseTime(20000);
    int timeouts = 0;
    rig.com.OnTimeout = [&](TQCCom32*) { ++timeouts; };
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send(arrived));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), int(arrived.size()), kWaitMs);

    QByteArray result;
    rig.com.Read(result);
    QCOMPARE(result, arrived);
    QCOMPARE(rig.com.TimedOut(), false);
    QCOMPARE(timeouts, 0);
    QCOMPARE(rig.com.InUse(), false);
}

void TransportTest::terminatorSplitOverTwoChunks() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setEndOfResponse(QStringLiteral("#13#10"));
    rig.com.setResponseTime(20000);
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("OK\r"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 3, kWaitMs);

    std::thread tail([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rig.pty.send("\n");
    });
    QByteArray result;
    rig.com.Read(result);
    tail.join();
    QCOMPARE(result, QByteArray("OK\r\n"));
    QCOMPARE(rig.com.TimedOut(), false);
}

void TransportTest::terminatedReadTimesOutWithPartial() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setEndOfResponse(QStringLiteral("#13#10"));
    rig.com.setResponseTime(100);
    QList<TQCCom32*> senders;
    rig.com.OnTimeout = [&](TQCCom32* sender) {
        QVERIFY(sender->TimedOut());
        senders << sender;
    };
    int dialogs = 0;
    rig.com.errorDialog = [&](const QString&) {
        ++dialogs;
        return Choice::Retry;
    };
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("AB\r"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 3, kWaitMs);

    QByteArray result;
    QElapsedTimer clock;
    clock.start();
    rig.com.Read(result);
    QVERIFY(clock.elapsed() >= 100); // the whole response time was given
    QCOMPARE(result, QByteArray("AB\r"));
    QCOMPARE(rig.com.TimedOut(), true);
    QCOMPARE(senders.size(), 1);
    QVERIFY(senders.first() == &rig.com);
    QCOMPARE(dialogs, 0); // ShowErrors is off
    QCOMPARE(rig.com.InUse(), false);

    // The next complete response clears the flag.
    QVERIFY(rig.pty.send("\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 2, kWaitMs);
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("\r\n"));
    QCOMPARE(rig.com.TimedOut(), false);
}

void TransportTest::timeoutDialog_data() {
    // 0 Abort, 1 Retry, 2 Retry after the reply's end came, 3 Retry with the end still to come
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("expectedEvents");
    QTest::addColumn<QByteArray>("expectedResult");
    QTest::addColumn<bool>("expectedTimedOut");

    QTest::newRow("abort") << QList<int>{0} << QStringList{"timeout", "dialog"} << QByteArray("AB") << true;
    QTest::newRow("retry then abort")
        << QList<int>{1, 0} << QStringList{"timeout", "dialog", "timeout", "dialog"} << QByteArray("AB")
        << true;
    QTest::newRow("retry and the reply completes")
        << QList<int>{2} << QStringList{"timeout", "dialog"} << QByteArray("AB\r\n") << false;
    QTest::newRow("retry waits afresh for a late reply")
        << QList<int>{3} << QStringList{"timeout", "dialog"} << QByteArray("AB\r\n") << false;
}

void TransportTest::timeoutDialog() {
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, expectedEvents);
    QFETCH(QByteArray, expectedResult);
    QFETCH(bool, expectedTimedOut);

    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setShowErrors(true);
    rig.com.setEndOfResponse(QStringLiteral("#13#10"));
    rig.com.setResponseTime(100);
    std::thread late;
    QStringList events;
    rig.com.OnTimeout = [&](TQCCom32*) { events << QStringLiteral("timeout"); };
    rig.com.errorDialog = [&](const QString& text) {
        events << QStringLiteral("dialog");
        if (text != QStringLiteral("Timeout waiting for response.")) {
            events << QStringLiteral("wrong text: ") + text;
        }
        const int answer = answers.isEmpty() ? 0 : answers.takeFirst();
        if (answer == 2) {
            rig.pty.send("\r\n");
            QElapsedTimer clock;
            clock.start();
            while (rig.com.InCount() < 2 && clock.elapsed() < kWaitMs) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        if (answer == 3) {
            // The retry must wait a whole new response time, which is now long.
            rig.com.setResponseTime(20000);
            late = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                rig.pty.send("\r\n");
            });
        }
        return answer == 0 ? Choice::Abort : Choice::Retry;
    };
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("AB"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 2, kWaitMs);

    QByteArray result;
    rig.com.Read(result);
    if (late.joinable()) {
        late.join();
    }
    QCOMPARE(events, expectedEvents);
    QCOMPARE(result, expectedResult);
    QCOMPARE(rig.com.TimedOut(), expectedTimedOut);
}

void TransportTest::reentrantReadIsRefused_data() {
    QTest::addColumn<bool>("showErrors");
    QTest::newRow("with dialogs") << true;
    QTest::newRow("quiet") << false;
}

void TransportTest::reentrantReadIsRefused() {
    QFETCH(bool, showErrors);

    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setShowErrors(showErrors);
    rig.com.setAllowEvents(true);
    rig.com.setEndOfResponse(QStringLiteral("#10"));
    rig.com.setResponseTime(20000);
    QStringList notices;
    rig.com.infoDialog = [&](const QString& text) { notices << text; };
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("Z"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 1, kWaitMs);

    bool innerRan = false;
    bool inUseInside = false;
    QByteArray inner("stale");
    QTimer::singleShot(0, [&] {
        innerRan = true;
        inUseInside = rig.com.InUse();
        rig.com.Read(inner);
        rig.pty.send("\n");
    });
    QByteArray outer;
    rig.com.Read(outer);

    QVERIFY(innerRan);
    QVERIFY(inUseInside);
    QCOMPARE(inner, QByteArray());
    QCOMPARE(outer, QByteArray("Z\n")); // the nested read took nothing away
    QCOMPARE(rig.com.InUse(), false);
    QCOMPARE(notices, showErrors ? QStringList{"Port is in use -- operation aborted"} : QStringList{});
}

void TransportTest::allowEventsRunsEventsWhileWaiting_data() {
    QTest::addColumn<bool>("allowEvents");
    QTest::newRow("allowed") << true;
    QTest::newRow("not allowed") << false;
}

void TransportTest::allowEventsRunsEventsWhileWaiting() {
    QFETCH(bool, allowEvents);

    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setAllowEvents(allowEvents);
    rig.com.setEndOfResponse(QStringLiteral("#10"));
    rig.com.setResponseTime(200);
    QVERIFY(rig.com.Open());

    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    QByteArray result;
    rig.com.Read(result);
    QVERIFY(rig.com.TimedOut());
    QCOMPARE(ran, allowEvents);
    QTRY_VERIFY(ran);
}

void TransportTest::writeSendsExactlyTheBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("set message with a zero operand") << QByteArray("\xF2\x00\x05", 3);
    QTest::newRow("zero alone") << QByteArray(1, '\0');
    QTest::newRow("LF is not expanded") << QByteArray("\n\r\n");
    QTest::newRow("XON XOFF, interrupt") << QByteArray("\x11\x13\x03");
    QTest::newRow("image with trailer") << QByteArray(482, char(0xFF));
    QTest::newRow("every byte value") << allByteValues();
}

void TransportTest::writeSendsExactlyTheBytes() {
    QFETCH(QByteArray, bytes);

    Rig rig(PtyPair::Mode::Cooked);
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Write(bytes)); // opens lazily
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.receive(int(bytes.size())), bytes);
    QCOMPARE(rig.pty.drain(50), QByteArray());
}

void TransportTest::writeEmpty() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());
    QVERIFY(rig.com.Write(QByteArray()));
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.drain(20), QByteArray());

    // With no device behind the port even an empty write fails.
    ScopedEmuPorts none({QStringLiteral("")});
    TQCCom32 missing;
    missing.setShowErrors(false);
    QVERIFY(!missing.Write(QByteArray()));
    QVERIFY(!missing.Opened());
}

void TransportTest::largeWriteIsSentWhole() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i) {
        bytes.append(char((i * 7) & 0xFF));
    }
    QByteArray received;
    std::thread reader([&] { received = rig.pty.receive(int(bytes.size()), 20000); });
    const bool written = rig.com.Write(bytes);
    reader.join();
    QVERIFY(written);
    QCOMPARE(received.size(), bytes.size());
    QVERIFY(received == bytes);
}

void TransportTest::writeGivesUpWhenFarEndStalls() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    // Far more than a pty holds, and nobody reads the far end.
    QVERIFY(!rig.com.Write(QByteArray(1 << 20, 'x')));
    QVERIFY(rig.com.Opened());
}

void TransportTest::readAndWriteAfterCloseReopen() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());
    rig.com.Close();
    QVERIFY(!rig.com.Opened());
    QCOMPARE(rig.com.InCount(), 0);
    QVERIFY(!rig.com.Opened()); // InCount does not open

    QVERIFY(rig.com.Write("a"));
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.receive(1), QByteArray("a"));

    rig.com.Close();
    QVERIFY(rig.pty.send("b"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pty.pendingOnDevice(), 1, kWaitMs);
    QByteArray result;
    rig.com.Read(result);
    QVERIFY(rig.com.Opened());
    QCOMPARE(result, QByteArray("b"));

    rig.com.Close();
    rig.com.Close(); // harmless when closed
    QVERIFY(!rig.com.Opened());
}

void TransportTest::purgeDropsWaitingInput() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.Purge(); // closed: nothing happens
    QVERIFY(!rig.com.Opened());

    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("stale"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 5, kWaitMs);
    rig.com.Purge();
    QCOMPARE(rig.com.InCount(), 0);
    QByteArray result;
    rig.com.Read(result);
    QCOMPARE(result, QByteArray());

    QVERIFY(rig.pty.send("new"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 3, kWaitMs);
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("new"));
}

void TransportTest::inCount() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.pty.send("abc"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pty.pendingOnDevice(), 3, kWaitMs);
    QCOMPARE(rig.com.InCount(), 0); // closed

    QVERIFY(rig.com.Open());
    QCOMPARE(rig.com.InCount(), 3);
    QVERIFY(rig.pty.send("de"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 5, kWaitMs);
    QByteArray result;
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("abcde"));
    QCOMPARE(rig.com.InCount(), 0);
}

void TransportTest::openFailure_data() {
    QTest::addColumn<bool>("showErrors");
    QTest::addColumn<bool>("hasDialog");
    QTest::addColumn<QList<int>>("answers"); // 0 Abort, 1 Retry, 2 Retry after plugging the device in
    QTest::addColumn<bool>("expectedOpen");
    QTest::addColumn<int>("expectedDialogs");

    QTest::newRow("quiet") << false << true << QList<int>{1} << false << 0;
    QTest::newRow("abort") << true << true << QList<int>{0} << false << 1;
    QTest::newRow("retry twice, abort") << true << true << QList<int>{1, 1, 0} << false << 3;
    QTest::newRow("retry finds the device") << true << true << QList<int>{1, 2} << true << 2;
    QTest::newRow("no dialog supplied") << true << false << QList<int>{} << false << 0;
}

void TransportTest::openFailure() {
    QFETCH(bool, showErrors);
    QFETCH(bool, hasDialog);
    QFETCH(QList<int>, answers);
    QFETCH(bool, expectedOpen);
    QFETCH(int, expectedDialogs);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("ttyLater"));
    ScopedEmuPorts ports({QString(), QString(), name});
    TQCCom32 com;
    com.setPort(3);
    com.setShowErrors(showErrors);
    int dialogs = 0;
    QStringList texts;
    if (hasDialog) {
        com.errorDialog = [&](const QString& text) {
            ++dialogs;
            texts << text;
            const int answer = answers.isEmpty() ? 0 : answers.takeFirst();
            if (answer == 2) {
                pty.makeLink(name);
            }
            return answer == 0 ? Choice::Abort : Choice::Retry;
        };
    }

    QCOMPARE(com.Open(), expectedOpen);
    QCOMPARE(com.Opened(), expectedOpen);
    QCOMPARE(dialogs, expectedDialogs);
    for (const QString& text : texts) {
        QCOMPARE(text, QStringLiteral("Error opening COM3: "));
    }
    QCOMPARE(com.LastOpenDevice(), name);
    QCOMPARE(com.LastOpenError(), expectedOpen ? OpenError::None : OpenError::NoDevice);
}

void TransportTest::missingDeviceReasons() {
    ScopedEmuPorts ports({QStringLiteral("/nonexistent/ttyUSB9"), QString()});
    TQCCom32 com;
    com.setShowErrors(false);

    QVERIFY(!com.Open());
    QCOMPARE(com.LastOpenError(), OpenError::NoDevice);
    QCOMPARE(com.LastOpenDevice(), QStringLiteral("/nonexistent/ttyUSB9"));

    com.setPort(2);
    QVERIFY(!com.Write("x"));
    QCOMPARE(com.LastOpenError(), OpenError::NoDevice);
    QCOMPARE(com.LastOpenDevice(), QString());

    QByteArray result("stale");
    com.Read(result);
    QCOMPARE(result, QByteArray());
    QVERIFY(!com.Opened());
    QCOMPARE(com.InUse(), false);
}

void TransportTest::secondInstanceIsBusy() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());

    // Same device under its own name as Com2; we run as root in CI, where only flock keeps us out.
    ScopedEmuPorts ports({rig.pty.linkPath(), rig.pty.slavePath()});
    for (const int port : {1, 2}) {
        TQCCom32 second;
        second.setShowErrors(false);
        second.setPort(port);
        QVERIFY(!second.Open());
        QCOMPARE(second.LastOpenError(), OpenError::Busy);
        QVERIFY(!second.Write("x"));
    }
    QCOMPARE(rig.pty.drain(20), QByteArray());

    rig.com.Close();
    {
        TQCCom32 second;
        second.setShowErrors(false);
        QVERIFY(second.Open());
        QCOMPARE(second.LastOpenError(), OpenError::None);
        QVERIFY(!rig.com.Open());
        QCOMPARE(rig.com.LastOpenError(), OpenError::Busy);
    }
    // Destroying the holder lets the device go.
    QVERIFY(rig.com.Open());
}

void TransportTest::otherUsersAreKeptOutUntilClose() {
    if (::geteuid() != 0) {
        QSKIP("needs root to act as another user");
    }
    PtyPair pty;
    QVERIFY(pty.isValid());
    QCOMPARE(::fchmod(pty.slaveFd(), 0666), 0);
    // The link's folder is private; name the device itself.
    ScopedEmuPorts ports({pty.slavePath()});
    TQCCom32 com;
    com.setShowErrors(false);
    QVERIFY(com.Open());

    // A program that does not lock (a terminal program) is refused by TIOCEXCL.
    const QByteArray path = QFile::encodeName(pty.slavePath());
    const int plainOpen = runAsNobody([&] {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 ? 0 : errno;
    });
    if (plainOpen < 0) {
        QSKIP("cannot switch to user nobody here");
    }
    QCOMPARE(plainOpen, EBUSY);
    QCOMPARE(runAsNobody(tryOpenCode), 10 + int(OpenError::Busy));

    // Closing clears the exclusive mode even though the tty stays open elsewhere.
    com.Close();
    QCOMPARE(runAsNobody(tryOpenCode), 0);
}

void TransportTest::permissionDeniedIsReported() {
    PtyPair pty;
    QVERIFY(pty.isValid());
    QCOMPARE(::fchmod(pty.slaveFd(), 0), 0);
    ScopedEmuPorts ports({pty.slavePath()});

    int code = 0;
    if (::geteuid() == 0) {
        code = runAsNobody(tryOpenCode);
        if (code < 0) {
            QSKIP("cannot switch to user nobody here");
        }
    } else {
        code = tryOpenCode();
    }
    QCOMPARE(code, 10 + int(OpenError::PermissionDenied));
}

void TransportTest::openErrorFromErrno_data() {
    QTest::addColumn<int>("errorNumber");
    QTest::addColumn<OpenError>("expected");
    QTest::newRow("ENOENT") << ENOENT << OpenError::NoDevice;
    QTest::newRow("ENXIO") << ENXIO << OpenError::NoDevice;
    QTest::newRow("ENODEV") << ENODEV << OpenError::NoDevice;
    QTest::newRow("EACCES") << EACCES << OpenError::PermissionDenied;
    QTest::newRow("EPERM") << EPERM << OpenError::PermissionDenied;
    QTest::newRow("EBUSY") << EBUSY << OpenError::Busy;
    QTest::newRow("EWOULDBLOCK") << EWOULDBLOCK << OpenError::Busy;
    QTest::newRow("EINVAL") << EINVAL << OpenError::Other;
    QTest::newRow("EMFILE") << EMFILE << OpenError::Other;
}

void TransportTest::openErrorFromErrno() {
    QFETCH(int, errorNumber);
    QFETCH(OpenError, expected);
    QCOMPARE(TQCCom32::openErrorFor(errorNumber), expected);
}

void TransportTest::unplugClosesThePort_data() {
    QTest::addColumn<QString>("operation");
    QTest::newRow("plain read") << "read";
    QTest::newRow("terminated read") << "terminated read";
    QTest::newRow("write") << "write";
    QTest::newRow("in count") << "incount";
    QTest::newRow("purge") << "purge";
}

void TransportTest::unplugClosesThePort() {
    QFETCH(QString, operation);

    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setResponseTime(60000);
    int timeouts = 0;
    rig.com.OnTimeout = [&](TQCCom32*) { ++timeouts; };
    QVERIFY(rig.com.Open());
    rig.pty.unplug();

    if (operation == QLatin1String("read") || operation == QLatin1String("terminated read")) {
        if (operation == QLatin1String("terminated read")) {
            rig.com.setEndOfResponse(QStringLiteral("#13#10"));
        }
        QByteArray result("stale");
        rig.com.Read(result);
        QCOMPARE(result, QByteArray());
        QCOMPARE(rig.com.InUse(), false);
    } else if (operation == QLatin1String("write")) {
        QVERIFY(!rig.com.Write("x"));
    } else if (operation == QLatin1String("incount")) {
        QCOMPARE(rig.com.InCount(), 0);
    } else {
        rig.com.Purge();
    }
    QVERIFY(!rig.com.Opened());
    // It ended because the device went, not by waiting out the response time.
    QCOMPARE(rig.com.TimedOut(), false);
    QCOMPARE(timeouts, 0);

    // Later calls find no device and stay closed.
    QVERIFY(!rig.com.Write("x"));
    QCOMPARE(rig.com.LastOpenError(), OpenError::NoDevice);
    QVERIFY(!rig.com.Opened());
}

void TransportTest::repeatedReadsAfterUnplugDoNotHang() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("partial"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 7, kWaitMs);
    rig.pty.unplug();

    // The poll keeps reading every 20 ms after a lost link; none of these may block or spin.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) {
        QByteArray result;
        rig.com.Read(result);
        QVERIFY(!rig.com.Opened());
        QCOMPARE(rig.com.InCount(), 0);
    }
    QVERIFY2(clock.elapsed() < 20000, "reads after unplug hang");
}

void TransportTest::unplugDuringTerminatedRead() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    rig.com.setEndOfResponse(QStringLiteral("#13#10"));
    rig.com.setResponseTime(60000);
    int timeouts = 0;
    rig.com.OnTimeout = [&](TQCCom32*) { ++timeouts; };
    QVERIFY(rig.com.Open());
    QVERIFY(rig.pty.send("AB"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 2, kWaitMs);

    std::thread pull([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rig.pty.unplug();
    });
    QByteArray result;
    rig.com.Read(result);
    pull.join();

    QCOMPARE(result, QByteArray("AB"));
    QVERIFY(!rig.com.Opened());
    QCOMPARE(rig.com.TimedOut(), false);
    QCOMPARE(timeouts, 0);
    QCOMPARE(rig.com.InUse(), false);
}

void TransportTest::replugBehindTheSameName() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    QVERIFY(rig.com.Write("1"));
    QCOMPARE(rig.pty.receive(1), QByteArray("1"));

    rig.pty.unplug();
    QVERIFY(!rig.com.Write("2"));
    QVERIFY(!rig.com.Opened());

    QVERIFY(rig.pty.replug());
    QVERIFY(rig.com.Write("3"));
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.receive(1), QByteArray("3"));

    QVERIFY(rig.pty.send("4"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.com.InCount(), 1, kWaitMs);
    QByteArray result;
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("4"));

    // And once more through a read.
    rig.pty.unplug();
    rig.com.Read(result);
    QVERIFY(!rig.com.Opened());
    QVERIFY(rig.pty.replug());
    QVERIFY(rig.pty.send("5"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pty.pendingOnDevice(), 1, kWaitMs);
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("5"));
    QVERIFY(rig.com.Opened());
}

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
