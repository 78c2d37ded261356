// The edit door against a simulated unit: the bytes each edit puts on the wire, what it refuses,
// what it reports; and the read-back comparison that confirms a whole-image write.
#include "calibration/CalibrationEditor.h"
#include "calibration/CalibrationTransfer.h"
#include "link/EmuLink.h"

#include "EmuSimulator.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

QByteArray wire(int command, int id, int value) {
    const char message[3] = {char(command), char(id), char(value)};
    return QByteArray(message, 3);
}

} // namespace

class TestCalibrationEditor : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void mapPointMessage_data();
    void mapPointMessage();
    void refusals_data();
    void refusals();
    void setupValueIsStoredAndSent();
    void keyEditSendsLater();
    void readBackComparesWhatTheTypeHolds();

  private:
    QByteArray lastCommand();

    std::unique_ptr<EmuSimulator> sim_;
    EmuState state_;
    std::unique_ptr<EmuLink> link_;
    std::unique_ptr<CalibrationEditor> editor_;
};

void TestCalibrationEditor::init() {
    sim_ = std::make_unique<EmuSimulator>();
    QVERIFY(sim_->start());
    state_ = EmuState{};
    link_ = std::make_unique<EmuLink>(state_.link);
    link_->setDevicePath(sim_->devicePath());
    QVERIFY(link_->open());
    editor_ = std::make_unique<CalibrationEditor>(state_, *link_);
    setFamiliesForModel(state_.cal, 3);
    state_.cal.RpmRange = 10000;
    state_.cal.TimingPointCount = 100;
    state_.link.DataReady = true;
    // The unit on the port holds the data shown: edits go to it.
    state_.link.UnitInStep = true;
}

void TestCalibrationEditor::cleanup() {
    editor_.reset();
    link_.reset();
    sim_.reset();
}

QByteArray TestCalibrationEditor::lastCommand() {
    if (!sim_->waitForCommands(1, 2000))
        return {};
    const QList<SimCommand> commands = sim_->commands();
    sim_->clearRecord();
    return commands.size() == 1 ? commands.first().bytes : QByteArray("more than one");
}

void TestCalibrationEditor::mapPointMessage_data() {
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("timing 30 at 24") << MapId::Timing << 30 << 24.0 << wire(0xE8, 30, 24);
    QTest::newRow("timing half to even") << MapId::Timing << 1 << 12.5 << wire(0xE8, 1, 12);
    QTest::newRow("vacuum 32 at -15") << MapId::VacuumTiming << 32 << -15.0 << wire(0xE8, 131, 0);
    QTest::newRow("fuel vacuum 1 at +50") << MapId::FuelVacuum << 1 << 50.0 << wire(0xDE, 0, 150);
    QTest::newRow("cruise 1") << MapId::FuelRpmCruise << 1 << -3.0 << wire(0xDE, 64, 97);
    QTest::newRow("high 1") << MapId::FuelRpmHigh << 1 << 0.0 << wire(0xCA, 32, 100);
    QTest::newRow("air timing 24") << MapId::AirTempTiming << 24 << 5.0 << wire(0xCA, 87, 105);
    QTest::newRow("voltage 16") << MapId::Voltage << 16 << -14.5 << wire(0xD4, 63, 86);
}

void TestCalibrationEditor::mapPointMessage() {
    QFETCH(MapId, map);
    QFETCH(int, point);
    QFETCH(double, value);
    QFETCH(QByteArray, message);
    QSignalSpy changed(editor_.get(), &CalibrationEditor::mapChanged);
    QSignalSpy edited(editor_.get(), &CalibrationEditor::edited);

    QVERIFY(editor_->setMapPoint(map, point, value, true));
    QCOMPARE(lastCommand(), message);
    QCOMPARE(state_.cal.map(map)[static_cast<size_t>(point)], value);
    QVERIFY(state_.link.MapsChanged);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().value<MapId>(), map);
    const auto record = edited.first().first().value<EditRecord>();
    QCOMPARE(record.point, point);
    QCOMPARE(record.oldValue, 0.0);
    QCOMPARE(record.newValue, value);
    QVERIFY(record.mergeable);
}

