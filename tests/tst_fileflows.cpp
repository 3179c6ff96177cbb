// The document commands as the user meets them: the save question before New,
// Open and closing, the file dialogs, and what ends up on disk.

#include "Application.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UserInput.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

Q_DECLARE_METATYPE(taviro::MsgResult)

namespace {

const QByteArray kDocBytes = "old\r\n";
const QByteArray kOtherBytes = "other\r\nfile";

} // namespace

class FileFlows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void questionFlows_data();
    void questionFlows();
    void saveQuestionIsYesNoCancelDefaultingToYes();
    void realMessageBoxCancelKeepsDocument();
    void realMessageBoxYesSavesAndStops();
    void saveAndSaveAs_data();
    void saveAndSaveAs();
    void dialogsRememberTheirOwnChoices();
    void chosenFileMovesCurrentDirectory();
    void openFailureLeavesDocument();
    void saveFailureLeavesDocumentAndFile();
    void failedExitSaveKeepsWindowOpen();
    void newAfterYesSavedAsksNothing();
    void newResetsFormattingAndKeepsReadOnlyAndWrap();
};

// Rows: the command, the document's state, the answers given, and what must
// hold afterwards. Names are file names inside the work folder.
void FileFlows::questionFlows_data() {
    QTest::addColumn<QString>("command"); // new, open, close
    QTest::addColumn<bool>("named");      // doc.htm holding "old"
    QTest::addColumn<bool>("modified");   // "X" typed at the start
    QTest::addColumn<QList<MsgResult>>("answers");
    QTest::addColumn<QStringList>("dialogs"); // chosen file name per dialog, "" cancels
    QTest::addColumn<QString>("dialogKinds"); // O = open, S = save, in order shown
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("stillModified");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("docOnDisk");
    QTest::addColumn<QByteArray>("savedOnDisk"); // saved.htm

    using L = QList<MsgResult>;
    const MsgResult Y = MsgResult::Yes, N = MsgResult::No, C = MsgResult::Cancel;
    const QByteArray none = "<missing>";

    // New
    QTest::newRow("new clean untitled") << "new" << false << false << L{} << QStringList{} << ""
                                        << ""
                                        << "" << false << false << kDocBytes << none;
    QTest::newRow("new clean named") << "new" << true << false << L{} << QStringList{} << ""
                                     << ""
                                     << "" << false << false << kDocBytes << none;
    QTest::newRow("new modified cancel") << "new" << true << true << L{C} << QStringList{} << ""
                                         << "Xold\n"
                                         << "doc.htm" << true << false << kDocBytes << none;
    QTest::newRow("new modified no") << "new" << true << true << L{N} << QStringList{} << ""
                                     << ""
                                     << "" << false << false << kDocBytes << none;
    QTest::newRow("new named yes saves, does not clear")
        << "new" << true << true << L{Y} << QStringList{} << ""
        << "Xold\n"
        << "doc.htm" << false << false << QByteArray("Xold\r\n") << none;
    QTest::newRow("new untitled yes, save confirmed")
        << "new" << false << true << L{Y} << QStringList{"saved.htm"} << "S"
        << "X"
        << "saved.htm" << false << false << kDocBytes << QByteArray("X");
    QTest::newRow("new untitled yes, save cancelled")
        << "new" << false << true << L{Y} << QStringList{""} << "S"
        << "X"
        << "" << true << false << kDocBytes << none;

    // Open (other.htm holds "other\r\nfile")
    QTest::newRow("open clean") << "open" << true << false << L{} << QStringList{"other.htm"} << "O"
                                << "other\nfile"
                                << "other.htm" << false << false << kDocBytes << none;
    QTest::newRow("open clean, dialog cancelled")
        << "open" << true << false << L{} << QStringList{""} << "O"
        << "old\n"
        << "doc.htm" << false << false << kDocBytes << none;
    QTest::newRow("open modified no")
        << "open" << true << true << L{N} << QStringList{"other.htm"} << "O"
        << "other\nfile"
        << "other.htm" << false << false << kDocBytes << none;
    QTest::newRow("open modified no, dialog cancelled")
        << "open" << true << true << L{N} << QStringList{""} << "O"
        << "Xold\n"
        << "doc.htm" << true << false << kDocBytes << none;
    QTest::newRow("open modified cancel") << "open" << true << true << L{C} << QStringList{} << ""
                                          << "Xold\n"
                                          << "doc.htm" << true << false << kDocBytes << none;
    QTest::newRow("open named yes saves, opens nothing")
        << "open" << true << true << L{Y} << QStringList{} << ""
        << "Xold\n"
        << "doc.htm" << false << false << QByteArray("Xold\r\n") << none;
    QTest::newRow("open untitled yes, save confirmed")
        << "open" << false << true << L{Y} << QStringList{"saved.htm"} << "S"
        << "X"
        << "saved.htm" << false << false << kDocBytes << QByteArray("X");

    // Closing
    QTest::newRow("close clean untitled") << "close" << false << false << L{} << QStringList{} << ""
                                          << ""
                                          << "" << false << true << kDocBytes << none;
    QTest::newRow("close clean named") << "close" << true << false << L{} << QStringList{} << ""
                                       << "old\n"
                                       << "doc.htm" << false << true << kDocBytes << none;
    QTest::newRow("close modified cancel") << "close" << true << true << L{C} << QStringList{} << ""
                                           << "Xold\n"
                                           << "doc.htm" << true << false << kDocBytes << none;
    QTest::newRow("close modified no loses changes")
        << "close" << true << true << L{N} << QStringList{} << ""
        << "Xold\n"
        << "doc.htm" << true << true << kDocBytes << none;
    QTest::newRow("close named yes saves without dialog and ends")
        << "close" << true << true << L{Y} << QStringList{} << ""
        << "Xold\n"
        << "doc.htm" << false << true << QByteArray("Xold\r\n") << none;
    QTest::newRow("close untitled yes, save confirmed, ends")
        << "close" << false << true << L{Y} << QStringList{"saved.htm"} << "S"
        << "X"
        << "saved.htm" << false << true << kDocBytes << QByteArray("X");
    QTest::newRow("close untitled yes, save cancelled, stays")
        << "close" << false << true << L{Y} << QStringList{""} << "S"
        << "X"
        << "" << true << false << kDocBytes << none;
}

