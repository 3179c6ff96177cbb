// The address split, the request bytes and the answer parser, as pure functions.
#include "Exceptions.h"
#include "HttpAddress.h"
#include "HttpAnswer.h"
#include "TestMain.h"

using namespace taviro;

namespace {

struct Parsed {
    HttpAnswerParser::Phase phase;
    int status;
    QByteArray header, cookie, location, body;
    bool hasLocation;
    qint64 contentLength;
    int lines;
};

Parsed parse(const QList<QByteArray>& pieces, qsizetype maxLine, qint64 maxAnswer) {
    HttpAnswerParser p(maxLine, maxAnswer);
    for (const QByteArray& piece : pieces)
        p.feed(piece);
    return {p.phase(), p.status(),      p.header(),        p.cookie(),        p.location(),
            p.body(),  p.hasLocation(), p.contentLength(), p.linesCompleted()};
}

void compareParsed(const Parsed& got, const Parsed& want, const char* how) {
    const QByteArray where = QByteArray("fed ") + how;
    QVERIFY2(got.phase == want.phase, where);
    QVERIFY2(got.status == want.status, where);
    QVERIFY2(got.header == want.header, where);
    QVERIFY2(got.cookie == want.cookie, where);
    QVERIFY2(got.location == want.location, where);
    QVERIFY2(got.hasLocation == want.hasLocation, where);
    QVERIFY2(got.body == want.body, where);
    QVERIFY2(got.contentLength == want.contentLength, where);
    QVERIFY2(got.lines == want.lines, where);
}

} // namespace

class TestHttpParse : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void splitRefused_data();
    void splitRefused();
    void requestBytes_data();
    void requestBytes();
    void answer_data();
    void answer();
    void statusWord_data();
    void statusWord();
    void answerLimit();
};

void TestHttpParse::split_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");

    QTest::newRow("host only") << "example.org"
                               << "example.org" << 80 << "/";
    QTest::newRow("host and path") << "example.org/a/b.htm"
                                   << "example.org" << 80 << "/a/b.htm";
    QTest::newRow("scheme") << "http://example.org/x"
                            << "example.org" << 80 << "/x";
    QTest::newRow("scheme any case") << "HtTp://example.org"
                                     << "example.org" << 80 << "/";
    QTest::newRow("port") << "example.org:8080/i.php"
                          << "example.org" << 8080 << "/i.php";
    QTest::newRow("port with scheme") << "http://10.0.0.1:81"
                                      << "10.0.0.1" << 81 << "/";
    QTest::newRow("hex port, the program's integer syntax") << "h:$50/"
                                                            << "h" << 80 << "/";
    QTest::newRow("blanks kept as typed") << " h/a b.htm "
                                          << " h" << 80 << "/a b.htm ";
    QTest::newRow("query kept") << "h/p?a=1&b=//x"
                                << "h" << 80 << "/p?a=1&b=//x";
    QTest::newRow("no host before the path") << "/index.htm"
                                             << "" << 80 << "/index.htm";
    QTest::newRow("any scheme before //") << "ftp://h/p"
                                          << "h" << 80 << "/p";
    QTest::newRow("largest port") << "h:65535"
                                  << "h" << 65535 << "/";
    QTest::newRow("single-byte letters") << "h/caf\u00e9"
                                         << "h" << 80 << "/caf\u00e9";
}

void TestHttpParse::split() {
    QFETCH(QString, address);
    const HttpAddress a = SplitHttpAddress(address);
    QTEST(a.host, "host");
    QTEST(a.port, "port");
    QTEST(a.path, "path");
}

void TestHttpParse::splitRefused_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty") << ""
                           << "Empty URL";
    QTest::newRow("https") << "https://example.org/"
                           << "HTTP Secure Socket is not supported";
    QTest::newRow("HTTPS capitals") << "HTTPS://example.org"
                                    << "HTTP Secure Socket is not supported";
    QTest::newRow("hTTpS mixed") << "hTTpS://x:99999"
                                 << "HTTP Secure Socket is not supported";
    QTest::newRow("port not a number") << "h:80a/x"
                                       << "'80a' is not a valid integer value";
    QTest::newRow("port empty") << "h:/x"
                                << "'' is not a valid integer value";
    QTest::newRow("port with trailing blank") << "h:80 "
                                              << "'80 ' is not a valid integer value";
    QTest::newRow("two colons") << "h:80:81"
                                << "'80:81' is not a valid integer value";
    QTest::newRow("port zero") << "h:0"
                               << "'0' is not a valid port number";
    QTest::newRow("port too large") << "h:65536"
                                    << "'65536' is not a valid port number";
    QTest::newRow("negative port") << "h:-1"
                                   << "'-1' is not a valid port number";
    QTest::newRow("CR LF would write a header") << "h/x HTTP/1.0\r\nX-A: b"
                                                << "The address contains a control character";
    QTest::newRow("tab") << "h/\tx"
                         << "The address contains a control character";
}

