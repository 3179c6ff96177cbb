#include "Exceptions.h"
#include "NumberConvert.h"

#include <QtTest>

#include <limits>

using namespace taviro;

class TestNumberConvert : public QObject {
    Q_OBJECT

private slots:
    void strToInt_data();
    void strToInt();
    void intToStr_data();
    void intToStr();
};

void TestNumberConvert::strToInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    const int intMax = std::numeric_limits<int>::max();
    const int intMin = std::numeric_limits<int>::min();

    QTest::newRow("decimal") << "12" << true << 12;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("plus sign") << "+12" << true << 12;
    QTest::newRow("minus zero") << "-0" << true << 0;
    QTest::newRow("leading spaces") << "   12" << true << 12;
    QTest::newRow("leading tab") << "\t12" << false << 0;
    QTest::newRow("trailing space") << "12 " << false << 0;
    QTest::newRow("space after sign") << "- 5" << false << 0;
    QTest::newRow("sign alone") << "-" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("spaces only") << "   " << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("other script digit") << QString(QChar(0x0663)) << false << 0;
    // Octal must not sneak in the way it does with toInt(base 0).
    QTest::newRow("leading zero is not octal") << "010" << true << 10;

    QTest::newRow("largest int") << "2147483647" << true << intMax;
    QTest::newRow("one above largest") << "2147483648" << false << 0;
    QTest::newRow("smallest int") << "-2147483648" << true << intMin;
    QTest::newRow("one below smallest") << "-2147483649" << false << 0;
    QTest::newRow("many leading zeros") << "000000000000000000012" << true << 12;
    QTest::newRow("very long number") << "99999999999999999999999" << false << 0;

    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("x hex") << "x1f" << true << 31;
    QTest::newRow("X hex") << "X1F" << true << 31;
    QTest::newRow("0x hex") << "0x1F" << true << 31;
    QTest::newRow("0X hex") << "0X1f" << true << 31;
    QTest::newRow("hex after spaces") << "  $10" << true << 16;
    QTest::newRow("eight F are -1") << "$FFFFFFFF" << true << -1;
    QTest::newRow("high bit is the smallest int") << "$80000000" << true << intMin;
    QTest::newRow("nine digits") << "$100000000" << false << 0;
    QTest::newRow("leading zeros are not significant") << "$000000001" << true << 1;
    QTest::newRow("prefix alone") << "$" << false << 0;
    QTest::newRow("0x alone") << "0x" << false << 0;
    QTest::newRow("sign before hex") << "-$1F" << false << 0;
    QTest::newRow("plus before 0x") << "+0x1" << false << 0;
    QTest::newRow("non-hex digit") << "$1G" << false << 0;
    QTest::newRow("trailing space after hex") << "$1F " << false << 0;
}

void TestNumberConvert::strToInt() {
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);

    QCOMPARE(tryStrToInt(text), converts ? std::optional<int>(value) : std::nullopt);
    if (converts) {
        QCOMPARE(StrToInt(text), value);
        return;
    }
    try {
        StrToInt(text);
        QFAIL("StrToInt accepted the text");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

void TestNumberConvert::intToStr_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("positive") << 12 << "12";
    QTest::newRow("negative") << -5 << "-5";
    QTest::newRow("smallest") << std::numeric_limits<int>::min() << "-2147483648";
    QTest::newRow("largest") << std::numeric_limits<int>::max() << "2147483647";
}

void TestNumberConvert::intToStr() {
    QFETCH(int, value);
    QFETCH(QString, text);

    QCOMPARE(IntToStr(value), text);
    QCOMPARE(StrToInt(IntToStr(value)), value);
}

QTEST_GUILESS_MAIN(TestNumberConvert)
#include "tst_numberconvert.moc"
