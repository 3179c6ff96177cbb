// The edit control with a loaded page: lines behave as lines for the user, what
// leaves it (clipboard, file) has ordinary line breaks.

#include "Application.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QClipboard>
#include <QTextBlock>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

QString numberedLines(int count) {
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines.join('\n');
}

// Puts the caret at the start of line `line` (0-based) of the text.
void caretToLine(TRichEdit* edit, int line) {
    const QString text = edit->documentText();
    int pos = 0;
    for (int i = 0; i < line; ++i)
        pos = text.indexOf('\n', pos) + 1;
    QTextCursor c = edit->textCursor();
    c.setPosition(pos);
    edit->setTextCursor(c);
}

} // namespace

class RichEditTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_form.reset(); }
    void arrowKeysMoveLineByLine();
    void copiedLinesHaveOrdinaryBreaks();
    void tripleClickSelectsOneLine_data();
    void tripleClickSelectsOneLine();
    void editsInsideALoadedPageAreSavedExactly();
    void shiftEnterBreaksTheLine();

private:
    std::unique_ptr<TMainForm> m_form;
    TRichEdit* edit() const { return m_form->RichEdit1; }
};

void RichEditTest::init() {
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    edit()->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit()->replaceText(numberedLines(200));
    edit()->setFocus();
}

void RichEditTest::arrowKeysMoveLineByLine() {
    caretToLine(edit(), 0);
    for (int i = 1; i < 80; ++i) {
        QTest::keyClick(edit(), Qt::Key_Down);
        QTextCursor c = edit()->textCursor();
        c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
        QCOMPARE(c.selectedText(), QStringLiteral("line %1").arg(i));
    }
    QTest::keyClick(edit(), Qt::Key_End);
    QTest::keyClick(edit(), Qt::Key_Up);
    QTest::keyClick(edit(), Qt::Key_Home);
    QTextCursor c = edit()->textCursor();
    c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    QCOMPARE(c.selectedText(), QString("line 78"));
}

void RichEditTest::copiedLinesHaveOrdinaryBreaks() {
    caretToLine(edit(), 30);
    QTextCursor c = edit()->textCursor();
    const int from = c.position();
    caretToLine(edit(), 34);
    c.setPosition(from);
    c.setPosition(edit()->textCursor().position(), QTextCursor::KeepAnchor);
    edit()->setTextCursor(c);
    edit()->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("line 30\nline 31\nline 32\nline 33\n"));
}

void RichEditTest::tripleClickSelectsOneLine_data() {
    QTest::addColumn<int>("line");
    QTest::newRow("first") << 0;
    QTest::newRow("inside") << 45;
    QTest::newRow("last") << 199;
}

void RichEditTest::tripleClickSelectsOneLine() {
    QFETCH(int, line);
    caretToLine(edit(), line);
    edit()->ensureCursorVisible();
    const QPoint at = edit()->cursorRect().center() + QPoint(3, 0);
    QWidget* viewport = edit()->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QString selected = edit()->textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, '\n').replace(QChar::LineSeparator, '\n');
    QCOMPARE(selected, QStringLiteral("line %1").arg(line) + (line < 199 ? "\n" : ""));
}

void RichEditTest::editsInsideALoadedPageAreSavedExactly() {
    WorkDir dir;
    caretToLine(edit(), 50);
    QTest::keyClick(edit(), Qt::Key_End);
    QTest::keyClick(edit(), Qt::Key_Return);
    QTest::keyClicks(edit(), "new");
    QTest::keyClick(edit(), Qt::Key_Down);
    QTest::keyClick(edit(), Qt::Key_Home);
    QTest::keyClick(edit(), Qt::Key_Backspace);
    m_form->SaveDocumentTo(dir.file("out.htm"));
    QString expected = numberedLines(200);
    expected.replace("line 50\nline 51", "line 50\nnewline 51");
    QCOMPARE(readBytes(dir.file("out.htm")), expected.replace("\n", "\r\n").toLatin1());
}

// Shift+Enter is a line break like Enter, in the file as on screen.
void RichEditTest::shiftEnterBreaksTheLine() {
    WorkDir dir;
    edit()->replaceText(QString());
    QTest::keyClicks(edit(), "a");
    QTest::keyClick(edit(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(edit(), "b");
    QCOMPARE(edit()->document()->blockCount(), 2);
    m_form->SaveDocumentTo(dir.file("out.htm"));
    QCOMPARE(readBytes(dir.file("out.htm")), QByteArray("a\r\nb"));
}

TAVIRO_TEST_MAIN(RichEditTest)
#include "tst_richedit.moc"
