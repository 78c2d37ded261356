// The undo history over the edit door, against a simulated unit: what makes one step (a drag, a
// held key, an operation), the messages an undo or redo puts on the wire, and the clean state.
#include "calibration/CalibrationEditor.h"
#include "link/EmuLink.h"
#include "undo/EditHistory.h"

#include "EmuSimulator.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QByteArray wire(int command, int id, int value) {
    const char m[3] = {char(command), char(id), char(value)};
    return QByteArray(m, 3);
}

} // namespace

class TestEditHistory : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void steps_data();
    void steps();
    void aDragOverSeveralPointsUndoesInReverse();
    void anEditAfterUndoDropsTheRedo();
    void nothingIsSentWhenRefused();
    void anOperationIsOneStep();
    void runsDoNotMergeAcrossMapsOrOperations();
    void aDragBackToItsStartIsNoStep();
    void cleanState();

  private:
    QList<QByteArray> sent(int expected);

    std::unique_ptr<EmuSimulator> sim_;
    EmuState state_;
    std::unique_ptr<EmuLink> link_;
    std::unique_ptr<CalibrationEditor> door_;
    std::unique_ptr<EditHistory> history_;
    QString refusal_;
};

void TestEditHistory::init() {
    sim_ = std::make_unique<EmuSimulator>();
    QVERIFY(sim_->start());
    state_ = EmuState{};
    link_ = std::make_unique<EmuLink>(state_.link);
    link_->setDevicePath(sim_->devicePath());
    QVERIFY(link_->open());
    door_ = std::make_unique<CalibrationEditor>(state_, *link_);
    refusal_.clear();
    history_ = std::make_unique<EditHistory>(*door_, [this] { return refusal_; });
    setFamiliesForModel(state_.cal, 3);
    state_.link.DataReady = true;
    // The unit on the port holds the data shown: edits go to it.
    state_.link.UnitInStep = true;
    for (int p = 1; p <= 100; ++p)
        state_.cal.map(MapId::Timing)[size_t(p)] = 10;
}

void TestEditHistory::cleanup() {
    history_.reset();
    door_.reset();
    link_.reset();
    sim_->stop();
}

QList<QByteArray> TestEditHistory::sent(int expected) {
    sim_->waitForCommands(expected, 2000);
    QTest::qWait(50); // nothing more comes
    QList<QByteArray> out;
    for (const SimCommand& c : sim_->commands())
        out << c.bytes;
    sim_->clearRecord();
    return out;
}

void TestEditHistory::steps_data() {
    // Each edit: point, value, mergeable, sent; -1 in point ends the group.
    QTest::addColumn<QList<QList<double>>>("edits");
    QTest::addColumn<int>("steps");
    QTest::newRow("a drag") << QList<QList<double>>{{5, 11, 1, 1}, {5, 12, 1, 1}, {5, 13, 1, 1}, {-1}} << 1;
    QTest::newRow("two drags") << QList<QList<double>>{{5, 11, 1, 1}, {-1}, {5, 12, 1, 1}, {-1}} << 2;
    QTest::newRow("single edits do not merge") << QList<QList<double>>{{5, 11, 0, 1}, {5, 12, 0, 1}} << 2;
    QTest::newRow("a held key: only the key-up counts")
        << QList<QList<double>>{{5, 11, 1, 0}, {5, 12, 1, 0}, {5, 13, 1, 0}, {-2}, {-1}} << 1;
    QTest::newRow("a drag, then a single edit") << QList<QList<double>>{{5, 11, 1, 1}, {5, 12, 0, 1}} << 2;
}

