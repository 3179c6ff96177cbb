// The HTTP client against a scripted server: the exact request bytes, answers in
// small pieces, redirects, cookies, every time-out, resets and limits.
#include "Exceptions.h"
#include "HttpServer.h"
#include "NMHTTP.h"
#include "TestMain.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace taviro;
using namespace taviro::test;
using Answer = ScriptedHttpServer::Answer;
Q_DECLARE_METATYPE(Answer)

namespace {

// The message of what `f` raises, with its kind; empty when it raises nothing.
struct Raised {
    QString message;
    bool sockError = false;
    bool abortError = false;
    bool silent = false;
};

template <class F> Raised raised(F&& f) {
    Raised r;
    try {
        f();
    } catch (const EAbort&) {
        r.silent = true;
    } catch (const EAbortError& e) {
        r = {e.Message(), true, true, false};
    } catch (const ESockError& e) {
        r = {e.Message(), true, false, false};
    } catch (const Exception& e) {
        r.message = e.Message();
    }
    return r;
}

QByteArray ok(const QByteArray& body, const QByteArray& extra = {}) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n" + extra + "\r\n" + body;
}

} // namespace

class TestHttpClient : public QObject {
    Q_OBJECT
private slots:
    void requestBytes_data();
    void requestBytes();
    void answers_data();
    void answers();
    void refusedBeforeConnecting_data();
    void refusedBeforeConnecting();
    void redirects();
    void redirectLoopEnds();
    void timeOuts_data();
    void timeOuts();
    void headerLineMustArriveWhole();
    void connectionTimedOut();
    void connectionFailed();
    void resetMidBody();
    void closedBeforeHeaderEnds();
    void limits();
    void announcedLengthOnlyReserves();
    void longDownloadKeepsGoing();
    void secondRequestRefused();
};

void TestHttpClient::requestBytes_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("scheme");
    QTest::addColumn<QByteArray>("requestLine");
    QTest::newRow("host only") << "" << false << QByteArray("GET / HTTP/1.0");
    QTest::newRow("scheme and path")
        << "/a/b.htm?x=1" << true << QByteArray("GET /a/b.htm?x=1 HTTP/1.0");
    QTest::newRow("blanks as typed")
        << "/my page.htm" << false << QByteArray("GET /my page.htm HTTP/1.0");
    QTest::newRow("single-byte code page")
        << "/caf\u00e9\u20ac" << false << QByteArray("GET /caf\xe9\x80 HTTP/1.0");
}

void TestHttpClient::requestBytes() {
    QFETCH(QString, path);
    QFETCH(bool, scheme);
    QFETCH(QByteArray, requestLine);
    ScriptedHttpServer server({{ok("x")}});
    TNMHTTP http;
    http.TimeOut = 5000;
    const QString address = (scheme ? QStringLiteral("http://") : QString()) + server.address(path);
    http.Get(address);
    QCOMPARE(server.requests.size(), 1);
    // The port selects the connection but never appears in the Host line.
    QCOMPARE(server.requests[0], requestLine + "\r\nHost: 127.0.0.1\r\n\r\n");
    QCOMPARE(http.Body, QByteArray("x"));
}

void TestHttpClient::answers_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("cookie");

    QTest::newRow("page") << ok("<html>\r\n</html>\r\n") << 200
                          << QByteArray("<html>\r\n</html>\r\n") << "";
    QTest::newRow("LF only, NUL kept") << (QByteArray("HTTP/1.0 200 OK\n\na\nb") + '\0' + "c\n")
                                       << 200 << QByteArray("a\nb\0c\n", 6) << "";
    QTest::newRow("404 is an answer") << QByteArray("HTTP/1.0 404 Not Found\r\n\r\nmissing") << 404
                                      << QByteArray("missing") << "";
    QTest::newRow("500 is an answer")
        << QByteArray("HTTP/1.1 500 Oops\r\n\r\n") << 500 << QByteArray() << "";
    QTest::newRow("last cookie wins") << ok("c", "Set-Cookie: a=1\r\nset-cookie: b=2; path=/\r\n")
                                      << 200 << QByteArray("c") << "b=2; path=/";
    QTest::newRow("cookie in the single-byte code page")
        << ok("", "Set-Cookie: n=\xe9\r\n") << 200 << QByteArray() << "n=\u00e9";
    QTest::newRow("redirect without Location is returned")
        << QByteArray("HTTP/1.0 302 Found\r\n\r\nmoved") << 302 << QByteArray("moved") << "";
    QTest::newRow("303 is not followed")
        << QByteArray("HTTP/1.0 303 See Other\r\nLocation: /x\r\n\r\n") << 303 << QByteArray()
        << "";
}

