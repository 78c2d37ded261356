// The edit journal: what survives a killed process, how a cut or damaged file is read, operations
// written and read whole, which file each unit and each window gets, and how the edits land on an
// image.
#include "calibration/EditJournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

// The child of killedWriterKeepsEveryEdit: journals edits as fast as it can, single ones and
// operations of three in turn, and reports the last value once it is on the disk, until it is killed.
int runChildWriter(const QString& folder) {
    EditJournal journal(folder);
    if (!journal.start(3, QStringLiteral("KILL-ME")))
        return 3;
    QFile out;
    if (!out.open(1, QIODevice::WriteOnly | QIODevice::Unbuffered)) // write(2) per report, no stdio buffer
        return 3;
    int value = 0;
    for (int group = 1;; ++group) {
        const int count = group % 2 == 0 ? 3 : 1;
        for (int k = 0; k < count; ++k) {
            ++value;
            EditRecord e = mapEdit(MapId::Timing, 1 + value % 100, value - 1, value);
            e.group = count > 1 ? group : 0;
            if (!journal.append(e))
                return 4;
        }
        if (!journal.endGroup(group))
            return 4;
        out.write(QByteArray::number(value) + '\n');
    }
}

QByteArray readAllOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

QStringList keptFiles(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.journal.*")}, QDir::Files);
}

} // namespace

class TestEditJournal : public QObject {
    Q_OBJECT

  private slots:
    void recordsReadBackExactly();
    void cutOrDamagedLines_data();
    void cutOrDamagedLines();
    void killedWriterKeepsEveryEdit();
    void operationsAreWrittenAndReadWhole();
    void startEmptiesOnlyThisUnitsFile();
    void fileNamesTellUnitsApart_data();
    void fileNamesTellUnitsApart();
    void aSecondWindowKeepsAJournalOfItsOwn();
    void aJournalLeftInACopyIsOffered();
    void startNeverDropsWhatItsCallerCannotHaveRead();
    void oldNamesAreFoundByTheirUnitLine_data();
    void oldNamesAreFoundByTheirUnitLine();
    void anotherUnitsFileUnderThisName();
    void keepAsideAndDiscard();
    void earlierEditsNeverMixWithNewOnes();
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

    // Edit 1 alone, then edits 2 and 3 as one operation (line 3 its group line).
    const QByteArray operation = EditJournal::unitLine(3, QStringLiteral("AB-010203-04")) +
                                 EditJournal::editLine(kThree[0]) + EditJournal::groupLine(4, 2) +
                                 EditJournal::editLine(kThree[1]) + EditJournal::editLine(kThree[2]);
    const qsizetype lastOpStart = operation.lastIndexOf('\n', operation.size() - 2) + 1;
    QTest::newRow("an operation, whole") << operation << 3 << QString();
    QTest::newRow("an operation cut in its last line")
        << operation.left(operation.size() - 10) << 1 << "line 3 is cut off";
    QTest::newRow("an operation short of its last line")
        << operation.left(lastOpStart) << 1 << "line 3 is cut off";
    QByteArray damagedMember = operation;
    damagedMember[operation.indexOf("setup") + 7] = '9';
    QTest::newRow("an operation with a damaged line") << damagedMember << 1 << "line 4 is damaged";
    QByteArray damagedGroup = operation;
    damagedGroup[operation.indexOf("group 4 2") + 8] = '3';
    QTest::newRow("a damaged group line") << damagedGroup << 1 << "line 3 is damaged";
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
    // Every edit reported done is there, in order; at most the one being written is cut, and an
    // operation is there whole or not at all.
    QVERIFY2(c->edits.size() >= lastReported,
             qPrintable(QStringLiteral("%1 of %2").arg(c->edits.size()).arg(lastReported)));
    QMap<int, int> groupSizes;
    for (int i = 0; i < c->edits.size(); ++i) {
        QCOMPARE(c->edits[i].newValue, double(i + 1));
        if (c->edits[i].group != 0)
            ++groupSizes[c->edits[i].group];
    }
    QVERIFY(!groupSizes.isEmpty());
    for (const int size : std::as_const(groupSizes))
        QCOMPARE(size, 3);
    QVERIFY(c->problem.isEmpty() || c->problem.contains(QStringLiteral("cut off")));
}

