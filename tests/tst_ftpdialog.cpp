// The FTP dialog as the user meets it: its design, the status texts of each
// command in order, the Upload command's fresh dialog, and what happens when
// buttons are pressed while an operation waits for the network.

#include "Application.h"
#include "FTP.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "NMFTP.h"
#include "RichEdit.h"
#include "ScriptedFtpServer.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

template <class T = QWidget> T* child(QWidget* dialog, const char* name) {
    auto* found = dialog->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s", name);
    return found;
}

void click(TFTP& dialog, const char* button) {
    child<QPushButton>(&dialog, button)->click();
}

void fill(TFTP& dialog, const ScriptedFtpServer& server, const QString& user = "alice",
          const QString& password = "secret") {
    child<QLineEdit>(&dialog, "HostTxt")->setText("127.0.0.1");
    child<QLineEdit>(&dialog, "PortTxt")->setText(QString::number(server.port()));
    child<QLineEdit>(&dialog, "UserTxt")->setText(user);
    child<QLineEdit>(&dialog, "PassTxt")->setText(password);
}

QStringList texts(const QSignalSpy& spy) {
    QStringList out;
    for (const QList<QVariant>& args : spy)
        out << args.at(0).toString();
    return out;
}

} // namespace

class TestFtpDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void design();
    void layoutFitsTheFont();
    void statusTexts_data();
    void statusTexts();
    void failuresKeepTheirStatus_data();
    void failuresKeepTheirStatus();
    void progressDuringUpload();
    void abortDuringUpload();
    void secondOperationRefused();
    void closeDuringOperation_data();
    void closeDuringOperation();
    void enterAndEscDoNothing();
    void uploadCommandMakesAFreshDialog();
    void uploadCommandWriteFailure();
};

void TestFtpDialog::design() {
    TFTP dialog;
    QCOMPARE(dialog.windowTitle(), QString("FTP"));
    QCOMPARE(dialog.size(), QSize(448, 273));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.pos(), QPoint(295, 112));
    auto* pages = child<QTabWidget>(&dialog, "PageControl1");
    QCOMPARE(pages->count(), 1);
    QCOMPARE(pages->tabText(0), QString("Upload"));
    QCOMPARE(pages->widget(0)->objectName(), QString("TabSheet1"));

    const QList<std::pair<const char*, QString>> fields = {{"HostTxt", ""}, {"PortTxt", "21"},
                                                           {"UserTxt", ""}, {"PassTxt", ""},
                                                           {"DirTxt", ""},  {"Edit4", ""}};
    for (const auto& [name, text] : fields)
        QCOMPARE(child<QLineEdit>(&dialog, name)->text(), text);
    QCOMPARE(child<QLineEdit>(&dialog, "PassTxt")->echoMode(), QLineEdit::Password);

    const QList<std::pair<const char*, QString>> captions = {
        {"Label1", "Host"},     {"Label2", "Port"},       {"Label3", "Login"},
        {"Label4", "Password"}, {"Label7", "Directory:"}, {"Label8", "Remote Filename"}};
    const QList<const char*> buddies = {"HostTxt", "PortTxt", "UserTxt",
                                        "PassTxt", "DirTxt",  "Edit4"};
    for (int i = 0; i < captions.size(); ++i) {
        auto* label = child<QLabel>(&dialog, captions[i].first);
        QCOMPARE(label->text(), captions[i].second);
        QCOMPARE(label->buddy(), child(&dialog, buddies[i]));
        // A screen reader names the field after its label.
        QAccessibleInterface* field =
            QAccessible::queryAccessibleInterface(child(&dialog, buddies[i]));
        QVERIFY(field);
        QCOMPARE(field->text(QAccessible::Name), QString(captions[i].second).remove(':'));
    }

    const QList<std::pair<const char*, QString>> buttons = {
        {"Button1", "Connect"}, {"Button2", "Disconnect"}, {"Button4", "Close"},
        {"Button3", "Help"},    {"Button5", "Change Dir"}, {"Button10", "Upload"},
        {"Button9", "Abort"}};
    for (const auto& [name, text] : buttons) {
        auto* button = child<QPushButton>(&dialog, name);
        QCOMPARE(button->text(), text);
        QVERIFY(!button->autoDefault());
        QVERIFY(!button->isDefault());
        QVERIFY(button->isEnabled());
    }

    QCOMPARE(dialog.StatusText(), QString());
    QVERIFY(child<QStatusBar>(&dialog, "StatusBar1"));
    QCOMPARE(child(&dialog, "StatusText")->accessibleName(), QString("Status"));
    QCOMPARE(child(&dialog, "UploadProgress")->accessibleName(), QString("Upload progress"));
    QVERIFY(dialog.findChild<TNMFTP*>("NMFTP1"));
    QCOMPARE(dialog.NMFTP1->Port, 21);
    QVERIFY(!dialog.NMFTP1->Connected());

    // Keyboard focus order.
    const QList<const char*> order = {"PageControl1", "HostTxt", "PortTxt", "Button1", "Button2",
                                      "UserTxt",      "PassTxt", "Button3", "Button4", "DirTxt",
                                      "Button5",      "Edit4",   "Button9", "Button10"};
    QList<QWidget*> stops;
    for (const char* name : order)
        stops << child(&dialog, name);
    for (int i = 0; i + 1 < stops.size(); ++i) {
        QWidget* next = stops[i]->nextInFocusChain();
        while (!stops.contains(next) && next != stops[i])
            next = next->nextInFocusChain();
        QVERIFY2(next == stops[i + 1], order[i]);
    }
}

