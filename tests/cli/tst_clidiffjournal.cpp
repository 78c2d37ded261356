// emu-cli diff and journal as a user runs them: the real binary on files, journals and a simulated unit.
#include "calibration/EditJournal.h"
#include "calibration/SettingsFile.h"

#include "EmuSimulator.h"
#include "cli_helpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Image = std::array<std::uint8_t, 481>;

QString writeTune(const QTemporaryDir& dir, const QString& name, const Image& image, int model = 3) {
    EmuIdentity id;
    id.bytes = {1, std::uint8_t(model), 13, 1, 1, 4, 4, 0};
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(SettingsFile::write(id, VehicleInfo{}, image.data()));
    return path;
}

// The base tune with four known changes: Cylinders (setup 80) 4 -> 6, setup byte 13 (no label),
// timing point 30 + 4 degrees, fuel-vacuum point 10 set to -7 %.
Image changed(Image image) {
    image[80] = 7;
    image[13] = std::uint8_t(image[13] + 1);
    image[101 + 29] = std::uint8_t(image[101 + 29] + 4);
    image[233 + 9] = 94;
    return image;
}

EditRecord edit(MapId map, int point, double from, double to) {
    EditRecord r;
    r.map = map;
    r.point = point;
    r.oldValue = from;
    r.newValue = to;
    r.sent = true;
    r.time = QDateTime(QDate(2026, 5, 2), QTime(14, 3, 7, 250));
    return r;
}

} // namespace

class TestCliDiffJournal : public QObject {
    Q_OBJECT

  private slots:
    void diffOfAFileWithItselfIsEmpty();
    void diffListsExactlyTheKnownDifferences();
    void diffAgainstAUnit();
    void diffUsage_data();
    void diffUsage();
    void journalListsItsEdits();
    void journalCutIsReportedAndTheLinesBeforeKept();
    void journalListsTheStateFolder();
    void journalShowsControlBytesOfASerialSafely();

  private:
    QTemporaryDir dir_;
    Image base_ = EmuSimulator::baseTune(3, QStringLiteral("AB-010203-04"));
};

void TestCliDiffJournal::diffOfAFileWithItselfIsEmpty() {
    const QString a = writeTune(dir_, QStringLiteral("a.emu"), base_);
    const Run r = runCli({"diff", a, a});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("The tunes are the same\n"));
    const Run j = runCli({"diff", "--json", a, a});
    QCOMPARE(j.status, 0);
    const QJsonObject doc = QJsonDocument::fromJson(j.out.toUtf8()).object();
    QVERIFY(doc["equal"].toBool());
    QCOMPARE(doc["setup"].toArray().size(), 0);
    QCOMPARE(doc["points"].toArray().size(), 0);
}

void TestCliDiffJournal::diffListsExactlyTheKnownDifferences() {
    const QString a = writeTune(dir_, QStringLiteral("a.emu"), base_);
    const QString b = writeTune(dir_, QStringLiteral("b.emu"), changed(base_));
    const Run r = runCli({"diff", a, b, "--json"});
    QCOMPARE(r.status, 1);
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray setup = doc["setup"].toArray();
    QCOMPARE(setup.size(), 2);
    QCOMPARE(setup[0].toObject()["label"].toString(), QStringLiteral("Service byte (About)"));
    QCOMPARE(setup[1].toObject()["label"].toString(), QStringLiteral("Cylinders"));
    QCOMPARE(setup[1].toObject()["b"].toString(), QStringLiteral("6"));
    const QJsonArray points = doc["points"].toArray();
    QCOMPARE(points.size(), 2);
    const QJsonObject timing = points[0].toObject();
    QCOMPARE(timing["map"].toString(), QStringLiteral("TimingMap"));
    QCOMPARE(timing["point"].toInt(), 30);
    QCOMPARE(timing["axisUnit"].toString(), QStringLiteral("RPM"));
    QCOMPARE(timing["b"].toDouble() - timing["a"].toDouble(), 4.0);
    const QJsonObject fuel = points[1].toObject();
    QCOMPARE(fuel["map"].toString(), QStringLiteral("FuelVacuumMap"));
    QCOMPARE(fuel["point"].toInt(), 10);
    QCOMPARE(fuel["axisUnit"].toString(), QStringLiteral("bar"));
    QCOMPARE(fuel["b"].toDouble(), -7.0);

    // The text names each by its label, axis position and both values.
    const Run t = runCli({"diff", a, b});
    QCOMPARE(t.status, 1);
    QVERIFY2(t.out.contains(QStringLiteral("Cylinders: ")), qPrintable(t.out));
    QVERIFY(t.out.contains(QStringLiteral("TimingMap point 30 at ")));
    QVERIFY(t.out.contains(QStringLiteral(" RPM: ")));
    QVERIFY(t.out.contains(QStringLiteral("-> -7 %")));
    QVERIFY(t.out.contains(QStringLiteral("2 setup parameters and 2 map points differ")));
}

void TestCliDiffJournal::diffAgainstAUnit() {
    SimConfig config;
    config.image = changed(base_);
    config.linkPath = dir_.filePath(QStringLiteral("ttyEMU"));
    EmuSimulator sim(config);
    QVERIFY(sim.start());
    const QString a = writeTune(dir_, QStringLiteral("a.emu"), base_);
    const Run r = runCli({"diff", a, "--device", config.linkPath, "--json"});
    QCOMPARE(r.status, 1);
    const QJsonObject doc = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(doc["setup"].toArray().size(), 2);
    QCOMPARE(doc["points"].toArray().size(), 2);
    QCOMPARE(doc["b"].toObject()["name"].toString(), config.linkPath);
    // The unit was only asked: identify and read, nothing written.
    for (const SimCommand& c : sim.commands())
        QVERIFY(c.bytes.at(0) == char(0xFF) || c.bytes.at(0) == char(0xFD));
    sim.stop();
}

