// The code page table itself: every byte of 0x80..0x9F, where Windows-1252
// differs from Latin-1, against the character it stands for. A round trip alone
// would not notice two characters swapped.

#include "AnsiCodec.h"

#include <QtTest>

using namespace taviro;

class AnsiCodecTest : public QObject {
    Q_OBJECT
private slots:
    void highControlRange_data();
    void highControlRange();
};

void AnsiCodecTest::highControlRange_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("character");
    const struct {
        int byte;
        int character;
        const char* name;
    } rows[] = {
        {0x80, 0x20AC, "euro sign"},
        {0x81, 0x0081, "undefined 81"},
        {0x82, 0x201A, "single low-9 quotation mark"},
        {0x83, 0x0192, "f with hook"},
        {0x84, 0x201E, "double low-9 quotation mark"},
        {0x85, 0x2026, "horizontal ellipsis"},
        {0x86, 0x2020, "dagger"},
        {0x87, 0x2021, "double dagger"},
        {0x88, 0x02C6, "modifier circumflex"},
        {0x89, 0x2030, "per mille sign"},
        {0x8A, 0x0160, "S with caron"},
        {0x8B, 0x2039, "single left angle quotation mark"},
        {0x8C, 0x0152, "ligature OE"},
        {0x8D, 0x008D, "undefined 8D"},
        {0x8E, 0x017D, "Z with caron"},
        {0x8F, 0x008F, "undefined 8F"},
        {0x90, 0x0090, "undefined 90"},
        {0x91, 0x2018, "left single quotation mark"},
        {0x92, 0x2019, "right single quotation mark"},
        {0x93, 0x201C, "left double quotation mark"},
        {0x94, 0x201D, "right double quotation mark"},
        {0x95, 0x2022, "bullet"},
        {0x96, 0x2013, "en dash"},
        {0x97, 0x2014, "em dash"},
        {0x98, 0x02DC, "small tilde"},
        {0x99, 0x2122, "trade mark sign"},
        {0x9A, 0x0161, "s with caron"},
        {0x9B, 0x203A, "single right angle quotation mark"},
        {0x9C, 0x0153, "ligature oe"},
        {0x9D, 0x009D, "undefined 9D"},
        {0x9E, 0x017E, "z with caron"},
        {0x9F, 0x0178, "Y with diaeresis"},
    };
    for (const auto& row : rows)
        QTest::addRow("%02X %s", row.byte, row.name) << row.byte << row.character;
}

void AnsiCodecTest::highControlRange() {
    QFETCH(int, byte);
    QFETCH(int, character);
    QCOMPARE(int(AnsiCodec::toUnicode(uchar(byte)).unicode()), character);
    QCOMPARE(AnsiCodec::fromUnicode(QChar(char16_t(character))), byte);
}

QTEST_APPLESS_MAIN(AnsiCodecTest)
#include "tst_ansicodec.moc"
