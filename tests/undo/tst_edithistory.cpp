// The undo history over the edit door, against a simulated unit: what makes one step, and the
// messages an undo or redo puts on the wire.
#include "calibration/CalibrationEditor.h"
#include "link/EmuLink.h"
#include "undo/EditHistory.h"

#include "EmuSimulator.h"

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
    link_->port().setDevicePath(sim_->devicePath());
    QVERIFY(link_->open());
    door_ = std::make_unique<CalibrationEditor>(state_, *link_);
    refusal_.clear();
    history_ = std::make_unique<EditHistory>(*door_, [this] { return refusal_; });
    setFamiliesForModel(state_.cal, 3);
    state_.link.DataReady = true;
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
    link_->port().setDevicePath(QStringLiteral("/nonexistent/tty"));
    QVERIFY(!history_->undo().isEmpty());
    QCOMPARE(state_.cal.map(MapId::Timing)[5], 12.0);
    QVERIFY(history_->canUndo());
    QVERIFY(!history_->canRedo());
    QCOMPARE(sent(0), QList<QByteArray>{});
}

QTEST_GUILESS_MAIN(TestEditHistory)
#include "tst_edithistory.moc"
