// The curve tools without a window: which points each one changes and to what (whole numbers,
// halves to even), clamping to the map's limits with its count, and the clipboard text both ways.
#include "mapeditor/CurveTools.h"

#include <QTest>

Q_DECLARE_METATYPE(PointRange)

namespace {

using Values = std::vector<double>;
using Changes = std::vector<PointChange>;

const ValueLimits kTiming = CurveTools::limitsOf(MapId::Timing);
const ValueLimits kFuel = CurveTools::limitsOf(MapId::FuelRpmCruise);

Values filled(int points, double value) {
    return Values(static_cast<size_t>(points), value);
}

// The curve after an edit.
Values applied(Values curve, const CurveEdit& edit) {
    for (const PointChange& c : edit.changes)
        curve[static_cast<size_t>(c.point - 1)] = c.value;
    return curve;
}

} // namespace

class TestCurveTools : public QObject {
    Q_OBJECT

  private slots:
    void interpolateSendsOnlyTheInnerPointsThatChange();
    void interpolateLeavesAStraightLineAlone();
    void scaleOfAFuelCurveScalesTheAmountAndClamps();
    void scaleOfTimingScalesTheDegrees();
    void setAndAddClampAndCount();
    void smoothWeighsNeighboursOfTheOldCurve();
    void toolsRefuseRangesTheyCannotUse_data();
    void toolsRefuseRangesTheyCannotUse();
    void pasteOfAWholeCurveChangesOnlyWhatDiffers();
    void pasteRefusesValuesThatDoNotFit();
    void parseText_data();
    void parseText();
    void parseTextRefusesWhatIsNoNumber_data();
    void parseTextRefusesWhatIsNoNumber();
    void clipboardRoundTrip();
    void clampedText();
};

void TestCurveTools::interpolateSendsOnlyTheInnerPointsThatChange() {
    Values curve = filled(100, 30);
    curve[9] = 10;  // point 10
    curve[19] = 15; // point 20: half a degree a point, so every other point is a tie
    const CurveEdit edit = CurveTools::interpolate(curve, {10, 20}, kTiming);
    QVERIFY(edit.ok());
    QCOMPARE(edit.clamped, 0);
    // 10.5 -> 10, 11.5 -> 12, 12.5 -> 12, 13.5 -> 14, 14.5 -> 14
    const Changes expected{{11, 10}, {12, 11}, {13, 12}, {14, 12}, {15, 12},
                           {16, 13}, {17, 14}, {18, 14}, {19, 14}};
    QCOMPARE(edit.changes, expected);

    // A point that already lies on the line is not sent again.
    curve[15] = 13; // point 16
    const CurveEdit again = CurveTools::interpolate(curve, {10, 20}, kTiming);
    QCOMPARE(again.changes.size(), size_t(8));
    for (const PointChange& c : again.changes)
        QVERIFY(c.point != 16 && c.point != 10 && c.point != 20);
}

void TestCurveTools::interpolateLeavesAStraightLineAlone() {
    Values curve = filled(32, 0);
    for (int i = 0; i < 32; ++i)
        curve[static_cast<size_t>(i)] = i - 10;
    QVERIFY(CurveTools::interpolate(curve, {1, 32}, kFuel).changes.empty());
    // Reversed ends, interpolated downhill.
    const Values down{40, 0, 0, 0, 0, 20};
    QCOMPARE(applied(down, CurveTools::interpolate(down, {1, 6}, kFuel)), (Values{40, 36, 32, 28, 24, 20}));
}

void TestCurveTools::scaleOfAFuelCurveScalesTheAmountAndClamps() {
    const Values curve{45, 20, 0, -50, 40, 50};
    const CurveEdit edit = CurveTools::scale(curve, {1, 6}, 10, MapId::FuelRpmCruise);
    QVERIFY(edit.ok());
    // 145 % x 1.1 = 159.5 % (clamped to +50), 120 % -> 132 %, 100 % -> 110 %, 50 % -> 55 %,
    // 140 % -> 154 % (clamped), 150 % -> 165 % (clamped, and no change to send).
    QCOMPARE(edit.clamped, 3);
    const Changes expected{{1, 50}, {2, 32}, {3, 10}, {4, -45}, {5, 50}};
    QCOMPARE(edit.changes, expected);
    // Down by a tenth: the lowest point is clamped at -50.
    const CurveEdit down = CurveTools::scale(Values{-48, 0}, {1, 2}, -10, MapId::FuelVacuum);
    QCOMPARE(down.clamped, 1);
    QCOMPARE(down.changes, (Changes{{1, -50}, {2, -10}}));
}

