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

namespace {

constexpr int kWaitMs = 5000; // generous: CI machines are slow and loaded

// A transport on port n that shows no dialogs.
struct QuietCom : TQCCom32 {
    explicit QuietCom(int port = 1) {
        setShowErrors(false);
        setPort(port);
    }
};

// One pty behind Com1 (through a symlink in EMU_PORTS) and a quiet transport on it.
struct Rig {
    explicit Rig(PtyPair::Mode mode = PtyPair::Mode::Raw) : pty(mode), ports({pty.makeLink()}) {}
    // The transport open on a working pty.
    bool open() { return pty.isValid() && com.Open(); }
    // The far end sends bytes; true once the transport counts them as waiting.
    bool feed(const QByteArray& bytes) {
        return pty.send(bytes) && QTest::qWaitFor([&] { return com.InCount() >= bytes.size(); }, kWaitMs);
    }
    PtyPair pty;
    ScopedEmuPorts ports;
    QuietCom com;
};

// Runs action on a thread of its own after ms, while the transport is busy reading.
std::thread later(int ms, std::function<void()> action) {
    return std::thread([ms, action = std::move(action)] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        action();
    });
}

// Runs body in a child process with the rights of user "nobody" and returns its exit code
// (below 255), or -1 when the rights cannot be dropped here.
int runAsNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255)
        return -1;
    return WEXITSTATUS(status);
}

// Exit code of a child that tries the transport: 0 opened, else 10 + the reason.
int tryOpenCode() {
    QuietCom com;
    return com.Open() ? 0 : 10 + int(com.LastOpenError());
}

QByteArray allByteValues() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

bool rtsCtsOn(const PtyPair& pty) {
    return (pty.deviceSettings()->c_cflag & CRTSCTS) != 0;
}

speed_t deviceSpeed(const PtyPair& pty) {
    const auto tio = pty.deviceSettings();
    return tio ? ::cfgetospeed(&*tio) : B0;
}

// Slows the line to 300 baud behind the transport's back, so a later reconfiguration shows.
void tamperSpeed(PtyPair& pty) {
    termios tio = *pty.deviceSettings();
    ::cfsetispeed(&tio, B300);
    ::cfsetospeed(&tio, B300);
    ::tcsetattr(pty.slaveFd(), TCSANOW, &tio);
}

} // namespace

class TransportTest : public QObject {
    Q_OBJECT

  private slots:
    void endOfResponseParsing_data();
    void endOfResponseParsing();
    void openConfiguresRawLine_data();
    void openConfiguresRawLine();
    void settersReopenOnlyOnChange();

    void plainReadTakesWhatArrivedWithoutWaiting_data();
    void plainReadTakesWhatArrivedWithoutWaiting();
    void terminatedReadCompletes_data();
    void terminatedReadCompletes();
    void terminatedReadTimesOut_data();
    void terminatedReadTimesOut();
    void nestedReadIsRefused_data();
    void nestedReadIsRefused();

    void writeSendsExactlyTheBytes_data();
    void writeSendsExactlyTheBytes();
    void writeGivesUpWhenFarEndStalls();
    void closedPortOpensOnUseAndPurges();

    void openFailure_data();
    void openFailure();
    void secondInstanceIsBusy();
    void otherUsersAreKeptOut();

    void unplugClosesThePort_data();
    void unplugClosesThePort();
};

void TransportTest::endOfResponseParsing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("terminator");

    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("CR LF") << "#13#10" << QByteArray("\r\n");
    QTest::newRow("literal then code") << "OK#13" << QByteArray("OK\r");
    QTest::newRow("letters after a code fall back") << "#13OK" << QByteArray("#13OK");
    QTest::newRow("empty code falls back") << "##" << QByteArray("##");
    QTest::newRow("space in code falls back") << "#1 3" << QByteArray("#1 3");
    QTest::newRow("zero byte") << "#0" << QByteArray(1, '\0');
    QTest::newRow("low 8 bits") << "#300" << QByteArray(1, char(44));
    QTest::newRow("lone hash") << "#" << QByteArray();
    QTest::newRow("trailing hash after code") << "#13#" << QByteArray("\r");
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

    QTest::newRow("9600") << 9600 << speed_t(B9600) << TQCCom32::hsNone;
    QTest::newRow("19200") << 19200 << speed_t(B19200) << TQCCom32::hsNone;
    QTest::newRow("115200") << 115200 << speed_t(B115200) << TQCCom32::hsNone;
    QTest::newRow("19200 hardware") << 19200 << speed_t(B19200) << TQCCom32::hsHardware;
}

