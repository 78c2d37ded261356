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
    void mapLayout_data();
    void mapLayout();

    void families_data();
    void families();

    void deriveSetupValues_data();
    void deriveSetupValues();

    void decodeExamples_data();
    void decodeExamples();
    void decodeFillsAxesAndTrims();

    void decodeBuildReproducesTheImage_data();
    void decodeBuildReproducesTheImage();
    void buildKeepsOnlyTheEdits_data();
    void buildKeepsOnlyTheEdits();

    void builderRounding_data();
    void builderRounding();
    void setupBytesPassThrough_data();
    void setupBytesPassThrough();

    void clearCalibrationZeroesTheTune();
};

void TestImageCodec::mapLayout_data() {
    QTest::addColumn<int>("map");
    QTest::addColumn<QList<int>>(
        "layout"); // point command, id of point 1, points, plain offset, image offset

    // Back to back from the end of the setup block (101) to the trailer (481); in the DE, D4 and CA
    // groups a point's id is its offset from the group's first region.
    QTest::newRow("timing") << int(MapId::Timing) << QList<int>{0xE8, 1, 100, 0, 101};
    QTest::newRow("vacuum timing") << int(MapId::VacuumTiming) << QList<int>{0xE8, 100, 32, 15, 201};
    QTest::newRow("fuel vacuum") << int(MapId::FuelVacuum) << QList<int>{0xDE, 0, 64, 100, 233};
    QTest::newRow("cruise") << int(MapId::FuelRpmCruise) << QList<int>{0xDE, 64, 32, 100, 297};
    QTest::newRow("water") << int(MapId::WaterTemp) << QList<int>{0xD4, 0, 24, 100, 329};
    QTest::newRow("air fuel") << int(MapId::AirTempFuel) << QList<int>{0xD4, 24, 24, 100, 353};
    QTest::newRow("voltage") << int(MapId::Voltage) << QList<int>{0xD4, 48, 16, 100, 377};
    QTest::newRow("low") << int(MapId::FuelRpmLow) << QList<int>{0xCA, 0, 32, 100, 393};
    QTest::newRow("high") << int(MapId::FuelRpmHigh) << QList<int>{0xCA, 32, 32, 100, 425};
    QTest::newRow("air timing") << int(MapId::AirTempTiming) << QList<int>{0xCA, 64, 24, 100, 457};
}

void TestImageCodec::mapLayout() {
    QFETCH(int, map);
    QFETCH(QList<int>, layout);
    const MapInfo& info = mapInfo(static_cast<MapId>(map));
    QCOMPARE(
        QList<int>({info.pointCommand, info.firstPointId, info.points, info.plainOffset, info.imageOffset}),
        layout);
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

    // Only the maps of the unit's families are decoded (the timing and vacuum families go together).
    const CalibrationData decoded = decodedFrom(realisticImage(model, 71, false), model);
    for (const MapInfo& info : mapTable()) {
        const bool expected = info.family == MapFamily::Fuel ? fuel : timing;
        const MapArray& values = decoded.map(info.id);
        for (int n = 1; n <= info.points; ++n) {
            if ((values[n] != kUntouched) != expected)
                QFAIL(qPrintable(QStringLiteral("%1 point %2 is %3").arg(info.name).arg(n).arg(values[n])));
        }
    }
    if (!fuel) {
        QCOMPARE(decoded.MainJetTrim, 0);
        QCOMPARE(decoded.FuelVacuumAxis[64], 0.0);
    }

    // Flags are only ever set: a later unit of any type clears none.
    setFamiliesForModel(data, 3);
    setFamiliesForModel(data, model);
    QVERIFY(data.HasTimingMaps && data.HasVacuumMap && data.HasFuelMaps);
}

