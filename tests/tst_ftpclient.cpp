#include "Exceptions.h"
#include "NMFTP.h"
#include "ScriptedFtpServer.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTimer>

using namespace taviro;
using namespace taviro::test;
using Commands = QList<QByteArray>;

namespace {

// How an operation ended: "" when it returned, else the failure's kind and
// message.
struct Failure {
    QString kind;
    QString message;
    bool operator==(const Failure&) const = default;
};

template <class F> Failure outcome(F&& f) {
    try {
        f();
    } catch (const EAbortError& e) {
        return {"EAbortError", e.Message()};
    } catch (const ESockError& e) {
        return {"ESockError", e.Message()};
    } catch (const FTPException& e) {
        return {"FTPException", e.Message()};
    } catch (const EAbort& e) {
        return {"EAbort", e.Message()};
    } catch (const Exception& e) {
        return {"Exception", e.Message()};
    }
    return {};
}

// A client pointed at the scripted server, with a short wait limit so that a
// test about a silent server ends quickly.
void aim(TNMFTP& client, const ScriptedFtpServer& server, const QString& user = "alice",
         const QString& password = "secret") {
    client.Host = "127.0.0.1";
    client.Port = server.port();
    client.UserID = user;
    client.Password = password;
    client.WaitLimitMs = 5000;
}

QByteArray sampleDocument() {
    // Every byte value, CR LF line breaks, and a no-break space.
    QByteArray bytes = "<p>caf\xe9\xa0ok</p>\r\n";
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes + "\r\nend\r\n";
}

QString portArgument(quint16 port) {
    return QStringLiteral("127,0,0,1,%1,%2").arg(port >> 8).arg(port & 0xff);
}

} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template <> inline char* toString(const Failure& f) {
    return qstrdup(qPrintable(f.kind + ": " + f.message));
}
} // namespace QTest
QT_END_NAMESPACE

class TestFtpClient : public QObject {
    Q_OBJECT

private slots:
    void connectExchange_data();
    void connectExchange();
    void connectFailures();
    void connectWhenConnectedSendsNothing();
    void commandsInTheCodePage();

    void changeDir_data();
    void changeDir();
    void notConnected();
    void serverClosesControlConnection();

    void disconnect_data();
    void disconnect();

    void upload_data();
    void upload();
    void uploadRefusals_data();
    void uploadRefusals();
    void uploadDataConnectionQuirks_data();
    void uploadDataConnectionQuirks();
    void uploadMissingFile();
    void uploadProgress();

    void abortBeforeAccept();
    void abortDuringSendThenUploadAgain();
    void abortWithoutUpload();

    void waitsAreBounded();
    void repliesAreBounded_data();
    void repliesAreBounded();
    void secondOperationRefused();
};

