// The setup parameter table without a window: entries, scaling, fills and the table's own shape.
#include "calibration/SetupParameters.h"

#include <QSet>
#include <QTest>

Q_DECLARE_METATYPE(EntryStatus)
Q_DECLARE_METATYPE(OutputSource)

class TestSetupParameters : public QObject {
    Q_OBJECT

  private slots:
    void tableShape();
    void entries_data();
    void entries();
    void fills_data();
    void fills();
    void shownValuesReadBack_data();
    void shownValuesReadBack();
    void rangeTexts_data();
    void rangeTexts();
    void radioItems();
    void lambdaMarker_data();
    void lambdaMarker();
    void describe();
};

void TestSetupParameters::tableShape() {
    QSet<int> ids;
    QSet<QString> names;
    for (const SetupParameter& p : setupParameters()) {
        QVERIFY2(p.id >= 0 && p.id < 101, p.label);
        QVERIFY2(!ids.contains(p.id), p.label);
        ids.insert(p.id);
        for (const char* n : p.buttons)
            names.insert(QString::fromLatin1(n));
        if (*p.control) {
            QVERIFY2(!names.contains(QString::fromLatin1(p.control)), p.control);
            names.insert(QString::fromLatin1(p.control));
        }
        if (p.kind == SetupKind::RadioPair || p.kind == SetupKind::OutputSource ||
            p.kind == SetupKind::EdgePair)
            QCOMPARE(p.buttons.size(), p.kind == SetupKind::OutputSource ? size_t(7) : size_t(2));
        // Every accepted value fits below the "not present" marker.
        if (p.kind == SetupKind::EditR || p.kind == SetupKind::EditZ)
            QVERIFY2(plainFromValue(p, maxFor(p, {10000, OutputSource::Rpm})) <= kMaxStoredPlain, p.label);
    }
    // The 56 parameters of the Setup tab, and 16 bytes edited by other windows or only read.
    QCOMPARE(ids.size(), 72);
}

void TestSetupParameters::entries_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rpmRange");
    QTest::addColumn<OutputSource>("source");
    QTest::addColumn<EntryStatus>("status");
    QTest::addColumn<int>("plain");

    const auto N = OutputSource::None;
    QTest::newRow("Cylinders 12") << 80 << "12" << 7000 << N << EntryStatus::Accepted << 12;
    QTest::newRow("Cylinders 13") << 80 << "13" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("Cylinders 0") << 80 << "0" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("empty R box") << 80 << "" << 7000 << N << EntryStatus::Ignored << 0;
    QTest::newRow("empty, no empty test") << 11 << "" << 7000 << N << EntryStatus::NotANumber << 0;
    QTest::newRow("limiter above range") << 84 << "7500" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("limiter within range") << 84 << "7500" << 8000 << N << EntryStatus::Accepted << 75;
    QTest::newRow("RPM 7450 ties down") << 84 << "7450" << 8000 << N << EntryStatus::Accepted << 74;
    QTest::newRow("RPM 7550 ties up") << 84 << "7550" << 8000 << N << EntryStatus::Accepted << 76;
    QTest::newRow("coil 2.5") << 82 << "2.5" << 7000 << N << EntryStatus::Accepted << 5;
    QTest::newRow("coil 2.25") << 82 << "2.25" << 7000 << N << EntryStatus::Accepted << 4;
    QTest::newRow("coil 2.75") << 82 << "2.75" << 7000 << N << EntryStatus::Accepted << 6;
    QTest::newRow("typed tie 0.545") << 16 << "0.545" << 7000 << N << EntryStatus::Accepted << 54;
    QTest::newRow("typed tie 0.575") << 16 << "0.575" << 7000 << N << EntryStatus::Accepted << 58;
    QTest::newRow("beyond a tie") << 16 << "0.5450000000000001" << 7000 << N << EntryStatus::Accepted << 55;
    QTest::newRow("far beyond a tie")
        << 16 << "0.54500000000000000001" << 7000 << N << EntryStatus::Accepted << 55;
    QTest::newRow("exponent") << 16 << "5e-1" << 7000 << N << EntryStatus::Accepted << 50;
    QTest::newRow("vac 2.53") << 16 << "2.53" << 7000 << N << EntryStatus::Accepted << 253;
    QTest::newRow("vac 2.54 would be 'not present'")
        << 16 << "2.54" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("vac 3 would wrap") << 16 << "3" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("start enrichment 2.45") << 43 << "2.45" << 7000 << N << EntryStatus::Accepted << 24;
    QTest::newRow("output RPM 3000") << 30 << "3000" << 7000 << OutputSource::Rpm << EntryStatus::Accepted
                                     << 30;
    QTest::newRow("output RPM 25300")
        << 30 << "25300" << 7000 << OutputSource::Rpm << EntryStatus::Accepted << 253;
    QTest::newRow("output RPM 25400")
        << 30 << "25400" << 7000 << OutputSource::Rpm << EntryStatus::OutOfRange << 0;
    QTest::newRow("output Vacuum 0.5")
        << 30 << "0.5" << 7000 << OutputSource::Vacuum << EntryStatus::Accepted << 50;
    QTest::newRow("output Lambda 2.6")
        << 33 << "2.6" << 7000 << OutputSource::Lambda << EntryStatus::OutOfRange << 0;
    QTest::newRow("output Water 85") << 34 << "85" << 7000 << OutputSource::WaterTemp << EntryStatus::Accepted
                                     << 85;
    QTest::newRow("output TPS 300") << 31 << "300" << 7000 << OutputSource::Tps << EntryStatus::OutOfRange
                                    << 0;
    QTest::newRow("launch limiter real in range")
        << 46 << "7500.5" << 7000 << N << EntryStatus::NotANumber << 0;
    QTest::newRow("launch limiter real out of range")
        << 46 << "20000.5" << 7000 << N << EntryStatus::OutOfRange << 0;
    QTest::newRow("integer box, a real") << 1 << "2.5" << 7000 << N << EntryStatus::NotANumber << 0;
    QTest::newRow("group separator") << 16 << "1,000" << 7000 << N << EntryStatus::NotANumber << 0;
    QTest::newRow("negative") << 51 << "-1" << 7000 << N << EntryStatus::OutOfRange << 0;
}