void TestHttpClient::answers() {
    QFETCH(QByteArray, answer);
    ScriptedHttpServer server({{answer}}, 3);
    TNMHTTP http;
    http.TimeOut = 5000;
    http.ReceivedCookie = QStringLiteral("left over");
    QList<qint64> progress;
    connect(&http, &TNMHTTP::Progress, this, [&](qint64 n, qint64) { progress << n; });
    http.Get(server.address());
    QTEST(http.Status, "status");
    QTEST(http.Body, "body");
    QTEST(http.ReceivedCookie, "cookie");
    QCOMPARE(server.connections, 1);
    QVERIFY(http.Header.startsWith("HTTP/1."));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), http.Body.size());
}

void TestHttpClient::refusedBeforeConnecting_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::newRow("https") << "https://127.0.0.1:%1/"
                           << "HTTP Secure Socket is not supported";
    QTest::newRow("HTTPS") << "HTTPS://127.0.0.1:%1/"
                           << "HTTP Secure Socket is not supported";
    QTest::newRow("empty") << ""
                           << "Empty URL";
    QTest::newRow("bad port") << "127.0.0.1:%1x/"
                              << "'%1x' is not a valid integer value";
}

void TestHttpClient::refusedBeforeConnecting() {
    QFETCH(QString, address);
    QFETCH(QString, message);
    ScriptedHttpServer server({{ok("x")}});
    TNMHTTP http;
    http.TimeOut = 5000;
    const QString port = QString::number(server.port());
    const Raised r = raised([&] { http.Get(QString(address).replace("%1", port)); });
    QCOMPARE(r.message, QString(message).replace("%1", port));
    QVERIFY(!r.sockError);
    // Give a connection that was made wrongly the chance to show.
    QTest::qWait(50);
    QCOMPARE(server.connections, 0);
    QVERIFY(!http.Busy());
}