void TransportTest::openConfiguresRawLine() {
    QFETCH(int, baud);
    QFETCH(speed_t, speed);
    QFETCH(TQCCom32::THandshake, handshake);

    // A cooked pty: whatever is raw afterwards, the transport made so.
    Rig rig(PtyPair::Mode::Cooked);
    rig.com.setBaud(baud);
    rig.com.setHandshaking(handshake);
    QVERIFY(rig.open());

    const auto tio = rig.pty.deviceSettings();
    QVERIFY(tio);
    QCOMPARE(::cfgetospeed(&*tio), speed);
    QCOMPARE(::cfgetispeed(&*tio), speed);
    // 8N1, receiver on, modem lines ignored, RTS/CTS only with hardware handshaking.
    const tcflag_t rtsCts = handshake == TQCCom32::hsHardware ? CRTSCTS : 0;
    QCOMPARE(tio->c_cflag & (CSIZE | PARENB | CSTOPB | CREAD | CLOCAL | CRTSCTS),
             tcflag_t(CS8 | CREAD | CLOCAL | rtsCts));
    // No line editing, echo, signals, translation or software flow control.
    QCOMPARE(tio->c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(tio->c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK | BRKINT), tcflag_t(0));
    QCOMPARE(tio->c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(int(tio->c_cc[VMIN]), 0);
    QCOMPARE(int(tio->c_cc[VTIME]), 0);
}

void TransportTest::settersReopenOnlyOnChange() {
    PtyPair a;
    PtyPair b;
    QVERIFY(a.isValid() && b.isValid());
    ScopedEmuPorts ports({a.makeLink(), b.makeLink()});
    QuietCom com;

    // While closed the setters only store.
    com.setPort(2);
    com.setBaud(38400);
    com.setHandshaking(TQCCom32::hsHardware);
    QVERIFY(!com.Opened());
    QVERIFY(com.Open());
    QCOMPARE(deviceSpeed(b), speed_t(B38400));
    QVERIFY(rtsCtsOn(b));

    // Same values: no reopen, so the tampered speed survives.
    tamperSpeed(b);
    com.setPort(2);
    com.setBaud(38400);
    com.setHandshaking(TQCCom32::hsHardware);
    QCOMPARE(deviceSpeed(b), speed_t(B300));
    QVERIFY(com.Opened());

    // A new value while open: closed and opened again with it.
    com.setBaud(19200);
    QVERIFY(com.Opened());
    QCOMPARE(deviceSpeed(b), speed_t(B19200));
    com.setHandshaking(TQCCom32::hsNone);
    QVERIFY(com.Opened());
    QVERIFY(!rtsCtsOn(b));
    com.setPort(1);
    QVERIFY(com.Opened());
    QCOMPARE(deviceSpeed(a), speed_t(B19200));
    QVERIFY(com.Write("x"));
    QCOMPARE(a.receive(1), QByteArray("x"));
    QCOMPARE(b.drain(50), QByteArray());

    // The old device was let go, the new one is held until closed.
    QuietCom other(2);
    QVERIFY(other.Open());
    other.Close();
    other.setPort(1);
    QVERIFY(!other.Open());
    QCOMPARE(other.LastOpenError(), OpenError::Busy);
    com.Close();
    QVERIFY(other.Open());
}

void TransportTest::plainReadTakesWhatArrivedWithoutWaiting_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("nothing arrived") << QByteArray();
    QTest::newRow("zero and 0xFF") << QByteArray("\x00\xFF", 2);
    QTest::newRow("every byte value") << allByteValues();
}