void TestFtpClient::connectExchange_data() {
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("userReply");
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<QString>("user");
    QTest::addColumn<Commands>("commands");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<bool>("connected");

    const Commands both{"USER alice", "PASS secret"};
    const Commands bothThenQuit{"USER alice", "PASS secret", "QUIT"};
    QTest::newRow("331 asks for the password")
        << QByteArray("220 hi\r\n") << QByteArray("331 pw\r\n") << QByteArray("230 in\r\n")
        << "alice" << both << Failure{} << true;
    QTest::newRow("230 needs no password")
        << QByteArray("220 hi\r\n") << QByteArray("230 in\r\n") << QByteArray() << "alice"
        << Commands{"USER alice"} << Failure{} << true;
    QTest::newRow("empty user is sent too")
        << QByteArray("220 hi\r\n") << QByteArray("230 in\r\n") << QByteArray() << ""
        << Commands{"USER "} << Failure{} << true;
    QTest::newRow("multi-line greeting and replies")
        << QByteArray("220-Welcome\r\n220-to the\r\n220 server\r\n")
        << QByteArray("331-Password\r\n331 required\r\n")
        << QByteArray("230-Logged\r\n 230 in\r\n230 done\r\n") << "alice" << both << Failure{}
        << true;
    QTest::newRow("120 then the greeting")
        << QByteArray("120 soon\r\n220 now\r\n") << QByteArray("230 in\r\n") << QByteArray()
        << "alice" << Commands{"USER alice"} << Failure{} << true;

    // Refusal thresholds: USER and PASS refuse from 401; 600 and above never.
    QTest::newRow("USER 400 does not refuse")
        << QByteArray("220 hi\r\n") << QByteArray("400 odd\r\n") << QByteArray() << "alice"
        << Commands{"USER alice"} << Failure{} << true;
    QTest::newRow("USER 401 refuses")
        << QByteArray("220 hi\r\n") << QByteArray("401 no\r\n") << QByteArray() << "alice"
        << Commands{"USER alice", "QUIT"} << Failure{"FTPException", "401 no\r\n"} << false;
    QTest::newRow("USER 599 refuses")
        << QByteArray("220 hi\r\n") << QByteArray("599 no\r\n") << QByteArray() << "alice"
        << Commands{"USER alice", "QUIT"} << Failure{"FTPException", "599 no\r\n"} << false;
    QTest::newRow("USER 600 does not refuse")
        << QByteArray("220 hi\r\n") << QByteArray("600 odd\r\n") << QByteArray() << "alice"
        << Commands{"USER alice"} << Failure{} << true;
    QTest::newRow("PASS 400 does not refuse")
        << QByteArray("220 hi\r\n") << QByteArray("331 pw\r\n") << QByteArray("400 odd\r\n")
        << "alice" << both << Failure{} << true;
    QTest::newRow("PASS 530 refuses")
        << QByteArray("220 hi\r\n") << QByteArray("331 pw\r\n")
        << QByteArray("530 Login incorrect.\r\n") << "alice" << bothThenQuit
        << Failure{"FTPException", "530 Login incorrect.\r\n"} << false;
    QTest::newRow("multi-line refusal reports its first line")
        << QByteArray("220 hi\r\n") << QByteArray("331 pw\r\n")
        << QByteArray("530-Login incorrect.\r\n530 Bye\r\n") << "alice" << bothThenQuit
        << Failure{"FTPException", "530-Login incorrect.\r\n"} << false;
    QTest::newRow("greeting refuses")
        << QByteArray("421 Too many users\r\n") << QByteArray("331 pw\r\n") << QByteArray()
        << "alice" << Commands{"QUIT"} << Failure{"FTPException", "421 Too many users\r\n"}
        << false;
}

void TestFtpClient::connectExchange() {
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, userReply);
    QFETCH(QByteArray, passReply);
    QFETCH(QString, user);
    QFETCH(Commands, commands);
    QFETCH(Failure, failure);
    QFETCH(bool, connected);

    for (bool dribble : {false, true}) {
        ScriptedFtpServer server;
        server.dribble = dribble;
        server.greeting = greeting;
        server.replies["USER"] = {userReply};
        server.replies["PASS"] = {passReply};
        TNMFTP client;
        aim(client, server, user);
        QCOMPARE(outcome([&] { client.Connect(); }), failure);
        QCOMPARE(server.commands, commands);
        QCOMPARE(client.Connected(), connected);
    }
}

void TestFtpClient::connectFailures() {
    TNMFTP client;
    client.Host = "";
    QCOMPARE(outcome([&] { client.Connect(); }), (Failure{"ESockError", "Null Remote Address"}));
    client.Host = "::1";
    QCOMPARE(outcome([&] { client.Connect(); }), (Failure{"ESockError", "Null Remote Address"}));

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    client.Host = "127.0.0.1";
    client.Port = closedPort;
    QCOMPARE(outcome([&] { client.Connect(); }), (Failure{"ESockError", "Connection Failed"}));
    QVERIFY(!client.Connected());
    client.Port = 70000;
    QCOMPARE(outcome([&] { client.Connect(); }).kind, QString("ESockError"));

    // A wrong password, then the right one in the same client.
    ScriptedFtpServer server;
    server.replies["PASS"] = {"530 Login incorrect.\r\n", "230 in\r\n"};
    aim(client, server, "alice", "wrong");
    QCOMPARE(outcome([&] { client.Connect(); }),
             (Failure{"FTPException", "530 Login incorrect.\r\n"}));
    QTRY_VERIFY(!client.Connected());
    client.Password = "right";
    QCOMPARE(outcome([&] { client.Connect(); }), Failure{});
    QVERIFY(client.Connected());
    QCOMPARE(server.commands,
             (Commands{"USER alice", "PASS wrong", "QUIT", "USER alice", "PASS right"}));
    QCOMPARE(server.controlConnections, 2);
}

