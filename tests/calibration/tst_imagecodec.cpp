#include "calibration/CalibrationData.h"
#include "calibration/MapTable.h"
#include "calibration_helpers.h"

#include <QTest>

#include <algorithm>

namespace {

QByteArray bytesOf(const WireImage& image, int from, int to) {
    return QByteArray(reinterpret_cast<const char*>(image.data()) + from, to - from);
}

} // namespace

class TestImageCodec : public QObject {
    Q_OBJECT

  private slots:
    void mapTableTilesTheImage();
    void pointIdsFollowTheGroupOffsets_data();
    void pointIdsFollowTheGroupOffsets();

    void families_data();
    void families();
    void familiesAreNeverCleared();

    void deriveSetupValues_data();
    void deriveSetupValues();

    void decodeExamples_data();
    void decodeExamples();
    void decodeFillsAxesAndTrims();
    void decodeLeavesMissingFamiliesAlone_data();
    void decodeLeavesMissingFamiliesAlone();

    void decodeBuildReproducesTheImage_data();
    void decodeBuildReproducesTheImage();
    void buildKeepsOnlyTheEdit();
    void buildIsRepeatable_data();
    void buildIsRepeatable();
    void fuelUnitWritesFuelAtItsOffset();

    void builderRounding_data();
    void builderRounding();
    void setupBytesPassThrough_data();
    void setupBytesPassThrough();
    void trailer();

    void clearCalibrationZeroesTheTune();
};

void TestImageCodec::mapTableTilesTheImage() {
    // Every map region in image order, back to back from the end of the setup block to the trailer.
    int next = kSetupBlockSize;
    for (const MapInfo& info : mapTable()) {
        QCOMPARE(info.imageOffset, next);
        next += info.points;
    }
    QCOMPARE(next, kTrailerOffset);
}

void TestImageCodec::pointIdsFollowTheGroupOffsets_data() {
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("firstId");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("plainOffset");

    QTest::newRow("timing") << int(MapId::Timing) << 0xE8 << 1 << 100 << 0;
    QTest::newRow("vacuum timing") << int(MapId::VacuumTiming) << 0xE8 << 100 << 32 << 15;
    QTest::newRow("fuel vacuum") << int(MapId::FuelVacuum) << 0xDE << 0 << 64 << 100;
    QTest::newRow("cruise") << int(MapId::FuelRpmCruise) << 0xDE << 64 << 32 << 100;
    QTest::newRow("water") << int(MapId::WaterTemp) << 0xD4 << 0 << 24 << 100;
    QTest::newRow("air fuel") << int(MapId::AirTempFuel) << 0xD4 << 24 << 24 << 100;
    QTest::newRow("voltage") << int(MapId::Voltage) << 0xD4 << 48 << 16 << 100;
    QTest::newRow("low") << int(MapId::FuelRpmLow) << 0xCA << 0 << 32 << 100;
    QTest::newRow("high") << int(MapId::FuelRpmHigh) << 0xCA << 32 << 32 << 100;
    QTest::newRow("air timing") << int(MapId::AirTempTiming) << 0xCA << 64 << 24 << 100;
}

void TestImageCodec::pointIdsFollowTheGroupOffsets() {
    QFETCH(int, map);
    QFETCH(int, command);
    QFETCH(int, firstId);
    QFETCH(int, points);
    QFETCH(int, plainOffset);
    const MapInfo& info = mapInfo(static_cast<MapId>(map));
    QCOMPARE(int(info.pointCommand), command);
    QCOMPARE(info.firstPointId, firstId);
    QCOMPARE(info.points, points);
    QCOMPARE(info.plainOffset, plainOffset);
    // In the DE, D4 and CA groups a point's id is its image offset minus the group's first offset.
    const int groupBase = command == 0xDE ? 233 : command == 0xD4 ? 329 : command == 0xCA ? 393 : -1;
    if (groupBase >= 0)
        QCOMPARE(info.imageOffset - groupBase, firstId);
}

void TestImageCodec::families_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("timing");
    QTest::addColumn<bool>("vacuum");
    QTest::addColumn<bool>("fuel");

    QTest::newRow("1 Timing and Vacuum") << 1 << true << true << false;
    QTest::newRow("2 Fuel") << 2 << false << false << true;
    QTest::newRow("3 Fuel and Timing") << 3 << true << true << true;
    QTest::newRow("5 Advanced") << 5 << true << true << true;
    QTest::newRow("6 Advanced") << 6 << true << true << true;
    QTest::newRow("0 none") << 0 << false << false << false;
    QTest::newRow("4 none") << 4 << false << false << false;
    QTest::newRow("48 fill") << 48 << false << false << false;
}