void TransportTest::plainReadTakesWhatArrivedWithoutWaiting() {
    QFETCH(QByteArray, bytes);

    // Cooked pty: only the transport's own raw settings keep these bytes intact.
    Rig rig(PtyPair::Mode::Cooked);
    rig.com.setResponseTime(20000);
    QVERIFY(rig.open());
    QVERIFY(rig.feed(bytes));

    QByteArray result("stale");
    QElapsedTimer clock;
    clock.start();
    rig.com.Read(result);
    // A plain read must not wait for the response time (20 s); this only guards against that.
    QVERIFY2(clock.elapsed() < 10000, "a plain read waited");
    QCOMPARE(result, bytes);
    QCOMPARE(rig.com.TimedOut(), false);
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.drain(20), QByteArray()); // nothing echoed back

    rig.com.Read(result);
    QCOMPARE(result, QByteArray());
}

void TransportTest::terminatedReadCompletes_data() {
    QTest::addColumn<QString>("endOfResponse");
    QTest::addColumn<QByteArray>("arrived");
    QTest::addColumn<QByteArray>("late"); // sent while the read waits

    QTest::newRow("CR LF at the end") << "#13#10" << QByteArray("OK\r\n") << QByteArray();
    QTest::newRow("bytes after CR LF kept") << "#13#10" << QByteArray("OK\r\nXY") << QByteArray();
    QTest::newRow("CR LF first") << "#13#10" << QByteArray("\r\nrest") << QByteArray();
    QTest::newRow("literal and code") << "OK#13" << QByteArray("xxOK\rz") << QByteArray();
    QTest::newRow("zero byte") << "#0" << QByteArray("ab\0cd", 5) << QByteArray();
    QTest::newRow("split over two chunks") << "#13#10" << QByteArray("OK\r") << QByteArray("\n");
}

void TransportTest::terminatedReadCompletes() {
    QFETCH(QString, endOfResponse);
    QFETCH(QByteArray, arrived);
    QFETCH(QByteArray, late);

    Rig rig;
    rig.com.setEndOfResponse(endOfResponse);
    rig.com.setResponseTime(20000);
    int timeouts = 0;
    rig.com.OnTimeout = [&](TQCCom32*) { ++timeouts; };
    QVERIFY(rig.open());
    QVERIFY(rig.feed(arrived));

    std::thread tail = later(100, [&] { rig.pty.send(late); });
    QByteArray result;
    rig.com.Read(result);
    tail.join();
    QCOMPARE(result, arrived + late);
    QCOMPARE(rig.com.TimedOut(), false);
    QCOMPARE(timeouts, 0);
    QCOMPARE(rig.com.InUse(), false);
}

void TransportTest::terminatedReadTimesOut_data() {
    // 0 Abort, 1 Retry, 2 Retry after the reply's end came
    QTest::addColumn<bool>("showErrors");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("expectedEvents");
    QTest::addColumn<QByteArray>("expectedResult");

    QTest::newRow("quiet: partial kept, no dialog")
        << false << QList<int>{1} << QStringList{"timeout"} << QByteArray("AB\r");
    QTest::newRow("abort") << true << QList<int>{0} << QStringList{"timeout", "dialog"} << QByteArray("AB\r");
    QTest::newRow("retry waits afresh, then abort")
        << true << QList<int>{1, 0} << QStringList{"timeout", "dialog", "timeout", "dialog"}
        << QByteArray("AB\r");
    QTest::newRow("retry and the reply completes")
        << true << QList<int>{2} << QStringList{"timeout", "dialog"} << QByteArray("AB\r\r\n");
}

void TransportTest::terminatedReadTimesOut() {
    QFETCH(bool, showErrors);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, expectedEvents);
    QFETCH(QByteArray, expectedResult);

    Rig rig;
    rig.com.setShowErrors(showErrors);
    rig.com.setEndOfResponse(QStringLiteral("#13#10"));
    rig.com.setResponseTime(100);
    QStringList events;
    rig.com.OnTimeout = [&](TQCCom32* sender) {
        events << (sender == &rig.com && sender->TimedOut() ? "timeout" : "wrong sender or flag");
    };
    rig.com.errorDialog = [&](const QString& text) {
        events << (text == QStringLiteral("Timeout waiting for response.") ? "dialog"
                                                                           : "wrong text: " + text);
        const int answer = answers.isEmpty() ? 0 : answers.takeFirst();
        const auto endArrived = [&] { return rig.com.InCount() >= 2; };
        if (answer == 2 && !(rig.pty.send("\r\n") && QTest::qWaitFor(endArrived, kWaitMs)))
            events << "the reply's end never came";
        return answer == 0 ? Choice::Abort : Choice::Retry;
    };
    QVERIFY(rig.open());
    QVERIFY(rig.feed("AB\r"));

    QByteArray result;
    QElapsedTimer clock;
    clock.start();
    rig.com.Read(result);
    // Each time-out, the first and every retried one, gave the whole response time.
    QVERIFY(clock.elapsed() >= 100 * expectedEvents.count(QStringLiteral("timeout")));
    QCOMPARE(events, expectedEvents);
    QCOMPARE(result, expectedResult);
    QCOMPARE(rig.com.TimedOut(), !expectedResult.endsWith("\r\n"));
    QCOMPARE(rig.com.InUse(), false);

    // The next complete response clears the flag.
    QVERIFY(rig.feed("\r\n"));
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("\r\n"));
    QCOMPARE(rig.com.TimedOut(), false);
}