void FileFlows::questionFlows() {
    QFETCH(QString, command);
    QFETCH(bool, named);
    QFETCH(bool, modified);
    QFETCH(QList<MsgResult>, answers);
    QFETCH(QStringList, dialogs);
    QFETCH(QString, dialogKinds);
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(bool, stillModified);
    QFETCH(bool, closed);
    QFETCH(QByteArray, docOnDisk);
    QFETCH(QByteArray, savedOnDisk);

    WorkDir dir;
    writeBytes(dir.file("doc.htm"), kDocBytes);
    writeBytes(dir.file("other.htm"), kOtherBytes);
    ScriptedPrompts prompts;

    TMainForm form(named ? QStringList{dir.file("doc.htm")} : QStringList{});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString captionBefore = form.windowTitle();
    if (modified) {
        form.RichEdit1->setFocus();
        QTest::keyClicks(form.RichEdit1, "X");
        QVERIFY(form.RichEdit1->Modified());
    }
    QSignalSpy closedSpy(&form, &TMainForm::closed);

    prompts.boxAnswers = answers;
    for (const QString& d : dialogs)
        prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{
            d.isEmpty() ? std::nullopt : std::optional<QString>(dir.file(d))};

    if (command == "new")
        trigger(form, "FileNewItem");
    else if (command == "open")
        trigger(form, "FileOpenItem");
    else
        trigger(form, "FileExitItem");
    // An exit save asks for the second close through the event loop.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    QVERIFY(!prompts.unexpected);
    QVERIFY(prompts.boxAnswers.isEmpty());
    QVERIFY(prompts.dialogAnswers.isEmpty());
    QCOMPARE(prompts.errors(), QStringList{});
    QCOMPARE(prompts.questions(), int(answers.size()));
    QString kinds;
    for (const auto& d : prompts.dialogs)
        kinds += d.kind == TFileDialog::Open ? 'O' : 'S';
    QCOMPARE(kinds, dialogKinds);

    QCOMPARE(form.RichEdit1->documentText(), text);
    const QString expectedName = name.isEmpty() ? QString() : dir.file(name);
    QCOMPARE(form.DocumentName(), expectedName);
    QCOMPARE(form.RichEdit1->Modified(), stillModified);
    // Closing never touches the caption; the other commands end by refreshing it.
    QCOMPARE(form.windowTitle(),
             command == "close" ? captionBefore : TMainForm::CaptionPrefix + expectedName);
    QCOMPARE(closedSpy.count(), closed ? 1 : 0);
    QCOMPARE(form.isVisible(), !closed);
    QCOMPARE(readBytes(dir.file("doc.htm")), docOnDisk);
    QCOMPARE(readBytes(dir.file("saved.htm")), savedOnDisk);
}

