// A loaded page behaves exactly like the same text typed line by line: the same
// interaction scripts run on both editors side by side, and after every step the
// saved bytes, the caret, the selection, the view and the clipboard must agree.

#include "Application.h"
#include "Exceptions.h"
#include "MainForm.h"
#include "PageLoad.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"
#include "UserInput.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QClipboard>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

// "ab cd\nef gh\nij kl\n": short enough to type, with words on every line.
QString smallPage() {
    return QStringLiteral("ab cd\nef gh\nij kl\n");
}

// Lines long enough to see wrapping and paging, numbered so that a wrong line
// shows in a failure; every tenth one wraps at the window's width.
QString numberedPage(int lines) {
    QStringList out;
    for (int i = 1; i <= lines; ++i) {
        QString line = QStringLiteral("line %1 alpha beta").arg(i);
        if (i % 10 == 0)
            line += QStringLiteral(" gamma delta").repeated(12);
        if (i % 7 == 0)
            line += QStringLiteral("\u00A0nbsp\u00A0");
        out << line;
    }
    return out.join(u'\n') + u'\n';
}

struct EditorState {
    QByteArray saved;
    int line = 0, column = 0, anchorLine = 0, anchorColumn = 0;
    QString selected;
    // What the view shows: the text at its top left corner, and the sideways
    // scroll. (The vertical scroll bar counts lines Qt has not laid out yet as
    // one each, so its value says how much of the page was seen, not what is shown.)
    int topLine = 0, topColumn = 0, hscroll = 0;
    QString clipboardText, clipboardHtmlBody;
    QString accessibleText;

    bool operator==(const EditorState&) const = default;
};

QString describe(const EditorState& s) {
    return QStringLiteral("caret %1:%2 anchor %3:%4 top %5:%6 hscroll %7 selected [%8] clip [%9] "
                          "saved %10 bytes")
        .arg(s.line)
        .arg(s.column)
        .arg(s.anchorLine)
        .arg(s.anchorColumn)
        .arg(s.topLine)
        .arg(s.topColumn)
        .arg(s.hscroll)
        .arg(s.selected.left(80), s.clipboardText.left(80))
        .arg(s.saved.size());
}

// Line and column of a position, counted in the text the user sees.
void lineAndColumn(const QString& text, int pos, int& line, int& column) {
    const QStringView before = QStringView(text).left(pos);
    line = int(before.count(u'\n'));
    column = int(pos - (before.lastIndexOf(u'\n') + 1));
}

// The body of the HTML that Qt puts on the clipboard; the head names the
// document's default font and is the same for both editors.
QString htmlBody(const QMimeData* data) {
    if (!data || !data->hasHtml())
        return QString();
    const QString html = data->html();
    const qsizetype body = html.indexOf(QLatin1String("<body"));
    return body < 0 ? html : html.mid(body);
}

// One editor in a window of its own, with the clipboard it has seen.
struct Side {
    std::unique_ptr<TMainForm> form;
    QString clipText;
    std::unique_ptr<QMimeData> clip;

    TRichEdit* edit() const { return form->RichEdit1; }

    EditorState state(const QString& savePath) {
        EditorState s;
        form->SaveDocumentTo(savePath);
        s.saved = readBytes(savePath);
        const QString text = edit()->documentText();
        const QTextCursor c = edit()->textCursor();
        lineAndColumn(text, c.position(), s.line, s.column);
        lineAndColumn(text, c.anchor(), s.anchorLine, s.anchorColumn);
        s.selected = edit()->selectedText();
        lineAndColumn(text, edit()->cursorForPosition(QPoint(0, 0)).position(), s.topLine,
                      s.topColumn);
        s.hscroll = edit()->horizontalScrollBar()->value();
        s.clipboardText = clip ? clip->text() : QString();
        s.clipboardHtmlBody = htmlBody(clip.get());
        if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(edit())) {
            if (QAccessibleTextInterface* t = iface->textInterface())
                s.accessibleText = t->text(0, t->characterCount());
        }
        return s;
    }
};

// The point of a text position in an editor's viewport.
QPoint pointAt(TRichEdit* edit, int line, int column) {
    const QString text = edit->documentText();
    int pos = 0;
    for (int i = 0; i < line; ++i)
        pos = int(text.indexOf(u'\n', pos)) + 1;
    QTextCursor c(edit->document());
    c.setPosition(pos + column);
    edit->setTextCursor(c);
    edit->ensureCursorVisible();
    return edit->cursorRect(c).center() + QPoint(1, 0);
}

