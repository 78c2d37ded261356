// The edit journal: what survives a killed process, how a cut or damaged file is read, and how
// its edits land on an image.
#include "calibration/EditJournal.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

EditRecord mapEdit(MapId map, int point, double from, double to) {
    EditRecord r;
    r.kind = EditRecord::Kind::MapPoint;
    r.map = map;
    r.point = point;
    r.oldValue = from;
    r.newValue = to;
    r.sent = true;
    r.time = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53, 589));
    return r;
}

EditRecord setupEdit(int id, int from, int to) {
    EditRecord r;
    r.kind = EditRecord::Kind::SetupValue;
    r.setupId = id;
    r.oldValue = from;
    r.newValue = to;
    r.sent = true;
    r.time = QDateTime(QDate(2026, 3, 14), QTime(9, 27, 0, 5));
    return r;
}

QByteArray journalText(const QList<EditRecord>& edits) {
    QByteArray text = EditJournal::unitLine(3, QStringLiteral("AB-010203-04"));
    for (const EditRecord& e : edits)
        text += EditJournal::editLine(e);
    return text;
}

const QList<EditRecord> kThree{mapEdit(MapId::Timing, 30, 20, 24), setupEdit(80, 4, 6),
                               mapEdit(MapId::VacuumTiming, 5, -3.5, 2.25)};

// The child of killedWriterKeepsEveryEdit: journals edits as fast as it can and reports each one
// once it is on the disk, until it is killed.
int runChildWriter(const QString& folder) {
    EditJournal journal(folder);
    if (!journal.start(3, QStringLiteral("KILL-ME")))
        return 3;
    QFile out;
    if (!out.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered)) // write(2) per report, no stdio buffer
        return 3;
    for (int i = 1;; ++i) {
        if (!journal.append(mapEdit(MapId::Timing, 1 + i % 100, i - 1, i)))
            return 4;
        out.write(QByteArray::number(i) + '\n');
    }
}

} // namespace

class TestEditJournal : public QObject {
    Q_OBJECT

  private slots:
    void recordsReadBackExactly();
    void cutOrDamagedLines_data();
    void cutOrDamagedLines();
    void killedWriterKeepsEveryEdit();
    void startEmptiesOnlyThisUnitsFile();
    void unsentEditsAreNotJournalled();
    void editsLandOnTheImage();
};

void TestEditJournal::recordsReadBackExactly() {
    const JournalContents c = EditJournal::parse(journalText(kThree));
    QCOMPARE(c.problem, QString());
    QCOMPARE(c.model, 3);
    QCOMPARE(c.serial, QStringLiteral("AB-010203-04"));
    QCOMPARE(c.edits.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(c.edits[i].kind, kThree[i].kind);
        QCOMPARE(c.edits[i].map, kThree[i].map);
        QCOMPARE(c.edits[i].point, kThree[i].point);
        QCOMPARE(c.edits[i].setupId, kThree[i].setupId);
        QCOMPARE(c.edits[i].oldValue, kThree[i].oldValue);
        QCOMPARE(c.edits[i].newValue, kThree[i].newValue);
        QCOMPARE(c.edits[i].time, kThree[i].time);
    }
}

void TestEditJournal::cutOrDamagedLines_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("problem");
    const QByteArray whole = journalText(kThree);
    const qsizetype lastStart = whole.lastIndexOf('\n', whole.size() - 2) + 1;
    QTest::newRow("whole") << whole << 3 << QString();
    QTest::newRow("last line without its newline")
        << whole.left(whole.size() - 1) << 2 << "line 4 is cut off";
    QTest::newRow("last line cut in the middle") << whole.left(lastStart + 9) << 2 << "line 4 is cut off";
    QTest::newRow("only the unit line") << whole.left(whole.indexOf('\n') + 1) << 0 << QString();
    QByteArray flipped = whole;
    flipped[whole.indexOf("setup") + 7] = '9'; // id 80 becomes 89: the checksum no longer fits
    QTest::newRow("damaged middle line") << flipped << 1 << "line 3 is damaged";
    QByteArray zeros = whole;
    zeros.replace(lastStart, whole.size() - lastStart - 1, QByteArray(whole.size() - lastStart - 1, '\0'));
    QTest::newRow("zeros after a crash") << zeros << 2 << "line 4 is damaged";
    QTest::newRow("not a journal") << QByteArray("#EMU Version\r\n13131244\r\n") << 0
                                   << "line 1 is not the unit line";
    QTest::newRow("empty") << QByteArray() << 0 << QString();
}