void TestCalibrationEditor::refusals_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("dataReady");
    QTest::addColumn<int>("timingPoints");
    QTest::addColumn<MapId>("map");
    QTest::addColumn<int>("point");
    QTest::newRow("no data loaded") << 3 << false << 100 << MapId::Timing << 5;
    QTest::newRow("point 0") << 3 << true << 100 << MapId::Timing << 0;
    QTest::newRow("beyond the shown timing points") << 3 << true << 70 << MapId::Timing << 71;
    QTest::newRow("beyond the map") << 3 << true << 100 << MapId::Voltage << 17;
    QTest::newRow("fuel map on a timing unit") << 1 << true << 100 << MapId::FuelVacuum << 1;
}

void TestCalibrationEditor::refusals() {
    QFETCH(int, model);
    QFETCH(bool, dataReady);
    QFETCH(int, timingPoints);
    QFETCH(MapId, map);
    QFETCH(int, point);
    state_.cal = CalibrationData{};
    setFamiliesForModel(state_.cal, model);
    state_.cal.TimingPointCount = timingPoints;
    state_.link.DataReady = dataReady;
    QSignalSpy edited(editor_.get(), &CalibrationEditor::edited);

    QVERIFY(!editor_->setMapPoint(map, point, 10));
    QVERIFY(!editor_->sendMapPoint(map, point));
    QVERIFY(!sim_->waitForCommands(1, 200));
    QVERIFY(!state_.link.MapsChanged);
    QVERIFY(edited.isEmpty());
    if (!dataReady) {
        QVERIFY(!editor_->setSetupValue(22, 1));
        QVERIFY(!state_.link.SetupChanged);
    }
}

void TestCalibrationEditor::setupValueIsStoredAndSent() {
    QSignalSpy changed(editor_.get(), &CalibrationEditor::setupValueChanged);
    state_.cal.SetupBlock[3] = 41;
    QVERIFY(editor_->setSetupValue(3, 255));
    // A plain 255 travels as is and is kept in wire form.
    QCOMPARE(lastCommand(), (wire(0xF2, 0x03, 0xFF)));
    QCOMPARE(state_.cal.SetupBlock[3], std::uint8_t(0));
    QVERIFY(state_.link.SetupChanged);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toInt(), 3);
    QVERIFY(!editor_->setSetupValue(kSetupBlockSize, 1));
}

void TestCalibrationEditor::keyEditSendsLater() {
    QVERIFY(editor_->setMapPoint(MapId::Timing, 7, 21, true, false));
    QVERIFY(!sim_->waitForCommands(1, 200));
    // Kept back, the change is still one the unit lacks: the exit question must be asked.
    QVERIFY(state_.link.MapsChanged);
    QVERIFY(editor_->hasUnsentPoint(MapId::Timing, 7));
    QVERIFY(!editor_->hasUnsentPoint(MapId::Timing, 8));
    QVERIFY(editor_->sendMapPoint(MapId::Timing, 7));
    QCOMPARE(lastCommand(), (wire(0xE8, 7, 21)));
    QVERIFY(!editor_->hasUnsentPoint(MapId::Timing, 7));
    QVERIFY(state_.link.MapsChanged);
}

void TestCalibrationEditor::readBackComparesWhatTheTypeHolds() {
    CalibrationData cal;
    setFamiliesForModel(cal, 1); // timing and vacuum only
    cal.SetupBlock.fill(11);
    buildImage(cal);
    QByteArray readBack(481, '\0');
    for (int k = 0; k < 481; ++k)
        readBack[k] = static_cast<char>(cal.PlainImage[static_cast<size_t>(k)] + 1);
    QCOMPARE(CalibrationTransfer::readBackDifferences(cal, readBack), 0);

    // A type without fuel maps need not keep what it was sent there.
    readBack[233] = char(7);
    readBack[480] = char(7);
    QCOMPARE(CalibrationTransfer::readBackDifferences(cal, readBack), 0);
    // The setup block, the timing region to its last byte and the vacuum region count.
    readBack[0] = char(7);
    readBack[200] = char(7);
    readBack[232] = char(7);
    QCOMPARE(CalibrationTransfer::readBackDifferences(cal, readBack), 3);
    // A short read-back differs in every position it lacks.
    QCOMPARE(CalibrationTransfer::readBackDifferences(cal, readBack.left(101)), 3 - 2 + 100 + 32);
}

QTEST_GUILESS_MAIN(TestCalibrationEditor)
#include "tst_calibrationeditor.moc"