void TestSetupParameters::entries() {
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(int, rpmRange);
    QFETCH(OutputSource, source);
    QFETCH(EntryStatus, status);
    QFETCH(int, plain);

    const SetupEntry e = evaluateEntry(*setupParameter(id), text, {rpmRange, source}, QLocale::c());
    QCOMPARE(e.status, status);
    if (status == EntryStatus::Accepted)
        QCOMPARE(int(e.plain), plain);
    QCOMPARE(e.error.isEmpty(), status != EntryStatus::NotANumber);
}

void TestSetupParameters::fills_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("wire");
    QTest::addColumn<OutputSource>("source");
    QTest::addColumn<QString>("shown"); // empty: not present

    const auto N = OutputSource::None;
    QTest::newRow("RPM Range 0 shows 7000") << 81 << 1 << N << "7000";
    QTest::newRow("RPM Range 80") << 81 << 81 << N << "8000";
    QTest::newRow("coil 5 half ms") << 82 << 6 << N << "2.5";
    QTest::newRow("coil not present") << 82 << 255 << N << "";
    QTest::newRow("low vacuum wire 1") << 40 << 1 << N << "0.1";
    QTest::newRow("high vacuum wire 1") << 41 << 1 << N << "0.9";
    QTest::newRow("high vacuum 0.44") << 41 << 45 << N << "0.44";
    QTest::newRow("enrichment tenths") << 43 << 36 << N << "3.5";
    QTest::newRow("output RPM") << 30 << 31 << OutputSource::Rpm << "3000";
    QTest::newRow("output Lambda") << 30 << 46 << OutputSource::Lambda << "0.45";
    QTest::newRow("output None shows 0") << 30 << 46 << N << "0";
}

void TestSetupParameters::fills() {
    QFETCH(int, id);
    QFETCH(int, wire);
    QFETCH(OutputSource, source);
    QFETCH(QString, shown);

    const SetupParameter& p = *setupParameter(id);
    const std::optional<double> v = decodedValue(p, static_cast<std::uint8_t>(wire), source);
    QCOMPARE(v.has_value(), !shown.isEmpty());
    if (v)
        QCOMPARE(valueText(p, *v, QLocale::c()), shown);
}

void TestSetupParameters::shownValuesReadBack_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("German: decimal comma, dot groups") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("US English: comma groups") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("French: space groups") << QLocale(QLocale::French, QLocale::France);
}

// What a fill shows in a box is read back by the same box: never a conversion error, and the
// shown value committed as it is gives the byte the unit holds.
void TestSetupParameters::shownValuesReadBack() {
    QFETCH(QLocale, locale);
    const OutputSource sources[] = {OutputSource::Rpm, OutputSource::Vacuum, OutputSource::Tps,
                                    OutputSource::Lambda, OutputSource::WaterTemp};
    for (const SetupParameter& p : setupParameters()) {
        if (p.kind != SetupKind::EditR && p.kind != SetupKind::EditZ)
            continue;
        for (OutputSource source : sources) {
            if (p.scale != SetupScale::BySource && source != OutputSource::Rpm)
                continue; // one pass is enough for a box that has no source
            for (int plain : {0, 1, 5, 30, 99, 100, 253}) {
                const double v = *decodedValue(p, static_cast<std::uint8_t>(plain + 1), source);
                const QString shown = valueText(p, v, locale);
                const SetupEntry e = evaluateEntry(p, shown, {10000, source}, locale);
                const QByteArray what = QByteArray(p.label) + " shows " + shown.toUtf8();
                QVERIFY2(e.status != EntryStatus::NotANumber, what.constData());
                if (e.status == EntryStatus::Accepted && p.fill == SetupFill::Plain)
                    QVERIFY2(e.plain == plain, what.constData());
            }
        }
    }
}