void FileFlows::saveQuestionIsYesNoCancelDefaultingToYes() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    QTest::keyClicks(form.RichEdit1, "abc");
    prompts.boxAnswers = {MsgResult::Cancel, MsgResult::Cancel};
    trigger(form, "FileNewItem");
    form.close();
    QCOMPARE(prompts.boxes.size(), 2);
    for (const MessageRequest& box : prompts.boxes) {
        QCOMPARE(box.text, QString("Do you want to save this file?"));
        QCOMPARE(box.caption, QString("Do you want to save this file?"));
        QCOMPARE(box.icon, MsgIcon::Question);
        QVERIFY(box.buttons == MsgButtons::YesNoCancel);
        QCOMPARE(box.defaultButton, MsgResult::Yes);
        QCOMPARE(box.owner, &form);
    }
}

// Without a scripted answerer: the real modal box, answered as a user would.
void FileFlows::realMessageBoxCancelKeepsDocument() {
    WorkDir dir;
    TMainForm form;
    form.show();
    QTest::keyClicks(form.RichEdit1, "keep me");

    QString title, text;
    bool yesIsDefault = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        QVERIFY(box->button(QMessageBox::No));
        // Escape closes the box: the same as Cancel.
        QTest::keyClick(box, Qt::Key_Escape);
    });
    trigger(form, "FileNewItem");

    QCOMPARE(title, QString("Do you want to save this file?"));
    QCOMPARE(text, QString("Do you want to save this file?"));
    QVERIFY(yesIsDefault);
    QCOMPARE(form.RichEdit1->documentText(), QString("keep me"));
    QVERIFY(form.RichEdit1->Modified());
}

void FileFlows::realMessageBoxYesSavesAndStops() {
    WorkDir dir;
    writeBytes(dir.file("page.htm"), "a\r\n");
    TMainForm form({dir.file("page.htm")});
    form.show();
    form.RichEdit1->moveCursor(QTextCursor::End);
    QTest::keyClicks(form.RichEdit1, "b");
    QSignalSpy closedSpy(&form, &TMainForm::closed);

    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        // Enter takes the default button, Yes.
        QTest::keyClick(box, Qt::Key_Return);
    });
    form.close();
    QTRY_COMPARE(closedSpy.count(), 1);
    QCOMPARE(readBytes(dir.file("page.htm")), QByteArray("a\r\nb"));
}

void FileFlows::saveAndSaveAs_data() {
    QTest::addColumn<QString>("command"); // save, saveas
    QTest::addColumn<bool>("named");
    QTest::addColumn<QString>("dialog"); // "-" not shown, "" cancelled, else chosen name
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("stillModified");
    QTest::addColumn<QByteArray>("docOnDisk");
    QTest::addColumn<QByteArray>("targetOnDisk"); // target.htm, existing with "target"

    const QByteArray none = "<missing>";
    QTest::newRow("save named writes in place")
        << "save" << true << "-"
        << "doc.htm" << false << QByteArray("Xold\r\n") << QByteArray("target");
    QTest::newRow("save untitled asks for a name")
        << "save" << false << "new.htm"
        << "new.htm" << false << kDocBytes << QByteArray("target");
    QTest::newRow("save untitled, dialog cancelled")
        << "save" << false << ""
        << "" << true << kDocBytes << QByteArray("target");
    QTest::newRow("save as replaces without asking")
        << "saveas" << true << "target.htm"
        << "target.htm" << false << kDocBytes << QByteArray("Xold\r\n");
    QTest::newRow("save as cancelled") << "saveas" << true << ""
                                       << "doc.htm" << true << kDocBytes << QByteArray("target");
    Q_UNUSED(none);
}

void FileFlows::saveAndSaveAs() {
    QFETCH(QString, command);
    QFETCH(bool, named);
    QFETCH(QString, dialog);
    QFETCH(QString, name);
    QFETCH(bool, stillModified);
    QFETCH(QByteArray, docOnDisk);
    QFETCH(QByteArray, targetOnDisk);

    WorkDir dir;
    writeBytes(dir.file("doc.htm"), kDocBytes);
    writeBytes(dir.file("target.htm"), "target");
    ScriptedPrompts prompts;
    TMainForm form(named ? QStringList{dir.file("doc.htm")} : QStringList{});
    QTest::keyClicks(form.RichEdit1, "X");
    const QString text = form.RichEdit1->documentText();
    if (dialog != "-")
        prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{
            dialog.isEmpty() ? std::nullopt : std::optional<QString>(dir.file(dialog))};

    trigger(form, command == "save" ? "FileSaveItem" : "FileSaveAsItem");

    QVERIFY(!prompts.unexpected);
    QCOMPARE(prompts.dialogs.size(), dialog == "-" ? 0 : 1);
    if (!prompts.dialogs.isEmpty()) {
        QCOMPARE(prompts.dialogs[0].kind, TFileDialog::Save);
        QCOMPARE(prompts.dialogs[0].defaultExt, QString("htm"));
    }
    QCOMPARE(prompts.questions(), 0);
    QCOMPARE(form.RichEdit1->documentText(), text);
    const QString expectedName = name.isEmpty() ? QString() : dir.file(name);
    QCOMPARE(form.DocumentName(), expectedName);
    QCOMPARE(form.windowTitle(), TMainForm::CaptionPrefix + expectedName);
    QCOMPARE(form.RichEdit1->Modified(), stillModified);
    QCOMPARE(readBytes(dir.file("doc.htm")), docOnDisk);
    QCOMPARE(readBytes(dir.file("target.htm")), targetOnDisk);
    if (name == "new.htm")
        QCOMPARE(readBytes(dir.file("new.htm")), QByteArray("X"));
}

