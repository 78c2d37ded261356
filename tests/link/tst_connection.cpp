// The connection rules that need no window: port numbers from the selector, the firmware check,
// the version notice, the serial number and the unit's description.
#include "link/Connection.h"

#include <QLocale>
#include <QTest>

#include <array>

Q_DECLARE_METATYPE(TQCCom32::OpenError)

class TestConnection : public QObject {
    Q_OBJECT

  private slots:
    void portNumber_data();
    void portNumber();
    void firmwareVersionIgnoresLocale_data();
    void firmwareVersionIgnoresLocale();
    void versionComparison_data();
    void versionComparison();
    void versionNotice_data();
    void versionNotice();
    void serialNumber_data();
    void serialNumber();
    void unitDescription();
    void searchAndRefreshTexts();
    void portProblems_data();
    void portProblems();
};

void TestConnection::portNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // -1: conversion error
    QTest::addColumn<QString>("error");

    QTest::newRow("Com1") << "Com1" << 1 << QString();
    QTest::newRow("Com7") << "Com7" << 7 << QString();
    QTest::newRow("Com12") << "Com12" << 12 << QString();
    QTest::newRow("Com20") << "Com20" << 20 << QString();
    QTest::newRow("only five characters count") << "Com123" << 12 << QString();
    QTest::newRow("any three letters") << "COM9" << 9 << QString();
    QTest::newRow("leading zero") << "Com07" << 7 << QString();
    QTest::newRow("letters") << "Comxx" << -1 << "'xx' is not a valid integer value.";
    QTest::newRow("digit then letter") << "Com1a" << -1 << "'1a' is not a valid integer value.";
    QTest::newRow("too short") << "Com" << -1 << "'' is not a valid integer value.";
    QTest::newRow("empty") << "" << -1 << "'' is not a valid integer value.";
    QTest::newRow("space before digit") << "Com 7" << -1 << "' 7' is not a valid integer value.";
    QTest::newRow("minus") << "Com-1" << -1 << "'-1' is not a valid integer value.";
    QTest::newRow("arabic-indic digits are not port digits")
        << QString::fromUtf8("Com\u0663") << -1
        << QString::fromUtf8("'\u0663' is not a valid integer value.");
}

void TestConnection::portNumber() {
    QFETCH(QString, text);
    QFETCH(int, port);
    QFETCH(QString, error);

    QString errorText = QStringLiteral("untouched");
    const auto parsed = Connection::parsePortNumber(text, &errorText);
    if (port < 0) {
        QVERIFY(!parsed);
        QCOMPARE(errorText, error);
    } else {
        QVERIFY(parsed);
        QCOMPARE(*parsed, port);
    }
}

void TestConnection::firmwareVersionIgnoresLocale_data() {
    QTest::addColumn<QString>("locale");
    QTest::newRow("C") << "C";
    QTest::newRow("German") << "de_DE";
    QTest::newRow("French") << "fr_FR";
}

void TestConnection::firmwareVersionIgnoresLocale() {
    QFETCH(QString, locale);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    const auto value = Connection::parseFirmwareVersion(QStringLiteral("1.13"));
    const int compared = Connection::compareSoftwareVersion(QStringLiteral("1.13"));
    const auto comma = Connection::parseFirmwareVersion(QStringLiteral("1,13"));
    QLocale::setDefault(saved);

    QVERIFY(value);
    QCOMPARE(*value, 1.13);
    QCOMPARE(compared, 0);
    QVERIFY(!comma);
}

void TestConnection::versionComparison_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("sign");

    QTest::newRow("equal") << "1.13" << 0;
    QTest::newRow("lower firmware") << "1.12" << 1;
    QTest::newRow("higher firmware") << "1.20" << -1;
    // Compared as numbers, not as release counts: 1.5 is above 1.13.
    QTest::newRow("one-digit release") << "1.5" << -1;
    QTest::newRow("release 130 is 1.130") << "1.130" << 0;
    QTest::newRow("next major") << "2.0" << -1;
    QTest::newRow("fill pattern") << "48.48" << -1;
    QTest::newRow("unreadable") << "" << 1;
}

void TestConnection::versionComparison() {
    QFETCH(QString, firmware);
    QFETCH(int, sign);
    const int result = Connection::compareSoftwareVersion(firmware);
    QCOMPARE((result > 0) - (result < 0), sign);
}