void TestImageCodec::deriveSetupValues_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    // RpmRange, TimingPointCount, CoilTimeMs, VacuumRange, RpmLimiter, Cylinders
    QTest::addColumn<QList<double>>("derived");

    // Starting values: RpmRange 9000, CoilTimeMs 3.5, VacuumRange 20, RpmLimiter 5000, Cylinders 2.
    QTest::newRow("rpm 7000") << 81 << 71 << QList<double>{7000, 70, 3.5, 20, 5000, 2};
    QTest::newRow("rpm 0 means 7000") << 81 << 1 << QList<double>{7000, 70, 3.5, 20, 5000, 2};
    QTest::newRow("rpm 10000") << 81 << 101 << QList<double>{10000, 100, 3.5, 20, 5000, 2};
    QTest::newRow("rpm 100, one point") << 81 << 2 << QList<double>{100, 1, 3.5, 20, 5000, 2};
    QTest::newRow("rpm 15000, count capped") << 81 << 151 << QList<double>{15000, 100, 3.5, 20, 5000, 2};
    QTest::newRow("rpm not present") << 81 << 255 << QList<double>{9000, 90, 3.5, 20, 5000, 2};
    QTest::newRow("coil 12.5 ms") << 82 << 26 << QList<double>{9000, 90, 12.5, 20, 5000, 2};
    QTest::newRow("coil not present") << 82 << 255 << QList<double>{9000, 90, 3.5, 20, 5000, 2};
    QTest::newRow("map sensor 10") << 83 << 11 << QList<double>{9000, 90, 3.5, 10, 5000, 2};
    QTest::newRow("limiter 7200") << 84 << 73 << QList<double>{9000, 90, 3.5, 20, 7200, 2};
    QTest::newRow("cylinders 4") << 80 << 5 << QList<double>{9000, 90, 3.5, 20, 5000, 4};
    QTest::newRow("cylinders not present") << 80 << 255 << QList<double>{9000, 90, 3.5, 20, 5000, 2};
}

void TestImageCodec::deriveSetupValues() {
    QFETCH(int, offset);
    QFETCH(int, byte);
    QFETCH(QList<double>, derived);

    CalibrationData data;
    data.RpmRange = 9000;
    data.CoilTimeMs = 3.5;
    data.VacuumRange = 20;
    data.RpmLimiter = 5000;
    data.Cylinders = 2;
    data.SetupBlock.fill(255); // nothing present but the offset under test
    data.SetupBlock[offset] = static_cast<std::uint8_t>(byte);
    ::deriveSetupValues(data);
    QCOMPARE(QList<double>({double(data.RpmRange), double(data.TimingPointCount), data.CoilTimeMs,
                            double(data.VacuumRange), double(data.RpmLimiter), double(data.Cylinders)}),
             derived);
}

void TestImageCodec::decodeExamples_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");

    QTest::newRow("vacuum timing 16 -> 0") << 201 << 16 << int(MapId::VacuumTiming) << 1 << 0.0;
    QTest::newRow("vacuum timing 1 -> -15") << 232 << 1 << int(MapId::VacuumTiming) << 32 << -15.0;
    QTest::newRow("fuel 255 -> 154") << 296 << 255 << int(MapId::FuelVacuum) << 64 << 154.0;
    QTest::newRow("timing 0 -> -1") << 130 << 0 << int(MapId::Timing) << 30 << -1.0;
    QTest::newRow("timing point 100") << 200 << 46 << int(MapId::Timing) << 100 << 45.0;
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

void TestImageCodec::decodeBuildReproducesTheImage_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("rpmByte");
    QTest::addColumn<bool>("storedZeros");
    // Type 0 has no maps at all; a 0 RPM byte means 7000. All 100 timing points go through.
    for (int type : {0, 1, 2, 3, 5, 6}) {
        for (int rpmByte : {1, 11, 71, 101}) {
            for (bool zeros : {false, true}) {
                QTest::addRow("type %d, rpm byte %d%s", type, rpmByte, zeros ? ", stored 255s" : "")
                    << type << rpmByte << zeros;
            }
        }
    }
}