void TestSetupParameters::rangeTexts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("rpmRange");
    QTest::addColumn<OutputSource>("source");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    const auto N = OutputSource::None;
    const QLocale c = QLocale::c();
    const QLocale de(QLocale::German, QLocale::Germany);
    QTest::newRow("Cylinders") << 80 << 7000 << N << c << "1 to 12";
    QTest::newRow("RPM Limiter follows RPM Range") << 84 << 8000 << N << c << "0 to 8000 RPM";
    QTest::newRow("Coil Time") << 82 << 7000 << N << c << "0 to 100 ms";
    QTest::newRow("Fuel Cut-off Vac") << 16 << 7000 << N << c << "0 to 2.53 bar";
    QTest::newRow("Fuel Cut-off Vac, decimal comma") << 16 << 7000 << N << de << "0 to 2,53 bar";
    QTest::newRow("Max Fueling") << 42 << 7000 << N << c << "0 to 25";
    QTest::newRow("Timing Sensor") << 0 << 7000 << N << c << "0 to 180°";
    QTest::newRow("Fuel Cut-off RPM, no group separator") << 15 << 7000 << N << de << "0 to 10000 RPM";
    QTest::newRow("output by RPM") << 30 << 7000 << OutputSource::Rpm << de << "0 to 25300 RPM";
    QTest::newRow("output by Lambda") << 31 << 7000 << OutputSource::Lambda << c << "0 to 2.53 V";
    QTest::newRow("output by Water Temp") << 33 << 7000 << OutputSource::WaterTemp << c << "0 to 253°C";
}

void TestSetupParameters::rangeTexts() {
    QFETCH(int, id);
    QFETCH(int, rpmRange);
    QFETCH(OutputSource, source);
    QFETCH(QLocale, locale);
    QTEST(acceptedRangeText(*setupParameter(id), {rpmRange, source}, locale), "text");
}

void TestSetupParameters::radioItems() {
    const SetupParameter& coils = *setupParameter(86);
    QCOMPARE(itemOfWire(coils, 1), std::optional<int>(0));
    QCOMPARE(itemOfWire(coils, 0), std::optional<int>(0));
    QCOMPARE(itemOfWire(coils, 3), std::optional<int>(2));
    QCOMPARE(itemOfWire(coils, 4), std::nullopt);
    QCOMPARE(itemOfWire(coils, 10), std::nullopt);
    QCOMPARE(outputSourceOf(7), OutputSource::AirTemp);
    QCOMPARE(outputSourceOf(8), OutputSource::None);
}

void TestSetupParameters::lambdaMarker_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("target");
    QTest::addColumn<int>("centre");
    QTest::addColumn<QString>("label");

    QTest::newRow("0.45 at 200") << 200 << 0.45 << 90 << ".45";
    QTest::newRow("0.5 at 101 ties to even") << 101 << 0.5 << 50 << ".50";
    QTest::newRow("0.25") << 120 << 0.25 << 30 << ".25";
}

void TestSetupParameters::lambdaMarker() {
    QFETCH(int, width);
    QFETCH(double, target);
    QFETCH(int, centre);
    QFETCH(QString, label);

    const LambdaMarkerPlacement m = lambdaMarkerPlacement(width, target);
    QCOMPARE(m.markerCentre, centre);
    QCOMPARE(m.labelCentre, centre - 1);
    QCOMPARE(m.label, label);
}

void TestSetupParameters::describe() {
    QCOMPARE(describeWire(*setupParameter(81), 81), QStringLiteral("8000 RPM"));
    QCOMPARE(describeWire(*setupParameter(86), 2), QStringLiteral("Wasted Spark"));
    QCOMPARE(describeWire(*setupParameter(5), 3), QStringLiteral("on"));
    QCOMPARE(describeWire(*setupParameter(20), 2), QStringLiteral("Falling edge"));
    QCOMPARE(describeWire(*setupParameter(30), 31, OutputSource::Rpm), QStringLiteral("3000 RPM"));
    QCOMPARE(describeWire(*setupParameter(82), 255), QStringLiteral("not present"));
    QCOMPARE(describeWire(*setupParameter(25), 19), QStringLiteral("1800 RPM"));
}

QTEST_APPLESS_MAIN(TestSetupParameters)
#include "tst_setupparameters.moc"