void TestFtpDialog::layoutFitsTheFont() {
    TFTP dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto rectIn = [&](QWidget* w) { return QRect(w->mapTo(&dialog, QPoint(0, 0)), w->size()); };
    // Every text fits its control, no label runs into its field, no two
    // buttons overlap, and everything lies inside the window.
    const QList<const char*> labels = {"Label1", "Label2", "Label3", "Label4"};
    const QList<const char*> fields = {"HostTxt", "PortTxt", "UserTxt", "PassTxt"};
    for (int i = 0; i < labels.size(); ++i) {
        auto* label = child<QLabel>(&dialog, labels[i]);
        QVERIFY2(label->width() >= label->sizeHint().width(), labels[i]);
        QVERIFY2(!rectIn(label).intersects(rectIn(child(&dialog, fields[i]))), labels[i]);
    }
    QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
    for (QPushButton* b : buttons) {
        QVERIFY2(b->width() >= b->fontMetrics().horizontalAdvance(b->text()) + 8,
                 qPrintable(b->text()));
        QVERIFY2(dialog.rect().contains(rectIn(b)), qPrintable(b->text()));
        for (QPushButton* other : buttons) {
            if (other != b)
                QVERIFY2(!rectIn(b).intersects(rectIn(other)),
                         qPrintable(b->text() + " and " + other->text()));
        }
    }
    // The page's buttons and the window's share a row.
    QCOMPARE(rectIn(child(&dialog, "Button1")).y(), rectIn(child(&dialog, "Button10")).y());
    auto* port = child<QLineEdit>(&dialog, "PortTxt");
    QVERIFY(port->width() >= port->fontMetrics().horizontalAdvance("65535") + 8);
    auto* label8 = child<QLabel>(&dialog, "Label8");
    QVERIFY(label8->height() >= label8->heightForWidth(label8->width()));
    QVERIFY(!rectIn(label8).intersects(rectIn(child(&dialog, "Edit4"))));
    QVERIFY(!rectIn(child(&dialog, "Label7")).intersects(rectIn(child(&dialog, "DirTxt"))));
}

