// The number fields that pass a raw setup byte, the serial-number fields and the service password.
#include "tools/SensorCalibration.h"
#include "tools/SerialNumber.h"
#include "tools/ServicePassword.h"

#include <QCryptographicHash>
#include <QTest>

using Kind = SensorCalibration::Action::Kind;
Q_DECLARE_METATYPE(Kind)

class TestServiceFields : public QObject {
    Q_OBJECT

  private slots:
    void numberField_data();
    void numberField();
    void fieldText_data();
    void fieldText();
    void firstProblem_data();
    void firstProblem();
    void sendsInOrder();
    void password_data();
    void password();
    void builtInHashIsASha256();
};

void TestServiceFields::numberField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<bool>("ready");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("plain");
    QTest::addColumn<QString>("reason"); // Refuse: the reason's text
    const int sensor = SensorCalibration::kSensorLimit;
    const int p13 = SensorCalibration::kParameter13Limit;
    const QString none;
    QTest::newRow("300 sends its low 8 bits") << "300" << sensor << true << Kind::Send << 44 << none;
    QTest::newRow("499 is the largest") << "499" << sensor << true << Kind::Send << 243 << none;
    QTest::newRow("500 is refused") << "500" << sensor << true << Kind::Refuse << 0
                                    << "accepts 0 to 499: 500 was not sent";
    QTest::newRow("0 is sent") << "0" << sensor << true << Kind::Send << 0 << none;
    QTest::newRow("256 in a sensor field") << "256" << sensor << true << Kind::Send << 0 << none;
    QTest::newRow("empty") << "" << sensor << true << Kind::Nothing << 0 << none;
    QTest::newRow("no data loaded") << "300" << sensor << false << Kind::Refuse << 0
                                    << "no data is loaded, nothing was sent";
    QTest::newRow("negative") << "-1" << sensor << true << Kind::Refuse << 0
                              << "accepts 0 to 499: -1 was not sent";
    QTest::newRow("not a number") << "abc" << sensor << true << Kind::Refuse << 0
                                  << "'abc' is not a valid integer value.";
    QTest::newRow("parameter 13 of 300")
        << "300" << p13 << true << Kind::Refuse << 0 << "accepts 0 to 255: 300 was not sent";
    QTest::newRow("parameter 13 of 256")
        << "256" << p13 << true << Kind::Refuse << 0 << "accepts 0 to 255: 256 was not sent";
    QTest::newRow("parameter 13 of 255") << "255" << p13 << true << Kind::Send << 255 << none;
}

void TestServiceFields::numberField() {
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(bool, ready);
    const SensorCalibration::Action action = SensorCalibration::actionFor(text, limit, ready);
    QTEST(action.kind, "kind");
    QTEST(int(action.plain), "plain");
    QTEST(action.reason, "reason");
}

void TestServiceFields::fieldText_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("wire");
    QTest::addColumn<QString>("text");
    QTest::newRow("7 reads 07") << 94 << 8 << "07";
    QTest::newRow("12 reads 12") << 95 << 13 << "12";
    QTest::newRow("0 reads 00") << 96 << 1 << "00";
    QTest::newRow("99") << 97 << 100 << "99";
    QTest::newRow("100 the unit cannot hold") << 97 << 101 << "";
    QTest::newRow("number never stored") << 94 << 0 << "";
    QTest::newRow("letter B") << 98 << 'B' + 1 << "B";
    QTest::newRow("letter never stored reads A") << 99 << 0 << "A";
    QTest::newRow("not a letter") << 98 << '3' + 1 << "";
}

void TestServiceFields::fieldText() {
    QFETCH(int, id);
    QFETCH(int, wire);
    QTEST(SerialNumber::fieldText(id, static_cast<std::uint8_t>(wire)), "text");
}

