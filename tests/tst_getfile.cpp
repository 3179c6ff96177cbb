// Get File as the user meets it: the command's reset, the dialog, the fetch into
// the editor through "getfile.fil", the cookie notice, closing during a fetch.
#include "Application.h"
#include "ByteMemo.h"
#include "Gf.h"
#include "HttpServer.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "NMHTTP.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UserInput.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

using namespace taviro;
using namespace taviro::test;

namespace {

// Records, with every box, what the editor held when the box came up.
class WatchingPrompts : public ScriptedPrompts {
public:
    TMainForm* form = nullptr;
    QStringList editorAtBox;
    QList<bool> dialogVisibleAtBox;
    MsgResult messageBox(const MessageRequest& request) override {
        editorAtBox << (form ? form->RichEdit1->documentText() : QString());
        dialogVisibleAtBox << (form && form->get && form->get->isVisible());
        return ScriptedPrompts::messageBox(request);
    }
};

QByteArray ok(const QByteArray& body, const QByteArray& extra = {}) {
    return "HTTP/1.0 200 OK\r\n" + extra + "\r\n" + body;
}

} // namespace

class TestGetFile : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = QStringLiteral("Taviro"); }
    void dialogLayout();
    void pageIntoEditor_data();
    void pageIntoEditor();
    void cookieNoticeAfterThePage();
    void failureKeepsDialogOpen();
    void closeDuringFetchWaitsForItsEnd();
    void closeDuringFailingFetchAfterTheError();
    void secondGetRefused();
    void progressShown();
    void enterAndEscDoNothing();
    void cancelLeavesEmptyUntitledAndAddressStays();
    void saveQuestionCancelledLeavesDocument();
    // Last: once the application has been told to quit, no later event loop runs.
    void quittingDuringFetchShowsNothing();
};

void TestGetFile::dialogLayout() {
    TMainForm form;
    Tget& get = form.getFileDialog();
    QCOMPARE(get.windowTitle(), QStringLiteral("Get File"));
    QCOMPARE(get.getFile->text(), QStringLiteral("Get file"));
    QCOMPARE(get.Cancle->text(), QStringLiteral("Cancel"));
    QVERIFY(get.Label1->text().startsWith(QStringLiteral("Example: ")));
    QVERIFY(get.Label1->text().endsWith(QStringLiteral("/index.php")));
    QVERIFY(get.Label1->font().italic());
    QCOMPARE(get.Label1->buddy(), get.Edit1);
    QVERIFY(!get.getFile->isDefault() && !get.getFile->autoDefault());
    QVERIFY(!get.Cancle->isDefault() && !get.Cancle->autoDefault());
    QVERIFY(get.Memo1->isHidden());
    QVERIFY(get.findChild<QMenuBar*>(QStringLiteral("MainMenu1")));
    for (const char* name : {"Exit1", "Copy1", "Paste1"}) {
        auto* item = get.findChild<QAction*>(QLatin1String(name));
        QVERIFY2(item && item->shortcut().isEmpty(), name);
    }
    QVERIFY(get.findChild<TNMHTTP*>(QStringLiteral("NMHTTP1")));
    // Ctrl+G reaches the command.
    QCOMPARE(form.findChild<QAction*>(QStringLiteral("GetFile1"))->shortcut(),
             QKeySequence(QStringLiteral("Ctrl+G")));
}

void TestGetFile::pageIntoEditor_data() {
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("editor");

    QTest::newRow("CR LF page") << ok("<html>\r\n<p>hi</p>\r\n</html>")
                                << QByteArray("<html>\r\n<p>hi</p>\r\n</html>")
                                << "<html>\n<p>hi</p>\n</html>";
    QTest::newRow("LF only: one line per LF, the file keeps LF")
        << ok("a\nb\n\nc") << QByteArray("a\nb\n\nc") << "a\nb\n\nc";
    QTest::newRow("NUL cuts the page")
        << ok(QByteArray("before\r\n") + '\0' + "after") << QByteArray("before\r\n") << "before\n";
    QTest::newRow("404 page, no message")
        << QByteArray("HTTP/1.0 404 Not Found\r\n\r\n<h1>Not here</h1>")
        << QByteArray("<h1>Not here</h1>") << "<h1>Not here</h1>";
    QTest::newRow("single-byte characters")
        << ok("caf\xe9 \x80") << QByteArray("caf\xe9 \x80") << "caf\u00e9 \u20ac";
}