void TestFtpDialog::statusTexts_data() {
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QList<QByteArray>>("commands");

    QTest::newRow("a whole session")
        << QStringList{"Button1", "Button5", "Button10", "Button9", "Button2"}
        << QStringList{"Connecting...", "Connected", "Dir Changed", "Uploading",
                       "Done",          "Aborted",   "Disconnected"}
        << QList<QByteArray>{"USER alice", "PASS secret", "CWD  www dir ", "PORT", "STOR", "QUIT"};
    QTest::newRow("connect twice, disconnect twice")
        << QStringList{"Button1", "Button1", "Button2", "Button2"}
        << QStringList{"Connecting...", "Connected",    "Connecting...",
                       "Connected",     "Disconnected", "Disconnected"}
        << QList<QByteArray>{"USER alice", "PASS secret", "QUIT"};
    QTest::newRow("abort and help without a connection")
        << QStringList{"Button9", "Button3", "Button2"} << QStringList{"Aborted", "Disconnected"}
        << QList<QByteArray>{};
}

void TestFtpDialog::statusTexts() {
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, statuses);
    QFETCH(QList<QByteArray>, commands);
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "<p>caf\xe9\xa0</p>\r\n");
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    TFTP dialog;
    fill(dialog, server);
    child<QLineEdit>(&dialog, "DirTxt")->setText(" www dir ");
    QSignalSpy spy(&dialog, &TFTP::statusTextSet);
    for (const QString& b : buttons)
        click(dialog, qPrintable(b));
    QCOMPARE(texts(spy), statuses);
    QCOMPARE(prompts.boxes.size(), 0);
    QList<QByteArray> sent;
    for (const QByteArray& c : server.commands)
        sent << (c.startsWith("PORT") || c.startsWith("STOR") ? c.left(4) : c);
    QCOMPARE(sent, commands);
    if (commands.contains("STOR")) {
        QCOMPARE(server.commands[4], QByteArray("STOR upload.fil"));
        QCOMPARE(server.stored, QByteArray("<p>caf\xe9\xa0</p>\r\n"));
    }
}

void TestFtpDialog::failuresKeepTheirStatus_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QString>("finalStatus");

    QTest::newRow("port with letters") << "2l"
                                       << "secret" << QStringList{"Button1"} << QStringList{}
                                       << QStringList{"'2l' is not a valid integer value."} << "";
    QTest::newRow("wrong password")
        << ""
        << "wrong" << QStringList{"Button1"} << QStringList{"Connecting..."}
        << QStringList{"530 Login incorrect.\r\n"} << "Connecting...";
    QTest::newRow("upload before connect")
        << ""
        << "secret" << QStringList{"Button10"} << QStringList{"Uploading"}
        << QStringList{"Not Connected."} << "Uploading";
    QTest::newRow("change dir before connect")
        << ""
        << "secret" << QStringList{"Button5"} << QStringList{} << QStringList{"Not Connected."}
        << "";
    QTest::newRow("refused directory after connect")
        << ""
        << "secret" << QStringList{"Button1", "Button5"}
        << QStringList{"Connecting...", "Connected"} << QStringList{"550 No such directory.\r\n"}
        << "Connected";
}

void TestFtpDialog::failuresKeepTheirStatus() {
    QFETCH(QString, port);
    QFETCH(QString, password);
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, statuses);
    QFETCH(QStringList, errors);
    QFETCH(QString, finalStatus);
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "x");
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    server.replies["PASS"] = {password == "secret" ? "230 in\r\n" : "530 Login incorrect.\r\n"};
    server.replies["CWD"] = {"550 No such directory.\r\n"};
    TFTP dialog;
    fill(dialog, server, "alice", password);
    if (!port.isEmpty())
        child<QLineEdit>(&dialog, "PortTxt")->setText(port);
    QSignalSpy spy(&dialog, &TFTP::statusTextSet);
    for (const QString& b : buttons)
        click(dialog, qPrintable(b));
    QCOMPARE(texts(spy), statuses);
    QCOMPARE(prompts.errors(), errors);
    QCOMPARE(dialog.StatusText(), finalStatus);
    if (port == "2l")
        QCOMPARE(server.controlConnections, 0);
}