void TransportTest::nestedReadIsRefused_data() {
    QTest::addColumn<bool>("showErrors");
    QTest::newRow("with dialogs") << true;
    QTest::newRow("quiet") << false;
}

void TransportTest::nestedReadIsRefused() {
    QFETCH(bool, showErrors);

    Rig rig;
    rig.com.setShowErrors(showErrors);
    rig.com.setAllowEvents(true);
    rig.com.setEndOfResponse(QStringLiteral("#10"));
    rig.com.setResponseTime(20000);
    QStringList notices;
    rig.com.infoDialog = [&](const QString& text) { notices << text; };
    QVERIFY(rig.open());
    QVERIFY(rig.feed("Z"));

    // An event handled while the read waits tries a read of its own (never after this test).
    bool inUseInside = false;
    QByteArray inner("stale");
    QObject scope;
    QTimer::singleShot(0, &scope, [&] {
        inUseInside = rig.com.InUse();
        rig.com.Read(inner);
        rig.pty.send("\n");
    });
    QByteArray outer;
    rig.com.Read(outer);

    QVERIFY(inUseInside);
    QCOMPARE(inner, QByteArray());
    QCOMPARE(outer, QByteArray("Z\n")); // the nested read took nothing away
    QCOMPARE(rig.com.InUse(), false);
    QCOMPARE(notices, showErrors ? QStringList{"Port is in use -- operation aborted"} : QStringList{});
}

void TransportTest::writeSendsExactlyTheBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QByteArray large;
    for (int i = 0; i < 300000; ++i)
        large.append(char((i * 7) & 0xFF));
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("set message with a zero operand") << QByteArray("\xF2\x00\x05", 3);
    QTest::newRow("LF is not expanded") << QByteArray("\n\r\n");
    QTest::newRow("every byte value") << allByteValues();
    QTest::newRow("more than a pty holds") << large;
}

void TransportTest::writeSendsExactlyTheBytes() {
    QFETCH(QByteArray, bytes);

    Rig rig(PtyPair::Mode::Cooked);
    QVERIFY(rig.pty.isValid());
    QByteArray received;
    std::thread reader([&] { received = rig.pty.receive(int(bytes.size()), 20000); });
    const bool written = rig.com.Write(bytes); // opens lazily
    reader.join();
    QVERIFY(written);
    QVERIFY(rig.com.Opened());
    QCOMPARE(received.size(), bytes.size());
    QVERIFY(received == bytes);
    QCOMPARE(rig.pty.drain(50), QByteArray());
}

void TransportTest::writeGivesUpWhenFarEndStalls() {
    Rig rig;
    QVERIFY(rig.pty.isValid());
    // Far more than a pty holds, and nobody reads the far end.
    QVERIFY(!rig.com.Write(QByteArray(1 << 20, 'x')));
    QVERIFY(rig.com.Opened());
}