void TestGetFile::pageIntoEditor() {
    QFETCH(QByteArray, answer);
    WorkDir dir;
    ScriptedHttpServer server({{answer}});
    WatchingPrompts prompts;
    TMainForm form;
    form.show();
    whenModal<Tget>([&](Tget* get) {
        get->Edit1->setText(server.address(QStringLiteral("/page.htm")));
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    QVERIFY(!form.get->isVisible());
    QTEST(readBytes(dir.file(QStringLiteral("getfile.fil"))), "file");
    QTEST(form.RichEdit1->documentText(), "editor");
    QVERIFY(!form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), QString());
    QCOMPARE(form.windowTitle(), QStringLiteral("Taviro 1.5 "));
    QCOMPARE(prompts.boxes.size(), 0);
    QCOMPARE(server.requests.value(0),
             QByteArray("GET /page.htm HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"));
}

void TestGetFile::cookieNoticeAfterThePage() {
    WorkDir dir;
    ScriptedHttpServer server({{ok("<p>\r\n", "Set-Cookie: s=1\r\nSet-Cookie: id=9; path=/\r\n")}});
    WatchingPrompts prompts;
    TMainForm form;
    prompts.form = &form;
    whenModal<Tget>([&](Tget* get) {
        get->Edit1->setText(server.address());
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    QCOMPARE(prompts.boxes.size(), 1);
    const MessageRequest& box = prompts.boxes[0];
    QCOMPARE(box.text, QStringLiteral("Cookie:/nid=9; path=/"));
    QCOMPARE(box.caption, QStringLiteral("Taviro"));
    QCOMPARE(box.icon, MsgIcon::None);
    QVERIFY(box.buttons == MsgButtons::Ok);
    // The page was in the editor when the notice came, and the dialog still open.
    QCOMPARE(prompts.editorAtBox[0], QStringLiteral("<p>\n"));
    QVERIFY(prompts.dialogVisibleAtBox[0]);
    QVERIFY(!form.get->isVisible());
}

void TestGetFile::failureKeepsDialogOpen() {
    WorkDir dir;
    quint16 port;
    {
        QTcpServer gone;
        gone.listen(QHostAddress::LocalHost, 0);
        port = gone.serverPort();
    }
    WatchingPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText(QStringLiteral("old text"));
    const QStringList addresses = {QString(), QStringLiteral("127.0.0.1:%1/x").arg(port),
                                   QStringLiteral("https://127.0.0.1/")};
    bool stayedOpen = true;
    QString typedAfter;
    whenModal<Tget>([&](Tget* get) {
        for (const QString& a : addresses) {
            get->Edit1->setText(a);
            get->getFile->click();
            stayedOpen = stayedOpen && get->isVisible();
        }
        typedAfter = get->Edit1->text();
        get->Cancle->click();
    });
    trigger(form, "GetFile1");
    QVERIFY(stayedOpen);
    QCOMPARE(typedAfter, addresses.last());
    QCOMPARE(prompts.errors(), QStringList({"Empty URL.", "Connection Failed.",
                                            "HTTP Secure Socket is not supported."}));
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QVERIFY(!QFile::exists(dir.file(QStringLiteral("getfile.fil"))));
}

void TestGetFile::closeDuringFetchWaitsForItsEnd() {
    WorkDir dir;
    const QByteArray page(4000, 'q');
    ScriptedHttpServer server({{ok(page)}}, 20);
    WatchingPrompts prompts;
    TMainForm form;
    bool openAfterClose = false;
    bool openAfterEsc = false;
    whenModal<Tget>([&](Tget* get) {
        QTimer::singleShot(30, get, [&, get] {
            get->close();
            openAfterClose = get->isVisible();
            get->Exit1Click();
            QTest::keyClick(get, Qt::Key_Escape);
            openAfterEsc = get->isVisible();
        });
        get->Edit1->setText(server.address());
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    QVERIFY(openAfterClose);
    QVERIFY(openAfterEsc);
    QVERIFY(!form.get->isVisible());
    QCOMPARE(form.RichEdit1->documentText(), QString::fromLatin1(page));
    QCOMPARE(readBytes(dir.file(QStringLiteral("getfile.fil"))), page);
}

void TestGetFile::closeDuringFailingFetchAfterTheError() {
    WorkDir dir;
    // The server promises more than it sends.
    const QByteArray answer = ok(QByteArray(1000, 'r'), "Content-Length: 5000\r\n");
    ScriptedHttpServer server({{answer}}, 20);
    WatchingPrompts prompts;
    TMainForm form;
    prompts.form = &form;
    whenModal<Tget>([&](Tget* get) {
        QTimer::singleShot(30, get, [get] { get->close(); });
        get->Edit1->setText(server.address());
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    QCOMPARE(prompts.errors(),
             QStringList({"The connection ended after 1000 of 5000 bytes of the page."}));
    // The error showed while the dialog was still up; the close came after it.
    QVERIFY(prompts.dialogVisibleAtBox.value(0));
    QVERIFY(!form.get->isVisible());
    QCOMPARE(form.RichEdit1->documentText(), QString());
}

void TestGetFile::secondGetRefused() {
    WorkDir dir;
    const QByteArray page(3000, 's');
    ScriptedHttpServer server({{ok(page)}}, 20);
    WatchingPrompts prompts;
    TMainForm form;
    whenModal<Tget>([&](Tget* get) {
        QTimer::singleShot(30, get, [get] { get->getFile->click(); });
        get->Edit1->setText(server.address());
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    QCOMPARE(prompts.errors(),
             QStringList({"A request is already running; wait until it has ended."}));
    QCOMPARE(server.connections, 1);
    QCOMPARE(form.RichEdit1->documentText(), QString::fromLatin1(page));
}

void TestGetFile::progressShown() {
    WorkDir dir;
    const QByteArray page(6000, 'm');
    // About half a second on the way, so the display has several chances to change.
    ScriptedHttpServer server({{ok(page, "Content-Length: 6000\r\n")}}, 12);
    ScriptedPrompts prompts;
    TMainForm form;
    QStringList seen;
    QStringList texts;
    whenModal<Tget>([&](Tget* get) {
        auto* progress = get->findChild<QLabel*>(QStringLiteral("ProgressLabel"));
        QVERIFY(progress);
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, [&] {
            if (seen.isEmpty() || seen.last() != progress->text())
                seen << progress->text();
        });
        sampler.start(20);
        get->Edit1->setText(server.address());
        texts << get->getFile->text() << get->Cancle->text() << get->windowTitle();
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    // With a length: "<n> of 6,000 bytes", rising; the dialog's own texts unchanged.
    QVERIFY2(seen.size() >= 3, qPrintable(seen.join(" | ")));
    QVERIFY2(seen.last().endsWith(QLocale().toString(6000) + QStringLiteral(" bytes")),
             qPrintable(seen.join(" | ")));
    QVERIFY2(seen.filter(QStringLiteral(" of ")).size() >= 2, qPrintable(seen.join(" | ")));
    QCOMPARE(texts, QStringList({"Get file", "Cancel", "Get File"}));
    QCOMPARE(form.RichEdit1->documentText(), QString::fromLatin1(page));
}

void TestGetFile::enterAndEscDoNothing() {
    WorkDir dir;
    ScriptedHttpServer server({{ok("x")}});
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    bool openAfterKeys = false;
    whenModal<Tget>([&](Tget* get) {
        get->Edit1->setText(server.address());
        get->Edit1->setFocus();
        QTest::keyClick(get->Edit1, Qt::Key_Return);
        QTest::keyClick(get->Edit1, Qt::Key_Enter);
        QTest::keyClick(get->Edit1, Qt::Key_Escape);
        openAfterKeys = get->isVisible();
        get->Cancle->click();
    });
    trigger(form, "GetFile1");
    QVERIFY(openAfterKeys);
    QTest::qWait(50);
    QCOMPARE(server.connections, 0);
}

void TestGetFile::cancelLeavesEmptyUntitledAndAddressStays() {
    WorkDir dir;
    writeBytes(dir.file(QStringLiteral("doc.htm")), "doc\r\n");
    ScriptedPrompts prompts;
    TMainForm form({dir.file(QStringLiteral("doc.htm"))});
    QCOMPARE(form.RichEdit1->documentText(), QStringLiteral("doc\n"));
    whenModal<Tget>([&](Tget* get) {
        get->Edit1->setText(QStringLiteral("example.org/kept.htm"));
        get->Cancle->click();
    });
    trigger(form, "GetFile1");
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QCOMPARE(form.DocumentName(), QString());
    QVERIFY(!form.RichEdit1->Modified());
    QCOMPARE(form.windowTitle(), QStringLiteral("Taviro 1.5 "));

    QString shown;
    whenModal<Tget>([&](Tget* get) {
        shown = get->Edit1->text();
        get->Exit1Click();
    });
    trigger(form, "GetFile1");
    QCOMPARE(shown, QStringLiteral("example.org/kept.htm"));
    QCOMPARE(prompts.boxes.size(), 0);
}

void TestGetFile::saveQuestionCancelledLeavesDocument() {
    WorkDir dir;
    ScriptedPrompts prompts;
    prompts.boxAnswers = {MsgResult::Cancel};
    TMainForm form;
    form.RichEdit1->replaceText(QStringLiteral("edited"));
    form.RichEdit1->setModified(true);
    bool shown = false;
    whenModal<Tget>(
        [&](Tget* get) {
            shown = true;
            get->Cancle->click();
        },
        300);
    trigger(form, "GetFile1");
    QTest::qWait(400);
    QVERIFY(!shown);
    QCOMPARE(prompts.questions(), 1);
    QCOMPARE(form.RichEdit1->documentText(), QStringLiteral("edited"));
    QVERIFY(form.RichEdit1->Modified());
}

void TestGetFile::quittingDuringFetchShowsNothing() {
    WorkDir dir;
    ScriptedHttpServer silent({{QByteArray(), -1, false, true}});
    ScriptedPrompts prompts;
    TMainForm form;
    QElapsedTimer clock;
    whenModal<Tget>([&](Tget* get) {
        QTimer::singleShot(100, qApp, [] { QCoreApplication::exit(0); });
        get->Edit1->setText(silent.address());
        clock.start();
        get->getFile->click();
    });
    trigger(form, "GetFile1");
    // The wait ended as cancelled, well before its time-out, and nothing was shown
    // or taken for a page.
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(prompts.boxes.size(), 0);
    QVERIFY(!QFile::exists(dir.file(QStringLiteral("getfile.fil"))));
    QVERIFY(!form.get->NMHTTP1->Busy());
}

TAVIRO_TEST_MAIN(TestGetFile)
#include "tst_getfile.moc"
