// Start-up: the main window as it first appears, the file named on the command
// line, and failures during start-up.

#include "Application.h"
#include "Exceptions.h"
#include "MainForm.h"
#include "Prefs.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "Startup.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

class Startup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void init() { Prefs::clear(); }
    void cleanup() { Prefs::clear(); }
    void commandLineFile_data();
    void commandLineFile();
    void missingFileIsShownAndWindowOpensUntitled();
    void hintsWorkAfterAFailedStartStep();
    void windowAsDesigned();
    void menuBarAsDesigned();
    void shortcutsActFromTheEditor();
    void sequenceRunsUntilMainWindowCloses();
    void failureEscapingTheSequenceIsShownAndEnds();
    void opensAtTheTopWithALargeStoredSize_data();
    void opensAtTheTopWithALargeStoredSize();
};

void Startup::commandLineFile_data() {
    QTest::addColumn<QStringList>("params");
    QTest::addColumn<QString>("caption");
    QTest::newRow("relative path kept as typed")
        << QStringList{"page.htm"} << "Taviro 1.5 page.htm";
    QTest::newRow("relative with folder")
        << QStringList{"./site/../page.htm"} << "Taviro 1.5 ./site/../page.htm";
    QTest::newRow("further arguments ignored")
        << QStringList{"page.htm", "other.htm", "-x"} << "Taviro 1.5 page.htm";
    QTest::newRow("no argument") << QStringList{} << "Taviro 1.5 ";
}

void Startup::commandLineFile() {
    QFETCH(QStringList, params);
    QFETCH(QString, caption);
    WorkDir dir;
    QDir(dir.path()).mkdir("site");
    writeBytes(dir.file("page.htm"), "<html>\r\n</html>");
    ScriptedPrompts prompts;
    TMainForm form(params);
    QCOMPARE(form.windowTitle(), caption);
    form.show();
    QCOMPARE(form.windowTitle(), caption);
    QVERIFY(prompts.boxes.isEmpty());
    QCOMPARE(form.DocumentName(), params.value(0));
    QCOMPARE(form.RichEdit1->documentText(), params.isEmpty() ? "" : "<html>\n</html>");
    QVERIFY(!form.RichEdit1->Modified());
    // Clean, so closing asks nothing.
    QVERIFY(form.close());
    QVERIFY(prompts.boxes.isEmpty());
}

void Startup::missingFileIsShownAndWindowOpensUntitled() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form({"missing.htm"});
    // Shown during creation, before the window appears.
    QCOMPARE(prompts.errors(), QStringList{"Cannot open file missing.htm."});
    QCOMPARE(prompts.boxes[0].caption, QString("Taviro"));
    form.show();
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
    QCOMPARE(form.DocumentName(), QString());
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QVERIFY(!form.RichEdit1->Modified());
}

void Startup::hintsWorkAfterAFailedStartStep() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form({"missing.htm"});
    Application().setHint("Open an existing file");
    QCOMPARE(form.StatusLine->currentMessage(), QString("Open an existing file"));
    Application().setHint(QString());
    QCOMPARE(form.StatusLine->currentMessage(), QString());
}

void Startup::windowAsDesigned() {
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.objectName(), QString("MainForm"));
    QCOMPARE(form.size(), QSize(570, 505));
    QCOMPARE(form.StatusLine->height(), 23);
    QCOMPARE(form.StatusLine->currentMessage(), QString());
    QCOMPARE(form.RichEdit1->font().pixelSize(), 13);
    QCOMPARE(form.RichEdit1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(form.RichEdit1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(form.RichEdit1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(form.RichEdit1->horizontalScrollBar()->isVisible());
    QVERIFY(form.RichEdit1->verticalScrollBar()->isVisible());
    QVERIFY(!form.RichEdit1->isReadOnly());
    QCOMPARE(form.centralWidget()->geometry().bottom() + 1, form.StatusLine->geometry().top());
    // The design face, or the desktop's general font where it is missing; never
    // a symbol font that fontconfig might offer for it.
    const QString family = QFontInfo(form.RichEdit1->font()).family();
    QVERIFY2(family == "Impact" ||
                 family ==
                     QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family(),
             qPrintable(family));
}

// The menu bar, item by item: caption, shortcut and hint, separators as "-".
void Startup::menuBarAsDesigned() {
    TMainForm form;
    QStringList seen;
    std::function<void(QMenu*, QString)> walk = [&](QMenu* menu, QString indent) {
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) {
                seen << indent + "-";
                continue;
            }
            seen << indent + a->objectName() + "|" + a->text() + "|" +
                        a->shortcut().toString(QKeySequence::PortableText) + "|" + a->statusTip();
            if (a->menu())
                walk(a->menu(), indent + "  ");
        }
    };
    for (QAction* top : form.MainMenu->actions()) {
        seen << top->menu()->objectName() + "|" + top->text();
        walk(top->menu(), "  ");
    }
    const QStringList expected = {
        "FileMenu|&File",
        "  FileNewItem|&New|Ctrl+N|Create a new file",
        "  FileOpenItem|&Open...|Ctrl+O|Open an existing file",
        "  FileSaveItem|&Save|Ctrl+S|Save current file",
        "  FileSaveAsItem|Save &As...||Save current file under a new name",
        "  -",
        "  FilePrintItem|&Print|Ctrl+P|Print current file",
        "  FilePrintSetupItem|P&rint Setup...||Change printer setup",
        "  -",
        "  FileExitItem|E&xit||Exit this application",
        "EditMenu|&Edit",
        "  EditUndoItem|&Undo||Undo the last action",
        "  -",
        "  EditCutItem|Cu&t||Cut selected text to clipboard",
        "  EditCopyItem|&Copy||Copy selected item to clipboard",
        "  EditPasteItem|&Paste||Paste contents of clipboard",
        "  -",
        "  WordWrap1|&Word Wrap||Enable WordWrap",
        "  Font1|&Font||Change the Font",
        "Net1|&Net",
        "  |Preview||Preview the page in a web browser",
        "    AsASP1|As &ASP|F2|",
        "    AsHTML1|As &HTML|F3|",
        "    AsPHP1|As &PHP|F4|",
        "  Upload1|&Upload|Ctrl+U|Upload the file to a remote server",
        "  GetFile1|&Get File|Ctrl+G|Download a file from a remote server",
        "HelpMenu|&Help",
        "  HelpContentsItem|&Manual|F1|Display the help contents screen",
        "  chkUdates|Check for updates||Check for new versions of Taviro",
        "  -",
        "  HelpAboutItem|&About...||Show program information",
    };
    QCOMPARE(seen, expected);
    QVERIFY(form.findChild<QMenu*>("Preview1"));
}