void TestHttpParse::splitRefused() {
    QFETCH(QString, address);
    QFETCH(QString, message);
    try {
        SplitHttpAddress(address);
        QFAIL("no exception");
    } catch (const Exception& e) {
        QCOMPARE(e.Message(), message);
    }
}

void TestHttpParse::requestBytes_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("cookie");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("host only") << "example.org"
                               << "" << QByteArray("GET / HTTP/1.0\r\nHost: example.org\r\n\r\n");
    QTest::newRow("port left out of Host")
        << "example.org:8080/a.htm"
        << "" << QByteArray("GET /a.htm HTTP/1.0\r\nHost: example.org\r\n\r\n");
    QTest::newRow("blanks as typed")
        << "h/my page.htm"
        << "" << QByteArray("GET /my page.htm HTTP/1.0\r\nHost: h\r\n\r\n");
    QTest::newRow("single-byte code page")
        << "h/caf\u00e9\u20ac\u4e2d"
        << "" << QByteArray("GET /caf\xe9\x80? HTTP/1.0\r\nHost: h\r\n\r\n");
    QTest::newRow("cookie sent back")
        << "h/n"
        << "id=7; path=/"
        << QByteArray("GET /n HTTP/1.0\r\nHost: h\r\nCookie: id=7; path=/\r\n\r\n");
}

void TestHttpParse::requestBytes() {
    QFETCH(QString, address);
    QFETCH(QString, cookie);
    QTEST(HttpRequestBytes(SplitHttpAddress(address), cookie), "bytes");
}

void TestHttpParse::answer_data() {
    using P = HttpAnswerParser::Phase;
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qsizetype>("maxLine");
    QTest::addColumn<qint64>("maxAnswer");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("cookie");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qint64>("contentLength");
    QTest::addColumn<int>("lines");

    const qsizetype L = HttpAnswerParser::MaxLineLength;
    const qint64 A = HttpAnswerParser::MaxAnswerSize;
    QTest::newRow("ok with body")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>\r\nhi</p>") << L << A
        << int(P::Body) << 200 << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n")
        << QByteArray() << QByteArray() << QByteArray("<p>\r\nhi</p>") << qint64(-1) << 3;
    QTest::newRow("LF only, body keeps its LF and NUL")
        << (QByteArray("HTTP/1.1 404 Not Found\nContent-Length: 6\n\na\nb") + '\0' + 'c') << L << A
        << int(P::Body) << 404 << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 6\r\n")
        << QByteArray() << QByteArray() << QByteArray("a\nb\0c", 5) << qint64(6) << 3;
    QTest::newRow("last cookie wins, any case")
        << QByteArray("HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nSET-COOKIE: b=2; path=/\r\n"
                      "set-cookie:c=3\r\nX: y\r\n\r\n")
        << L << A << int(P::Body) << 200
        << QByteArray("HTTP/1.0 200 OK\r\nSet-Cookie: a=1\r\nSET-COOKIE: b=2; path=/\r\n"
                      "set-cookie:c=3\r\nX: y\r\n")
        << QByteArray("c=3") << QByteArray() << QByteArray() << qint64(-1) << 6;
    QTest::newRow("redirect") << QByteArray(
                                     "HTTP/1.0 301 Moved\r\nlocation: http://h:81/new\r\n\r\n")
                              << L << A << int(P::Body) << 301
                              << QByteArray("HTTP/1.0 301 Moved\r\nlocation: http://h:81/new\r\n")
                              << QByteArray() << QByteArray("http://h:81/new") << QByteArray()
                              << qint64(-1) << 3;
    QTest::newRow("status not a number")
        << QByteArray("HTTP/1.0 2OO OK\r\n\r\nx") << L << A << int(P::Body) << 0
        << QByteArray("HTTP/1.0 2OO OK\r\n") << QByteArray() << QByteArray() << QByteArray("x")
        << qint64(-1) << 2;
    QTest::newRow("header not ended")
        << QByteArray("HTTP/1.0 200 OK\r\nX: y\r\nZ") << L << A << int(P::Header) << 200
        << QByteArray("HTTP/1.0 200 OK\r\nX: y\r\n") << QByteArray() << QByteArray() << QByteArray()
        << qint64(-1) << 2;
    QTest::newRow("nothing yet") << QByteArray() << L << A << int(P::StatusLine) << 0
                                 << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                                 << qint64(-1) << 0;

    // Boundary pairs for the line limit (16 bytes here), CR LF not counted.
    const QByteArray sixteen(16, 'x');
    QTest::newRow("line at the limit")
        << QByteArray("HTTP/1.0 200 OK\r\n" + sixteen + "\r\n\r\nb") << qsizetype(16) << A
        << int(P::Body) << 200 << QByteArray("HTTP/1.0 200 OK\r\n" + sixteen + "\r\n")
        << QByteArray() << QByteArray() << QByteArray("b") << qint64(-1) << 3;
    QTest::newRow("line one byte over the limit")
        << QByteArray("HTTP/1.0 200 OK\r\n" + sixteen + "x\r\n\r\nb") << qsizetype(16) << A
        << int(P::Failed) << 200 << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray()
        << QByteArray() << QByteArray() << qint64(-1) << 1;
    QTest::newRow("endless line without LF")
        << QByteArray("HTTP/1.0 200 OK\r\n" + QByteArray(100, 'x')) << qsizetype(16) << A
        << int(P::Failed) << 200 << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray()
        << QByteArray() << QByteArray() << qint64(-1) << 1;
    QTest::newRow("body lines are not limited")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n" + QByteArray(100, 'x')) << qsizetype(16) << A
        << int(P::Body) << 200 << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray() << QByteArray()
        << QByteArray(100, 'x') << qint64(-1) << 2;
    // And for the whole answer (30 bytes here).
    QTest::newRow("answer at the limit")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n0123456789A") << L << qint64(30) << int(P::Body)
        << 200 << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray() << QByteArray()
        << QByteArray("0123456789A") << qint64(-1) << 2;
    QTest::newRow("answer one byte over the limit")
        << QByteArray("HTTP/1.0 200 OK\r\n\r\n0123456789AB") << L << qint64(30) << int(P::Failed)
        << 200 << QByteArray("HTTP/1.0 200 OK\r\n") << QByteArray() << QByteArray() << QByteArray()
        << qint64(-1) << 2;
}

