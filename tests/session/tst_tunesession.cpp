// The session without a window: it connects and reads a simulated unit, and keeps the journal and
// the undo history in step with its own flows (a write, a save, giving changes up, Close all).
#include "calibration/EditJournal.h"
#include "session/TuneSession.h"

#include "EmuSimulator.h"
#include "RunTask.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestTuneSession : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void editsAreJournalledAndUndoneBelowTheWindow();
    void theFlowsThatStoreTheDataRestartTheJournal();

  private:
    int journalledEdits() const {
        return static_cast<int>(
            EditJournal::readFile(session_->safeguard().journal().path()).value_or(JournalContents{}).edits.size());
    }
    int nonPollSets() const {
        int n = 0;
        for (const SimCommand& c : sim_->commands())
            n += !c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFC &&
                 static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFF && static_cast<std::uint8_t>(c.bytes.at(0)) != 0xFD;
        return n;
    }

    QTemporaryDir dir_;
    std::unique_ptr<EmuSimulator> sim_;
    std::unique_ptr<TuneSession> session_;
};

void TestTuneSession::init() {
    SimConfig config;
    config.linkPath = dir_.filePath(QStringLiteral("ttyEMU"));
    sim_ = std::make_unique<EmuSimulator>(config);
    QVERIFY(sim_->start());
    qputenv("EMU_PORTS", sim_->devicePath().toLocal8Bit());
    session_ = std::make_unique<TuneSession>();
    QVERIFY(runTask(session_->search(), 15000).value_or(false));
    QVERIFY(runTask(session_->connectUnit(1), 15000));
    QVERIFY(session_->link().EmuConnected);
    QVERIFY(session_->link().UnitInStep);
    QVERIFY(session_->safeguard().startJournal());
    sim_->clearRecord();
}

void TestTuneSession::cleanup() {
    session_.reset();
    sim_.reset();
}

void TestTuneSession::editsAreJournalledAndUndoneBelowTheWindow() {
    CalibrationEditor& door = session_->editor();
    const double before10 = session_->state().cal.map(MapId::Timing)[10];
    const double before11 = session_->state().cal.map(MapId::Timing)[11];
    QVERIFY(door.setMapPoint(MapId::Timing, 10, before10 + 3));
    QVERIFY(door.setMapPoint(MapId::Timing, 11, before11 + 2));
    QTRY_COMPARE(nonPollSets(), 2);
    QCOMPARE(journalledEdits(), 2);
    QCOMPARE(session_->safeguard().history().count(), 2);

    // Undo goes through the door: the unit gets the old value, and the journal records it too.
    QVERIFY(session_->safeguard().history().undo().isEmpty());
    QTRY_COMPARE(nonPollSets(), 3);
    QCOMPARE(session_->state().cal.map(MapId::Timing)[11], before11);
    QCOMPARE(session_->state().cal.map(MapId::Timing)[10], before10 + 3);
    QCOMPARE(journalledEdits(), 3);

    // Close all forgets the history (nothing is left to undo into) and starts the journal again.
    session_->closeAll();
    QCOMPARE(session_->safeguard().history().count(), 0);
    QCOMPARE(journalledEdits(), 0);
}

void TestTuneSession::theFlowsThatStoreTheDataRestartTheJournal() {
    CalibrationEditor& door = session_->editor();
    QVERIFY(door.setMapPoint(MapId::Timing, 5, session_->state().cal.map(MapId::Timing)[5] + 1));
    QCOMPARE(journalledEdits(), 1);

    // A confirmed write: the unit holds it all, the journal starts again; the history stays.
    const auto written = runTask(session_->write(), 15000);
    QVERIFY(written && written->status == WriteResult::Status::Written);
    QCOMPARE(journalledEdits(), 0);
    QCOMPARE(session_->safeguard().history().count(), 1);

    QVERIFY(door.setMapPoint(MapId::Timing, 6, session_->state().cal.map(MapId::Timing)[6] + 1));
    QCOMPARE(journalledEdits(), 1);
    session_->savedTo(dir_.filePath(QStringLiteral("kept.EMU")));
    QCOMPARE(journalledEdits(), 0);

    QVERIFY(door.setMapPoint(MapId::Timing, 7, session_->state().cal.map(MapId::Timing)[7] + 1));
    session_->discardChanges();
    QCOMPARE(journalledEdits(), 0);
    QVERIFY(!session_->link().hasPendingChanges());

    // A fresh read replaces what the history could undo into.
    QVERIFY(runTask(session_->read(), 15000));
    QCOMPARE(session_->safeguard().history().count(), 0);
}

QTEST_GUILESS_MAIN(TestTuneSession)
#include "tst_tunesession.moc"