void TestImageCodec::families() {
    QFETCH(int, model);
    QFETCH(bool, timing);
    QFETCH(bool, vacuum);
    QFETCH(bool, fuel);
    CalibrationData data;
    setFamiliesForModel(data, model);
    QCOMPARE(data.HasTimingMaps, timing);
    QCOMPARE(data.HasVacuumMap, vacuum);
    QCOMPARE(data.HasFuelMaps, fuel);
    QCOMPARE(data.hasFamily(MapFamily::Timing), timing);
    QCOMPARE(data.hasFamily(MapFamily::Vacuum), vacuum);
    QCOMPARE(data.hasFamily(MapFamily::Fuel), fuel);
}

void TestImageCodec::familiesAreNeverCleared() {
    CalibrationData data;
    setFamiliesForModel(data, 2);
    setFamiliesForModel(data, 1);
    setFamiliesForModel(data, 4);
    QVERIFY(data.HasTimingMaps);
    QVERIFY(data.HasVacuumMap);
    QVERIFY(data.HasFuelMaps);
}

void TestImageCodec::deriveSetupValues_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("rpmRange");
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<double>("coilTime");
    QTest::addColumn<int>("vacuumRange");
    QTest::addColumn<int>("limiter");
    QTest::addColumn<int>("cylinders");

    // Starting values: RpmRange 9000, CoilTimeMs 3.5, VacuumRange 20, RpmLimiter 5000, Cylinders 2.
    QTest::newRow("rpm 7000") << 81 << 71 << 7000 << 70 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 0 means 7000") << 81 << 1 << 7000 << 70 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 8000") << 81 << 81 << 8000 << 80 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 1000") << 81 << 11 << 1000 << 10 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 10000") << 81 << 101 << 10000 << 100 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 100, one point") << 81 << 2 << 100 << 1 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm 15000, count capped") << 81 << 151 << 15000 << 100 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("rpm not present") << 81 << 255 << 9000 << 90 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("coil 12.5 ms") << 82 << 26 << 9000 << 90 << 12.5 << 20 << 5000 << 2;
    QTest::newRow("coil 0.5 ms") << 82 << 2 << 9000 << 90 << 0.5 << 20 << 5000 << 2;
    QTest::newRow("coil not present") << 82 << 255 << 9000 << 90 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("map sensor 10") << 83 << 11 << 9000 << 90 << 3.5 << 10 << 5000 << 2;
    QTest::newRow("map sensor not present") << 83 << 255 << 9000 << 90 << 3.5 << 20 << 5000 << 2;
    QTest::newRow("limiter 7200") << 84 << 73 << 9000 << 90 << 3.5 << 20 << 7200 << 2;
    QTest::newRow("cylinders 4") << 80 << 5 << 9000 << 90 << 3.5 << 20 << 5000 << 4;
    QTest::newRow("cylinders not present") << 80 << 255 << 9000 << 90 << 3.5 << 20 << 5000 << 2;
}

void TestImageCodec::deriveSetupValues() {
    QFETCH(int, offset);
    QFETCH(int, byte);
    QFETCH(int, rpmRange);
    QFETCH(int, pointCount);
    QFETCH(double, coilTime);
    QFETCH(int, vacuumRange);
    QFETCH(int, limiter);
    QFETCH(int, cylinders);

    CalibrationData data;
    data.RpmRange = 9000;
    data.CoilTimeMs = 3.5;
    data.VacuumRange = 20;
    data.RpmLimiter = 5000;
    data.Cylinders = 2;
    data.SetupBlock.fill(255); // nothing present but the offset under test
    data.SetupBlock[offset] = static_cast<std::uint8_t>(byte);
    ::deriveSetupValues(data);

    QCOMPARE(data.RpmRange, rpmRange);
    QCOMPARE(data.TimingPointCount, pointCount);
    QCOMPARE(data.CoilTimeMs, coilTime);
    QCOMPARE(data.VacuumRange, vacuumRange);
    QCOMPARE(data.RpmLimiter, limiter);
    QCOMPARE(data.Cylinders, cylinders);
}

