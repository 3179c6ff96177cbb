// Upload to real FTP servers from Debian, started on 127.0.0.1 by the fixture.

#include "Application.h"
#include "Exceptions.h"
#include "FTP.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "NMFTP.h"
#include "RealFtpServer.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "Socket.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UserInput.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

// Every byte a page may hold, CR LF line breaks, a no-break space.
QByteArray document() {
    QByteArray bytes = "<html>\r\n<p>caf\xe9\xa0\x80 \x9d</p>\r\n";
    for (int i = 0x20; i < 0x100; ++i)
        bytes += char(i);
    return bytes + "\r\n</html>\r\n";
}

// What the server stores. pyftpdlib starts in ASCII type and, as no TYPE
// command is ever sent, stays in it: it stores each CR LF as the local line
// break, LF. vsftpd stores the bytes as they come.
QByteArray storedForm(const QString& kind, QByteArray bytes) {
    if (kind == "pyftpdlib")
        bytes.replace("\r\n", "\n");
    return bytes;
}

void click(TFTP& dialog, const char* button) {
    dialog.findChild<QPushButton*>(QLatin1String(button))->click();
}

void setField(TFTP& dialog, const char* field, const QString& text) {
    dialog.findChild<QLineEdit*>(QLatin1String(field))->setText(text);
}

template <class F> QString failure(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

} // namespace

class TestFtpServers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void servers_data();
    void ctrlUOnAnEditedDocument_data() { servers_data(); }
    void ctrlUOnAnEditedDocument();
    void uploadThroughTheDialog_data() { servers_data(); }
    void uploadThroughTheDialog();
    void refusals_data() { servers_data(); }
    void refusals();
    void portToAnotherAddressIsRefused_data() { servers_data(); }
    void portToAnotherAddressIsRefused();
    void abortThenUploadAgain_data() { servers_data(); }
    void abortThenUploadAgain();

private:
    // Starts the row's server, or skips the row when its program is missing.
    bool startServer(RealFtpServer& server);
};

void TestFtpServers::servers_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("pyftpdlib") << "pyftpdlib";
    QTest::newRow("vsftpd") << "vsftpd";
}

bool TestFtpServers::startServer(RealFtpServer& server) {
    if (server.program().isEmpty())
        return false;
    if (!server.start())
        qFatal("%s did not start: %s", qPrintable(server.kind()), qPrintable(server.error()));
    return true;
}