void TestEditJournal::cutOrDamagedLines() {
    QFETCH(QByteArray, text);
    QFETCH(int, kept);
    QFETCH(QString, problem);
    const JournalContents c = EditJournal::parse(text);
    QCOMPARE(c.edits.size(), kept);
    for (int i = 0; i < kept; ++i)
        QCOMPARE(c.edits[i].newValue, kThree[i].newValue);
    if (problem.isEmpty())
        QCOMPARE(c.problem, QString());
    else
        QVERIFY2(c.problem.startsWith(problem), qPrintable(c.problem));
}

void TestEditJournal::killedWriterKeepsEveryEdit() {
    QTemporaryDir dir;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("EMU_JOURNAL_CHILD"), dir.path());
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    // Let it get well into its run, then kill it between (or in the middle of) two edits.
    QByteArray reported;
    while (reported.count('\n') < 200 && child.waitForReadyRead(10000))
        reported += child.readAllStandardOutput();
    child.kill(); // SIGKILL: no destructor, no flush
    QVERIFY(child.waitForFinished());
    reported += child.readAllStandardOutput();
    // Only whole report lines count.
    const QList<QByteArray> lines = reported.left(reported.lastIndexOf('\n')).split('\n');
    const int lastReported = lines.constLast().toInt();
    QVERIFY(lastReported >= 200);

    EditJournal reader(dir.path());
    const auto c = EditJournal::readFile(reader.pathFor(3, QStringLiteral("KILL-ME")));
    QVERIFY(c.has_value());
    // Every edit reported done is there, in order; at most the one being written is cut.
    QVERIFY2(c->edits.size() >= lastReported,
             qPrintable(QStringLiteral("%1 of %2").arg(c->edits.size()).arg(lastReported)));
    for (int i = 0; i < c->edits.size(); ++i)
        QCOMPARE(c->edits[i].newValue, double(i + 1));
    QVERIFY(c->problem.isEmpty() || c->problem.contains(QStringLiteral("cut off")));
}

void TestEditJournal::startEmptiesOnlyThisUnitsFile() {
    QTemporaryDir dir;
    EditJournal a(dir.path());
    QVERIFY(a.start(3, QStringLiteral("AB-1")));
    QVERIFY(a.append(kThree[0]));
    EditJournal b(dir.path());
    QVERIFY(b.start(1, QStringLiteral("AB-1"))); // another model, another file
    QVERIFY(b.start(3, QStringLiteral("CD-2")));
    QCOMPARE(EditJournal::readFile(a.path())->edits.size(), 1);
    QVERIFY(a.restart());
    QCOMPARE(EditJournal::readFile(a.path())->edits.size(), 0);
    QVERIFY(a.append(kThree[1]));
    QCOMPARE(EditJournal::readFile(a.path())->edits.size(), 1);
    // The serial text never leaves the folder.
    QCOMPARE(EditJournal::fileName(5, QStringLiteral("../x y")), QStringLiteral("emu5-___x_y.journal"));
}

void TestEditJournal::unsentEditsAreNotJournalled() {
    QTemporaryDir dir;
    EditJournal j(dir.path());
    QVERIFY(j.start(3, QStringLiteral("AB")));
    EditRecord held = kThree[0];
    held.sent = false;
    QVERIFY(!j.append(held));
    QCOMPARE(EditJournal::readFile(j.path())->edits.size(), 0);
}

void TestEditJournal::editsLandOnTheImage() {
    std::array<std::uint8_t, kImageSize> image{};
    image.fill(101);
    EditJournal::applyToImage(kThree, image);
    QCOMPARE(int(image[101 + 29]), 25);    // timing point 30: 24 degrees, wire 25
    QCOMPARE(int(image[80]), 7);           // cylinders: plain 6, wire 7
    QCOMPARE(int(image[201 + 4]), 2 + 16); // vacuum timing 2.25 -> 2 (+15, +1)
    QCOMPARE(int(image[101 + 28]), 101);   // untouched
}

int main(int argc, char** argv) {
    const QByteArray child = qgetenv("EMU_JOURNAL_CHILD");
    if (!child.isEmpty())
        return runChildWriter(QString::fromLocal8Bit(child));
    QCoreApplication app(argc, argv);
    TestEditJournal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editjournal.moc"