void TestImageCodec::decodeExamples_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");

    QTest::newRow("vacuum timing 16 -> 0") << 201 << 16 << int(MapId::VacuumTiming) << 1 << 0.0;
    QTest::newRow("vacuum timing 1 -> -15") << 232 << 1 << int(MapId::VacuumTiming) << 32 << -15.0;
    QTest::newRow("fuel 101 -> 0") << 233 << 101 << int(MapId::FuelVacuum) << 1 << 0.0;
    QTest::newRow("fuel 255 -> 154") << 296 << 255 << int(MapId::FuelVacuum) << 64 << 154.0;
    QTest::newRow("timing 1 -> 0") << 101 << 1 << int(MapId::Timing) << 1 << 0.0;
    QTest::newRow("timing 0 -> -1") << 130 << 0 << int(MapId::Timing) << 30 << -1.0;
    QTest::newRow("timing point 100") << 200 << 46 << int(MapId::Timing) << 100 << 45.0;
    QTest::newRow("48 fill timing") << 150 << 48 << int(MapId::Timing) << 50 << 47.0;
    QTest::newRow("48 fill vacuum") << 210 << 48 << int(MapId::VacuumTiming) << 10 << 32.0;
    QTest::newRow("48 fill fuel") << 240 << 48 << int(MapId::FuelVacuum) << 8 << -53.0;
    QTest::newRow("cruise first") << 297 << 111 << int(MapId::FuelRpmCruise) << 1 << 10.0;
    QTest::newRow("water last") << 352 << 41 << int(MapId::WaterTemp) << 24 << -60.0;
    QTest::newRow("air fuel first") << 353 << 121 << int(MapId::AirTempFuel) << 1 << 20.0;
    QTest::newRow("voltage last") << 392 << 151 << int(MapId::Voltage) << 16 << 50.0;
    QTest::newRow("low first") << 393 << 51 << int(MapId::FuelRpmLow) << 1 << -50.0;
    QTest::newRow("high last") << 456 << 100 << int(MapId::FuelRpmHigh) << 32 << -1.0;
    QTest::newRow("air timing last") << 480 << 81 << int(MapId::AirTempTiming) << 24 << -20.0;
    QTest::newRow("fuel wire 0") << 300 << 0 << int(MapId::FuelRpmCruise) << 4 << -101.0;
}

void TestImageCodec::decodeExamples() {
    QFETCH(int, offset);
    QFETCH(int, byte);
    QFETCH(int, map);
    QFETCH(int, point);
    QFETCH(double, value);

    WireImage image = realisticImage(3, 71, false);
    image[offset] = static_cast<std::uint8_t>(byte);
    const CalibrationData data = decodedFrom(image, 3);
    QCOMPARE(data.map(static_cast<MapId>(map))[point], value);
}

void TestImageCodec::decodeFillsAxesAndTrims() {
    WireImage image = realisticImage(5, 71, false);
    image[3] = 201; // main jet trim 200
    image[2] = 1;   // idle jet trim 0
    image[kVacuumRangeByteOffset] = 21;
    const CalibrationData data = decodedFrom(image, 5);

    QCOMPARE(data.MainJetTrim, 200);
    QCOMPARE(data.IdleJetTrim, 0);
    QCOMPARE(data.VacuumRange, 20);
    QCOMPARE(data.VacuumAxis[1], 2.0 / 32);
    QCOMPARE(data.VacuumAxis[16], 1.0);
    QCOMPARE(data.VacuumAxis[32], 2.0);
    QCOMPARE(data.FuelVacuumAxis[1], 2.0 / 64);
    QCOMPARE(data.FuelVacuumAxis[64], 2.0);
}

void TestImageCodec::decodeLeavesMissingFamiliesAlone_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("timingDecoded");
    QTest::addColumn<bool>("fuelDecoded");
    QTest::newRow("1") << 1 << true << false;
    QTest::newRow("2") << 2 << false << true;
    QTest::newRow("3") << 3 << true << true;
}

void TestImageCodec::decodeLeavesMissingFamiliesAlone() {
    QFETCH(int, type);
    QFETCH(bool, timingDecoded);
    QFETCH(bool, fuelDecoded);

    const CalibrationData data = decodedFrom(realisticImage(type, 71, false), type);
    for (const MapInfo& info : mapTable()) {
        const bool decoded = info.family == MapFamily::Fuel ? fuelDecoded : timingDecoded;
        const MapArray& values = data.map(info.id);
        for (int n = 1; n <= info.points; ++n) {
            if ((values[n] != kUntouched) != decoded)
                QFAIL(qPrintable(QStringLiteral("%1 point %2 is %3").arg(info.name).arg(n).arg(values[n])));
        }
    }
    if (!fuelDecoded) {
        QCOMPARE(data.MainJetTrim, 0);
        QCOMPARE(data.FuelVacuumAxis[64], 0.0);
    }
}