void TestFtpServers::ctrlUOnAnEditedDocument() {
    // As a user does it: type into the editor, Ctrl+U, then Connect, Change Dir
    // and Upload in the dialog, Close.
    QFETCH(QString, kind);
    RealFtpServer server(kind);
    if (!startServer(server))
        QSKIP("the server's program is not installed");
    QVERIFY(QDir(server.root()).mkdir("www"));
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // A Windows-1252 page: the work file holds its single bytes.
    form.setDocumentFormat({DocumentFile::TextEncoding::Windows1252, false});
    form.RichEdit1->setFocus();
    // Typed as key events carrying their text, as a keyboard layout sends them.
    typeText(form.RichEdit1, QString::fromUtf8("<p>caf\u00e9\u00a0ok</p>"));
    QTest::keyClick(form.RichEdit1, Qt::Key_Return);
    QTest::keyClicks(form.RichEdit1, "end");
    QVERIFY(form.RichEdit1->Modified());

    QStringList statuses;
    test::whenModal<TFTP>([&](TFTP* d) {
        connect(d, &TFTP::statusTextSet, d, [&](const QString& s) { statuses << s; });
        setField(*d, "HostTxt", "127.0.0.1");
        setField(*d, "PortTxt", QString::number(server.port()));
        setField(*d, "UserTxt", server.user());
        setField(*d, "PassTxt", server.password());
        setField(*d, "DirTxt", "www");
        setField(*d, "Edit4", "index.htm");
        click(*d, "Button1");
        click(*d, "Button5");
        click(*d, "Button10");
        click(*d, "Button4");
    });
    QTest::keyClick(&form, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(prompts.errors(), QStringList{});
    QCOMPARE(statuses,
             (QStringList{"Connecting...", "Connected", "Dir Changed", "Uploading", "Done"}));
    const QByteArray typed = "<p>caf\xe9\xa0ok</p>\r\nend";
    QCOMPARE(readBytes(dir.file("upload.fil")), typed);
    QCOMPARE(readBytes(server.root() + "/www/index.htm"), storedForm(kind, typed));
    QVERIFY(form.RichEdit1->Modified());
}

void TestFtpServers::uploadThroughTheDialog() {
    QFETCH(QString, kind);
    RealFtpServer server(kind);
    if (!startServer(server))
        QSKIP("the server's program is not installed");
    QVERIFY(QDir(server.root()).mkdir("web site"));

    WorkDir dir;
    writeBytes(dir.file("upload.fil"), document());
    ScriptedPrompts prompts;
    TFTP dialog;
    setField(dialog, "HostTxt", "127.0.0.1");
    setField(dialog, "PortTxt", QString::number(server.port()));
    setField(dialog, "UserTxt", server.user());
    setField(dialog, "PassTxt", server.password());
    setField(dialog, "DirTxt", "web site");
    setField(dialog, "Edit4", "my page.htm");
    QSignalSpy statuses(&dialog, &TFTP::statusTextSet);
    click(dialog, "Button1");
    click(dialog, "Button5");
    click(dialog, "Button10");
    // Again under the work file's own name.
    setField(dialog, "Edit4", "");
    click(dialog, "Button10");
    click(dialog, "Button2");
    QCOMPARE(prompts.errors(), QStringList{});
    QStringList texts;
    for (const QList<QVariant>& args : statuses)
        texts << args.at(0).toString();
    QCOMPARE(texts, (QStringList{"Connecting...", "Connected", "Dir Changed", "Uploading", "Done",
                                 "Uploading", "Done", "Disconnected"}));
    QCOMPARE(readBytes(server.root() + "/web site/my page.htm"), storedForm(kind, document()));
    QCOMPARE(readBytes(server.root() + "/web site/upload.fil"), storedForm(kind, document()));
}

void TestFtpServers::refusals() {
    QFETCH(QString, kind);
    RealFtpServer server(kind);
    if (!startServer(server))
        QSKIP("the server's program is not installed");
    TNMFTP client;
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.WaitLimitMs = 20000;
    // pyftpdlib refuses the password; vsftpd, anonymous only, already the user.
    client.UserID = kind == "vsftpd" ? "bob" : server.user();
    client.Password = "wrong";
    const QString refused = failure([&] { client.Connect(); });
    QVERIFY2(refused.startsWith("530 ") && refused.endsWith("\r\n"), qPrintable(refused));
    QVERIFY(!client.Connected());

    client.UserID = server.user();
    client.Password = server.password();
    QCOMPARE(failure([&] { client.Connect(); }), QString());
    QVERIFY(client.Connected());
    const QString noDir = failure([&] { client.ChangeDir("no such folder"); });
    QVERIFY2(noDir.startsWith("550 "), qPrintable(noDir));
    QVERIFY(client.Connected());
    QCOMPARE(failure([&] { client.Disconnect(); }), QString());
}

void TestFtpServers::portToAnotherAddressIsRefused() {
    // The servers are set up as a careful administrator would: a PORT naming an
    // address other than the client's own is refused. The client never sends
    // one (the uploads above pass), and this is why it must not.
    QFETCH(QString, kind);
    RealFtpServer server(kind);
    if (!startServer(server))
        QSKIP("the server's program is not installed");
    TSocket control;
    QCOMPARE(control.connectTo(QHostAddress::LocalHost, server.port(), 10000), SockStatus::Ok);
    auto exchange = [&](const QByteArray& command) {
        if (!command.isEmpty())
            control.write(command + "\r\n", 10000);
        QByteArray line;
        control.readLine(line, 65536, 10000);
        return line;
    };
    QVERIFY(exchange({}).startsWith("220"));
    QVERIFY(exchange("USER " + server.user().toLatin1()).startsWith("331"));
    QVERIFY(exchange("PASS " + server.password().toLatin1()).startsWith("230"));
    const QByteArray reply = exchange("PORT 127,0,0,2,200,10");
    QVERIFY2(reply.startsWith("5"), reply.constData());
}

void TestFtpServers::abortThenUploadAgain() {
    QFETCH(QString, kind);
    RealFtpServer server(kind);
    if (!startServer(server))
        QSKIP("the server's program is not installed");
    WorkDir dir;
    QByteArray big;
    while (big.size() < 48 * 1024 * 1024)
        big += "a line of the page being uploaded\n";
    writeBytes(dir.file("upload.fil"), big);
    ScriptedPrompts prompts;
    TFTP dialog;
    setField(dialog, "HostTxt", "127.0.0.1");
    setField(dialog, "PortTxt", QString::number(server.port()));
    setField(dialog, "UserTxt", server.user());
    setField(dialog, "PassTxt", server.password());
    click(dialog, "Button1");
    QCOMPARE(dialog.StatusText(), QString("Connected"));

    // Abort as soon as the data starts to flow.
    bool once = false;
    connect(dialog.NMFTP1, &TNMFTP::uploadProgress, &dialog, [&] {
        if (!once) {
            once = true;
            QTimer::singleShot(0, &dialog, [&] { click(dialog, "Button9"); });
        }
    });
    click(dialog, "Button10");
    QCOMPARE(dialog.StatusText(), QString("Aborted"));
    QCOMPARE(prompts.errors(), QStringList{"Socket send aborted."});
    QVERIFY(dialog.NMFTP1->Connected());

    click(dialog, "Button10");
    QCOMPARE(prompts.errors(), QStringList{"Socket send aborted."});
    QCOMPARE(dialog.StatusText(), QString("Done"));
    QVERIFY(readBytes(server.root() + "/upload.fil") == big);
}

TAVIRO_TEST_MAIN(TestFtpServers)
#include "tst_ftpservers.moc"