void FileFlows::dialogsRememberTheirOwnChoices() {
    WorkDir dir;
    writeBytes(dir.file("a.htm"), "a");
    ScriptedPrompts prompts;
    TMainForm form;
    QCOMPARE(
        form.OpenDialog.Filter,
        QString("HTML|*.htm;*.html|All Files|*.*|ASP|*.asp|PHP|*.php;*.php3;*.phtml|Text|*.txt"));
    QCOMPARE(form.SaveDialog.Filter, form.OpenDialog.Filter);
    QCOMPARE(form.OpenDialog.DefaultExt, QString());

    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("a.htm"), 3};
    trigger(form, "FileOpenItem");
    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("b.php"), 4};
    trigger(form, "FileSaveAsItem");
    trigger(form, "FileNewItem");
    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{std::nullopt};
    trigger(form, "FileSaveAsItem");
    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{std::nullopt};
    trigger(form, "FileOpenItem");

    QVERIFY(!prompts.unexpected);
    QCOMPARE(prompts.dialogs.size(), 4);
    // First showing: nothing proposed, the first filter entry.
    QCOMPARE(prompts.dialogs[0].fileNameOffered, QString());
    QCOMPARE(prompts.dialogs[0].filterIndexOffered, 1);
    // Save As after Open proposes nothing: the dialogs keep their choices apart.
    QCOMPARE(prompts.dialogs[1].fileNameOffered, QString());
    QCOMPARE(prompts.dialogs[1].filterIndexOffered, 1);
    // After New, the Save dialog still proposes its last name and entry.
    QCOMPARE(prompts.dialogs[2].kind, TFileDialog::Save);
    QCOMPARE(prompts.dialogs[2].fileNameOffered, dir.file("b.php"));
    QCOMPARE(prompts.dialogs[2].filterIndexOffered, 4);
    QCOMPARE(prompts.dialogs[3].kind, TFileDialog::Open);
    QCOMPARE(prompts.dialogs[3].fileNameOffered, dir.file("a.htm"));
    QCOMPARE(prompts.dialogs[3].filterIndexOffered, 3);
}

void FileFlows::chosenFileMovesCurrentDirectory() {
    WorkDir dir;
    QDir(dir.path()).mkpath("site/sub");
    QDir(dir.path()).mkpath("out");
    writeBytes(dir.file("site/sub/p.htm"), "p");
    ScriptedPrompts prompts;
    TMainForm form;

    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("site/sub/p.htm")};
    trigger(form, "FileOpenItem");
    QCOMPARE(QDir::currentPath(), QFileInfo(dir.file("site/sub")).canonicalFilePath());

    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("out/q.htm")};
    trigger(form, "FileSaveAsItem");
    QCOMPARE(QDir::currentPath(), QFileInfo(dir.file("out")).canonicalFilePath());
    QCOMPARE(readBytes(dir.file("out/q.htm")), QByteArray("p"));

    // A cancelled dialog leaves it where it was.
    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{std::nullopt};
    trigger(form, "FileOpenItem");
    QCOMPARE(QDir::currentPath(), QFileInfo(dir.file("out")).canonicalFilePath());
}