void TestCliDiffJournal::diffUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("help") << QStringList{"diff", "--help"} << 0;
    QTest::newRow("one side") << QStringList{"diff", "a.emu"} << 2;
    QTest::newRow("three sides") << QStringList{"diff", "a.emu", "b.emu", "--port", "3"} << 2;
    QTest::newRow("unknown option") << QStringList{"diff", "a.emu", "b.emu", "--colour"} << 2;
    QTest::newRow("port without number") << QStringList{"diff", "a.emu", "--port"} << 2;
    QTest::newRow("missing file") << QStringList{"diff", "/nonexistent/a.emu", "/nonexistent/b.emu"} << 2;
    QTest::newRow("journal help") << QStringList{"journal", "--help"} << 0;
    QTest::newRow("journal two files") << QStringList{"journal", "a", "b"} << 2;
    QTest::newRow("missing journal") << QStringList{"journal", "/nonexistent/x.journal"} << 1;
}

void TestCliDiffJournal::diffUsage() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    const Run r = runCli(args);
    QCOMPARE(r.status, status);
    if (status == 0)
        QVERIFY(!r.out.isEmpty());
    else
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1); // one line saying why
    if (args.contains(QStringLiteral("/nonexistent/a.emu")))
        QVERIFY(r.err.contains(QStringLiteral("/nonexistent/a.emu")));
}

void TestCliDiffJournal::journalListsItsEdits() {
    EditJournal j(dir_.filePath(QStringLiteral("state")));
    QVERIFY(j.start(3, QStringLiteral("AB-010203-04")));
    QVERIFY(j.append(edit(MapId::Timing, 30, 20, 24)));
    EditRecord cyl = edit(MapId::Timing, 1, 4, 6);
    cyl.kind = EditRecord::Kind::SetupValue;
    cyl.setupId = 80;
    QVERIFY(j.append(cyl));
    const Run r = runCli({"journal", j.path()});
    QCOMPARE(r.status, 0);
    QVERIFY2(r.out.contains(QStringLiteral("EMU 3, serial AB-010203-04: 2 edits not stored")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("2026-05-02 14:03:07.250  TimingMap point 30: 20 ° -> 24 °")));
    QVERIFY(r.out.contains(QStringLiteral("Cylinders (setup 80): 4 -> 6")));
    const Run js = runCli({"journal", "--json", j.path()});
    QCOMPARE(js.status, 0);
    QCOMPARE(QJsonDocument::fromJson(js.out.toUtf8()).object()["edits"].toArray().size(), 2);
}

void TestCliDiffJournal::journalCutIsReportedAndTheLinesBeforeKept() {
    EditJournal j(dir_.filePath(QStringLiteral("cut")));
    QVERIFY(j.start(5, QStringLiteral("CD-1")));
    for (int i = 1; i <= 3; ++i)
        QVERIFY(j.append(edit(MapId::FuelVacuum, i, 0, i)));
    j.close();
    QFile f(j.path());
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.resize(f.size() - 7)); // the last line torn
    f.close();
    const Run r = runCli({"journal", j.path()});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.contains(QStringLiteral("FuelVacuumMap point 2: 0 % -> 2 %")));
    QVERIFY(!r.out.contains(QStringLiteral("FuelVacuumMap point 3")));
    QVERIFY2(r.err.startsWith(QStringLiteral("emu-cli: ") + j.path() + QStringLiteral(": line 4 is cut off")),
             qPrintable(r.err));
    QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
}

void TestCliDiffJournal::journalListsTheStateFolder() {
    QTemporaryDir state;
    const Run none = runCli({"journal"}, state.path());
    QCOMPARE(none.status, 0);
    QVERIFY(none.out.startsWith(QStringLiteral("No edit journals in ")));
    EditJournal j(QDir(state.path()).filePath(QStringLiteral("emu-interface")));
    QVERIFY(j.start(3, QStringLiteral("AB-1")));
    QVERIFY(j.append(edit(MapId::Timing, 2, 1, 2)));
    const Run r = runCli({"journal"}, state.path());
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, j.path() + QStringLiteral(": EMU 3, serial AB-1, 1 edit not stored\n"));
}

void TestCliDiffJournal::journalShowsControlBytesOfASerialSafely() {
    QTemporaryDir state;
    const QString serial = QStringLiteral("\x1b[2J\\-010203-04"); // "clear the screen", then a backslash
    EditJournal j(QDir(state.path()).filePath(QStringLiteral("emu-interface")));
    QVERIFY(j.start(3, serial));
    QVERIFY(j.append(edit(MapId::Timing, 2, 1, 2)));
    const QString shown = QStringLiteral("serial \\x1b[2J\\\\-010203-04");
    const Run list = runCli({"journal"}, state.path());
    const Run one = runCli({"journal", j.path()});
    for (const Run& r : {list, one}) {
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.contains(shown), qPrintable(r.out));
        QVERIFY(!r.out.contains(QChar(0x1b)));
    }
    // JSON carries the text itself, escaped as JSON escapes it.
    const Run js = runCli({"journal", "--json", j.path()});
    QCOMPARE(QJsonDocument::fromJson(js.out.toUtf8()).object()["serial"].toString(), serial);
    QVERIFY(!js.out.contains(QChar(0x1b)));
}

QTEST_GUILESS_MAIN(TestCliDiffJournal)
#include "tst_clidiffjournal.moc"