void TestFtpClient::connectWhenConnectedSendsNothing() {
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    client.Host = "192.0.2.1"; // used only after a Disconnect
    client.UserID = "bob";
    QCOMPARE(outcome([&] { client.Connect(); }), Failure{});
    QCOMPARE(server.commands, (Commands{"USER alice", "PASS secret"}));
    QCOMPARE(server.controlConnections, 1);
}

void TestFtpClient::commandsInTheCodePage() {
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server, QString::fromUtf8("J\u00fcrgen\u20ac"), QString::fromUtf8("p\u65e5w"));
    client.Connect();
    QCOMPARE(server.commands, (Commands{"USER J\xfcrgen\x80", "PASS p?w"}));

    // A line break in a field would be a command of its own: nothing is sent.
    server.commands.clear();
    QCOMPARE(outcome([&] { client.ChangeDir("a\r\nDELE x"); }).kind, QString("Exception"));
    QCOMPARE(server.commands, Commands{});
    QVERIFY(client.Connected());
}

void TestFtpClient::changeDir_data() {
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Failure>("failure");

    QTest::newRow("250") << "/www" << QByteArray("250 ok\r\n") << QByteArray("CWD /www")
                         << Failure{};
    QTest::newRow("blanks untouched")
        << " my dir/ x " << QByteArray("250 ok\r\n") << QByteArray("CWD  my dir/ x ") << Failure{};
    QTest::newRow("empty") << "" << QByteArray("250 ok\r\n") << QByteArray("CWD ") << Failure{};
    QTest::newRow("multi-line 250")
        << "www" << QByteArray("250-one\r\n250 two\r\n") << QByteArray("CWD www") << Failure{};
    QTest::newRow("399 does not refuse")
        << "www" << QByteArray("399 odd\r\n") << QByteArray("CWD www") << Failure{};
    QTest::newRow("400 refuses") << "www" << QByteArray("400 no\r\n") << QByteArray("CWD www")
                                 << Failure{"FTPException", "400 no\r\n"};
    QTest::newRow("550 refuses") << "nope" << QByteArray("550 No such directory.\r\n")
                                 << QByteArray("CWD nope")
                                 << Failure{"FTPException", "550 No such directory.\r\n"};
    QTest::newRow("600 does not refuse")
        << "www" << QByteArray("600 odd\r\n") << QByteArray("CWD www") << Failure{};
}

void TestFtpClient::changeDir() {
    QFETCH(QString, directory);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, command);
    QFETCH(Failure, failure);
    ScriptedFtpServer server;
    server.replies["CWD"] = {reply};
    TNMFTP client;
    aim(client, server);
    client.Connect();
    QCOMPARE(outcome([&] { client.ChangeDir(directory); }), failure);
    QCOMPARE(server.commands.last(), command);
    QVERIFY(client.Connected());
}

void TestFtpClient::notConnected() {
    TNMFTP client;
    const Failure notConnected{"Exception", "Not Connected"};
    QCOMPARE(outcome([&] { client.ChangeDir("x"); }), notConnected);
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), notConnected);
    QCOMPARE(outcome([&] { client.Disconnect(); }), Failure{});
    QCOMPARE(outcome([&] { client.Abort(); }), Failure{});
}