void FileFlows::openFailureLeavesDocument() {
    WorkDir dir;
    writeBytes(dir.file("doc.htm"), kDocBytes);
    QDir(dir.path()).mkdir("folder");
    ScriptedPrompts prompts;
    TMainForm form({dir.file("doc.htm")});
    QTest::keyClicks(form.RichEdit1, "X");

    for (const QString& target : {dir.file("missing.htm"), dir.file("folder")}) {
        prompts.boxAnswers << MsgResult::No;
        prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{target};
        trigger(form, "FileOpenItem");
        QCOMPARE(prompts.errors().value(0), QString("Cannot open file %1.").arg(target));
        QCOMPARE(prompts.boxes.last().caption, QString("Taviro"));
        QCOMPARE(form.RichEdit1->documentText(), QString("Xold\n"));
        QCOMPARE(form.DocumentName(), dir.file("doc.htm"));
        QVERIFY(form.RichEdit1->Modified());
        QCOMPARE(form.windowTitle(), TMainForm::CaptionPrefix + dir.file("doc.htm"));
        prompts.boxes.clear();
    }
}

void FileFlows::saveFailureLeavesDocumentAndFile() {
    WorkDir dir;
    writeBytes(dir.file("doc.htm"), kDocBytes);
    writeBytes(dir.file("locked.htm"), "locked");
    QFile::setPermissions(dir.file("locked.htm"), QFile::ReadOwner | QFile::ReadGroup);
    QDir(dir.path()).mkdir("folder");
    ScriptedPrompts prompts;
    TMainForm form({dir.file("doc.htm")});
    QTest::keyClicks(form.RichEdit1, "X");

    for (const QString& target :
         {dir.file("locked.htm"), dir.file("folder"), dir.file("no/such/dir/x.htm")}) {
        prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{target};
        trigger(form, "FileSaveAsItem");
        QCOMPARE(prompts.errors(), QStringList{QString("Cannot create file %1.").arg(target)});
        QCOMPARE(form.DocumentName(), dir.file("doc.htm"));
        QVERIFY(form.RichEdit1->Modified());
        QCOMPARE(form.windowTitle(), TMainForm::CaptionPrefix + dir.file("doc.htm"));
        prompts.boxes.clear();
    }
    QCOMPARE(readBytes(dir.file("locked.htm")), QByteArray("locked"));
    QVERIFY(!QFile::exists(dir.file("no")));
}

void FileFlows::failedExitSaveKeepsWindowOpen() {
    WorkDir dir;
    writeBytes(dir.file("doc.htm"), kDocBytes);
    ScriptedPrompts prompts;
    TMainForm form({dir.file("doc.htm")});
    form.show();
    QTest::keyClicks(form.RichEdit1, "X");
    QFile::setPermissions(dir.file("doc.htm"), QFile::ReadOwner);
    QSignalSpy closedSpy(&form, &TMainForm::closed);

    prompts.boxAnswers << MsgResult::Yes;
    QVERIFY(!form.close());
    QCoreApplication::processEvents();
    QCOMPARE(closedSpy.count(), 0);
    QVERIFY(form.isVisible());
    QCOMPARE(prompts.errors(),
             QStringList{QString("Cannot create file %1.").arg(dir.file("doc.htm"))});
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(form.RichEdit1->documentText(), QString("Xold\n"));
    QCOMPARE(readBytes(dir.file("doc.htm")), kDocBytes);
}

void FileFlows::newAfterYesSavedAsksNothing() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    QTest::keyClicks(form.RichEdit1, "draft");
    prompts.boxAnswers << MsgResult::Yes;
    prompts.dialogAnswers << ScriptedPrompts::DialogAnswer{dir.file("draft.htm")};
    trigger(form, "FileNewItem");
    QCOMPARE(form.RichEdit1->documentText(), QString("draft"));
    trigger(form, "FileNewItem");
    QCOMPARE(prompts.questions(), 1);
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
    QCOMPARE(readBytes(dir.file("draft.htm")), QByteArray("draft"));
    QVERIFY(!prompts.unexpected);
}

void FileFlows::newResetsFormattingAndKeepsReadOnlyAndWrap() {
    ScriptedPrompts prompts;
    TMainForm form;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    form.RichEdit1->mergeCurrentCharFormat(bold);
    QTest::keyClicks(form.RichEdit1, "b");
    form.RichEdit1->moveCursor(QTextCursor::Start);
    form.RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    form.RichEdit1->setReadOnly(true);
    prompts.boxAnswers << MsgResult::No;
    trigger(form, "FileNewItem");

    form.RichEdit1->setReadOnly(false);
    QTest::keyClicks(form.RichEdit1, "n");
    QCOMPARE(form.RichEdit1->documentText(), QString("n"));
    QTextCursor c(form.RichEdit1->document());
    c.movePosition(QTextCursor::NextCharacter);
    QCOMPARE(c.charFormat().fontWeight(), int(QFont::Normal));
    QCOMPARE(form.RichEdit1->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TAVIRO_TEST_MAIN(FileFlows)
#include "tst_fileflows.moc"