void TestCurveTools::scaleOfTimingScalesTheDegrees() {
    const Values curve{20, 42, 5};
    const CurveEdit edit = CurveTools::scale(curve, {1, 3}, 10, MapId::Timing);
    // 22, 46.2 (clamped to 45), 5.5 (ties to 6)
    QCOMPARE(edit.changes, (Changes{{1, 22}, {2, 45}, {3, 6}}));
    QCOMPARE(edit.clamped, 1);
}

void TestCurveTools::setAndAddClampAndCount() {
    const Values curve{10, 44, 45, 0};
    const CurveEdit set = CurveTools::setTo(curve, {2, 3}, 45, kTiming);
    QCOMPARE(set.changes, (Changes{{2, 45}}));
    QCOMPARE(set.clamped, 0);
    const CurveEdit over = CurveTools::setTo(curve, {1, 1}, 60, kTiming);
    QCOMPARE(over.changes, (Changes{{1, 45}}));
    QCOMPARE(over.clamped, 1);

    const CurveEdit up = CurveTools::add(curve, {1, 4}, 3, kTiming);
    // 44 + 3 and 45 + 3 are held at 45; the point already there sends nothing.
    QCOMPARE(up.changes, (Changes{{1, 13}, {2, 45}, {4, 3}}));
    QCOMPARE(up.clamped, 2);
    const CurveEdit down = CurveTools::add(curve, {1, 4}, -2.5, kTiming);
    // 7.5 -> 8, 41.5 -> 42, 42.5 -> 42, -2.5 -> -2 clamped to 0 (no change)
    QCOMPARE(down.changes, (Changes{{1, 8}, {2, 42}, {3, 42}}));
    QCOMPARE(down.clamped, 1);
}

void TestCurveTools::smoothWeighsNeighboursOfTheOldCurve() {
    const Values zigzag{10, 20, 10, 20, 10};
    const CurveEdit edit = CurveTools::smooth(zigzag, {1, 5}, kFuel);
    // Each from the old neighbours, not from the points smoothed before it; the ends stay.
    QCOMPARE(applied(zigzag, edit), (Values{10, 15, 15, 15, 10}));
    QCOMPARE(edit.changes.size(), size_t(3));

    // (1 + 2 + 3) / 4 = 1.5 -> 2; (3 + 6 + 1) / 4 = 2.5 -> 2; (1 + 4 + 4) / 4 = 2.25 -> 2 (no change)
    QCOMPARE(CurveTools::smooth(Values{1, 1, 3}, {1, 3}, kFuel).changes, (Changes{{2, 2}}));
    QCOMPARE(CurveTools::smooth(Values{3, 3, 1}, {1, 3}, kFuel).changes, (Changes{{2, 2}}));
    QVERIFY(CurveTools::smooth(Values{1, 2, 4}, {1, 3}, kFuel).changes.empty());
    // Only the selected stretch: its ends are points 2 and 4.
    QCOMPARE(CurveTools::smooth(zigzag, {2, 4}, kFuel).changes, (Changes{{3, 15}}));
}

void TestCurveTools::toolsRefuseRangesTheyCannotUse_data() {
    QTest::addColumn<QString>("tool");
    QTest::addColumn<PointRange>("range");
    QTest::newRow("interpolate two points") << "interpolate" << PointRange{3, 4};
    QTest::newRow("smooth one point") << "smooth" << PointRange{3, 3};
    QTest::newRow("interpolate nothing") << "interpolate" << PointRange{};
    QTest::newRow("set nothing") << "set" << PointRange{};
    QTest::newRow("add beyond the curve") << "add" << PointRange{9, 11};
    QTest::newRow("smooth beyond the curve") << "smooth" << PointRange{8, 11};
}

void TestCurveTools::toolsRefuseRangesTheyCannotUse() {
    QFETCH(QString, tool);
    QFETCH(PointRange, range);
    const Values curve = filled(10, 5);
    CurveEdit edit;
    if (tool == "interpolate")
        edit = CurveTools::interpolate(curve, range, kTiming);
    else if (tool == "smooth")
        edit = CurveTools::smooth(curve, range, kTiming);
    else if (tool == "set")
        edit = CurveTools::setTo(curve, range, 1, kTiming);
    else
        edit = CurveTools::add(curve, range, 1, kTiming);
    QVERIFY(!edit.ok());
    QVERIFY(edit.changes.empty());
}