void sendMove(QWidget* viewport, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

// Runs one step of a script on one editor. Steps are words:
//   key names as QKeySequence writes them ("Down", "Ctrl+Shift+Left", "Return"),
//   "type:TEXT", "copy", "cut", "paste", "undo", "redo", "selectall",
//   "click:L:C", "shiftclick:L:C", "dclick:L:C", "tclick:L:C", "drag:L:C:L:C",
//   "caret:L:C" (places the caret without the mouse, scrolling it into view).
// Mouse positions are line and column; each editor finds its own point.
void runStep(Side& side, const QString& step) {
    TRichEdit* edit = side.edit();
    QWidget* viewport = edit->viewport();
    // Each editor works with its own clipboard history.
    if (side.clip)
        QGuiApplication::clipboard()->setMimeData(side.clip.release());
    else
        QGuiApplication::clipboard()->clear();

    const QStringList parts = step.split(u':');
    const QString verb = parts.first();
    const auto number = [&](int i) { return parts.value(i).toInt(); };
    if (verb == QLatin1String("type")) {
        typeText(edit, QStringView(step).mid(5));
    } else if (verb == QLatin1String("copy")) {
        edit->copy();
    } else if (verb == QLatin1String("cut")) {
        edit->cut();
    } else if (verb == QLatin1String("paste")) {
        edit->paste();
    } else if (verb == QLatin1String("undo")) {
        edit->undo();
    } else if (verb == QLatin1String("redo")) {
        edit->redo();
    } else if (verb == QLatin1String("selectall")) {
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    } else if (verb == QLatin1String("caret")) {
        pointAt(edit, number(1), number(2));
    } else if (verb == QLatin1String("click") || verb == QLatin1String("shiftclick")) {
        const QTextCursor keep = edit->textCursor();
        const QPoint at = pointAt(edit, number(1), number(2));
        edit->setTextCursor(keep);
        QTest::mouseClick(viewport, Qt::LeftButton,
                          verb == QLatin1String("shiftclick") ? Qt::ShiftModifier : Qt::NoModifier,
                          at);
    } else if (verb == QLatin1String("dclick") || verb == QLatin1String("tclick")) {
        const QPoint at = pointAt(edit, number(1), number(2));
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        if (verb == QLatin1String("tclick"))
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    } else if (verb == QLatin1String("drag")) {
        const QPoint to = pointAt(edit, number(3), number(4));
        const QPoint from = pointAt(edit, number(1), number(2));
        // Away from any selection, so the press selects rather than drags text.
        edit->moveCursor(QTextCursor::Start);
        pointAt(edit, number(1), number(2));
        QTest::mousePress(viewport, Qt::LeftButton, {}, from);
        sendMove(viewport, (from + to) / 2);
        sendMove(viewport, to);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    } else {
        const QKeySequence keys(step);
        QVERIFY2(keys.count() == 1, qPrintable(step));
        const QKeyCombination combo = keys[0];
        // Named keys carry no text; QTest's own lookup knows only some of them.
        QTest::sendKeyEvent(QTest::Click, edit, combo.key(), QString(), combo.keyboardModifiers());
    }
    QCoreApplication::processEvents();
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    if (now) {
        auto copy = std::make_unique<QMimeData>();
        for (const QString& format : now->formats())
            copy->setData(format, now->data(format));
        side.clip = std::move(copy);
    } else {
        side.clip.reset();
    }
}

} // namespace

class LoadedText : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { PageLoad::backgroundThreshold = m_threshold; }
    void sameAsTyped_data();
    void sameAsTyped();
    void onePageLineIsOneBlock_data();
    void onePageLineIsOneBlock();
    void clipboardKeepsEveryCharacter();
    void inputWaitsForALargePage();
    void largePageReplacedTwice();
    // Last: it quits the application's event loops.
    void quitDuringALoadLeavesTheEditor();

private:
    qint64 m_threshold = PageLoad::backgroundThreshold;
};

void LoadedText::initTestCase() {
    Application().Title = "Taviro";
    QAccessible::setActive(true);
}

