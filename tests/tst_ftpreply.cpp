#include "FtpReply.h"

#include <QtTest>

using namespace taviro;

using State = FtpReplyParser::State;

namespace {

struct Outcome {
    State state = State::NeedMore;
    int code = 0;
    QByteArray firstLine;
    QByteArray text;
    qsizetype used = 0; // bytes taken before the parser stopped
};

// Feeds `input` in the pieces given by `cuts` (offsets where a piece ends).
Outcome parse(const QByteArray& input, const QList<qsizetype>& cuts) {
    FtpReplyParser parser;
    Outcome out;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends << input.size();
    for (qsizetype to : ends) {
        if (to <= from)
            continue;
        const qsizetype taken = parser.feed(QByteArrayView(input).sliced(from, to - from));
        out.used += taken;
        if (parser.state() != State::NeedMore)
            break;
        if (taken != to - from) // a parser still wanting more takes everything
            return {};
        from = to;
    }
    out.state = parser.state();
    out.code = parser.code();
    out.firstLine = parser.firstLine();
    out.text = parser.text();
    return out;
}

} // namespace

class TestFtpReply : public QObject {
    Q_OBJECT

private slots:
    void replies_data();
    void wholeBytewiseAndEverySplit();
    void wholeBytewiseAndEverySplit_data() { replies_data(); }
    void limits_data();
    void limits();
    void nextReplyStaysUnread();
    void resetStartsOver();
};

void TestFtpReply::replies_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("one line") << QByteArray("220 Service ready\r\n") << State::Complete << 220
                              << QByteArray("220 Service ready\r\n")
                              << QByteArray("220 Service ready\r\n");
    QTest::newRow("bare LF") << QByteArray("331 Password required\n") << State::Complete << 331
                             << QByteArray("331 Password required\n")
                             << QByteArray("331 Password required\n");
    QTest::newRow("code alone") << QByteArray("200\r\n") << State::Complete << 200
                                << QByteArray("200\r\n") << QByteArray("200\r\n");
    const QByteArray multi = "220-Welcome\r\n"
                             "220-to this server\r\n"
                             "220 ready\r\n";
    QTest::newRow("multi-line") << multi << State::Complete << 220 << QByteArray("220-Welcome\r\n")
                                << multi;
    // Inner lines may start with other codes, or with the same code and no
    // blank after it: neither ends the reply.
    const QByteArray tricky = "230-Logged in\r\n"
                              "  indented text\r\n"
                              "500 not the end\r\n"
                              "230-still going\r\n"
                              "2301 nor this\r\n"
                              "\r\n"
                              "230 done\r\n";
    QTest::newRow("multi-line with look-alike lines")
        << tricky << State::Complete << 230 << QByteArray("230-Logged in\r\n") << tricky;
    QTest::newRow("multi-line ended by the code alone")
        << QByteArray("211-Features\r\n MDTM\r\n211\r\n") << State::Complete << 211
        << QByteArray("211-Features\r\n") << QByteArray("211-Features\r\n MDTM\r\n211\r\n");
    QTest::newRow("multi-line unfinished")
        << QByteArray("220-Welcome\r\n220-more\r\n") << State::NeedMore << 220
        << QByteArray("220-Welcome\r\n") << QByteArray("220-Welcome\r\n220-more\r\n");
    QTest::newRow("line unfinished")
        << QByteArray("220 Serv") << State::NeedMore << 0 << QByteArray() << QByteArray();
    QTest::newRow("leading digits beyond three")
        << QByteArray("4501 odd\r\n") << State::Complete << 4501 << QByteArray("4501 odd\r\n")
        << QByteArray("4501 odd\r\n");
    QTest::newRow("no digits") << QByteArray("hello\r\n") << State::Complete << 0
                               << QByteArray("hello\r\n") << QByteArray("hello\r\n");
    QTest::newRow("two-digit hyphen is one line")
        << QByteArray("22-x\r\n") << State::Complete << 22 << QByteArray("22-x\r\n")
        << QByteArray("22-x\r\n");
    QTest::newRow("digits saturate")
        << QByteArray("99999999999999999999 x\r\n") << State::Complete << 999999999
        << QByteArray("99999999999999999999 x\r\n") << QByteArray("99999999999999999999 x\r\n");
    QTest::newRow("bytes above 0x7f")
        << QByteArray("550 \xe9t\xe9\xa0\r\n") << State::Complete << 550
        << QByteArray("550 \xe9t\xe9\xa0\r\n") << QByteArray("550 \xe9t\xe9\xa0\r\n");
    QTest::newRow("NUL inside") << QByteArray("550 a\0b\r\n", 9) << State::Complete << 550
                                << QByteArray("550 a\0b\r\n", 9) << QByteArray("550 a\0b\r\n", 9);
}