void TestFtpClient::serverClosesControlConnection() {
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.closeControl();
    QTRY_VERIFY(!client.Connected());
    const Failure notConnected{"Exception", "Not Connected"};
    QCOMPARE(outcome([&] { client.ChangeDir("x"); }), notConnected);
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), notConnected);
    QCOMPARE(outcome([&] { client.Disconnect(); }), Failure{});
    QCOMPARE(server.commands, (Commands{"USER alice", "PASS secret"}));
    // Connect starts a new session.
    QCOMPARE(outcome([&] { client.Connect(); }), Failure{});
    QCOMPARE(server.controlConnections, 2);

    // Closed while the client waits for a reply: the system's error, and the
    // session is over.
    server.closeOn = {"CWD"};
    const Failure f = outcome([&] { client.ChangeDir("x"); });
    QCOMPARE(f.kind, QString("ESockError"));
    QVERIFY2(f.message.startsWith("1: "), qPrintable(f.message));
    QVERIFY(!client.Connected());
}

void TestFtpClient::disconnect_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Failure>("failure");
    QTest::newRow("221") << QByteArray("221 Bye\r\n") << Failure{};
    QTest::newRow("300 does not refuse") << QByteArray("300 odd\r\n") << Failure{};
    QTest::newRow("301 refuses") << QByteArray("301 odd\r\n")
                                 << Failure{"FTPException", "301 odd\r\n"};
    QTest::newRow("500 refuses") << QByteArray("500 What?\r\n")
                                 << Failure{"FTPException", "500 What?\r\n"};
    QTest::newRow("600 does not refuse") << QByteArray("600 odd\r\n") << Failure{};
}

void TestFtpClient::disconnect() {
    QFETCH(QByteArray, reply);
    QFETCH(Failure, failure);
    ScriptedFtpServer server;
    server.replies["QUIT"] = {reply};
    TNMFTP client;
    aim(client, server);
    client.Connect();
    QCOMPARE(outcome([&] { client.Disconnect(); }), failure);
    QVERIFY(!client.Connected());
    QCOMPARE(server.commands, (Commands{"USER alice", "PASS secret", "QUIT"}));
    // Once more: nothing to do.
    QCOMPARE(outcome([&] { client.Disconnect(); }), Failure{});
    QCOMPARE(server.commands.size(), 3);
}

void TestFtpClient::upload_data() {
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QByteArray>("stor");
    QTest::newRow("empty name is the local file's") << "" << QByteArray("STOR upload.fil");
    QTest::newRow("plain") << "index.htm" << QByteArray("STOR index.htm");
    QTest::newRow("blanks untouched") << "  my page .htm " << QByteArray("STOR   my page .htm ");
    QTest::newRow("folders as typed") << "www/sub/p.htm" << QByteArray("STOR www/sub/p.htm");
    QTest::newRow("code page") << QString::fromUtf8("caf\u00e9\u20ac\u65e5.htm")
                               << QByteArray("STOR caf\xe9\x80?.htm");
}

void TestFtpClient::upload() {
    QFETCH(QString, remote);
    QFETCH(QByteArray, stor);
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), sampleDocument());
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    QCOMPARE(outcome([&] { client.Upload("upload.fil", remote); }), Failure{});
    QCOMPARE(server.stored, sampleDocument());
    QCOMPARE(server.commands.size(), 2);
    // The PORT numbers name the listening socket the server reached, on the
    // control connection's local address.
    QCOMPARE(server.portAddress, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(server.commands[0], ("PORT " + portArgument(server.portPort)).toLatin1());
    QCOMPARE(server.commands[1], stor);
    QCOMPARE(server.dataConnections, 1);
    QVERIFY(client.Connected());

    // A second upload from the same client sends the same file again.
    QCOMPARE(outcome([&] { client.Upload(dir.file("upload.fil"), remote); }), Failure{});
    QCOMPARE(server.stored, sampleDocument());
    QCOMPARE(server.commands.size(), 4);
}

