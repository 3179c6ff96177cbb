// Get File against real HTTP servers started here on 127.0.0.1: Python's
// http.server (HTTP/1.0, no Content-Length) and nginx (an HTTP/1.1 status line
// and a Content-Length for our HTTP/1.0 request).
#include "Application.h"
#include "Gf.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "NMHTTP.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

using namespace taviro;
using namespace taviro::test;

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");

const char* const PythonServer = R"PY(
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer

LARGE = b"".join(b"line %07d of a large page\r\n" % i for i in range(200000))

class Handler(BaseHTTPRequestHandler):
    # HTTP/1.0: no Content-Length, the end of the connection ends the body.
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == "/old":
            self.send_response(301)
            self.send_header("Set-Cookie", "moved=yes")
            self.send_header("Location", "/page.htm")
            self.end_headers()
            return
        if self.path == "/page.htm":
            body = b"<html>\n<p>cookie " + self.headers.get("Cookie", "none").encode() + b"</p>\n</html>\n"
        elif self.path == "/cookies":
            body = b"two cookies\r\n"
        elif self.path == "/large":
            body = LARGE
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        if self.path == "/cookies":
            self.send_header("Set-Cookie", "first=1")
            self.send_header("Set-Cookie", "second=2; Path=/")
        self.end_headers()
        self.wfile.write(body)

server = HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
)PY";

// A port nobody listens on right now.
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForPort(quint16 port) {
    for (int i = 0; i < 100; ++i) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(100))
            return true;
        QTest::qWait(50);
    }
    return false;
}

struct Fetched {
    QString editor;
    QByteArray file;
    QStringList boxes;
    bool modified = true;
};

// Types `address` into the Get File dialog and presses "Get file", as a user would.
Fetched fetch(const QString& address) {
    ScriptedPrompts prompts;
    TMainForm form;
    whenModal<Tget>([&](Tget* get) {
        get->Edit1->setText(address);
        get->getFile->click();
        if (get->isVisible())
            get->Cancle->click();
    });
    form.findChild<QAction*>(QStringLiteral("GetFile1"))->trigger();
    Fetched f;
    f.editor = form.RichEdit1->documentText();
    f.file = readBytes(QStringLiteral("getfile.fil"));
    for (const MessageRequest& b : prompts.boxes)
        f.boxes << b.text;
    f.modified = form.RichEdit1->Modified();
    return f;
}

} // namespace

class TestHttpServers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = QStringLiteral("Taviro"); }
    void pythonHttpServer();
    void nginx();
};

void TestHttpServers::pythonHttpServer() {
    if (!QFile::exists(Python))
        QSKIP("/usr/bin/python3 is not installed");
    WorkDir dir;
    writeBytes(dir.file(QStringLiteral("server.py")), PythonServer);
    QProcess server;
    server.start(Python, {dir.file(QStringLiteral("server.py"))});
    QVERIFY(server.waitForStarted());
    QVERIFY(server.waitForReadyRead(10000));
    const quint16 port = quint16(server.readLine().trimmed().toUInt());
    QVERIFY(port != 0);
    const QString base = QStringLiteral("127.0.0.1:%1").arg(port);

    // A redirect to a bare path, with the redirecting answer's cookie sent back.
    Fetched f = fetch(base + QStringLiteral("/old"));
    QCOMPARE(f.file, QByteArray("<html>\n<p>cookie moved=yes</p>\n</html>\n"));
    QCOMPARE(f.editor, QStringLiteral("<html>\n<p>cookie moved=yes</p>\n</html>\n"));
    QCOMPARE(f.boxes, QStringList());
    QVERIFY(!f.modified);

    // Two Set-Cookie lines: the last one is reported.
    f = fetch(QStringLiteral("http://") + base + QStringLiteral("/cookies"));
    QCOMPARE(f.file, QByteArray("two cookies\r\n"));
    QCOMPARE(f.boxes, QStringList{QStringLiteral("Cookie:/nsecond=2; Path=/")});

    // A large page that only the end of the connection ends.
    QByteArray large;
    for (int i = 0; i < 200000; ++i)
        large += QByteArray("line ") + QByteArray::number(i).rightJustified(7, '0') +
                 " of a large page\r\n";
    f = fetch(base + QStringLiteral("/large"));
    QCOMPARE(f.file.size(), large.size());
    QVERIFY(f.file == large);
    QCOMPARE(f.editor.size(), large.size() - 200000); // CR LF became one line break each
    QVERIFY(f.editor.endsWith(QStringLiteral("line 0199999 of a large page\n")));

    // A missing page: the server's error page, and no message.
    f = fetch(base + QStringLiteral("/missing"));
    QVERIFY2(f.file.contains("404"), f.file.constData());
    QCOMPARE(f.boxes, QStringList());

    server.kill();
    server.waitForFinished();
}

void TestHttpServers::nginx() {
    const QString nginx = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (nginx.isEmpty())
        QSKIP("nginx is not installed");
    WorkDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("www/sub"));
    QByteArray page = "<html>\r\n<body>\r\n";
    for (int i = 0; i < 50000; ++i)
        page += "<p>paragraph " + QByteArray::number(i) + "</p>\n";
    page += "</body>\r\n</html>";
    writeBytes(dir.file(QStringLiteral("www/index.html")), page);
    writeBytes(dir.file(QStringLiteral("www/sub/a b.htm")), "blank in the name");

    const quint16 port = freePort();
    const QString conf = QStringLiteral(R"(
daemon off;
master_process off;
pid %1/nginx.pid;
error_log %1/error.log;
events { worker_connections 16; }
http {
    access_log off;
    client_body_temp_path %1/tmp-body;
    proxy_temp_path %1/tmp-proxy;
    fastcgi_temp_path %1/tmp-fastcgi;
    uwsgi_temp_path %1/tmp-uwsgi;
    scgi_temp_path %1/tmp-scgi;
    server {
        listen 127.0.0.1:%2;
        root %1/www;
        absolute_redirect off;
        location = /old { return 301 /index.html; }
    }
}
)")
                             .arg(dir.path())
                             .arg(port);
    writeBytes(dir.file(QStringLiteral("nginx.conf")), conf.toUtf8());
    QProcess server;
    server.start(nginx, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"),
                         dir.file(QStringLiteral("nginx.conf"))});
    QVERIFY(server.waitForStarted());
    QVERIFY2(waitForPort(port), readBytes(dir.file(QStringLiteral("error.log"))).constData());
    const QString base = QStringLiteral("127.0.0.1:%1").arg(port);

    Fetched f = fetch(base);
    QCOMPARE(f.file.size(), page.size());
    QVERIFY(f.file == page);
    QVERIFY(!f.modified);

    f = fetch(base + QStringLiteral("/old"));
    QVERIFY(f.file == page);

    // The path goes out exactly as typed, escapes and all; nginx decodes them.
    f = fetch(base + QStringLiteral("/sub/a%20b.htm"));
    QCOMPARE(f.file, QByteArray("blank in the name"));

    f = fetch(base + QStringLiteral("/nothing.htm"));
    QVERIFY2(f.file.contains("404 Not Found"), f.file.constData());
    QCOMPARE(f.boxes, QStringList());

    server.kill();
    server.waitForFinished();
}

TAVIRO_TEST_MAIN(TestHttpServers)
#include "tst_httpservers.moc"