void TestImageCodec::decodeBuildReproducesTheImage_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rpmByte");
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<bool>("storedZeros");

    const struct {
        const char* name;
        int byte;
        int count;
    } ranges[] = {
        {"1000", 11, 10}, {"7000", 71, 70}, {"0 byte, 7000", 1, 70}, {"8000", 81, 80}, {"10000", 101, 100}};
    for (int type : {1, 2, 3, 5, 6}) {
        for (const auto& range : ranges) {
            for (bool zeros : {false, true}) {
                QTest::addRow("type %d, rpm %s%s", type, range.name, zeros ? ", stored 255s" : "")
                    << type << range.byte << range.count << zeros;
            }
        }
    }
}

void TestImageCodec::decodeBuildReproducesTheImage() {
    QFETCH(int, type);
    QFETCH(int, rpmByte);
    QFETCH(int, pointCount);
    QFETCH(bool, storedZeros);

    const WireImage image = realisticImage(type, static_cast<std::uint8_t>(rpmByte), storedZeros);
    CalibrationData data = decodedFrom(image, type);
    QCOMPARE(data.TimingPointCount, pointCount);
    buildImage(data);

    QCOMPARE(bytesOf(data.OutgoingImage, 0, kTrailerOffset), bytesOf(image, 0, kTrailerOffset));
    QCOMPARE(int(data.OutgoingImage[kTrailerOffset]), 57);
    for (int k = 0; k < kImageSize; ++k)
        QCOMPARE(int(data.PlainImage[k]), (data.OutgoingImage[k] + 255) % 256);
    QCOMPARE(data.OutgoingImageText, bytesOf(data.OutgoingImage, 0, kImageSize));
    QCOMPARE(data.PlainImageText, bytesOf(data.PlainImage, 0, kImageSize));
}

void TestImageCodec::buildKeepsOnlyTheEdit() {
    const WireImage image = realisticImage(3, 71, false);
    CalibrationData data = decodedFrom(image, 3);
    data.map(MapId::Timing)[30] = 24;        // a drag of timing point 30 to 24 degrees
    data.map(MapId::FuelRpmHigh)[2] = -12.0; // and of High point 2 to -12 %
    data.SetupBlock[84] = 73;                // the limiter set to 7200
    buildImage(data);

    WireImage expected = image;
    expected[130] = 25;
    expected[426] = 89;
    expected[84] = 73;
    expected[kTrailerOffset] = 57;
    QCOMPARE(bytesOf(data.OutgoingImage, 0, kImageSize), bytesOf(expected, 0, kImageSize));
}

void TestImageCodec::buildIsRepeatable_data() {
    QTest::addColumn<int>("type");
    for (int type : {1, 2, 3, 5, 6})
        QTest::addRow("type %d", type) << type;
}

void TestImageCodec::buildIsRepeatable() {
    // Regions a type lacks are carried over, never incremented again on a second build.
    QFETCH(int, type);
    CalibrationData data = decodedFrom(realisticImage(type, 71, true), type);
    buildImage(data);
    const QByteArray first = data.OutgoingImageText;
    const QByteArray firstPlain = data.PlainImageText;
    buildImage(data);
    QCOMPARE(data.OutgoingImageText, first);
    QCOMPARE(data.PlainImageText, firstPlain);
}

void TestImageCodec::fuelUnitWritesFuelAtItsOffset() {
    const WireImage image = realisticImage(2, 71, false);
    CalibrationData data = decodedFrom(image, 2);
    data.map(MapId::FuelVacuum)[1] = 7;
    data.map(MapId::Timing)[1] = 33; // not a family of type 2: must not reach the image
    buildImage(data);

    QCOMPARE(int(data.OutgoingImage[233]), 108);
    QCOMPARE(int(data.PlainImage[233]), 107);
    QCOMPARE(bytesOf(data.OutgoingImage, 101, 233), bytesOf(image, 101, 233));
    QCOMPARE(bytesOf(data.OutgoingImage, 234, kTrailerOffset), bytesOf(image, 234, kTrailerOffset));
}