void LoadedText::sameAsTyped_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("script");

    const QString small = smallPage();
    const QString page200 = numberedPage(200);
    const QString page400 = numberedPage(400);

    // The faults once seen on a loaded page, one row each.
    QTest::newRow("down, word delete back") << small << QStringList{"Down", "Ctrl+Backspace"};
    QTest::newRow("word right twice from the start")
        << small << QStringList{"Ctrl+Home", "Ctrl+Right", "Ctrl+Right", "type:#"};
    QTest::newRow("down, word left") << small << QStringList{"Down", "Ctrl+Left", "type:#"};
    QTest::newRow("select word left at a line start")
        << small << QStringList{"Down", "Ctrl+Shift+Left", "copy"};
    QTest::newRow("triple click then shift click, delete")
        << page200 << QStringList{"tclick:2:3", "shiftclick:5:2", "copy", "Delete"};
    QTest::newRow("triple click keeps the view")
        << page200 << QStringList{"caret:0:0", "tclick:12:2", "copy"};
    QTest::newRow("end, page up, type") << page200 << QStringList{"Ctrl+End", "PageUp", "type:#"};

    // Word moves and deletes, both ways, with and without Shift.
    QTest::newRow("word moves") << small
                                << QStringList{
                                       "Ctrl+Right",       "Ctrl+Right",      "Ctrl+Right",
                                       "Ctrl+Right",       "Ctrl+Left",       "Ctrl+Shift+Right",
                                       "Ctrl+Shift+Right", "Ctrl+Shift+Left", "copy",
                                       "Ctrl+End",         "Ctrl+Left",       "Ctrl+Shift+Left",
                                       "Ctrl+Shift+Left"};
    QTest::newRow("word deletes")
        << small
        << QStringList{
               "Down", "End",  "Ctrl+Delete", "Ctrl+Backspace", "Ctrl+Backspace", "Ctrl+Backspace",
               "undo", "undo", "redo"};
    // Home and End, Up and Down, with and without Shift, over wrapped lines.
    QTest::newRow("home end up down")
        << page200 << QStringList{"caret:8:4",  "End",  "Down", "Down",      "Shift+Up",
                                  "Shift+Home", "copy", "Home", "Shift+End", "Shift+Down",
                                  "Shift+Down", "cut",  "Up",   "paste"};
    // Paging both ways, and selecting by page.
    QTest::newRow("paging") << page400
                            << QStringList{"PageDown",     "PageDown", "Shift+PageDown", "PageUp",
                                           "Shift+PageUp", "PageDown", "Ctrl+End",       "PageUp",
                                           "PageUp",       "type:x"};
    // Double and triple clicks, then extending with Shift+click and by dragging.
    QTest::newRow("double click, shift click")
        << page200 << QStringList{"dclick:3:6", "shiftclick:4:2", "copy", "dclick:7:0", "cut"};
    QTest::newRow("triple click, shift click upwards")
        << page200 << QStringList{"tclick:30:3", "shiftclick:27:5", "copy"};
    QTest::newRow("drag selects") << page200
                                  << QStringList{"drag:5:2:9:4", "copy", "drag:40:6:33:1", "cut",
                                                 "undo"};
    // Select all, the clipboard, undo and redo.
    QTest::newRow("select all, cut, paste, undo, redo")
        << page200 << QStringList{"selectall", "copy", "Ctrl+End", "paste",     "selectall", "cut",
                                  "undo",      "redo", "undo",     "Ctrl+Home", "paste"};
    // Enter and Backspace at line ends, Delete joining lines.
    QTest::newRow("enter and backspace at line ends")
        << small << QStringList{"End",       "Return", "type:new", "Down", "Home",     "Backspace",
                                "Backspace", "End",    "Delete",   "undo", "Ctrl+End", "Backspace"};
    // Around the places where lines of a loaded page once met inside one block
    // (every 32nd line), and far down a long page.
    QTest::newRow("lines 31 to 34, 63 to 65")
        << page400
        << QStringList{
               "caret:31:0",      "Up",         "Ctrl+Backspace", "Down",       "Down",
               "Ctrl+Shift+Left", "copy",       "caret:63:2",     "Ctrl+Right", "Ctrl+Right",
               "Ctrl+Right",      "Ctrl+Right", "Ctrl+Right",     "type:#",     "tclick:64:1",
               "shiftclick:32:0", "copy",       "Delete"};
    QTest::newRow("last lines of a long page")
        << page400
        << QStringList{"Ctrl+End", "Up",        "Shift+Up",  "Shift+Up",        "copy",
                       "Ctrl+End", "Backspace", "Backspace", "Ctrl+Shift+Home", "Shift+Down",
                       "copy"};
}

