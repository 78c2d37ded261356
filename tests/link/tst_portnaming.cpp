#include "link/PortNaming.h"
#include "link/TQCCom32.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <sys/stat.h>

class PortNamingTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void emuPortsNamesPorts_data();
    void emuPortsNamesPorts();
    void unsetUsesMachineDevices();
    void transportUsesTheNamedDevice();
    void machineDevicesInPortOrder();
    void machineDevicesOfMissingFolder();
    void machineDevicesListsEveryDevNode();
    void portName_data();
    void portName();

  private:
    bool hadEmuPorts_ = false;
    QByteArray savedEmuPorts_;
};

void PortNamingTest::init() {
    hadEmuPorts_ = qEnvironmentVariableIsSet("EMU_PORTS");
    savedEmuPorts_ = qgetenv("EMU_PORTS");
}

void PortNamingTest::cleanup() {
    if (hadEmuPorts_) {
        qputenv("EMU_PORTS", savedEmuPorts_);
    } else {
        qunsetenv("EMU_PORTS");
    }
}

void PortNamingTest::emuPortsNamesPorts_data() {
    QTest::addColumn<QString>("emuPorts");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");

    QStringList many;
    for (int i = 1; i <= 25; ++i) {
        many << QStringLiteral("/dev/d%1").arg(i);
    }

    QTest::newRow("first") << "/dev/a:/dev/b:/dev/c" << 1 << "/dev/a";
    QTest::newRow("third") << "/dev/a:/dev/b:/dev/c" << 3 << "/dev/c";
    QTest::newRow("empty entry is no device") << "/dev/a::/dev/c" << 2 << "";
    QTest::newRow("entry after an empty one") << "/dev/a::/dev/c" << 3 << "/dev/c";
    QTest::newRow("past the list") << "/dev/a" << 2 << "";
    QTest::newRow("trailing colon") << "/dev/a:" << 2 << "";
    QTest::newRow("leading colon") << ":/dev/b" << 1 << "";
    QTest::newRow("set but empty") << "" << 1 << "";
    QTest::newRow("relative path kept as written") << "sim/ttyEMU" << 1 << "sim/ttyEMU";
    QTest::newRow("port 20 of 25 entries") << many.join(':') << 20 << "/dev/d20";
    QTest::newRow("port 21 is not a port") << many.join(':') << 21 << "";
    QTest::newRow("port 0 is not a port") << many.join(':') << 0 << "";
    QTest::newRow("negative port") << many.join(':') << -1 << "";
}

void PortNamingTest::emuPortsNamesPorts() {
    QFETCH(QString, emuPorts);
    QFETCH(int, port);
    QFETCH(QString, expected);

    qputenv("EMU_PORTS", emuPorts.toLocal8Bit());
    QCOMPARE(PortNaming::devicePath(port), expected);
}

void PortNamingTest::unsetUsesMachineDevices() {
    qunsetenv("EMU_PORTS");
    const QStringList devices = PortNaming::machineSerialDevices();
    for (int port = PortNaming::kFirstPort; port <= PortNaming::kLastPort; ++port) {
        const QString expected = port <= devices.size() ? devices.at(port - 1) : QString();
        QCOMPARE(PortNaming::devicePath(port), expected);
    }

    // Set to empty is not the same as unset: no machine device may leak through.
    qputenv("EMU_PORTS", "");
    for (int port = PortNaming::kFirstPort; port <= PortNaming::kLastPort; ++port) {
        QCOMPARE(PortNaming::devicePath(port), QString());
    }
}

void PortNamingTest::transportUsesTheNamedDevice() {
    qputenv("EMU_PORTS", "/nonexistent/one:/nonexistent/two");
    TQCCom32 com;
    com.setShowErrors(false);
    QCOMPARE(com.DevicePath(), QStringLiteral("/nonexistent/one"));
    com.setPort(2);
    QCOMPARE(com.DevicePath(), QStringLiteral("/nonexistent/two"));
    QVERIFY(!com.Open());
    QCOMPARE(com.LastOpenDevice(), QStringLiteral("/nonexistent/two"));
    QCOMPARE(com.LastOpenError(), TQCCom32::OpenError::NoDevice);
}

void PortNamingTest::machineDevicesInPortOrder() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QStringList files = {QStringLiteral("ttyUSB1"), QStringLiteral("ttyUSB0"), QStringLiteral("ttyS10"),
                               QStringLiteral("ttyS2"), QStringLiteral("ttyACM10"), QStringLiteral("ttyACM2"),
                               // not serial ports of ours
                               QStringLiteral("ttyS"), QStringLiteral("ttySAC0"), QStringLiteral("ttyUSBx"),
                               QStringLiteral("tty0"), QStringLiteral("console"), QStringLiteral("xttyS1")};
    for (const QString& name : files) {
        QFile file(root.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // Real entries are device nodes, not regular files; a FIFO stands in for one.
    QVERIFY(::mkfifo(QFile::encodeName(root.filePath(QStringLiteral("ttyACM0"))).constData(), 0600) == 0);

    const QStringList expected = {
        root.filePath(QStringLiteral("ttyUSB0")),  root.filePath(QStringLiteral("ttyUSB1")),
        root.filePath(QStringLiteral("ttyACM0")),  root.filePath(QStringLiteral("ttyACM2")),
        root.filePath(QStringLiteral("ttyACM10")), root.filePath(QStringLiteral("ttyS2")),
        root.filePath(QStringLiteral("ttyS10"))};
    QCOMPARE(PortNaming::machineSerialDevices(root.path()), expected);
}

void PortNamingTest::machineDevicesOfMissingFolder() {
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QCOMPARE(PortNaming::machineSerialDevices(root.path()), QStringList());
    QCOMPARE(PortNaming::machineSerialDevices(root.filePath(QStringLiteral("missing"))), QStringList());
}

void PortNamingTest::machineDevicesListsEveryDevNode() {
    // Counted independently: every /dev/ttyS<n>, ttyUSB<n> and ttyACM<n> character device.
    int expected = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
            if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
                name.find_first_not_of("0123456789", prefix.size()) == std::string::npos &&
                entry.is_character_file(error)) {
                ++expected;
            }
        }
    }
    if (expected == 0) {
        QSKIP("this machine has no serial device nodes");
    }
    QCOMPARE(PortNaming::machineSerialDevices().size(), expected);
}

void PortNamingTest::portName_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1") << 1 << "Com1";
    QTest::newRow("9") << 9 << "Com9";
    QTest::newRow("20") << 20 << "Com20";
}

void PortNamingTest::portName() {
    QFETCH(int, port);
    QFETCH(QString, expected);
    QCOMPARE(PortNaming::portName(port), expected);
}

QTEST_GUILESS_MAIN(PortNamingTest)
#include "tst_portnaming.moc"