void TransportTest::closedPortOpensOnUseAndPurges() {
    Rig rig;
    rig.com.Purge(); // closed: nothing happens
    QVERIFY(rig.pty.send("abc"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.pty.pendingOnDevice(), 3, kWaitMs);
    QCOMPARE(rig.com.InCount(), 0); // closed, and it does not open
    QVERIFY(!rig.com.Opened());
    QByteArray result;
    rig.com.Read(result); // opens
    QVERIFY(rig.com.Opened());
    QCOMPARE(result, QByteArray("abc"));

    rig.com.Close();
    rig.com.Close(); // harmless when closed
    QVERIFY(!rig.com.Opened());
    QVERIFY(rig.com.Write("a")); // opens again
    QVERIFY(rig.com.Opened());
    QCOMPARE(rig.pty.receive(1), QByteArray("a"));

    QVERIFY(rig.feed("de"));
    rig.com.Purge();
    QCOMPARE(rig.com.InCount(), 0);
    rig.com.Read(result);
    QCOMPARE(result, QByteArray());
    QVERIFY(rig.feed("new"));
    rig.com.Read(result);
    QCOMPARE(result, QByteArray("new"));
}

void TransportTest::openFailure_data() {
    QTest::addColumn<int>("port"); // 1: a path that does not exist, 2: no device named, 3: plugged in later
    QTest::addColumn<bool>("showErrors");
    QTest::addColumn<QList<int>>("answers"); // 0 Abort, 1 Retry, 2 Retry after plugging in; none: no dialog
    QTest::addColumn<bool>("expectedOpen");
    QTest::addColumn<int>("expectedDialogs");

    QTest::newRow("quiet") << 1 << false << QList<int>{1} << false << 0;
    QTest::newRow("no device named") << 2 << false << QList<int>{1} << false << 0;
    QTest::newRow("abort") << 3 << true << QList<int>{0} << false << 1;
    QTest::newRow("retry twice, abort") << 3 << true << QList<int>{1, 1, 0} << false << 3;
    QTest::newRow("retry finds the device") << 3 << true << QList<int>{1, 2} << true << 2;
    QTest::newRow("no dialog supplied") << 3 << true << QList<int>{} << false << 0;
}

void TransportTest::openFailure() {
    QFETCH(int, port);
    QFETCH(bool, showErrors);
    QFETCH(QList<int>, answers);
    QFETCH(bool, expectedOpen);
    QFETCH(int, expectedDialogs);

    PtyPair pty;
    QVERIFY(pty.isValid());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList devices{QStringLiteral("/nonexistent/ttyUSB9"), QString(), dir.filePath("ttyLater")};
    ScopedEmuPorts ports(devices);
    QuietCom com(port);
    com.setShowErrors(showErrors);
    QStringList texts;
    if (!answers.isEmpty()) {
        com.errorDialog = [&](const QString& text) {
            texts << text;
            const int answer = answers.isEmpty() ? 0 : answers.takeFirst();
            if (answer == 2)
                pty.makeLink(devices[2]);
            return answer == 0 ? Choice::Abort : Choice::Retry;
        };
    }

    QCOMPARE(com.Open(), expectedOpen);
    QCOMPARE(com.Opened(), expectedOpen);
    QCOMPARE(texts, QStringList(expectedDialogs, QStringLiteral("Error opening COM%1: ").arg(port)));
    QCOMPARE(com.LastOpenDevice(), devices[port - 1]);
    QCOMPARE(com.LastOpenError(), expectedOpen ? OpenError::None : OpenError::NoDevice);
    if (expectedOpen)
        return;

    // With no device every call fails, an empty write too.
    com.setShowErrors(false);
    QVERIFY(!com.Write(QByteArray()));
    QByteArray result("stale");
    com.Read(result);
    QCOMPARE(result, QByteArray());
    QVERIFY(!com.Opened());
    QCOMPARE(com.InUse(), false);
}

void TransportTest::secondInstanceIsBusy() {
    Rig rig;
    QVERIFY(rig.open());

    // Same device under its own name as Com2; we run as root in CI, where only flock keeps us out.
    ScopedEmuPorts ports({rig.pty.linkPath(), rig.pty.slavePath()});
    for (const int port : {1, 2}) {
        QuietCom second(port);
        QVERIFY(!second.Open());
        QCOMPARE(second.LastOpenError(), OpenError::Busy);
        QVERIFY(!second.Write("x"));
    }
    QCOMPARE(rig.pty.drain(20), QByteArray());

    rig.com.Close();
    {
        QuietCom second;
        QVERIFY(second.Open());
        QCOMPARE(second.LastOpenError(), OpenError::None);
        QVERIFY(!rig.com.Open());
        QCOMPARE(rig.com.LastOpenError(), OpenError::Busy);
    }
    // Destroying the holder lets the device go.
    QVERIFY(rig.com.Open());
}

void TransportTest::otherUsersAreKeptOut() {
    PtyPair pty;
    QVERIFY(pty.isValid());
    // The link's folder is private; name the device itself.
    ScopedEmuPorts ports({pty.slavePath()});
    const bool root = ::geteuid() == 0;

    // A device the user may not open says so.
    QCOMPARE(::fchmod(pty.slaveFd(), 0), 0);
    const int denied = root ? runAsNobody(tryOpenCode) : tryOpenCode();
    if (denied < 0)
        QSKIP("cannot switch to user nobody here");
    QCOMPARE(denied, 10 + int(OpenError::PermissionDenied));
    if (!root)
        QSKIP("needs root to act as another user");

    QCOMPARE(::fchmod(pty.slaveFd(), 0666), 0);
    QuietCom com;
    QVERIFY(com.Open());
    // A program that does not lock (a terminal program) is refused by TIOCEXCL.
    const QByteArray path = QFile::encodeName(pty.slavePath());
    const int plainOpen = runAsNobody([&] {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 ? 0 : errno;
    });
    QCOMPARE(plainOpen, EBUSY);
    QCOMPARE(runAsNobody(tryOpenCode), 10 + int(OpenError::Busy));

    // Closing clears the exclusive mode even though the tty stays open elsewhere.
    com.Close();
    QCOMPARE(runAsNobody(tryOpenCode), 0);
}

void TransportTest::unplugClosesThePort_data() {
    QTest::addColumn<int>("operation"); // 0 plain read, 1 terminated read unplugged while waiting, 2 write
    QTest::newRow("plain read") << 0;
    QTest::newRow("unplugged during a terminated read") << 1;
    QTest::newRow("write") << 2;
}

void TransportTest::unplugClosesThePort() {
    QFETCH(int, operation);

    Rig rig;
    rig.com.setResponseTime(60000);
    int timeouts = 0;
    rig.com.OnTimeout = [&](TQCCom32*) { ++timeouts; };
    QVERIFY(rig.open());
    QVERIFY(rig.feed("partial"));

    QByteArray result("stale");
    if (operation == 1) {
        rig.com.setEndOfResponse(QStringLiteral("#13#10"));
        std::thread pull = later(100, [&] { rig.pty.unplug(); });
        rig.com.Read(result);
        pull.join();
        QCOMPARE(result, QByteArray("partial")); // what came before the device went is kept
    } else {
        rig.pty.unplug();
        if (operation == 0)
            rig.com.Read(result);
        else
            QVERIFY(!rig.com.Write("x"));
        QCOMPARE(result, operation == 0 ? QByteArray() : QByteArray("stale"));
    }
    QVERIFY(!rig.com.Opened());
    QCOMPARE(rig.com.InUse(), false);
    // It ended because the device went, not by waiting out the response time.
    QCOMPARE(rig.com.TimedOut(), false);
    QCOMPARE(timeouts, 0);

    // The poll keeps reading every 20 ms after a lost link; none of these may block or spin.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) {
        rig.com.Read(result);
        QVERIFY(!rig.com.Opened());
        QCOMPARE(rig.com.InCount(), 0);
    }
    QVERIFY2(clock.elapsed() < 20000, "reads after unplug hang");
    QVERIFY(!rig.com.Write("x"));
    QCOMPARE(rig.com.LastOpenError(), OpenError::NoDevice);

    // A new device behind the same name is opened by the next write or (plain) read.
    QVERIFY(rig.pty.replug());
    rig.com.setEndOfResponse(QString());
    if (operation == 2) {
        QVERIFY(rig.com.Write("w"));
        QCOMPARE(rig.pty.receive(1), QByteArray("w"));
    } else {
        QVERIFY(rig.pty.send("r"));
        QTRY_COMPARE_WITH_TIMEOUT(rig.pty.pendingOnDevice(), 1, kWaitMs);
        rig.com.Read(result);
        QCOMPARE(result, QByteArray("r"));
    }
    QVERIFY(rig.com.Opened());
}

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