void TestImageCodec::decodeBuildReproducesTheImage() {
    QFETCH(int, type);
    QFETCH(int, rpmByte);
    QFETCH(bool, storedZeros);

    const WireImage image = realisticImage(type, static_cast<std::uint8_t>(rpmByte), storedZeros);
    CalibrationData data = decodedFrom(image, type);
    buildImage(data);
    QCOMPARE(bytesOf(data.OutgoingImage, 0, kTrailerOffset), bytesOf(image, 0, kTrailerOffset));
    QCOMPARE(int(data.OutgoingImage[kTrailerOffset]), 57);
    for (int k = 0; k < kImageSize; ++k)
        QCOMPARE(int(data.PlainImage[k]), (data.OutgoingImage[k] + 255) % 256);
    QCOMPARE(data.OutgoingImageText, bytesOf(data.OutgoingImage, 0, kImageSize));
    QCOMPARE(data.PlainImageText, bytesOf(data.PlainImage, 0, kImageSize));

    // A second build gives the same: regions a type lacks are carried over, not incremented again.
    const QByteArray first = data.OutgoingImageText;
    const QByteArray firstPlain = data.PlainImageText;
    buildImage(data);
    QCOMPARE(data.OutgoingImageText, first);
    QCOMPARE(data.PlainImageText, firstPlain);
}

void TestImageCodec::buildKeepsOnlyTheEdits_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("timing");
    QTest::addColumn<bool>("fuel");
    QTest::newRow("type 0") << 0 << false << false;
    QTest::newRow("type 1") << 1 << true << false;
    QTest::newRow("type 2") << 2 << false << true;
    QTest::newRow("type 3") << 3 << true << true;
}

void TestImageCodec::buildKeepsOnlyTheEdits() {
    // Edits reach the image only in the families the type has; the rest stays as the unit sent it.
    QFETCH(int, type);
    QFETCH(bool, timing);
    QFETCH(bool, fuel);
    const WireImage image = realisticImage(type, 71, false);
    CalibrationData data = decodedFrom(image, type);
    data.map(MapId::Timing)[30] = 24;        // a drag of timing point 30 to 24 degrees
    data.map(MapId::FuelVacuum)[1] = 7;      // fuel vacuum point 1 to +7 %
    data.map(MapId::FuelRpmHigh)[2] = -12.0; // High point 2 to -12 %
    data.SetupBlock[84] = 73;                // the limiter set to 7200
    buildImage(data);

    WireImage expected = image;
    expected[130] = timing ? 25 : image[130];
    expected[233] = fuel ? 108 : image[233];
    expected[426] = fuel ? 89 : image[426];
    expected[84] = 73;
    expected[kTrailerOffset] = 57;
    QCOMPARE(bytesOf(data.OutgoingImage, 0, kImageSize), bytesOf(expected, 0, kImageSize));
}

void TestImageCodec::builderRounding_data() {
    QTest::addColumn<int>("map");
    QTest::addColumn<int>("point");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("plain");

    QTest::newRow("timing 12.5 -> 12") << int(MapId::Timing) << 1 << 12.5 << 12;
    QTest::newRow("timing 13.5 -> 14") << int(MapId::Timing) << 1 << 13.5 << 14;
    QTest::newRow("timing 12.51 -> 13") << int(MapId::Timing) << 5 << 12.51 << 13;
    QTest::newRow("timing -1 wraps") << int(MapId::Timing) << 2 << -1.0 << 255;
    QTest::newRow("timing -0.5 -> 0") << int(MapId::Timing) << 3 << -0.5 << 0;
    QTest::newRow("timing 300 wraps") << int(MapId::Timing) << 4 << 300.0 << 44;
    QTest::newRow("vacuum -2.5 -> 12") << int(MapId::VacuumTiming) << 1 << -2.5 << 12;
    QTest::newRow("vacuum -15") << int(MapId::VacuumTiming) << 32 << -15.0 << 0;
    QTest::newRow("fuel 0.5 -> 100") << int(MapId::FuelVacuum) << 1 << 0.5 << 100;
    QTest::newRow("fuel 1.5 -> 102") << int(MapId::FuelVacuum) << 64 << 1.5 << 102;
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