void TestFtpClient::uploadRefusals_data() {
    QTest::addColumn<QByteArray>("portReply");
    QTest::addColumn<QByteArray>("storReply");
    QTest::addColumn<Commands>("verbs");
    QTest::addColumn<Failure>("failure");

    const Commands both{"PORT", "STOR"};
    QTest::newRow("PORT 300 goes on")
        << QByteArray("300 odd\r\n") << QByteArray("150 go\r\n") << both << Failure{};
    QTest::newRow("PORT 301 refuses") << QByteArray("301 odd\r\n") << QByteArray()
                                      << Commands{"PORT"} << Failure{"FTPException", "301 odd\r\n"};
    QTest::newRow("PORT 599 refuses") << QByteArray("599 no\r\n") << QByteArray()
                                      << Commands{"PORT"} << Failure{"FTPException", "599 no\r\n"};
    QTest::newRow("PORT 600 goes on")
        << QByteArray("600 odd\r\n") << QByteArray("150 go\r\n") << both << Failure{};
    QTest::newRow("STOR 301 refuses") << QByteArray("200 ok\r\n") << QByteArray("301 odd\r\n")
                                      << both << Failure{"FTPException", "301 odd\r\n"};
    QTest::newRow("STOR 553 refuses")
        << QByteArray("200 ok\r\n") << QByteArray("553 Could not create file.\r\n") << both
        << Failure{"FTPException", "553 Could not create file.\r\n"};
}

void TestFtpClient::uploadRefusals() {
    QFETCH(QByteArray, portReply);
    QFETCH(QByteArray, storReply);
    QFETCH(Commands, verbs);
    QFETCH(Failure, failure);
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "text");
    ScriptedFtpServer server;
    server.replies["PORT"] = {portReply};
    server.replies["STOR"] = {storReply};
    // Let the data connection come whatever the server said.
    server.dataConnect = ScriptedFtpServer::DataConnect::OnPort;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    QCOMPARE(outcome([&] { client.Upload("upload.fil", "x"); }), failure);
    Commands sent;
    for (const QByteArray& c : server.commands)
        sent << c.left(4);
    QCOMPARE(sent, verbs);
    QVERIFY(client.Connected());
    if (failure == Failure{})
        QCOMPARE(server.stored, QByteArray("text"));
}

void TestFtpClient::uploadDataConnectionQuirks_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("atOnce");
    QTest::addColumn<bool>("dribble");
    QTest::addColumn<QByteArray>("afterData");
    QTest::addColumn<QByteArray>("content");

    using D = ScriptedFtpServer::DataConnect;
    const QByteArray doc = sampleDocument();
    QTest::newRow("connects on STOR")
        << int(D::OnStor) << false << false << QByteArray("226 ok\r\n") << doc;
    QTest::newRow("connects on PORT")
        << int(D::OnPort) << false << false << QByteArray("226 ok\r\n") << doc;
    QTest::newRow("150 and 226 in one write")
        << int(D::OnStor) << true << false << QByteArray("226 ok\r\n") << doc;
    QTest::newRow("dribbled replies")
        << int(D::OnStor) << true << true << QByteArray("226-all\r\n226 done\r\n") << doc;
    QTest::newRow("a stranger comes first")
        << int(D::StrangerFirst) << false << false << QByteArray("226 ok\r\n") << doc;
    QTest::newRow("error after the data still succeeds")
        << int(D::OnStor) << false << false << QByteArray("451 Disk trouble\r\n") << doc;
    QTest::newRow("empty document")
        << int(D::OnStor) << false << false << QByteArray("226 ok\r\n") << QByteArray();
    QByteArray big(5 * 1024 * 1024 + 3, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char(i * 31 % 251);
    QTest::newRow("5 MB") << int(D::OnStor) << false << false << QByteArray("226 ok\r\n") << big;
}