void LoadedText::sameAsTyped() {
    QFETCH(QString, page);
    QFETCH(QStringList, script);

    WorkDir dir;
    ScriptedPrompts prompts;
    const QString savedPath = dir.file("saved.htm");

    // Both encodings, and both ways of loading: on the spot, and through the
    // worker thread that large pages take.
    for (const bool utf8 : {false, true})
        for (const bool background : {false, true}) {
            // A UTF-8 page shows it in its first line; a Windows-1252 one holds a
            // byte that UTF-8 has not.
            const QString text = utf8 ? QStringLiteral("\u2603 caf\u00E9 \u65E5\u672C ") + page
                                      : QStringLiteral("caf\u00E9 ") + page;
            writeBytes(dir.file("page.htm"), utf8 ? text.toUtf8() : text.toLatin1());
            PageLoad::backgroundThreshold = background ? 0 : m_threshold;

            Side loaded, typed;
            for (Side* side : {&loaded, &typed}) {
                side->form = std::make_unique<TMainForm>();
                side->form->resize(570, 505);
                side->form->show();
                QVERIFY(QTest::qWaitForWindowExposed(side->form.get()));
            }
            loaded.form->LoadDocumentFrom(dir.file("page.htm"));
            QCOMPARE(loaded.form->documentFormat().encoding,
                     utf8 ? DocumentFile::TextEncoding::Utf8
                          : DocumentFile::TextEncoding::Windows1252);
            typed.form->setDocumentFormat(loaded.form->documentFormat());

            // The same text typed, line by line with Enter, as a user would.
            const QStringList lines = text.split(u'\n');
            for (qsizetype i = 0; i < lines.size(); ++i) {
                typeText(typed.edit(), lines[i]);
                if (i + 1 < lines.size())
                    QTest::keyClick(typed.edit(), Qt::Key_Return);
            }
            typed.edit()->document()->clearUndoRedoStacks();
            typed.edit()->setModified(false);
            typed.edit()->moveCursor(QTextCursor::Start);
            QCoreApplication::processEvents();

            QCOMPARE(loaded.edit()->documentText(), typed.edit()->documentText());
            for (qsizetype i = 0; i < script.size(); ++i) {
                const QString& step = script[i];
                runStep(loaded, step);
                const EditorState a = loaded.state(savedPath);
                runStep(typed, step);
                const EditorState b = typed.state(savedPath);
                const QString where = QStringLiteral("%1 %2 step %3 \"%4\": loaded %5 / typed %6")
                                          .arg(utf8 ? "UTF-8" : "Windows-1252")
                                          .arg(background ? "background" : "on the spot")
                                          .arg(i + 1)
                                          .arg(step, describe(a), describe(b));
                QVERIFY2(a.saved == b.saved, qPrintable(where));
                QVERIFY2(a.line == b.line && a.column == b.column && a.anchorLine == b.anchorLine &&
                             a.anchorColumn == b.anchorColumn,
                         qPrintable(where));
                QVERIFY2(a.selected == b.selected, qPrintable(where));
                QVERIFY2(a.topLine == b.topLine && a.topColumn == b.topColumn &&
                             a.hscroll == b.hscroll,
                         qPrintable(where));
                QVERIFY2(a.clipboardText == b.clipboardText, qPrintable(where));
                QVERIFY2(a.clipboardHtmlBody == b.clipboardHtmlBody, qPrintable(where));
                QVERIFY2(a.accessibleText == b.accessibleText, qPrintable(where));
            }
            loaded.edit()->setModified(false);
            typed.edit()->setModified(false);
        }
    QVERIFY(!prompts.unexpected);
}

// The cheap way to a fast load was to put many lines into one block; whatever
// the speed, a loaded line stays a block of its own.
void LoadedText::onePageLineIsOneBlock_data() {
    QTest::addColumn<bool>("background");
    QTest::newRow("on the spot") << false;
    QTest::newRow("background") << true;
}

void LoadedText::onePageLineIsOneBlock() {
    QFETCH(bool, background);
    WorkDir dir;
    writeBytes(dir.file("page.htm"), numberedPage(200).replace("\n", "\r\n").toLatin1());
    PageLoad::backgroundThreshold = background ? 0 : m_threshold;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.LoadDocumentFrom(dir.file("page.htm"));
    QTextDocument* doc = form.RichEdit1->document();
    // 200 lines and the empty one after the last break.
    QCOMPARE(doc->blockCount(), 201);
    QCOMPARE(doc->findBlockByNumber(40).text(), QStringLiteral("line 41 alpha beta"));
    QVERIFY(!doc->toRawText().contains(QChar::LineSeparator));
    QVERIFY(!form.RichEdit1->Modified());
    QVERIFY(!doc->isUndoAvailable());
}