void TestEditJournal::operationsAreWrittenAndReadWhole() {
    QTemporaryDir dir;
    EditJournal j(dir.path());
    QVERIFY(j.start(3, QStringLiteral("AB")));
    QVERIFY(j.append(kThree[0]));
    QList<EditRecord> shift;
    for (int p = 1; p <= 3; ++p) {
        EditRecord e = mapEdit(MapId::Timing, p, 10, 10 + p);
        e.group = 5;
        shift << e;
        QVERIFY(j.append(e));
    }
    // Nothing of the operation is on the disk until it ends, then all of it.
    QCOMPARE(EditJournal::readFile(j.path())->edits.size(), 1);
    QVERIFY(j.endGroup(4));
    QCOMPARE(EditJournal::readFile(j.path())->edits.size(), 1);
    const qint64 before = QFileInfo(j.path()).size();
    QVERIFY(j.endGroup(5));
    const QByteArray text = readAllOf(j.path());
    QCOMPARE(text.mid(before), EditJournal::groupLine(5, 3) + EditJournal::editLine(shift[0]) +
                                   EditJournal::editLine(shift[1]) + EditJournal::editLine(shift[2]));
    // An edit of another operation, or a single one, first writes the one that waits.
    EditRecord next = shift[0];
    next.group = 6;
    QVERIFY(j.append(next));
    QVERIFY(j.append(kThree[1]));
    // Closing writes what waits: those edits went to the unit.
    next.group = 7;
    QVERIFY(j.append(next));
    j.close();
    const JournalContents c = EditJournal::parse(readAllOf(j.path()));
    QCOMPARE(c.problem, QString());
    QList<int> groups;
    for (const EditRecord& e : c.edits)
        groups << e.group;
    QCOMPARE(groups, (QList<int>{0, 5, 5, 5, 6, 0, 7}));
    QCOMPARE(c.edits[3].newValue, 13.0);
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
    QCOMPARE(EditJournal::fileName(5, QStringLiteral("../x y")), QStringLiteral("emu5.2e2e2f782079.journal"));
}

void TestEditJournal::fileNamesTellUnitsApart_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    // Each pair shared one file under the old names.
    QTest::newRow("underscore and dot") << QStringLiteral("AB_010203-04") << QStringLiteral("AB.010203-04");
    QTest::newRow("space and slash") << QStringLiteral("AB 010203-04") << QStringLiteral("AB/010203-04");
    QTest::newRow("control bytes") << QStringLiteral("\x1b\x07-010203-04")
                                   << QStringLiteral("\x0a\x0d-010203-04");
    QTest::newRow("accented letter") << QStringLiteral("\u00c9B-010203-04") << QStringLiteral("_B-010203-04");
    QTest::newRow("no serial and 'unknown'") << QString() << QStringLiteral("unknown");
}

void TestEditJournal::fileNamesTellUnitsApart() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QCOMPARE(EditJournal::legacyFileName(3, a), EditJournal::legacyFileName(3, b));
    QVERIFY(EditJournal::fileName(3, a) != EditJournal::fileName(3, b));
    for (const QString& serial : {a, b}) {
        const QString name = EditJournal::fileName(3, serial);
        QCOMPARE(QFileInfo(name).fileName(), name); // never a path
        QVERIFY(name != EditJournal::legacyFileName(3, serial));
        QVERIFY(name != EditJournal::fileName(3, serial, 2));
        QVERIFY(name != EditJournal::fileName(31, serial));
    }
    // Two units in one folder: each journal holds its own unit and its own edits.
    QTemporaryDir dir;
    EditJournal ja(dir.path());
    EditJournal jb(dir.path());
    QVERIFY(ja.start(3, a));
    QVERIFY(jb.start(3, b));
    QVERIFY(ja.path() != jb.path());
    QVERIFY(ja.append(kThree[0]));
    const auto ca = EditJournal::readFile(ja.path());
    const auto cb = EditJournal::readFile(jb.path());
    QVERIFY(ca->isFor(3, a));
    QVERIFY(cb->isFor(3, b));
    QCOMPARE(ca->edits.size(), 1);
    QCOMPARE(cb->edits.size(), 0);
}

