// The throttle calibration's captures, the reading it takes from a live frame, and the stored
// calibration Connect takes from the setup block.
#include "calibration/CalibrationData.h"
#include "tools/ThrottleCalibration.h"

#include <QTest>

using Capture = ThrottleCalibration::Capture;
Q_DECLARE_METATYPE(Capture)

class TestThrottleCalibration : public QObject {
    Q_OBJECT

  private slots:
    void captures_data();
    void captures();
    void errorPauseIgnoresF1UntilOver();
    void okNeedsBothCapturesOfThisShowing();
    void resetDisablesOk();
    void reading_data();
    void reading();
    void derive_data();
    void derive();
};

void TestThrottleCalibration::captures_data() {
    QTest::addColumn<int>("open");
    QTest::addColumn<int>("closed");
    QTest::addColumn<Capture>("result");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("panel"); // how the panel's text starts
    QTest::addColumn<QString>("why");   // and what it then says
    QTest::addColumn<bool>("ok");
    const QString error = ThrottleCalibration::kErrorText;
    QTest::newRow("90 then 12") << 90 << 12 << Capture::Calibrated << 12 << 90
                                << ThrottleCalibration::kDoneText << QString() << true;
    QTest::newRow("closed of 0") << 80 << 0 << Capture::Calibrated << 0 << 80
                                 << ThrottleCalibration::kDoneText << QString() << true;
    QTest::newRow("wide open past the bar's end") << 150 << 12 << Capture::Calibrated << 12 << 100
                                                  << ThrottleCalibration::kDoneText << QString() << true;
    QTest::newRow("80 then 85: the closed capture") << 80 << 85 << Capture::Error << 0 << 100 << error
                                                    << "The closed throttle reading (85) is above the open "
                                                       "throttle reading (80)"
                                                    << false;
    QTest::newRow("2 then 10: the open capture")
        << 2 << 10 << Capture::Error << 0 << 100 << error
        << "The open throttle reading (2) is below the closed throttle "
           "reading (10)"
        << false;
    QTest::newRow("equal readings") << 50 << 50 << Capture::Error << 0 << 100 << error
                                    << "Both readings are 50: the throttle did not move" << false;
    QTest::newRow("both past the bar's end")
        << 180 << 200 << Capture::Error << 0 << 100 << error << "Both readings are 100" << false;
}

void TestThrottleCalibration::captures() {
    QFETCH(int, open);
    QFETCH(int, closed);
    QFETCH(QString, panel);
    QFETCH(QString, why);
    ThrottleCalibration cal;
    cal.start(40, 30);
    QCOMPARE(cal.minimum(), 40);
    QCOMPARE(cal.maximum(), 70);
    QCOMPARE(cal.capture(open), Capture::MaximumTaken);
    QCOMPARE(cal.maximum(), std::min(open, ThrottleCalibration::kBarMaximum));
    QCOMPARE(cal.panelText(), ThrottleCalibration::kReleaseText);
    QVERIFY(!cal.okEnabled());

    QTEST(cal.capture(closed), "result");
    QTEST(cal.minimum(), "minimum");
    QTEST(cal.maximum(), "maximum");
    QVERIFY2(cal.panelText().startsWith(panel), qPrintable(cal.panelText()));
    if (why.isEmpty())
        QCOMPARE(cal.panelText(), panel);
    else
        QVERIFY2(cal.panelText().contains(why), qPrintable(cal.panelText()));
    QTEST(cal.okEnabled(), "ok");
    if (cal.okEnabled())
        QCOMPARE(cal.span(), cal.maximum() - closed);
}

void TestThrottleCalibration::errorPauseIgnoresF1UntilOver() {
    ThrottleCalibration cal;
    cal.start(0, 100);
    cal.capture(80);
    QCOMPARE(cal.capture(85), Capture::Error);
    QVERIFY(!cal.maxCaptured() && !cal.minCaptured());
    QCOMPARE(cal.capture(60), Capture::Ignored);
    QCOMPARE(cal.maximum(), 100);
    cal.endErrorPause();
    QCOMPARE(cal.panelText(), ThrottleCalibration::kOpenText);
    // It starts again with the open throttle.
    QCOMPARE(cal.capture(60), Capture::MaximumTaken);
    QCOMPARE(cal.maximum(), 60);
    QCOMPARE(cal.capture(10), Capture::Calibrated);
}