void TestFtpReply::wholeBytewiseAndEverySplit() {
    QFETCH(QByteArray, input);
    QFETCH(State, state);
    QFETCH(int, code);
    QFETCH(QByteArray, firstLine);
    QFETCH(QByteArray, text);

    auto check = [&](const Outcome& out, const QByteArray& how) {
        QVERIFY2(out.state == state, how.constData());
        if (state == State::Complete) {
            QVERIFY2(out.code == code, how.constData());
            QVERIFY2(out.firstLine == firstLine, how.constData());
        }
        if (state != State::NeedMore || !text.isEmpty())
            QVERIFY2(out.text == text, how.constData());
    };

    check(parse(input, {}), "whole");
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < input.size(); ++i)
        everyByte << i;
    check(parse(input, everyByte), "byte by byte");
    for (qsizetype at = 1; at < input.size(); ++at)
        check(parse(input, {at}), "split at " + QByteArray::number(at));
}

void TestFtpReply::limits_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<State>("state");

    const qsizetype line = FtpReplyParser::MaxLineLength;
    const qsizetype reply = FtpReplyParser::MaxReplyLength;
    QTest::newRow("line at the limit")
        << QByteArray("500 " + QByteArray(line - 6, 'a') + "\r\n") << State::Complete;
    QTest::newRow("line one over the limit")
        << QByteArray("500 " + QByteArray(line - 5, 'a') + "\r\n") << State::LineTooLong;
    QTest::newRow("endless line, no break")
        << QByteArray("500 " + QByteArray(3 * line, 'a')) << State::LineTooLong;

    // Short lines adding up: the reply stops at its own limit.
    auto multi = [](qsizetype total) {
        QByteArray text = "220-start\r\n";
        const QByteArray last = "220 end\r\n";
        while (text.size() + last.size() + 16 + 2 <= total)
            text += "220-0123456789\r\n";
        text += QByteArray(total - text.size() - last.size() - 2, 'x') + "\r\n";
        return text + last;
    };
    QTest::newRow("multi-line at the limit") << multi(reply) << State::Complete;
    QTest::newRow("multi-line one over the limit") << multi(reply + 1) << State::ReplyTooLong;
    QByteArray endless = "220-start\r\n";
    while (endless.size() < 4 * reply)
        endless += "220-more\r\n";
    QTest::newRow("endless multi-line") << endless << State::ReplyTooLong;
}

void TestFtpReply::limits() {
    QFETCH(QByteArray, input);
    QFETCH(State, state);
    QCOMPARE(parse(input, {}).state, state);
    // Fed in pieces of 1000 bytes, the outcome is the same.
    QList<qsizetype> cuts;
    for (qsizetype i = 1000; i < input.size(); i += 1000)
        cuts << i;
    QCOMPARE(parse(input, cuts).state, state);
}

void TestFtpReply::nextReplyStaysUnread() {
    // "150" and "226" in one write: the first reply takes only its own bytes.
    const QByteArray both = "150 Opening data connection\r\n226 Transfer complete\r\n";
    FtpReplyParser parser;
    const qsizetype used = parser.feed(both);
    QVERIFY(parser.complete());
    QCOMPARE(parser.code(), 150);
    QCOMPARE(used, qsizetype(QByteArray("150 Opening data connection\r\n").size()));
    // A finished parser takes nothing more.
    QCOMPARE(parser.feed(QByteArrayView(both).sliced(used)), qsizetype(0));
    parser.reset();
    QCOMPARE(parser.feed(QByteArrayView(both).sliced(used)), both.size() - used);
    QCOMPARE(parser.code(), 226);
}

void TestFtpReply::resetStartsOver() {
    FtpReplyParser parser;
    parser.feed("220-partial\r\n");
    QVERIFY(!parser.complete());
    parser.reset();
    parser.feed("530 Login incorrect.\r\n");
    QVERIFY(parser.complete());
    QCOMPARE(parser.code(), 530);
    QCOMPARE(parser.firstLine(), QByteArray("530 Login incorrect.\r\n"));
}

QTEST_APPLESS_MAIN(TestFtpReply)
#include "tst_ftpreply.moc"
