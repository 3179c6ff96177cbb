// The update check against a local server standing in for the maker's.
#include "Application.h"
#include "Gf.h"
#include "HttpServer.h"
#include "MainForm.h"
#include "NMHTTP.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "ShellRecorder.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UpdateCheck.h"
#include "UserInput.h"

#include <QAction>
#include <QLineEdit>

using namespace taviro;
using namespace taviro::test;

Q_DECLARE_METATYPE(taviro::MsgResult)

namespace {

QByteArray answer(const QByteArray& body, const QByteArray& extra = {}) {
    return "HTTP/1.0 200 OK\r\n" + extra + "\r\n" + body;
}

// A named, modified document that the check must leave alone.
void editDocument(TMainForm& form, const WorkDir& dir) {
    form.AssignDocumentName(dir.file(QStringLiteral("mine.htm")));
    form.RefreshCaption();
    form.RichEdit1->replaceText(QStringLiteral("my edits"));
    form.RichEdit1->setModified(true);
}

void documentUntouched(TMainForm& form, const WorkDir& dir) {
    QCOMPARE(form.RichEdit1->documentText(), QStringLiteral("my edits"));
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), dir.file(QStringLiteral("mine.htm")));
    QCOMPARE(form.windowTitle(),
             QStringLiteral("Taviro 1.5 ") + dir.file(QStringLiteral("mine.htm")));
}

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = QStringLiteral("Taviro"); }
    void cleanup() { setUpdateServer(QString()); }
    void addresses();
    void answers_data();
    void answers();
    void cookieNoticeFirst();
    void redirectFollowed();
    void unreachableServerShowsOnlyTheError();
    void mainWindowUsableDuringCheck();
    void quittingDuringCheckEndsCleanly();
};

void TestUpdateCheck::addresses() {
    QCOMPARE(UpdateFileAddress(), MakerServer + QStringLiteral("/updates/taviro15.upd"));
    QCOMPARE(ProductPageAddress(),
             QStringLiteral("http://") + MakerServer + QStringLiteral("/taviro.htm"));
}

void TestUpdateCheck::answers_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<MsgResult>("choice");
    QTest::addColumn<bool>("update");

    QTest::newRow("new, Yes") << answer("new") << MsgResult::Yes << true;
    QTest::newRow("new, No") << answer("new") << MsgResult::No << true;
    QTest::newRow("new with CR LF") << answer("new\r\n") << MsgResult::Ok << false;
    QTest::newRow("new with LF") << answer("new\n") << MsgResult::Ok << false;
    QTest::newRow("New") << answer("New") << MsgResult::Ok << false;
    QTest::newRow("byte-order mark") << answer("\xef\xbb\xbfnew") << MsgResult::Ok << false;
    QTest::newRow("empty") << answer("") << MsgResult::Ok << false;
    QTest::newRow("404 page") << QByteArray("HTTP/1.0 404 Not Found\r\n\r\n<h1>404</h1>")
                              << MsgResult::Ok << false;
}