void TestThrottleCalibration::okNeedsBothCapturesOfThisShowing() {
    ThrottleCalibration cal;
    // A stored minimum of 40 and a single capture of 30 must not offer a span of -10.
    cal.start(40, 30);
    cal.capture(30);
    QVERIFY(!cal.okEnabled());
    // A new showing forgets the captures of the last one.
    cal.capture(10);
    QVERIFY(cal.okEnabled());
    cal.start(10, 20);
    QVERIFY(!cal.okEnabled());
    QCOMPARE(cal.panelText(), ThrottleCalibration::kOpenText);
    cal.capture(50);
    QVERIFY(!cal.okEnabled());
}

void TestThrottleCalibration::resetDisablesOk() {
    ThrottleCalibration cal;
    cal.start(0, 100);
    cal.capture(90);
    cal.capture(12);
    QVERIFY(cal.okEnabled());
    cal.reset();
    QVERIFY(!cal.okEnabled());
    QCOMPARE(cal.minimum(), 0);
    QCOMPARE(cal.maximum(), 100);
    QCOMPARE(cal.capture(70), Capture::MaximumTaken);
}

void TestThrottleCalibration::reading_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("expected"); // -2: no reading
    QTest::newRow("whole frame") << QByteArray("\x1f\x81\x33\x2e\x56\x29\x80\x83\x3d\x01", 10) << 50;
    QTest::newRow("three bytes") << QByteArray("\x01\x01\x5b", 3) << 90;
    QTest::newRow("byte 1 means 0") << QByteArray("\x05\x05\x01\x05", 4) << 0;
    QTest::newRow("above 100") << QByteArray("\x05\x05\xc9\x05", 4) << 200;
    QTest::newRow("wire 255") << QByteArray("\x05\x05\xff", 3) << 254;
    QTest::newRow("empty") << QByteArray() << -2;
    QTest::newRow("cut before byte 2") << QByteArray("\x05\x05", 2) << -2;
    QTest::newRow("zero in byte 2") << QByteArray("\x05\x05\x00\x05", 4) << -2;
    QTest::newRow("zero before byte 2") << QByteArray("\x05\x00\x40\x05", 4) << -2;
}

void TestThrottleCalibration::reading() {
    QFETCH(QByteArray, frame);
    QFETCH(int, expected);
    const std::optional<int> r = throttleReading(frame);
    if (expected == -2)
        QVERIFY(!r);
    else
        QCOMPARE(r.value_or(-2), expected);
}

void TestThrottleCalibration::derive_data() {
    QTest::addColumn<int>("minByte");
    QTest::addColumn<int>("spanByte");
    QTest::addColumn<int>("tpsMin");
    QTest::addColumn<int>("tpsSpan");
    QTest::newRow("stored 13 and 79") << 13 << 79 << 12 << 78;
    QTest::newRow("minimum 0") << 1 << 101 << 0 << 100;
    QTest::newRow("span 0") << 21 << 1 << 0 << 100;
    QTest::newRow("span missing") << 21 << 255 << 0 << 100;
    QTest::newRow("minimum missing") << 255 << 50 << 0 << 100;
    QTest::newRow("nothing stored") << 0 << 0 << 0 << 100;
}

void TestThrottleCalibration::derive() {
    QFETCH(int, minByte);
    QFETCH(int, spanByte);
    CalibrationData data;
    data.TPSMin = 77;
    data.TPSSpan = 7;
    data.SetupBlock[38] = static_cast<std::uint8_t>(minByte);
    data.SetupBlock[39] = static_cast<std::uint8_t>(spanByte);
    deriveThrottleCalibration(data);
    QTEST(data.TPSMin, "tpsMin");
    QTEST(data.TPSSpan, "tpsSpan");
}

QTEST_APPLESS_MAIN(TestThrottleCalibration)
#include "tst_throttlecalibration.moc"