void TestFtpDialog::progressDuringUpload() {
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), QByteArray(4 * 1024 * 1024, 'u'));
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    TFTP dialog;
    fill(dialog, server);
    auto* bar = child<QProgressBar>(&dialog, "UploadProgress");
    QVERIFY(bar->isHidden());
    click(dialog, "Button1");
    click(dialog, "Button10");
    QCOMPARE(dialog.StatusText(), QString("Done"));
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(bar->accessibleDescription(), QString("4194304 of 4194304 bytes sent"));
}

void TestFtpDialog::abortDuringUpload() {
    WorkDir dir;
    const QByteArray content(32 * 1024 * 1024, 'a');
    writeBytes(dir.file("upload.fil"), content);
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    server.holdData = true;
    TFTP dialog;
    fill(dialog, server);
    click(dialog, "Button1");
    QSignalSpy spy(&dialog, &TFTP::statusTextSet);
    bool abortClicked = false;
    connect(dialog.NMFTP1, &TNMFTP::uploadProgress, &dialog, [&](qint64 sent) {
        if (sent == 0 && !abortClicked) {
            abortClicked = true;
            QTimer::singleShot(30, &dialog, [&] { click(dialog, "Button9"); });
        }
    });
    click(dialog, "Button10");
    QCOMPARE(texts(spy), (QStringList{"Uploading", "Aborted"}));
    QCOMPARE(prompts.errors(), QStringList{"Socket send aborted."});
    QCOMPARE(dialog.StatusText(), QString("Aborted"));

    // The next upload works; the late answer to the broken one is ignored.
    server.releaseData();
    QTRY_COMPARE(server.dataConnections, 1);
    server.holdData = false;
    server.afterData = "226 ok\r\n";
    abortClicked = true;
    click(dialog, "Button10");
    QCOMPARE(dialog.StatusText(), QString("Done"));
    QCOMPARE(prompts.errors().size(), 1);
    QVERIFY(server.stored == content);
}

void TestFtpDialog::secondOperationRefused() {
    WorkDir dir;
    writeBytes(dir.file("upload.fil"), "x");
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    server.dribble = true; // every reply takes a while
    TFTP dialog;
    fill(dialog, server);
    QSignalSpy spy(&dialog, &TFTP::statusTextSet);
    QTimer::singleShot(5, &dialog, [&] {
        for (const char* b : {"Button10", "Button5", "Button2", "Button1"})
            click(dialog, b);
    });
    click(dialog, "Button1");
    QCOMPARE(texts(spy), (QStringList{"Connecting...", "Connected"}));
    const QString busy = Application().displayText(TNMFTP::BusyMessage);
    QCOMPARE(prompts.errors(), (QStringList{busy, busy, busy, busy}));
    QCOMPARE(server.commands, (QList<QByteArray>{"USER alice", "PASS secret"}));
    QVERIFY(dialog.NMFTP1->Connected());
}

void TestFtpDialog::closeDuringOperation_data() {
    QTest::addColumn<bool>("fails");
    QTest::newRow("operation succeeds") << false;
    QTest::newRow("operation fails") << true;
}

void TestFtpDialog::closeDuringOperation() {
    QFETCH(bool, fails);
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    server.dribble = true;
    if (fails)
        server.replies["PASS"] = {"530 Login incorrect.\r\n"};
    TFTP dialog;
    fill(dialog, server);
    bool visibleAfterClose = false;
    QStringList statuses;
    connect(&dialog, &TFTP::statusTextSet, &dialog, [&](const QString& s) { statuses << s; });
    whenModal<TFTP>([&](TFTP* d) {
        QTimer::singleShot(5, d, [&, d] {
            click(*d, "Button4");
            visibleAfterClose = d->isVisible();
        });
        click(*d, "Button1");
    });
    rejectIfStillOpen(&dialog, 10000);
    QElapsedTimer clock;
    clock.start();
    dialog.exec();
    QVERIFY(clock.elapsed() < 9000); // closed by the deferred Close, not the safety net
    QVERIFY(visibleAfterClose);
    QVERIFY(!dialog.isVisible());
    const QStringList expected =
        fails ? QStringList{"Connecting..."} : QStringList{"Connecting...", "Connected"};
    QCOMPARE(statuses, expected);
    QCOMPARE(prompts.errors().size(), fails ? 1 : 0);
}