void TestEditHistory::steps() {
    QFETCH(QList<QList<double>>, edits);
    QFETCH(int, steps);
    for (const QList<double>& e : edits) {
        if (e[0] == -1)
            door_->endEditGroup();
        else if (e[0] == -2)
            door_->sendMapPoint(MapId::Timing, 5);
        else
            door_->setMapPoint(MapId::Timing, int(e[0]), e[1], e[2] != 0, e[3] != 0);
    }
    QCOMPARE(history_->count(), steps);
    sent(0);
    // Undoing every step brings the point back to where it was, and says so to the unit last.
    for (int i = 0; i < steps; ++i)
        QCOMPARE(history_->undo(), QString());
    QCOMPARE(state_.cal.map(MapId::Timing)[5], 10.0);
    const QList<QByteArray> undone = sent(steps);
    QCOMPARE(undone.size(), steps);
    QCOMPARE(undone.constLast(), wire(0xE8, 5, 10));
    QCOMPARE(history_->undo(), QStringLiteral("Nothing to undo"));
}

void TestEditHistory::aDragOverSeveralPointsUndoesInReverse() {
    door_->setMapPoint(MapId::Timing, 5, 14, true);
    door_->setMapPoint(MapId::Timing, 6, 15, true);
    door_->setMapPoint(MapId::Timing, 5, 16, true);
    door_->endEditGroup();
    sent(3);
    QCOMPARE(history_->undo(), QString());
    QCOMPARE(sent(2), (QList<QByteArray>{wire(0xE8, 6, 10), wire(0xE8, 5, 10)}));
    QCOMPARE(history_->redo(), QString());
    QCOMPARE(sent(2), (QList<QByteArray>{wire(0xE8, 5, 16), wire(0xE8, 6, 15)}));
    QCOMPARE(state_.cal.map(MapId::Timing)[5], 16.0);
    QCOMPARE(state_.cal.map(MapId::Timing)[6], 15.0);
}

void TestEditHistory::anEditAfterUndoDropsTheRedo() {
    door_->setSetupValue(80, 4);
    door_->setSetupValue(80, 6);
    QCOMPARE(history_->undo(), QString());
    QVERIFY(history_->canRedo());
    // The key-up after Ctrl+Z sends the point under the cursor unchanged: redo stays.
    door_->setMapPoint(MapId::Timing, 5, 10, true, false);
    door_->sendMapPoint(MapId::Timing, 5);
    door_->endEditGroup();
    QVERIFY(history_->canRedo());
    door_->setSetupValue(80, 8);
    QVERIFY(!history_->canRedo());
    QCOMPARE(history_->count(), 2);
    sent(5);
    QCOMPARE(history_->undo(), QString());
    QCOMPARE(sent(1), QList<QByteArray>{wire(0xF2, 80, 4)});
}

void TestEditHistory::nothingIsSentWhenRefused() {
    door_->setMapPoint(MapId::Timing, 5, 12, true);
    door_->endEditGroup();
    sent(1);
    refusal_ = QStringLiteral("No data is loaded: nothing was changed.");
    QCOMPARE(history_->undo(), refusal_);
    QCOMPARE(state_.cal.map(MapId::Timing)[5], 12.0);
    QVERIFY(history_->canUndo());
    // The port gone: the message cannot leave, so the point and the step stay as they were.
    refusal_.clear();
    link_->setDevicePath(QStringLiteral("/nonexistent/tty"));
    QVERIFY(!history_->undo().isEmpty());
    QCOMPARE(state_.cal.map(MapId::Timing)[5], 12.0);
    QVERIFY(history_->canUndo());
    QVERIFY(!history_->canRedo());
    QCOMPARE(sent(0), QList<QByteArray>{});
}

void TestEditHistory::anOperationIsOneStep() {
    {
        const CalibrationEditor::Group operation(*door_);
        for (int p = 1; p <= 5; ++p)
            door_->setMapPoint(MapId::Timing, p, 20 + p);
        door_->setMapPoint(MapId::Timing, 2, 30); // the same point again: one change
        door_->setSetupValue(80, 6);
    }
    QCOMPARE(history_->count(), 1);
    sent(7);
    // Back in the reverse order, each point once, to its value before the operation.
    QCOMPARE(history_->undo(), QString());
    QCOMPARE(sent(6), (QList<QByteArray>{wire(0xF2, 80, 255), wire(0xE8, 5, 10), wire(0xE8, 4, 10),
                                         wire(0xE8, 3, 10), wire(0xE8, 2, 10), wire(0xE8, 1, 10)}));
    QCOMPARE(state_.cal.map(MapId::Timing)[2], 10.0);
    QCOMPARE(history_->redo(), QString());
    QCOMPARE(sent(6), (QList<QByteArray>{wire(0xE8, 1, 21), wire(0xE8, 2, 30), wire(0xE8, 3, 23),
                                         wire(0xE8, 4, 24), wire(0xE8, 5, 25), wire(0xF2, 80, 6)}));
    QCOMPARE(state_.cal.map(MapId::Timing)[2], 30.0);
    // The next operation is a step of its own.
    {
        const CalibrationEditor::Group operation(*door_);
        door_->setMapPoint(MapId::Timing, 1, 40);
    }
    QCOMPARE(history_->count(), 2);
}