void TestEditJournal::aSecondWindowKeepsAJournalOfItsOwn() {
    QTemporaryDir dir;
    const QString serial = QStringLiteral("AB-010203-04");
    auto first = std::make_unique<EditJournal>(dir.path());
    const JournalStart one = first->claim(3, serial);
    QVERIFY(one);
    QVERIFY(!one.inUseByAnotherWindow);
    QCOMPARE(first->path(), first->pathFor(3, serial));
    QVERIFY(first->append(kThree[0]));

    // The same unit in a second window: told so, never given the first one's file or edits.
    auto second = std::make_unique<EditJournal>(dir.path());
    const JournalStart two = second->claim(3, serial);
    QVERIFY(two);
    QVERIFY(two.inUseByAnotherWindow);
    QVERIFY2(two.text.contains(QStringLiteral("in use by another window")), qPrintable(two.text));
    QVERIFY(second->path() != first->path());
    QCOMPARE(second->left(), nullptr);
    QVERIFY(second->append(kThree[1]));
    QVERIFY(second->restart());
    QVERIFY(second->append(kThree[2]));
    const auto a = EditJournal::readFile(first->path());
    const auto b = EditJournal::readFile(second->path());
    QCOMPARE(a->edits.size(), 1);
    QCOMPARE(a->edits[0].newValue, kThree[0].newValue);
    QCOMPARE(b->edits.size(), 1);
    QCOMPARE(b->edits[0].newValue, kThree[2].newValue);
    QVERIFY(b->isFor(3, serial));

    // The first window ends without storing its edits: the next window on the unit is offered
    // them, while the second one's journal stays its own.
    const QString firstPath = first->path();
    first.reset();
    EditJournal third(dir.path());
    const JournalStart three = third.claim(3, serial);
    QVERIFY(three);
    QVERIFY(three.inUseByAnotherWindow == false);
    QCOMPARE(third.path(), firstPath);
    QVERIFY(third.left() != nullptr);
    QCOMPARE(third.left()->edits.size(), 1);
    QCOMPARE(third.left()->edits[0].newValue, kThree[0].newValue);
}

void TestEditJournal::aJournalLeftInACopyIsOffered() {
    QTemporaryDir dir;
    const QString serial = QStringLiteral("AB-1");
    EditJournal first(dir.path());
    QVERIFY(first.start(3, serial));
    EditJournal second(dir.path());
    QVERIFY(second.start(3, serial));
    QVERIFY(second.append(kThree[1]));
    const QString copyPath = second.path();
    // Both windows end; the second one's edits were never stored.
    first.close();
    second.close();
    EditJournal next(dir.path());
    QVERIFY(next.claim(3, serial));
    QCOMPARE(next.path(), next.pathFor(3, serial));
    QVERIFY(next.left() != nullptr);
    QCOMPARE(next.left()->edits.size(), 1);
    QVERIFY(!QFile::exists(copyPath));
    // Offered once: dealt with, it is gone.
    QVERIFY(next.restart());
    next.close();
    EditJournal after(dir.path());
    QVERIFY(after.claim(3, serial));
    QCOMPARE(after.left(), nullptr);
}

void TestEditJournal::startNeverDropsWhatItsCallerCannotHaveRead() {
    QTemporaryDir dir;
    const QString serial = QStringLiteral("AB-1");
    const QString old = QDir(dir.path()).filePath(EditJournal::legacyFileName(3, serial));
    const QByteArray oldText = EditJournal::unitLine(3, serial) + EditJournal::editLine(kThree[0]);
    QVERIFY(writeText(old, oldText));
    EditJournal first(dir.path());
    QVERIFY(first.start(3, serial));
    QCOMPARE(readAllOf(old), oldText); // not taken over, so not emptied
    {
        EditJournal crashed(dir.path());
        QVERIFY(crashed.start(3, serial));
        QVERIFY(crashed.append(kThree[1]));
    }
    // A window that read only the first file starts in the copy: the copy's edits go aside.
    EditJournal next(dir.path());
    const JournalStart started = next.start(3, serial);
    QVERIFY(started.inUseByAnotherWindow);
    QVERIFY(next.path() != first.path());
    QCOMPARE(EditJournal::readFile(next.path())->edits.size(), 0);
    const QStringList kept = keptFiles(dir.path());
    QCOMPARE(kept.size(), 1);
    QCOMPARE(EditJournal::readFile(QDir(dir.path()).filePath(kept.first()))->edits[0].newValue,
             kThree[1].newValue);
}

void TestEditJournal::oldNamesAreFoundByTheirUnitLine_data() {
    QTest::addColumn<QString>("serial");     // the unit connected
    QTest::addColumn<QString>("fileSerial"); // the unit line of the file under its old name
    QTest::addColumn<bool>("offered");
    QTest::newRow("this unit's") << "AB-010203-04"
                                 << "AB-010203-04" << true;
    QTest::newRow("another unit's, same old name") << "AB_010203-04"
                                                   << "AB 010203-04" << false;
    QTest::newRow("another model's unit line") << "CD-1"
                                               << "" << false;
}

void TestEditJournal::oldNamesAreFoundByTheirUnitLine() {
    QFETCH(QString, serial);
    QFETCH(QString, fileSerial);
    QFETCH(bool, offered);
    QTemporaryDir dir;
    const QString old = QDir(dir.path()).filePath(EditJournal::legacyFileName(3, serial));
    const QByteArray unit =
        fileSerial.isEmpty() ? EditJournal::unitLine(5, serial) : EditJournal::unitLine(3, fileSerial);
    const QByteArray text = unit + EditJournal::editLine(kThree[0]) + EditJournal::editLine(kThree[1]);
    QVERIFY(writeText(old, text));
    EditJournal j(dir.path());
    QVERIFY(j.claim(3, serial));
    QCOMPARE(j.path(), j.pathFor(3, serial));
    if (offered) {
        QVERIFY(j.left() != nullptr);
        QCOMPARE(j.left()->edits.size(), 2);
        QVERIFY(!QFile::exists(old)); // taken over under the new name
        QCOMPARE(readAllOf(j.path()), text);
    } else {
        QCOMPARE(j.left(), nullptr);
        QCOMPARE(readAllOf(old), text); // left as it was
        QVERIFY(EditJournal::readFile(j.path())->edits.isEmpty());
    }
}

