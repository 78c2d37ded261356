// The installed desktop files as the desktop reads them, and the programs' command-line manners.
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kEmuType = QStringLiteral("application/x-emu-settings");

QString dataDir() {
    return qEnvironmentVariable("EMU_TEST_DATADIR");
}

QString program(const QString& name) {
    return qEnvironmentVariable("EMU_BIN_DIR") + QLatin1Char('/') + name;
}

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs a program as from a console without a desktop session.
Run runWithoutDisplay(const QString& name, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(var));
    process.setProcessEnvironment(env);
    process.start(program(name), args);
    Run run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class TestDesktopFiles : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void desktopEntryOpensFilesOfTheType();
    void mimeTypeResolves_data();
    void mimeTypeResolves();
    void versionNeedsNoDisplay_data();
    void versionNeedsNoDisplay();
    void unknownOptionIsWrongUsage_data();
    void unknownOptionIsWrongUsage();
    void subCommandHelpNamesTheSubCommand();

  private:
    QTemporaryDir files_;
};

void TestDesktopFiles::initTestCase() {
    QVERIFY2(!dataDir().isEmpty(), "EMU_TEST_DATADIR names the installed share folder");
    QVERIFY(QFile::exists(dataDir() + QStringLiteral("/mime/packages/emu-interface.xml")));
    // Qt reads the installed XML (there is no compiled cache in the test prefix) before the system's.
    qputenv("XDG_DATA_DIRS", (dataDir() + QStringLiteral(":/usr/local/share:/usr/share")).toLocal8Bit());
    QVERIFY(files_.isValid());
}

void TestDesktopFiles::desktopEntryOpensFilesOfTheType() {
    QSettings entry(dataDir() + QStringLiteral("/applications/emu-interface.desktop"), QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(entry.value(QStringLiteral("Exec")).toString(), QStringLiteral("emu-interface %f"));
    // QSettings splits a ;-list at its commas only; the raw value is the list.
    QVERIFY(entry.value(QStringLiteral("MimeType")).toString().split(QLatin1Char(';')).contains(kEmuType));
    // The window's class is the application name main() sets.
    QCOMPARE(entry.value(QStringLiteral("StartupWMClass")).toString(), QStringLiteral("emu-interface"));
    QVERIFY(
        QFile::exists(dataDir() + QStringLiteral("/metainfo/io.github.dorvanta.emu-interface.metainfo.xml")));
    QVERIFY(QFile::exists(dataDir() + QStringLiteral("/icons/hicolor/scalable/apps/emu-interface.svg")));
}

void TestDesktopFiles::mimeTypeResolves_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("isEmuFile");
    const QByteArray file = "#EMU Version\r\n13131244\r\n#VehicleInfo\r\n~~~\r\n";
    QTest::newRow("lower-case extension") << "tune.emu" << file << true;
    QTest::newRow("upper-case extension") << "TUNE.EMU" << file << true;
    QTest::newRow("first line, no extension") << "tune-backup" << file << true;
    QTest::newRow("first line, unknown extension") << "tune.x1" << file << true;
    QTest::newRow("other text") << "notes" << QByteArray("#EMU notes\r\nnothing here\r\n") << false;
}

void TestDesktopFiles::mimeTypeResolves() {
    QFETCH(QString, name);
    QFETCH(QByteArray, contents);
    QFETCH(bool, isEmuFile);
    const QString path = files_.filePath(name);
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(contents);
    out.close();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QCOMPARE(type.name() == kEmuType, isEmuFile);
    if (isEmuFile)
        QVERIFY(type.inherits(QStringLiteral("text/plain")));
}

void TestDesktopFiles::versionNeedsNoDisplay_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("window") << "emu-interface";
    QTest::newRow("cli") << "emu-cli";
    QTest::newRow("simulator") << "emu-sim";
}

void TestDesktopFiles::versionNeedsNoDisplay() {
    QFETCH(QString, name);
    const Run run = runWithoutDisplay(name, {QStringLiteral("--version")});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out.trimmed(), name + QStringLiteral(" 1.13"));
}

void TestDesktopFiles::unknownOptionIsWrongUsage_data() {
    versionNeedsNoDisplay_data();
}

void TestDesktopFiles::unknownOptionIsWrongUsage() {
    QFETCH(QString, name);
    const Run run = runWithoutDisplay(name, {QStringLiteral("--no-such-option")});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QStringLiteral("no-such-option")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestDesktopFiles::subCommandHelpNamesTheSubCommand() {
    for (const QString& command : {QStringLiteral("identify"), QStringLiteral("read"),
                                   QStringLiteral("write"), QStringLiteral("show")}) {
        const Run run = runWithoutDisplay(QStringLiteral("emu-cli"), {command, QStringLiteral("--help")});
        QCOMPARE(run.status, 0);
        const QString usage = run.out.section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(usage.startsWith(QStringLiteral("Usage: emu-cli ") + command + QStringLiteral(" [options]")),
                 qPrintable(usage));
        QVERIFY(!run.out.contains(QStringLiteral("--help-all")));
    }
}

QTEST_GUILESS_MAIN(TestDesktopFiles)
#include "tst_desktopfiles.moc"