void TestFtpClient::uploadDataConnectionQuirks() {
    QFETCH(int, mode);
    QFETCH(bool, atOnce);
    QFETCH(bool, dribble);
    QFETCH(QByteArray, afterData);
    QFETCH(QByteArray, content);
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), content);
    ScriptedFtpServer server;
    server.dataConnect = ScriptedFtpServer::DataConnect(mode);
    server.storRepliesAtOnce = atOnce;
    server.dribble = dribble;
    server.afterData = afterData;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), Failure{});
    // With "226" sent early the client may be done before the server has seen
    // the end of the data.
    QTRY_COMPARE(server.dataConnections, 1);
    QCOMPARE(server.stored.size(), content.size());
    QVERIFY(server.stored == content);
    QCOMPARE(server.strangerRefused, mode == int(ScriptedFtpServer::DataConnect::StrangerFirst));
    // Every reply was read whole: the next command gets its own answer.
    QCOMPARE(outcome([&] { client.ChangeDir("next"); }), Failure{});
    QCOMPARE(server.commands.last(), QByteArray("CWD next"));
}

void TestFtpClient::uploadMissingFile() {
    WorkDir dir;
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }),
             (Failure{"Exception", "Cannot open file upload.fil"}));
    QCOMPARE(server.commands, Commands{});
    QVERIFY(client.Connected());
}

void TestFtpClient::uploadProgress() {
    WorkDir dir;
    const QByteArray content(8 * 1024 * 1024, 'p');
    writeBytes(dir.file("upload.fil"), content);
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    QSignalSpy progress(&client, &TNMFTP::uploadProgress);
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), Failure{});
    QVERIFY(progress.size() >= 2);
    QCOMPARE(progress.first().at(0).toLongLong(), 0);
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(content.size()));
    for (const QList<QVariant>& args : progress)
        QCOMPARE(args.at(1).toLongLong(), qint64(content.size()));
}

void TestFtpClient::abortBeforeAccept() {
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "text");
    ScriptedFtpServer server;
    server.dataConnect = ScriptedFtpServer::DataConnect::Never;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    // Abort pressed while the PORT reply is still coming: STOR still goes
    // out, then the wait for the data connection ends at once.
    server.dribble = true;
    server.replies["PORT"] = {"200 PORT command successful, slowly\r\n"};
    QTimer::singleShot(5, &client, [&] { client.Abort(); });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }),
             (Failure{"ESockError", "Accepting Canceled"}));
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(server.commands.size(), 2);
    QCOMPARE(server.commands[1], QByteArray("STOR upload.fil"));
    QVERIFY(client.Connected());
    // No answer to the broken transfer ever comes: the next command waits a
    // moment for it, then goes on.
    client.WaitLimitMs = 300;
    QCOMPARE(outcome([&] { client.ChangeDir("www"); }), Failure{});
    QCOMPARE(server.commands.last(), QByteArray("CWD www"));
}

void TestFtpClient::abortDuringSendThenUploadAgain() {
    WorkDir dir;
    QByteArray content(32 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < content.size(); i += 4096)
        content[i] = char(i / 4096);
    writeBytes(dir.file("upload.fil"), content);
    ScriptedFtpServer server;
    server.holdData = true; // the transfer stalls until the server reads
    server.afterData = "426 Connection closed; transfer aborted.\r\n";
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    connect(&client, &TNMFTP::uploadProgress, &client, [&](qint64 sent) {
        if (sent == 0)
            QTimer::singleShot(50, &client, [&] { client.Abort(); });
    });
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }),
             (Failure{"EAbortError", "Socket send aborted"}));
    QVERIFY(client.Connected());
    // The server answers the broken transfer only once it notices the break,
    // which may be after the next upload has begun; that answer must not be
    // taken for the reply to the next PORT.
    server.releaseData();
    QObject::disconnect(&client, &TNMFTP::uploadProgress, nullptr, nullptr);
    server.holdData = false;
    server.afterData = "226 Transfer complete\r\n";
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), Failure{});
    QCOMPARE(server.dataConnections, 2);
    QCOMPARE(server.stored.size(), content.size());
    QVERIFY(server.stored == content);
    Commands verbs;
    for (const QByteArray& c : server.commands)
        verbs << c.left(4);
    QCOMPARE(verbs, (Commands{"PORT", "STOR", "PORT", "STOR"}));
}