void TestEditJournal::anotherUnitsFileUnderThisName() {
    QTemporaryDir dir;
    EditJournal j(dir.path());
    const QString path = j.pathFor(3, QStringLiteral("AB-1"));
    const QByteArray foreign =
        EditJournal::unitLine(5, QStringLiteral("ZZ-9")) + EditJournal::editLine(kThree[0]);
    QVERIFY(writeText(path, foreign));
    const JournalStart started = j.claim(3, QStringLiteral("AB-1"));
    QVERIFY(started);
    QCOMPARE(j.left(), nullptr); // never offered to this unit
    // Nor written over: kept aside as it was.
    const QStringList kept = keptFiles(dir.path());
    QCOMPARE(kept.size(), 1);
    QVERIFY2(started.text.contains(kept.first()), qPrintable(started.text));
    QCOMPARE(readAllOf(QDir(dir.path()).filePath(kept.first())), foreign);
    QVERIFY(EditJournal::readFile(j.path())->isFor(3, QStringLiteral("AB-1")));
}

void TestEditJournal::keepAsideAndDiscard() {
    QTemporaryDir dir;
    const QString serial = QStringLiteral("AB-1");
    {
        EditJournal crashed(dir.path());
        QVERIFY(crashed.start(3, serial));
        QVERIFY(crashed.append(kThree[0]));
        QVERIFY(crashed.append(kThree[1]));
    }
    // "Decide later": the edits go aside under a dated name; the window journals afresh.
    EditJournal j(dir.path());
    QVERIFY(j.claim(3, serial));
    QCOMPARE(j.left()->edits.size(), 2);
    const std::optional<QString> kept = j.keepAside();
    QVERIFY(kept.has_value());
    QCOMPARE(j.left(), nullptr);
    QCOMPARE(EditJournal::readFile(*kept)->edits.size(), 2);
    QVERIFY(j.isOpen());
    QCOMPARE(j.path(), j.pathFor(3, serial));
    QCOMPARE(EditJournal::readFile(j.path())->edits.size(), 0);
    QVERIFY(j.append(kThree[2]));
    QCOMPARE(EditJournal::readFile(j.path())->edits.size(), 1);

    // "Discard" on leaving: the journal is gone and the next Connect offers nothing.
    QVERIFY(j.discard());
    QVERIFY(!j.isOpen());
    QVERIFY(!QFile::exists(j.path()));
    QVERIFY(!j.append(kThree[2]));
    EditJournal next(dir.path());
    QVERIFY(next.claim(3, serial));
    QCOMPARE(next.left(), nullptr);
    QCOMPARE(keptFiles(dir.path()).size(), 1); // what was kept aside stays
}

void TestEditJournal::earlierEditsNeverMixWithNewOnes() {
    QTemporaryDir dir;
    const QString serial = QStringLiteral("AB-1");
    EditJournal j(dir.path());
    const QString path = j.pathFor(3, serial);
    // The first edit cut by a crash: nothing to offer, and the next edits must read back.
    const QByteArray cutFirst = EditJournal::unitLine(3, serial) + EditJournal::editLine(kThree[0]).left(12);
    QVERIFY(writeText(path, cutFirst));
    QVERIFY(j.claim(3, serial));
    QCOMPARE(j.left(), nullptr);
    QVERIFY(j.append(kThree[1]));
    auto c = EditJournal::readFile(path);
    QCOMPARE(c->problem, QString());
    QCOMPARE(c->edits.size(), 1);
    j.close();

    // Edits left and not decided on before the next edit: they go aside, whole.
    QVERIFY(j.claim(3, serial));
    QCOMPARE(j.left()->edits.size(), 1);
    QVERIFY(j.append(kThree[2]));
    c = EditJournal::readFile(path);
    QCOMPARE(c->edits.size(), 1);
    QCOMPARE(c->edits[0].newValue, kThree[2].newValue);
    const QStringList kept = keptFiles(dir.path());
    QCOMPARE(kept.size(), 1);
    QCOMPARE(EditJournal::readFile(QDir(dir.path()).filePath(kept.first()))->edits[0].newValue,
             kThree[1].newValue);
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