void TestServiceFields::firstProblem_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("problem"); // empty: all six hold
    QTest::newRow("all valid") << QStringList{"A", "B", "0", "07", "99", "5"} << "";
    QTest::newRow("lower-case letter") << QStringList{"a", "B", "1", "2", "3", "4"} << "Cust letter 1";
    QTest::newRow("empty letter") << QStringList{"A", "", "1", "2", "3", "4"} << "Cust letter 2";
    QTest::newRow("letter above Z") << QStringList{"A", QString(QChar(0x100)), "1", "2", "3", "4"}
                                    << "Cust letter 2";
    QTest::newRow("negative number") << QStringList{"A", "B", "-1", "2", "3", "4"} << "Number 1";
    QTest::newRow("empty number") << QStringList{"A", "B", "1", "", "3", "4"} << "Number 2";
    QTest::newRow("three digits") << QStringList{"A", "B", "1", "2", "100", "4"} << "Number 3";
    QTest::newRow("last field only") << QStringList{"A", "B", "1", "2", "3", "x"} << "H/W number";
}

void TestServiceFields::firstProblem() {
    QFETCH(QStringList, fields);
    QFETCH(QString, problem);
    SerialNumber::Fields f;
    for (int i = 0; i < SerialNumber::kFieldCount; ++i)
        f.at(static_cast<size_t>(i)) = fields.at(i);
    const std::optional<QString> found = SerialNumber::firstProblem(f);
    if (problem.isEmpty()) {
        QVERIFY(!found);
        return;
    }
    QVERIFY(found);
    QVERIFY2(found->startsWith(problem + QLatin1Char(' ')), qPrintable(*found));
    QVERIFY(found->endsWith(QStringLiteral("nothing was sent.")));
}

void TestServiceFields::sendsInOrder() {
    const SerialNumber::Fields f = {"C", "Z", "0", "07", "42", "99"};
    const auto sends = SerialNumber::sends(f);
    const std::array<std::pair<int, std::uint8_t>, 6> expected = {
        {{98, 'C'}, {99, 'Z'}, {94, 0}, {95, 7}, {96, 42}, {97, 99}}};
    QCOMPARE(sends.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(sends.at(i).first, expected.at(i).first);
        QCOMPARE(int(sends.at(i).second), int(expected.at(i).second));
    }
    QCOMPARE(SerialNumber::twoDigits("0"), QStringLiteral("00"));
    QCOMPARE(SerialNumber::twoDigits("7"), QStringLiteral("07"));
    QCOMPARE(SerialNumber::twoDigits("12"), QStringLiteral("12"));
}

void TestServiceFields::password_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("hash");
    QTest::addColumn<bool>("match");
    // The SHA-256 test vector of "abc".
    const QByteArray abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("right") << "abc" << abc << true;
    QTest::newRow("upper-case hash") << "abc" << abc.toUpper() << true;
    QTest::newRow("wrong") << "abd" << abc << false;
    QTest::newRow("empty") << "" << abc << false;
    QTest::newRow("prefix") << "ab" << abc << false;
    QTest::newRow("short hash") << "abc" << abc.left(62) << false;
    QTest::newRow("no hash") << "" << QByteArray() << false;
    QTest::newRow("not unicode-blind")
        << QStringLiteral("pässword")
        << QCryptographicHash::hash(QStringLiteral("pässword").toUtf8(), QCryptographicHash::Sha256).toHex()
        << true;
}

void TestServiceFields::password() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, hash);
    QTEST(ServicePassword::matches(typed, hash), "match");
}

void TestServiceFields::builtInHashIsASha256() {
    const QByteArray hash = ServicePassword::builtInHash();
    QCOMPARE(hash.size(), 64);
    QCOMPARE(QByteArray::fromHex(hash).toHex(), hash);
    QVERIFY(!ServicePassword::matches(QString(), hash));
    QVERIFY(ServicePassword::constantTimeEqual("abc", "abc"));
    QVERIFY(!ServicePassword::constantTimeEqual("abc", "abd"));
    QVERIFY(!ServicePassword::constantTimeEqual("abc", "abcd"));
}

QTEST_APPLESS_MAIN(TestServiceFields)
#include "tst_servicefields.moc"