void TestFtpClient::abortWithoutUpload() {
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Abort();
    client.Connect();
    client.Abort();
    QVERIFY(client.Connected());
    // A later upload is not affected by an Abort that came before it.
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "fine");
    QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }), Failure{});
    QCOMPARE(server.stored, QByteArray("fine"));
    // Abort during a Change Dir does not stop it.
    server.dribble = true;
    QTimer::singleShot(2, &client, [&] { client.Abort(); });
    QCOMPARE(outcome([&] { client.ChangeDir("x"); }), Failure{});
}

void TestFtpClient::waitsAreBounded() {
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "text");
    // A server that never greets.
    {
        ScriptedFtpServer server;
        server.greeting.clear();
        TNMFTP client;
        aim(client, server);
        client.WaitLimitMs = 200;
        QCOMPARE(outcome([&] { client.Connect(); }),
                 (Failure{"ESockError", "Timed out waiting for the server's reply"}));
        QVERIFY(!client.Connected());
    }
    // A server that stops answering: the session is given up.
    {
        ScriptedFtpServer server;
        server.silentOn = {"CWD"};
        TNMFTP client;
        aim(client, server);
        client.Connect();
        client.WaitLimitMs = 200;
        QCOMPARE(outcome([&] { client.ChangeDir("x"); }),
                 (Failure{"ESockError", "Timed out waiting for the server's reply"}));
        QVERIFY(!client.Connected());
    }
    // A server that never opens the data connection: the session goes on.
    {
        ScriptedFtpServer server;
        server.dataConnect = ScriptedFtpServer::DataConnect::Never;
        TNMFTP client;
        aim(client, server);
        client.Connect();
        client.WaitLimitMs = 200;
        QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }),
                 (Failure{"ESockError", "Timed out waiting for the server's data connection"}));
        QVERIFY(client.Connected());
    }
    // A server that stops reading the data.
    {
        WorkDir big;
        writeBytes(big.file("upload.fil"), QByteArray(32 * 1024 * 1024, 'b'));
        ScriptedFtpServer server;
        server.holdData = true;
        TNMFTP client;
        aim(client, server);
        client.Connect();
        client.WaitLimitMs = 300;
        QCOMPARE(outcome([&] { client.Upload("upload.fil", ""); }),
                 (Failure{"ESockError", "Timed out sending the file"}));
    }
}

void TestFtpClient::repliesAreBounded_data() {
    QTest::addColumn<QByteArray>("greeting");
    QTest::newRow("endless line") << QByteArray("220 " + QByteArray(200 * 1024, 'x'));
    QByteArray lines = "220-hello\r\n";
    while (lines.size() < 200 * 1024)
        lines += "220-and more\r\n";
    QTest::newRow("endless multi-line reply") << lines;
}

void TestFtpClient::repliesAreBounded() {
    QFETCH(QByteArray, greeting);
    ScriptedFtpServer server;
    server.greeting = greeting;
    TNMFTP client;
    aim(client, server);
    const Failure f = outcome([&] { client.Connect(); });
    QCOMPARE(f.kind, QString("ESockError"));
    QVERIFY2(f.message.contains("too long"), qPrintable(f.message));
    QVERIFY(!client.Connected());
}

void TestFtpClient::secondOperationRefused() {
    ScriptedFtpServer server;
    TNMFTP client;
    aim(client, server);
    client.Connect();
    server.commands.clear();
    server.dribble = true; // the CWD reply takes a while
    QList<Failure> refused;
    QTimer::singleShot(3, &client, [&] {
        QVERIFY(client.Busy());
        refused << outcome([&] { client.Upload("upload.fil", ""); });
        refused << outcome([&] { client.Disconnect(); });
        refused << outcome([&] { client.Connect(); });
        refused << outcome([&] { client.ChangeDir("other"); });
    });
    QCOMPARE(outcome([&] { client.ChangeDir("www"); }), Failure{});
    const Failure busy{"Exception", TNMFTP::BusyMessage};
    QCOMPARE(refused, (QList<Failure>{busy, busy, busy, busy}));
    QCOMPARE(server.commands, Commands{"CWD www"});
    QVERIFY(client.Connected());
    QVERIFY(!client.Busy());
}

TAVIRO_TEST_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
