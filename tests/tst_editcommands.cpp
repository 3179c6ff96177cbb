// Undo, the clipboard, word wrap, and printing the document.

#include "Application.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UserInput.h"

#include <QAction>
#include <QClipboard>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>")
            .arg(program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

int pdfPages(const QString& pdf) {
    const QString info = run("pdfinfo", {pdf});
    const QRegularExpressionMatch m = QRegularExpression("Pages:\\s+(\\d+)").match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The text a reader sees: only what lies inside `area` (points) of each page.
// A line that moved on to the next page may still be in the file below the
// printable area, clipped away.
QString pdfText(const QString& pdf, int page = 0, QRectF area = {}) {
    QStringList args{"-layout"};
    if (!area.isNull())
        args << "-x" << QString::number(qFloor(area.left())) << "-y"
             << QString::number(qFloor(area.top())) << "-W" << QString::number(qCeil(area.width()))
             << "-H" << QString::number(qCeil(area.height()));
    if (page > 0)
        args << "-f" << QString::number(page) << "-l" << QString::number(page);
    return run("pdftotext", args << pdf << "-");
}

// Prints to a PDF file, as a PDF printer would.
void printToPdf(TMainForm& form, const QString& pdf) {
    form.Printer().setOutputFormat(QPrinter::PdfFormat);
    form.Printer().setOutputFileName(pdf);
}

} // namespace

class EditCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void undo();
    void clipboard();
    void wordWrapTwiceGivesBackTheFirstState_data();
    void wordWrapTwiceGivesBackTheFirstState();
    void printsWholeTextOnPagesAndChangesNothing();
    void printCancelledPrintsNothing();
    void longLineIsPrintedWholeWithWordWrapOff();
    void noPrinterIsShown();
    void printSetupChoiceLastsForTheRun();
};

void EditCommands::undo() {
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    // Nothing to take back: nothing happens, nothing is said.
    trigger(form, "EditUndoItem");
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QVERIFY(!form.RichEdit1->Modified());

    QTest::keyClicks(form.RichEdit1, "abc");
    QTest::keyClick(form.RichEdit1, Qt::Key_Return);
    QTest::keyClicks(form.RichEdit1, "def");
    trigger(form, "EditUndoItem");
    QVERIFY(form.RichEdit1->documentText().size() < QString("abc\ndef").size());
    while (form.RichEdit1->document()->isUndoAvailable())
        trigger(form, "EditUndoItem");
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QVERIFY(prompts.boxes.isEmpty());
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
}

void EditCommands::clipboard() {
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("one two three");
    QGuiApplication::clipboard()->setText("before");

    // Nothing selected: Cut and Copy leave the clipboard alone.
    trigger(form, "EditCutItem");
    trigger(form, "EditCopyItem");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));
    QVERIFY(!form.RichEdit1->Modified());

    QTextCursor c = form.RichEdit1->textCursor();
    c.setPosition(4);
    c.setPosition(8, QTextCursor::KeepAnchor);
    form.RichEdit1->setTextCursor(c);
    trigger(form, "EditCopyItem");
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("two "));
    QVERIFY(!form.RichEdit1->Modified());

    trigger(form, "EditCutItem");
    QCOMPARE(form.RichEdit1->documentText(), QString("one three"));
    QVERIFY(form.RichEdit1->Modified());

    form.RichEdit1->moveCursor(QTextCursor::End);
    trigger(form, "EditPasteItem");
    QCOMPARE(form.RichEdit1->documentText(), QString("one threetwo "));
    QCOMPARE(form.StatusLine->currentMessage(), QString());
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
}

void EditCommands::wordWrapTwiceGivesBackTheFirstState_data() {
    QTest::addColumn<bool>("modified");
    QTest::newRow("clean document") << false;
    QTest::newRow("modified document") << true;
}

