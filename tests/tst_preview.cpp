// Preview: the whole document goes byte for byte into the work file of its kind,
// which is handed to the desktop shell; the document itself is left alone.

#include "Application.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "ShellRecorder.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QDir>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

// CR LF lines, a no-break space (0xA0) and other bytes above 0x7F, no line
// break at the end.
const QByteArray kPage = "<html>\r\n<p>caf\xe9\xa0\x80 \x9d&nbsp;</p>\r\n\r\n</html>";

QAction* action(TMainForm& form, const QString& name) {
    auto* found = form.findChild<QAction*>(name);
    if (!found)
        qFatal("no action %s", qPrintable(name));
    return found;
}

} // namespace

class TestPreview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void previewWritesAndOpens_data();
    void previewWritesAndOpens();
    void emptyUntitledDocument();
    void kindsSideBySideAndOverwritten();
    void writeFailureStopsBeforeTheShell();
};

void TestPreview::previewWritesAndOpens_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<QString>("file");
    QTest::newRow("ASP") << "AsASP1" << QKeySequence(Qt::Key_F2) << "preview.asp";
    QTest::newRow("HTML") << "AsHTML1" << QKeySequence(Qt::Key_F3) << "preview.htm";
    QTest::newRow("PHP") << "AsPHP1" << QKeySequence(Qt::Key_F4) << "preview.php3";
}

void TestPreview::previewWritesAndOpens() {
    QFETCH(QString, item);
    QFETCH(QKeySequence, shortcut);
    QFETCH(QString, file);
    WorkDir dir;
    ScriptedPrompts prompts;
    ShellRecorder shell;
    writeBytes(dir.file("page.htm"), kPage);
    TMainForm form({"page.htm"});
    form.RichEdit1->setModified(true);
    const QString caption = form.windowTitle();

    QCOMPARE(action(form, item)->shortcut(), shortcut);
    action(form, item)->trigger();

    QCOMPARE(readBytes(dir.file(file)), kPage);
    QCOMPARE(shell.opened, QList<QUrl>{QUrl::fromLocalFile(QDir(dir.path()).filePath(file))});
    // The document is as it was: still modified, same name and caption.
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), QString("page.htm"));
    QCOMPARE(form.windowTitle(), caption);
    QCOMPARE(prompts.boxes.size(), 0);
}

void TestPreview::emptyUntitledDocument() {
    WorkDir dir;
    ScriptedPrompts prompts;
    ShellRecorder shell;
    TMainForm form;
    action(form, "AsHTML1")->trigger();
    QCOMPARE(readBytes(dir.file("preview.htm")), QByteArray());
    QCOMPARE(shell.opened.size(), 1);
    QVERIFY(!form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), QString());
}

void TestPreview::kindsSideBySideAndOverwritten() {
    WorkDir dir;
    ScriptedPrompts prompts;
    ShellRecorder shell;
    writeBytes(dir.file("page.htm"), kPage);
    TMainForm form({"page.htm"});
    action(form, "AsASP1")->trigger();
    action(form, "AsHTML1")->trigger();
    action(form, "AsPHP1")->trigger();
    // A second preview of a kind replaces its file with the text as it is now.
    writeBytes(dir.file("short.htm"), "x");
    form.LoadDocumentFrom("short.htm");
    action(form, "AsHTML1")->trigger();
    QCOMPARE(readBytes(dir.file("preview.asp")), kPage);
    QCOMPARE(readBytes(dir.file("preview.php3")), kPage);
    QCOMPARE(readBytes(dir.file("preview.htm")), QByteArray("x"));
    QCOMPARE(shell.opened.size(), 4);
}

void TestPreview::writeFailureStopsBeforeTheShell() {
    WorkDir dir;
    ScriptedPrompts prompts;
    ShellRecorder shell;
    QVERIFY(QDir(dir.path()).mkdir("preview.htm")); // no file can take its place
    TMainForm form;
    action(form, "AsHTML1")->trigger();
    QCOMPARE(prompts.errors(), QStringList{"Cannot create file preview.htm."});
    QVERIFY(shell.opened.isEmpty());
}

TAVIRO_TEST_MAIN(TestPreview)
#include "tst_preview.moc"