void TestHttpClient::redirects() {
    ScriptedHttpServer target({{ok("final", "Set-Cookie: end=1\r\n")}});
    ScriptedHttpServer first({
        {"HTTP/1.0 301 Moved\r\nSet-Cookie: id=42\r\nLocation: http://" +
         target.address("/full").toLatin1() + "\r\n\r\nmoved"},
    });
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Get(first.address("/start"));
    QCOMPARE(http.Body, QByteArray("final"));
    QCOMPARE(http.ReceivedCookie, QStringLiteral("end=1"));
    QCOMPARE(target.requests.value(0),
             QByteArray("GET /full HTTP/1.0\r\nHost: 127.0.0.1\r\nCookie: id=42\r\n\r\n"));

    // A Location without any "/" is a path on the current host; one with a leading
    // "/" too. No cookie came, so none goes back.
    ScriptedHttpServer same({
        {"HTTP/1.0 302 Found\r\nLOCATION: next.htm\r\n\r\n"},
        {"HTTP/1.0 300 Choose\r\nLocation: /last.htm\r\n\r\n"},
        {ok("here")},
    });
    http.Get(same.address("/dir/first.htm"));
    QCOMPARE(http.Body, QByteArray("here"));
    QCOMPARE(http.ReceivedCookie, QString());
    QCOMPARE(same.requests.value(1),
             QByteArray("GET /next.htm HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
    QCOMPARE(same.requests.value(2),
             QByteArray("GET /last.htm HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
}

void TestHttpClient::redirectLoopEnds() {
    ScriptedHttpServer loop({{"HTTP/1.0 301 Moved\r\nLocation: /again\r\n\r\n"}}, 64);
    TNMHTTP http;
    http.TimeOut = 5000;
    const Raised r = raised([&] { http.Get(loop.address()); });
    QCOMPARE(r.message,
             QStringLiteral("Too many redirects (more than %1)").arg(TNMHTTP::MaxRedirects));
    QCOMPARE(loop.connections, TNMHTTP::MaxRedirects + 1);
    QVERIFY(!http.Busy());
}

void TestHttpClient::timeOuts_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("abortKind");
    const QByteArray a = ok("0123456789");
    QTest::newRow("no status line") << Answer{a, 0} << "Socket readln aborted" << true;
    QTest::newRow("status line half sent") << Answer{a, 6} << "Socket readln aborted" << true;
    QTest::newRow("header line half sent")
        << Answer{a, a.indexOf("Content") + 4} << "Socket readln aborted" << true;
    QTest::newRow("body pauses") << Answer{a, a.size() - 3} << "Socket capture aborted" << true;
    QTest::newRow("request never read")
        << Answer{a, -1, false, true} << "Socket readln aborted" << true;
}

void TestHttpClient::timeOuts() {
    QFETCH(Answer, answer);
    ScriptedHttpServer server({answer});
    TNMHTTP http;
    http.TimeOut = 300;
    const Raised r = raised([&] { http.Get(server.address()); });
    QTEST(r.message, "message");
    QTEST(r.abortError, "abortKind");
    QVERIFY(r.sockError);
}

void TestHttpClient::headerLineMustArriveWhole() {
    // Each byte comes quickly, but the status line as a whole takes longer than
    // the time-out: a server cannot hold the client by dribbling.
    ScriptedHttpServer server({{ok("x")}}, 1, 25);
    TNMHTTP http;
    http.TimeOut = 250;
    QElapsedTimer clock;
    clock.start();
    const Raised r = raised([&] { http.Get(server.address()); });
    QCOMPARE(r.message, QStringLiteral("Socket readln aborted"));
    QVERIFY(r.abortError);
    QVERIFY(clock.elapsed() < 1000);
}

void TestHttpClient::connectionTimedOut() {
    // A listening socket whose backlog is full drops further handshakes, so the
    // next connection is never made.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0);
    QVERIFY(::listen(fd, 0) == 0);
    QVERIFY(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
    const quint16 port = ntohs(addr.sin_port);
    QList<QTcpSocket*> fillers;
    for (int i = 0; i < 3; ++i) {
        auto* s = new QTcpSocket(this);
        s->connectToHost(QHostAddress::LocalHost, port);
        fillers << s;
    }
    QTest::qWait(100);

    TNMHTTP http;
    http.TimeOut = 300;
    const Raised r = raised([&] { http.Get(QStringLiteral("127.0.0.1:%1/").arg(port)); });
    qDeleteAll(fillers);
    ::close(fd);
    if (r.message == QLatin1String("Socket readln aborted"))
        QSKIP("this system completes handshakes beyond a full backlog");
    QCOMPARE(r.message, QStringLiteral("Connection Timed out"));
    QVERIFY(r.sockError);
}

void TestHttpClient::connectionFailed() {
    quint16 port;
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost, 0);
        port = closed.serverPort();
    }
    TNMHTTP http;
    http.TimeOut = 2000;
    Raised r = raised([&] { http.Get(QStringLiteral("127.0.0.1:%1").arg(port)); });
    QCOMPARE(r.message, QStringLiteral("Connection Failed"));
    QVERIFY(r.sockError);

    // No host at all: nothing to look up.
    r = raised([&] { http.Get(QStringLiteral("http:///index.htm")); });
    QCOMPARE(r.message, QStringLiteral("Null Remote Address"));
    QVERIFY(r.sockError);
}

void TestHttpClient::resetMidBody() {
    const QByteArray a = ok(QByteArray(200, 'x'), "Content-Length: 200\r\n");
    ScriptedHttpServer server({{a, a.size() - 100, true}});
    TNMHTTP http;
    http.TimeOut = 5000;
    http.Body = "old";
    const Raised r = raised([&] { http.Get(server.address()); });
    // The system's error, as "<number>: <description>": never a short page taken as whole.
    QVERIFY2(r.sockError && !r.abortError, qPrintable(r.message));
    QVERIFY2(r.message.contains(QLatin1Char(':')) ||
                 r.message ==
                     QLatin1String("The connection ended after 100 of 200 bytes of the page"),
             qPrintable(r.message));
    QCOMPARE(http.Body, QByteArray());
}

void TestHttpClient::closedBeforeHeaderEnds() {
    ScriptedHttpServer server({{"HTTP/1.0 200 OK\r\nX: y\r\n"}});
    TNMHTTP http;
    http.TimeOut = 5000;
    const Raised r = raised([&] { http.Get(server.address()); });
    QCOMPARE(r.message,
             QStringLiteral("The server closed the connection before its answer was complete"));
}

void TestHttpClient::limits() {
    const QByteArray longLine = "X-Long: " + QByteArray(70 * 1024, 'a') + "\r\n";
    ScriptedHttpServer server({{ok("x", longLine)}}, 8192);
    TNMHTTP http;
    http.TimeOut = 5000;
    Raised r = raised([&] { http.Get(server.address()); });
    QCOMPARE(r.message, QStringLiteral("The server sent a header line longer than 65536 bytes"));

    ScriptedHttpServer big({{ok(QByteArray(5000, 'b'))}}, 1000);
    http.AnswerLimit = 4000;
    r = raised([&] { http.Get(big.address()); });
    QCOMPARE(r.message, QStringLiteral("The server's answer is larger than 4000 bytes"));
    http.AnswerLimit = 6000;
    http.Get(big.address());
    QCOMPARE(http.Body, QByteArray(5000, 'b'));
}

// Resident memory of this process, in KiB.
static qint64 residentKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void TestHttpClient::announcedLengthOnlyReserves() {
    // A length the server announces but never sends costs no memory and is
    // still a broken transfer; one above the answer's cap does not lift the cap.
    ScriptedHttpServer liar({{ok("abc", "Content-Length: 900000000\r\n")}}, 2);
    TNMHTTP http;
    http.TimeOut = 5000;
    const qint64 before = residentKiB();
    Raised r = raised([&] { http.Get(liar.address()); });
    QCOMPARE(r.message,
             QStringLiteral("The connection ended after 3 of 900000000 bytes of the page"));
    QVERIFY2(residentKiB() - before < 64 * 1024,
             qPrintable(QStringLiteral("%1 KiB more").arg(residentKiB() - before)));

    ScriptedHttpServer big({{ok(QByteArray(5000, 'b'), "Content-Length: 900000000\r\n")}}, 700);
    http.AnswerLimit = 4000;
    r = raised([&] { http.Get(big.address()); });
    QCOMPARE(r.message, QStringLiteral("The server's answer is larger than 4000 bytes"));

    const QByteArray body(300000, 'k');
    ScriptedHttpServer exact({{ok(body, "Content-Length: 300000\r\n")}}, 4096);
    http.AnswerLimit = 1 << 30;
    http.Get(exact.address());
    QCOMPARE(http.Body, body);
}

void TestHttpClient::longDownloadKeepsGoing() {
    // Each pause is short, the whole transfer is longer than the time-out.
    const QByteArray body(20000, 'z');
    ScriptedHttpServer server({{ok(body)}}, 40);
    TNMHTTP http;
    http.TimeOut = 200;
    http.Get(server.address());
    QCOMPARE(http.Body, body);
}

void TestHttpClient::secondRequestRefused() {
    const QByteArray a = ok(QByteArray(3000, 'p'));
    ScriptedHttpServer server({{a}}, 10);
    TNMHTTP http;
    http.TimeOut = 5000;
    Raised second;
    QTimer::singleShot(20, this, [&] { second = raised([&] { http.Get(server.address("/2")); }); });
    http.Get(server.address("/1"));
    QCOMPARE(second.message,
             QStringLiteral("A request is already running; wait until it has ended"));
    QCOMPARE(server.connections, 1);
    QCOMPARE(http.Body, QByteArray(3000, 'p'));
    QVERIFY(!http.Busy());
}

TAVIRO_TEST_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