void EditCommands::wordWrapTwiceGivesBackTheFirstState() {
    QFETCH(bool, modified);
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    form.RichEdit1->replaceText(QString(400, 'w') + "\nshort");
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCursor(form.RichEdit1->document()).mergeCharFormat(bold);
    form.RichEdit1->setModified(modified);
    const QString text = form.RichEdit1->documentText();
    QAction* wrap = form.findChild<QAction*>("WordWrap1");

    trigger(form, "WordWrap1");
    QCOMPARE(form.RichEdit1->lineWrapMode(), QPlainTextEdit::NoWrap);
    QTRY_VERIFY(form.RichEdit1->horizontalScrollBar()->maximum() > 0);
    QCOMPARE(form.RichEdit1->documentText(), text);
    QCOMPARE(form.RichEdit1->Modified(), modified);

    trigger(form, "WordWrap1");
    QCOMPARE(form.RichEdit1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(form.RichEdit1->documentText(), text);
    QCOMPARE(form.RichEdit1->Modified(), modified);
    // The item shows no state.
    QVERIFY(!wrap->isCheckable());
    QCOMPARE(wrap->text(), QString("&Word Wrap"));
}

void EditCommands::printsWholeTextOnPagesAndChangesNothing() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    QStringList lines;
    for (int i = 0; i < 400; ++i)
        lines << QStringLiteral("line %1 of the page").arg(i, 3, 10, QLatin1Char('0'));
    form.RichEdit1->replaceText(lines.join('\n'));
    QTest::keyClicks(form.RichEdit1, "X");
    form.AssignDocumentName(dir.file("page.htm"));
    printToPdf(form, dir.file("out.pdf"));
    prompts.printAnswers << true;
    trigger(form, "FilePrintItem");

    QVERIFY(prompts.errors().isEmpty());
    QCOMPARE(prompts.printDialogs, 1);
    const QString pdf = dir.file("out.pdf");
    QVERIFY(QFile::exists(pdf));
    // The job is named after the document.
    QVERIFY(run("pdfinfo", {pdf})
                .contains(QRegularExpression("Title:\\s+" +
                                             QRegularExpression::escape(dir.file("page.htm")))));

    // Every line exactly once, in order, across the pages; the first page starts
    // with the first character, the last page ends with the last line.
    const int pages = pdfPages(pdf);
    QVERIFY2(pages >= 2, qPrintable(QString::number(pages)));
    QVERIFY(pdfText(pdf, 1).trimmed().startsWith("Xline 000"));
    QVERIFY(pdfText(pdf, pages).contains("line 399 of the page"));
    const QRectF printable = form.Printer().pageRect(QPrinter::Point);
    QString all;
    for (int p = 1; p <= pages; ++p)
        all += pdfText(pdf, p, printable);
    int from = 0;
    for (int i = 1; i < 400; ++i) {
        const QString line = lines[i];
        const int at = all.indexOf(line, from);
        QVERIFY2(at >= 0, qPrintable(line));
        QVERIFY2(all.count(line) == 1, qPrintable(line));
        from = at;
    }
    // No page number or header added.
    QVERIFY(
        !all.contains(QRegularExpression("^\\s*\\d+\\s*$", QRegularExpression::MultilineOption)));

    // Pages are filled: as many as the lines need, no more. A line is about the
    // same height on every page, so the lines per page are nearly equal.
    QVector<int> perPage;
    for (int p = 1; p <= pages; ++p)
        perPage << int(pdfText(pdf, p, printable).count(" of the page"));
    for (int p = 0; p + 1 < pages; ++p)
        QVERIFY2(qAbs(perPage[p] - perPage[0]) <= 1, qPrintable(QString::number(perPage[p])));
    QVERIFY(perPage.last() <= perPage[0]);

    // Printing changes nothing of the document.
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 "));
}

// With Word Wrap off the screen cuts nothing but shows a scroll bar; on paper the
// long line goes on over as many printed lines as it needs. The job of an
// untitled document has an empty name, whatever the printer printed before.
void EditCommands::longLineIsPrintedWholeWithWordWrapOff() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    QStringList words;
    for (int i = 0; i < 80; ++i)
        words << QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0'));
    form.RichEdit1->replaceText("before\n" + words.join(' ') + "\nafter");
    trigger(form, "WordWrap1");
    QCOMPARE(form.RichEdit1->lineWrapMode(), QPlainTextEdit::NoWrap);
    printToPdf(form, dir.file("out.pdf"));
    form.Printer().setDocName("earlier.htm");
    prompts.printAnswers << true;
    trigger(form, "FilePrintItem");
    QVERIFY(prompts.errors().isEmpty());

    const QString pdf = dir.file("out.pdf");
    const QRectF printable = form.Printer().pageRect(QPrinter::Point);
    const QString text = pdfText(pdf, 1, printable);
    int from = text.indexOf("before");
    QVERIFY(from >= 0);
    for (const QString& word : words) {
        const int at = text.indexOf(word, from);
        QVERIFY2(at > from, qPrintable(word));
        from = at;
    }
    QVERIFY(text.indexOf("after", from) > from);
    // More than one printed line: the line really is longer than the page.
    QVERIFY(text.section("w00", 1).section("w79", 0, 0).contains('\n'));
    const QString info = run("pdfinfo", {pdf});
    QVERIFY2(!info.contains(
                 QRegularExpression("^Title:[ \\t]*\\S", QRegularExpression::MultilineOption)),
             qPrintable(info));
}

void EditCommands::printCancelledPrintsNothing() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("text");
    printToPdf(form, dir.file("out.pdf"));
    prompts.printAnswers << false;
    trigger(form, "FilePrintItem");
    QVERIFY(!QFile::exists(dir.file("out.pdf")));
    QVERIFY(prompts.boxes.isEmpty());
}

void EditCommands::noPrinterIsShown() {
    if (!QPrinterInfo::availablePrinters().isEmpty())
        QSKIP("this machine has a printer installed");
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("text");
    trigger(form, "FilePrintItem");
    QCOMPARE(prompts.errors(), QStringList{"There is no default printer currently selected."});
    QCOMPARE(prompts.printDialogs, 0);
    QCOMPARE(form.RichEdit1->documentText(), QString("text"));
}

void EditCommands::printSetupChoiceLastsForTheRun() {
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("landscape text");
    printToPdf(form, dir.file("wide.pdf"));

    prompts.printSetupAnswers << false;
    prompts.onPrinter = [](QPrinter& p) { p.setPageOrientation(QPageLayout::Landscape); };
    trigger(form, "FilePrintSetupItem");
    QCOMPARE(form.Printer().pageLayout().orientation(), QPageLayout::Portrait);

    prompts.printSetupAnswers << true;
    trigger(form, "FilePrintSetupItem");
    prompts.onPrinter = nullptr;
    prompts.printAnswers << true;
    trigger(form, "FilePrintItem");
    const QString info = run("pdfinfo", {dir.file("wide.pdf")});
    const QRegularExpressionMatch m =
        QRegularExpression("Page size:\\s+([\\d.]+) x ([\\d.]+)").match(info);
    QVERIFY2(m.hasMatch(), qPrintable(info));
    QVERIFY(m.captured(1).toDouble() > m.captured(2).toDouble());
    QVERIFY(pdfText(dir.file("wide.pdf")).contains("landscape text"));
    QCOMPARE(prompts.printSetupDialogs, 2);
}

TAVIRO_TEST_MAIN(EditCommands)
#include "tst_editcommands.moc"