void TestCurveTools::pasteOfAWholeCurveChangesOnlyWhatDiffers() {
    Values curve = filled(32, 0);
    Values pasted = curve;
    pasted[0] = 5;
    pasted[16] = -60;  // below the limit: clamped to -50
    pasted[31] = 12.5; // ties to 12
    const CurveEdit edit = CurveTools::paste(curve, 1, pasted, kFuel);
    QVERIFY(edit.ok());
    QCOMPARE(edit.changes, (Changes{{1, 5}, {17, -50}, {32, 12}}));
    QCOMPARE(edit.clamped, 1);
    // A stretch from a later point.
    QCOMPARE(CurveTools::paste(curve, 30, Values{0, 7, 0}, kFuel).changes, (Changes{{31, 7}}));
}

void TestCurveTools::pasteRefusesValuesThatDoNotFit() {
    const Values curve = filled(24, 0);
    const CurveEdit whole = CurveTools::paste(curve, 1, filled(32, 1), kFuel);
    QVERIFY(!whole.ok());
    QCOMPARE(whole.error, QStringLiteral("The clipboard holds 32 values; the curve has 24 points"));
    QVERIFY(whole.changes.empty());
    const CurveEdit late = CurveTools::paste(curve, 23, filled(3, 1), kFuel);
    QVERIFY(!late.ok());
    QVERIFY(late.changes.empty());
    QVERIFY(!CurveTools::paste(curve, 1, Values{}, kFuel).ok());
}

void TestCurveTools::parseText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("values");
    QTest::newRow("one value a line") << "12\n13\n-4\n" << QList<double>{12, 13, -4};
    QTest::newRow("axis and value") << "1\t12\n2\t13\n" << QList<double>{12, 13};
    QTest::newRow("CRLF, no last break") << "0.03\t5\r\n0.06\t6" << QList<double>{5, 6};
    QTest::newRow("column titles skipped") << "RPM\tTiming\n100\t12\n200\t14\n" << QList<double>{12, 14};
    QTest::newRow("blank lines skipped") << "\n12\n\n13\n\n" << QList<double>{12, 13};
    QTest::newRow("decimal comma") << "1,5\t12,5\n" << QList<double>{12.5};
    QTest::newRow("trailing tab") << "100\t12\t\n" << QList<double>{12};
    QTest::newRow("spaces around") << "  7 \n" << QList<double>{7};
}

void TestCurveTools::parseText() {
    QFETCH(QString, text);
    QFETCH(QList<double>, values);
    QString error;
    const auto parsed = CurveTools::parseText(text, &error);
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(QList<double>(parsed->begin(), parsed->end()), values);
}

void TestCurveTools::parseTextRefusesWhatIsNoNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("a word on line 3") << "12\n13\nabc\n"
                                      << "Line 3 of the clipboard is not a number: 'abc'";
    QTest::newRow("empty") << ""
                           << "The clipboard holds no values";
    QTest::newRow("titles only") << "RPM\tTiming\n"
                                 << "The clipboard holds no values";
    QTest::newRow("nan") << "12\n1\tnan\n"
                         << "Line 2 of the clipboard is not a number: '1\tnan'";
}

void TestCurveTools::parseTextRefusesWhatIsNoNumber() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    QString why;
    QVERIFY(!CurveTools::parseText(text, &why));
    QCOMPARE(why, error);
}

void TestCurveTools::clipboardRoundTrip() {
    const Values axis{-20, -14.7826087, -9.56521739};
    const Values curve{-3, 0, 12};
    const QString text = CurveTools::formatText(axis, curve, {1, 3});
    QCOMPARE(text.count(QLatin1Char('\n')), 3);
    QVERIFY(text.startsWith(QStringLiteral("-20\t-3\n")));
    const auto back = CurveTools::parseText(text);
    QVERIFY(back);
    QCOMPARE(*back, curve);
    QCOMPARE(CurveTools::formatText(axis, curve, {2, 2}), QStringLiteral("-14.7826087\t0\n"));
}

void TestCurveTools::clampedText() {
    QCOMPARE(CurveTools::clampedText(0, kFuel), QString());
    QCOMPARE(CurveTools::clampedText(1, kTiming), QStringLiteral("1 value was clamped to 0..45"));
    QCOMPARE(CurveTools::clampedText(3, kFuel), QStringLiteral("3 values were clamped to -50..50"));
}

QTEST_GUILESS_MAIN(TestCurveTools)
#include "tst_curvetools.moc"