void TestConnection::versionNotice_data() {
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("softwareHigher");
    QTest::addColumn<QString>("text");

    const QString head =
        QStringLiteral("Please download the correct version of the EMU Interface Software from our "
                       "website. The version required is v");
    QTest::newRow("unit older")
        << "1.12" << true
        << head + "1.12.  Alternatively, please send in your EMU for the latest firmware "
                  "upgrade.";
    QTest::newRow("unit newer") << "1.20" << false << head + "1.20.";
}

void TestConnection::versionNotice() {
    QFETCH(QString, firmware);
    QFETCH(bool, softwareHigher);
    QFETCH(QString, text);
    QCOMPARE(Connection::versionNoticeText(firmware, softwareHigher), text);
}

void TestConnection::serialNumber_data() {
    QTest::addColumn<int>("first"); // wire bytes at 94..99
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("third");
    QTest::addColumn<int>("hardware");
    QTest::addColumn<int>("letter1");
    QTest::addColumn<int>("letter2");
    QTest::addColumn<QString>("text");

    QTest::newRow("AB-010203-04") << 2 << 3 << 4 << 5 << 'A' + 1 << 'B' + 1 << "AB-010203-04";
    QTest::newRow("wire 10 is value 9, padded")
        << 10 << 10 << 10 << 10 << 'X' + 1 << 'Z' + 1 << "XZ-090909-09";
    QTest::newRow("wire 11 is value 10, not padded")
        << 11 << 12 << 100 << 11 << 'C' + 1 << 'D' + 1 << "CD-101199-10";
    QTest::newRow("three digits stay three")
        << 101 << 1 << 1 << 200 << 'M' + 1 << 'N' + 1 << "MN-1000000-199";
}

void TestConnection::serialNumber() {
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(int, third);
    QFETCH(int, hardware);
    QFETCH(int, letter1);
    QFETCH(int, letter2);
    QFETCH(QString, text);

    std::array<std::uint8_t, 101> setup{};
    setup.fill(48);
    setup[94] = static_cast<std::uint8_t>(first);
    setup[95] = static_cast<std::uint8_t>(second);
    setup[96] = static_cast<std::uint8_t>(third);
    setup[97] = static_cast<std::uint8_t>(hardware);
    setup[98] = static_cast<std::uint8_t>(letter1);
    setup[99] = static_cast<std::uint8_t>(letter2);
    QCOMPARE(Connection::serialNumberText(setup.data()), text);
}

void TestConnection::unitDescription() {
    EmuIdentity id;
    id.bytes = {1, 3, 13, 2, 1, 5, 6, 0};
    QCOMPARE(Connection::unitDescription(id, QStringLiteral("AB-010203-04")), "EMU 3 v1.13 :: AB-010203-04");
    QCOMPARE(Connection::unitDescription(id), "EMU 3 v1.13");
}

void TestConnection::searchAndRefreshTexts() {
    // A model the search does not name leaves the type text empty: the text starts with a space.
    QCOMPARE(Connection::searchFoundText(QString(), 3), " Module found on Com3");
    QCOMPARE(Connection::searchFoundText(QStringLiteral("Fuel and Timing"), 12),
             "Fuel and Timing Module found on Com12");
    EmuIdentity id;
    id.bytes = {1, 3, 12, 1, 1, 5, 6, 0};
    QCOMPARE(Connection::refreshFoundText(id, 2), "EFI version 1.12 found on Com2");
}

void TestConnection::portProblems_data() {
    QTest::addColumn<TQCCom32::OpenError>("error");
    QTest::addColumn<QStringList>("mustSay");

    QTest::newRow("permission") << TQCCom32::OpenError::PermissionDenied
                                << QStringList{"Com4", "/dev/ttyUSB0", "dialout",
                                               "sudo usermod -aG dialout $USER", "log out"};
    QTest::newRow("busy") << TQCCom32::OpenError::Busy
                          << QStringList{"Com4", "/dev/ttyUSB0", "another program",
                                         "Close the other program"};
    QTest::newRow("no device") << TQCCom32::OpenError::NoDevice << QStringList{};
    QTest::newRow("other") << TQCCom32::OpenError::Other << QStringList{};
    QTest::newRow("none") << TQCCom32::OpenError::None << QStringList{};
}

void TestConnection::portProblems() {
    QFETCH(TQCCom32::OpenError, error);
    QFETCH(QStringList, mustSay);

    const QString text = Connection::portProblemText(error, 4, QStringLiteral("/dev/ttyUSB0"));
    if (mustSay.isEmpty()) {
        QVERIFY(text.isEmpty());
        return;
    }
    for (const QString& part : mustSay)
        QVERIFY2(text.contains(part), qPrintable(part + " missing in: " + text));
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