void TestEditHistory::runsDoNotMergeAcrossMapsOrOperations() {
    door_->setMapPoint(MapId::Timing, 5, 11, true);
    door_->setMapPoint(MapId::VacuumTiming, 5, 3, true); // another chart: another step
    QCOMPARE(history_->count(), 2);
    {
        const CalibrationEditor::Group operation(*door_);
        door_->setMapPoint(MapId::VacuumTiming, 6, 4, true);
    }
    QCOMPARE(history_->count(), 3);
    door_->setMapPoint(MapId::VacuumTiming, 7, 5, true); // the operation ended the run
    door_->setMapPoint(MapId::VacuumTiming, 8, 6, true);
    QCOMPARE(history_->count(), 4);
    // Setup values sent one by one are steps of their own, even on the same byte.
    door_->setSetupValue(80, 4);
    door_->setSetupValue(80, 6);
    QCOMPARE(history_->count(), 6);
}

void TestEditHistory::aDragBackToItsStartIsNoStep() {
    door_->setSetupValue(80, 4);
    QCOMPARE(history_->count(), 1);
    door_->setMapPoint(MapId::Timing, 5, 12, true);
    door_->setMapPoint(MapId::Timing, 5, 10, true);
    QCOMPARE(history_->count(), 1);
    // The drag goes on from there: a step again.
    door_->setMapPoint(MapId::Timing, 5, 13, true);
    door_->endEditGroup();
    QCOMPARE(history_->count(), 2);
    sent(4);
    QCOMPARE(history_->undo(), QString());
    QCOMPARE(sent(1), QList<QByteArray>{wire(0xE8, 5, 10)});
}

void TestEditHistory::cleanState() {
    QSignalSpy spy(history_.get(), &EditHistory::modifiedChanged);
    QVERIFY(!history_->isModified());
    door_->setMapPoint(MapId::Timing, 5, 12, true);
    door_->setMapPoint(MapId::Timing, 5, 13, true);
    QVERIFY(history_->isModified());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.takeFirst().at(0).toBool(), true);
    // Written to the unit mid-drag: the drag's next edit is a new step, away from the clean point.
    history_->setClean();
    QVERIFY(!history_->isModified());
    QCOMPARE(spy.takeFirst().at(0).toBool(), false);
    door_->setMapPoint(MapId::Timing, 5, 14, true);
    door_->endEditGroup();
    QCOMPARE(history_->count(), 2);
    QVERIFY(history_->isModified());
    // Undo back to what the unit stored: clean; redo away from it: modified.
    QCOMPARE(history_->undo(), QString());
    QVERIFY(!history_->isModified());
    QCOMPARE(history_->redo(), QString());
    QVERIFY(history_->isModified());
    QCOMPARE(history_->undo(), QString());
    QCOMPARE(history_->undo(), QString());
    QVERIFY(history_->isModified()); // before the stored point is a change too
    // A new edit there drops the stored point: no undo or redo reaches it again.
    door_->setSetupValue(80, 4);
    for (int i = 0; i < 3; ++i) {
        history_->undo();
        QVERIFY(history_->isModified());
    }
    spy.clear();
    // Read, Open, Close all: what the PC holds is what it was given.
    history_->clear();
    QVERIFY(!history_->isModified());
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.takeFirst().at(0).toBool(), false);
}

QTEST_GUILESS_MAIN(TestEditHistory)
#include "tst_edithistory.moc"