void TestFtpDialog::enterAndEscDoNothing() {
    ScriptedPrompts prompts;
    TFTP dialog;
    QSignalSpy spy(&dialog, &TFTP::statusTextSet);
    bool stillOpen = false;
    whenModal<TFTP>([&](TFTP* d) {
        child(d, "HostTxt")->setFocus();
        QTest::keyClick(child(d, "HostTxt"), Qt::Key_Return);
        QTest::keyClick(child(d, "HostTxt"), Qt::Key_Escape);
        child(d, "Button1")->setFocus();
        QTest::keyClick(child(d, "Button1"), Qt::Key_Return);
        QTest::keyClick(child(d, "Button1"), Qt::Key_Enter);
        QTest::keyClick(d, Qt::Key_Escape);
        stillOpen = d->isVisible();
        click(*d, "Button4");
    });
    rejectIfStillOpen(&dialog, 5000);
    dialog.exec();
    QVERIFY(stillOpen);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(prompts.boxes.size(), 0);
}

void TestFtpDialog::uploadCommandMakesAFreshDialog() {
    WorkDir dir;
    ScriptedPrompts prompts;
    ScriptedFtpServer server;
    writeBytes(dir.file("page.htm"), "<p>one\xa0two</p>\r\nend");
    TMainForm form({"page.htm"});
    form.RichEdit1->setModified(true);
    auto* upload = form.findChild<QAction*>("Upload1");
    QCOMPARE(upload->shortcut(), QKeySequence("Ctrl+U"));

    // First dialog: the work file is there before it opens; connect, then close.
    QByteArray workFileWhenShown;
    whenModal<TFTP>([&](TFTP* d) {
        workFileWhenShown = readBytes(dir.file("upload.fil"));
        fill(*d, server);
        child<QLineEdit>(d, "DirTxt")->setText("www");
        click(*d, "Button1");
        QCOMPARE(d->StatusText(), QString("Connected"));
        click(*d, "Button4");
    });
    upload->trigger();
    QCOMPARE(workFileWhenShown, QByteArray("<p>one\xa0two</p>\r\nend"));
    // Closing sent nothing; the released dialog dropped the connection.
    QTRY_COMPARE(server.commands, (QList<QByteArray>{"USER alice", "PASS secret"}));

    // Second dialog: design values again, a client that is not connected.
    bool fresh = false;
    whenModal<TFTP>([&](TFTP* d) {
        fresh = child<QLineEdit>(d, "HostTxt")->text().isEmpty() &&
                child<QLineEdit>(d, "PortTxt")->text() == "21" &&
                child<QLineEdit>(d, "DirTxt")->text().isEmpty() && d->StatusText().isEmpty() &&
                !d->NMFTP1->Connected();
        click(*d, "Button4");
    });
    upload->trigger();
    QVERIFY(fresh);
    QCOMPARE(prompts.boxes.size(), 0);
    // The document is untouched.
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), QString("page.htm"));
}

void TestFtpDialog::uploadCommandWriteFailure() {
    WorkDir dir;
    ScriptedPrompts prompts;
    QVERIFY(QDir(dir.path()).mkdir("upload.fil"));
    TMainForm form;
    bool shown = false;
    whenModal<TFTP>(
        [&](TFTP* d) {
            shown = true;
            d->close();
        },
        300);
    form.findChild<QAction*>("Upload1")->trigger();
    QCOMPARE(prompts.errors(), QStringList{"Cannot create file upload.fil."});
    // Had the dialog been shown, the command would have waited in it.
    QVERIFY(!shown);
    QVERIFY(form.findChildren<TFTP*>().isEmpty());
}

TAVIRO_TEST_MAIN(TestFtpDialog)
#include "tst_ftpdialog.moc"