void TestImageCodec::builderRounding_data() {
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("plain");

    QTest::newRow("timing 12.5 -> 12") << int(MapId::Timing) << 1 << 12.5 << 12;
    QTest::newRow("timing 13.5 -> 14") << int(MapId::Timing) << 1 << 13.5 << 14;
    QTest::newRow("timing 12.49 -> 12") << int(MapId::Timing) << 5 << 12.49 << 12;
    QTest::newRow("timing 12.51 -> 13") << int(MapId::Timing) << 5 << 12.51 << 13;
    QTest::newRow("timing point 100") << int(MapId::Timing) << 100 << 44.5 << 44;
    QTest::newRow("timing -1 wraps") << int(MapId::Timing) << 2 << -1.0 << 255;
    QTest::newRow("timing -0.5 -> 0") << int(MapId::Timing) << 3 << -0.5 << 0;
    QTest::newRow("timing 300 wraps") << int(MapId::Timing) << 4 << 300.0 << 44;
    QTest::newRow("vacuum -2.5 -> 12") << int(MapId::VacuumTiming) << 1 << -2.5 << 12;
    QTest::newRow("vacuum -15") << int(MapId::VacuumTiming) << 32 << -15.0 << 0;
    QTest::newRow("fuel 0.5 -> 100") << int(MapId::FuelVacuum) << 1 << 0.5 << 100;
    QTest::newRow("fuel 1.5 -> 102") << int(MapId::FuelVacuum) << 64 << 1.5 << 102;
    QTest::newRow("air timing -20") << int(MapId::AirTempTiming) << 24 << -20.0 << 80;
    QTest::newRow("voltage 155.5 wraps") << int(MapId::Voltage) << 16 << 155.5 << 0;
}

void TestImageCodec::builderRounding() {
    QFETCH(int, map);
    QFETCH(int, point);
    QFETCH(double, value);
    QFETCH(int, plain);

    CalibrationData data = decodedFrom(realisticImage(6, 71, false), 6);
    data.map(static_cast<MapId>(map))[point] = value;
    buildImage(data);
    const int offset = mapInfo(static_cast<MapId>(map)).imageOffset + point - 1;
    QCOMPARE(int(data.PlainImage[offset]), plain);
    QCOMPARE(int(data.OutgoingImage[offset]), (plain + 1) % 256);
}

void TestImageCodec::setupBytesPassThrough_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("plain");

    QTest::newRow("not present") << 13 << 255 << 254;
    QTest::newRow("not present, rpm range") << 81 << 255 << 254;
    QTest::newRow("plain 0") << 22 << 1 << 0;
    QTest::newRow("stored 255 from a file") << 40 << 0 << 255;
    QTest::newRow("serial letter") << 98 << 66 << 65;
}

void TestImageCodec::setupBytesPassThrough() {
    QFETCH(int, offset);
    QFETCH(int, byte);
    QFETCH(int, plain);

    for (int type : {1, 2, 3}) {
        CalibrationData data = decodedFrom(realisticImage(type, 71, false), type);
        data.SetupBlock[offset] = static_cast<std::uint8_t>(byte);
        buildImage(data);
        QCOMPARE(int(data.OutgoingImage[offset]), byte);
        QCOMPARE(int(data.PlainImage[offset]), plain);
        QCOMPARE(int(static_cast<std::uint8_t>(data.PlainImageText[offset])), plain);
    }
}

void TestImageCodec::trailer() {
    for (int type : {0, 1, 2, 5}) {
        CalibrationData data = decodedFrom(realisticImage(type, 71, false), type);
        data.ReceivedImage[kTrailerOffset] = 48;
        buildImage(data);
        QCOMPARE(int(data.PlainImage[kTrailerOffset]), 56);
        QCOMPARE(int(data.OutgoingImage[kTrailerOffset]), 57);
        QCOMPARE(data.PlainImageText.size(), kImageSize);
        QCOMPARE(data.OutgoingImageText.size(), kImageSize);
        QCOMPARE(data.PlainImageText.back(), '8');
    }
}

void TestImageCodec::clearCalibrationZeroesTheTune() {
    CalibrationData data = decodedFrom(realisticImage(3, 101, false), 3);
    clearCalibration(data);
    QVERIFY(std::all_of(data.SetupBlock.begin(), data.SetupBlock.end(), [](auto b) { return b == 0; }));
    QVERIFY(std::all_of(data.ReceivedImage.begin(), data.ReceivedImage.end(), [](auto b) { return b == 0; }));
    for (const MapInfo& info : mapTable()) {
        const MapArray& values = data.map(info.id);
        QVERIFY2(std::all_of(values.begin(), values.end(), [](double v) { return v == 0; }), info.name);
    }
    QCOMPARE(data.FuelVacuumAxis[64], 0.0);
    QCOMPARE(data.VacuumAxis[32], 0.0);
}

QTEST_GUILESS_MAIN(TestImageCodec)
#include "tst_imagecodec.moc"