void TestUpdateCheck::answers() {
    QFETCH(QByteArray, reply);
    QFETCH(MsgResult, choice);
    QFETCH(bool, update);
    WorkDir dir;
    ScriptedHttpServer server({{reply}});
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    ScriptedPrompts prompts;
    if (update)
        prompts.boxAnswers = {choice};
    ShellRecorder shell;
    TMainForm form;
    editDocument(form, dir);
    form.getFileDialog().Edit1->setText(QStringLiteral("typed"));

    trigger(form, "chkUdates");
    QCOMPARE(server.requests.value(0),
             QByteArray("GET /updates/taviro15.upd HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
    QCOMPARE(prompts.boxes.size(), 1);
    const MessageRequest& box = prompts.boxes[0];
    QCOMPARE(box.icon, MsgIcon::Question);
    QCOMPARE(box.owner, &form);
    if (update) {
        QCOMPARE(box.text, QStringLiteral("Update Available. Do you want to know more?"));
        QCOMPARE(box.caption, QStringLiteral("Checking for updates"));
        QVERIFY(box.buttons == MsgButtons::YesNo);
    } else {
        QCOMPARE(box.text, QStringLiteral("No updates available."));
        QCOMPARE(box.caption, QString());
        QVERIFY(box.buttons == MsgButtons::Ok);
    }
    const QList<QUrl> opened =
        update && choice == MsgResult::Yes
            ? QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:%1/taviro.htm").arg(server.port()))}
            : QList<QUrl>{};
    QCOMPARE(shell.opened, opened);
    documentUntouched(form, dir);
    QCOMPARE(form.get->Edit1->text(), QStringLiteral("typed"));
    QVERIFY(!form.get->isVisible());
}

void TestUpdateCheck::cookieNoticeFirst() {
    WorkDir dir;
    ScriptedHttpServer server({{answer("new", "Set-Cookie: v=15\r\n")}});
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    ScriptedPrompts prompts;
    prompts.boxAnswers = {MsgResult::No};
    ShellRecorder shell;
    TMainForm form;
    trigger(form, "chkUdates");
    QCOMPARE(prompts.boxes.size(), 2);
    QCOMPARE(prompts.boxes[0].text, QStringLiteral("Cookie:/nv=15"));
    QCOMPARE(prompts.boxes[0].caption, QStringLiteral("Taviro"));
    QCOMPARE(prompts.boxes[0].icon, MsgIcon::None);
    QCOMPARE(prompts.boxes[1].text, QStringLiteral("Update Available. Do you want to know more?"));
    QVERIFY(shell.opened.isEmpty());
}

void TestUpdateCheck::redirectFollowed() {
    WorkDir dir;
    ScriptedHttpServer server(
        {{"HTTP/1.0 301 Moved\r\nLocation: /moved.upd\r\n\r\n"}, {answer("new")}});
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(server.port()));
    ScriptedPrompts prompts;
    prompts.boxAnswers = {MsgResult::Yes};
    ShellRecorder shell;
    TMainForm form;
    trigger(form, "chkUdates");
    QCOMPARE(server.connections, 2);
    QCOMPARE(prompts.boxes.value(0).caption, QStringLiteral("Checking for updates"));
    QCOMPARE(shell.opened.size(), 1);
}

void TestUpdateCheck::unreachableServerShowsOnlyTheError() {
    WorkDir dir;
    quint16 port;
    {
        QTcpServer gone;
        gone.listen(QHostAddress::LocalHost, 0);
        port = gone.serverPort();
    }
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(port));
    ScriptedPrompts prompts;
    ShellRecorder shell;
    TMainForm form;
    editDocument(form, dir);
    trigger(form, "chkUdates");
    QCOMPARE(prompts.errors(), QStringList{QStringLiteral("Connection Failed.")});
    QCOMPARE(prompts.boxes.size(), 1);
    QVERIFY(shell.opened.isEmpty());
    documentUntouched(form, dir);

    // A server that never answers: the time-out's message alone.
    ScriptedHttpServer silent({{QByteArray(), -1, false, true}});
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(silent.port()));
    prompts.boxes.clear();
    QElapsedTimer clock;
    clock.start();
    trigger(form, "chkUdates");
    QCOMPARE(prompts.errors(), QStringList{QStringLiteral("Socket readln aborted.")});
    QVERIFY(clock.elapsed() >= 4500);
}

void TestUpdateCheck::mainWindowUsableDuringCheck() {
    WorkDir dir;
    // Slow enough that the check is still waiting when the user types.
    ScriptedHttpServer slow({{answer(QByteArray(2000, ' '))}}, 2);
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(slow.port()));
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    bool typedDuringCheck = false;
    QStringList secondCheck;
    QTimer::singleShot(50, &form, [&] {
        QTest::keyClicks(form.RichEdit1, QStringLiteral("typed"));
        typedDuringCheck = form.getFileDialog().NMHTTP1->Busy();
        // A second check, or Get File, while the first waits is refused at once,
        // before the document is given up.
        trigger(form, "chkUdates");
        trigger(form, "GetFile1");
        secondCheck = prompts.errors();
    });
    trigger(form, "chkUdates");
    QVERIFY(typedDuringCheck);
    QCOMPARE(form.RichEdit1->documentText(), QStringLiteral("typed"));
    QCOMPARE(
        secondCheck,
        QStringList(2, QStringLiteral("A request is already running; wait until it has ended.")));
    QCOMPARE(prompts.questions(), 1); // the check's own answer, no save question
    QVERIFY(!form.get->isVisible());
    QCOMPARE(slow.connections, 1);
    QCOMPARE(prompts.boxes.last().text, QStringLiteral("No updates available."));
}

void TestUpdateCheck::quittingDuringCheckEndsCleanly() {
    WorkDir dir;
    ScriptedHttpServer silent({{QByteArray(), -1, false, true}});
    setUpdateServer(QStringLiteral("127.0.0.1:%1").arg(silent.port()));
    ScriptedPrompts prompts;
    TMainForm form;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(100, qApp, [] { QCoreApplication::exit(0); });
    trigger(form, "chkUdates");
    // The wait ended as cancelled: no box, no answer taken for complete.
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(prompts.boxes.size(), 0);
    QVERIFY(!form.getFileDialog().NMHTTP1->Busy());
}

TAVIRO_TEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