// Copy, cut and drag carry the exact characters: a no-break space stays one.
void LoadedText::clipboardKeepsEveryCharacter() {
    WorkDir dir;
    ScriptedPrompts prompts;
    writeBytes(dir.file("page.htm"), "a\xA0"
                                     "b \x93q\x94\r\nc\xA0"
                                     "d\r\n");
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.LoadDocumentFrom(dir.file("page.htm"));
    TRichEdit* edit = form.RichEdit1;
    edit->selectAll();
    edit->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("a\u00A0b \u201Cq\u201D\nc\u00A0d\n"));
    QTest::keyClick(edit, Qt::Key_End, Qt::ControlModifier);
    edit->paste();
    edit->cut(); // nothing selected: nothing happens
    form.SaveDocumentTo(dir.file("out.htm"));
    QCOMPARE(readBytes(dir.file("out.htm")), QByteArray("a\xA0"
                                                        "b \x93q\x94\r\nc\xA0"
                                                        "d\r\na\xA0"
                                                        "b \x93q\x94\r\nc\xA0"
                                                        "d\r\n"));

    // Cut takes the same characters off the page.
    QTextCursor c(edit->document());
    c.setPosition(0);
    c.setPosition(3, QTextCursor::KeepAnchor);
    edit->setTextCursor(c);
    edit->cut();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a\u00A0b"));
    edit->setModified(false);
}

// While a large page loads the window stays live and shows how far it is, but
// what the user types goes nowhere near the old text, and closing waits.
void LoadedText::inputWaitsForALargePage() {
    WorkDir dir;
    ScriptedPrompts prompts;
    const QByteArray bytes = numberedPage(100000).replace("\n", "\r\n").toLatin1();
    writeBytes(dir.file("page.htm"), bytes);
    PageLoad::backgroundThreshold = 0;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.RichEdit1->setFocus();

    QString shown;
    bool visibleAfterClose = false;
    QTimer::singleShot(0, &form, [&] {
        shown = form.StatusLine->currentMessage();
        QTest::keyClicks(form.RichEdit1, "zzz");
        QTest::keyClick(form.RichEdit1, Qt::Key_S, Qt::ControlModifier);
        form.close();
        visibleAfterClose = form.isVisible();
    });
    form.LoadDocumentFrom(dir.file("page.htm"));
    QVERIFY2(shown.startsWith("Opening page.htm: "), qPrintable(shown));
    QVERIFY(visibleAfterClose);
    QCOMPARE(form.StatusLine->currentMessage(), QString());
    QVERIFY(!form.RichEdit1->Modified());
    QVERIFY(prompts.dialogs.isEmpty()); // Ctrl+S never reached the window
    form.SaveDocumentTo(dir.file("out.htm"));
    QCOMPARE(readBytes(dir.file("out.htm")), bytes);
    // The close asked for meanwhile is carried out once the page is in.
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(prompts.boxes.isEmpty());
}

// A large page that is done with is freed away from the GUI thread: opening the
// next one and emptying the editor both let go of it.
void LoadedText::largePageReplacedTwice() {
    WorkDir dir;
    ScriptedPrompts prompts;
    writeBytes(dir.file("a.htm"), numberedPage(60000).toLatin1());
    writeBytes(dir.file("b.htm"), "b\r\n");
    PageLoad::backgroundThreshold = 0;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.LoadDocumentFrom(dir.file("a.htm"));
    QPointer<QTextDocument> first = form.RichEdit1->document();
    form.LoadDocumentFrom(dir.file("b.htm"));
    QCOMPARE(form.RichEdit1->documentText(), QString("b\n"));
    QTRY_VERIFY(first.isNull());
    form.LoadDocumentFrom(dir.file("a.htm"));
    QPointer<QTextDocument> second = form.RichEdit1->document();
    form.ClearDocument();
    QCOMPARE(form.RichEdit1->documentText(), QString());
    QTRY_VERIFY(second.isNull());
    QVERIFY(!form.RichEdit1->Modified());
}

void LoadedText::quitDuringALoadLeavesTheEditor() {
    WorkDir dir;
    ScriptedPrompts prompts;
    writeBytes(dir.file("page.htm"), numberedPage(100000).toLatin1());
    PageLoad::backgroundThreshold = 0;
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.RichEdit1->replaceText("old text");
    QTimer::singleShot(0, &form, [] { QCoreApplication::exit(0); });
    bool aborted = false;
    try {
        form.LoadDocumentFrom(dir.file("page.htm"));
    } catch (const EAbort&) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(form.RichEdit1->documentText(), QString("old text"));
    QVERIFY(prompts.boxes.isEmpty());
}

TAVIRO_TEST_MAIN(LoadedText)
#include "tst_loadedtext.moc"