void TestHttpParse::answer() {
    QFETCH(QByteArray, answer);
    QFETCH(qsizetype, maxLine);
    QFETCH(qint64, maxAnswer);
    QFETCH(int, phase);
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, cookie);
    QFETCH(QByteArray, location);
    QFETCH(QByteArray, body);
    QFETCH(qint64, contentLength);
    QFETCH(int, lines);
    const Parsed want{HttpAnswerParser::Phase(phase),
                      status,
                      header,
                      cookie,
                      location,
                      body,
                      !location.isEmpty(),
                      contentLength,
                      lines};

    compareParsed(parse({answer}, maxLine, maxAnswer), want, "whole");

    QList<QByteArray> bytes;
    for (char c : answer)
        bytes << QByteArray(1, c);
    compareParsed(parse(bytes, maxLine, maxAnswer), want, "byte by byte");

    for (qsizetype cut = 0; cut <= answer.size(); ++cut) {
        const QByteArray where = "split at " + QByteArray::number(cut);
        compareParsed(parse({answer.first(cut), answer.sliced(cut)}, maxLine, maxAnswer), want,
                      where.constData());
        if (QTest::currentTestFailed())
            return;
    }
}

void TestHttpParse::statusWord_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    QTest::newRow("plain") << QByteArray("HTTP/1.0 302 Found") << 302;
    QTest::newRow("no reason") << QByteArray("HTTP/1.1 204") << 204;
    QTest::newRow("several blanks") << QByteArray("HTTP/1.0   500  Oops") << 500;
    QTest::newRow("one word") << QByteArray("HTTP/1.0") << 0;
    QTest::newRow("signed") << QByteArray("HTTP/1.0 +200 OK") << 0;
    QTest::newRow("huge") << QByteArray("HTTP/1.0 99999999999999999999 OK") << 0;
    QTest::newRow("HTTP/0.9 style text") << QByteArray("<html>") << 0;
}

void TestHttpParse::statusWord() {
    QFETCH(QByteArray, line);
    QTEST(HttpAnswerParser::statusOf(line), "status");
}

void TestHttpParse::answerLimit() {
    // A failed parser takes nothing more and says why.
    HttpAnswerParser p(8, 1000);
    p.feed("HTTP/1.0 200 OK\r\n");
    QCOMPARE(p.phase(), HttpAnswerParser::Phase::Failed);
    QCOMPARE(p.errorText(), QStringLiteral("The server sent a header line longer than 8 bytes"));
    p.feed("\r\n\r\nbody");
    QCOMPARE(p.body(), QByteArray());

    HttpAnswerParser q(100, 20);
    q.feed("HTTP/1.0 200 OK\r\n\r\n");
    q.feed("abc");
    QCOMPARE(q.errorText(), QStringLiteral("The server's answer is larger than 20 bytes"));
    QCOMPARE(q.body(), QByteArray());
}

TAVIRO_TEST_MAIN(TestHttpParse)
#include "tst_httpparse.moc"