void Startup::shortcutsActFromTheEditor() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.RichEdit1->setFocus();
    QTest::keyClicks(form.RichEdit1, "text");

    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("s.htm")};
    QTest::keyClick(form.RichEdit1, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(readBytes(dir.file("s.htm")), QByteArray("text"));

    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{std::nullopt};
    QTest::keyClick(form.RichEdit1, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(prompts.dialogs.size(), 2);
    QCOMPARE(prompts.dialogs[1].kind, TFileDialog::Open);

    QTest::keyClick(form.RichEdit1, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
    QVERIFY(!prompts.unexpected);
}

void Startup::sequenceRunsUntilMainWindowCloses() {
    WorkDir dir;
    writeBytes(dir.file("page.htm"), "x");
    ScriptedPrompts prompts;
    Application().Title.clear();
    QString caption;
    const int code = RunStartupSequence({"page.htm"}, [&](const QStringList& params) {
        auto form = std::make_unique<TMainForm>(params);
        QTimer::singleShot(0, form.get(), [&caption, f = form.get()] {
            caption = f->windowTitle();
            f->close();
        });
        return form;
    });
    QCOMPARE(code, 0);
    QCOMPARE(Application().Title, QString("Taviro"));
    QCOMPARE(caption, QString("Taviro 1.5 page.htm"));
    QVERIFY(prompts.boxes.isEmpty());
}

void Startup::failureEscapingTheSequenceIsShownAndEnds() {
    ScriptedPrompts prompts;
    const int code = RunStartupSequence({}, [](const QStringList&) -> std::unique_ptr<TMainForm> {
        throw Exception("Cannot create window");
    });
    QCOMPARE(code, 0);
    QCOMPARE(prompts.errors(), QStringList{"Cannot create window."});
    QCOMPARE(prompts.boxes[0].caption, QString("Taviro"));
}

// A large stored size and a first line that wraps: the page opens at its top, as
// the same file opened with File > Open does.
void Startup::opensAtTheTopWithALargeStoredSize_data() {
    QTest::addColumn<QString>("size");
    QTest::newRow("20 points") << "20";
    QTest::newRow("30 points") << "30";
}

void Startup::opensAtTheTopWithALargeStoredSize() {
    QFETCH(QString, size);
    Prefs::write("font", "DejaVu Sans");
    Prefs::write("size", size);
    WorkDir dir;
    QByteArray page;
    for (int i = 0; i < 60; ++i)
        page += "first line words that go on ";
    page += "\r\n";
    for (int i = 2; i <= 200; ++i)
        page += "line " + QByteArray::number(i) + "\r\n";
    writeBytes(dir.file("page.htm"), page);

    ScriptedPrompts prompts;
    TMainForm form({dir.file("page.htm")});
    form.resize(640, 480);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.RichEdit1->font().pixelSize(), qRound(size.toInt() * 96 / 72.0));
    const QTextLayout* first = form.RichEdit1->document()->firstBlock().layout();
    QTRY_VERIFY(first->lineCount() > 1); // it wraps
    QCOMPARE(form.RichEdit1->verticalScrollBar()->value(), 0);
    // The first visual line is at the top of the view.
    const QTextCursor top = form.RichEdit1->cursorForPosition(QPoint(4, 4));
    QCOMPARE(top.blockNumber(), 0);
    QCOMPARE(first->lineForTextPosition(top.positionInBlock()).lineNumber(), 0);
    QVERIFY(prompts.boxes.isEmpty());
}

TAVIRO_TEST_MAIN(Startup)
#include "tst_startup.moc"
