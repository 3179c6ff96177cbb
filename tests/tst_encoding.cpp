// The document's encoding: how it is found from a file's bytes, what new
// documents get, and the status line's choice.

#include "Application.h"
#include "DocumentFile.h"
#include "EncodingButton.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAccessible>
#include <QMenu>
#include <QRandomGenerator>
#include <QStatusBar>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;
using DocumentFile::DocumentFormat;
using DocumentFile::TextEncoding;

Q_DECLARE_METATYPE(taviro::DocumentFile::TextEncoding)
Q_DECLARE_METATYPE(taviro::MsgResult)

namespace {

constexpr auto kUtf8 = TextEncoding::Utf8;
constexpr auto kCp1252 = TextEncoding::Windows1252;

QString cp1252Text(const QByteArray& bytes) {
    return DocumentFile::decodeAs(bytes, kCp1252).text;
}

void chooseEncoding(TMainForm& form, TextEncoding encoding) {
    form.EncodingButton->actionFor(encoding)->trigger();
}

// The locale's character set is the one given while this lives.
struct LocaleCodeset {
    explicit LocaleCodeset(const QByteArray& codeset) { DocumentFile::setLocaleCodeset(codeset); }
    ~LocaleCodeset() { DocumentFile::setLocaleCodeset(std::nullopt); }
};

} // namespace

class EncodingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void detectedOnLoad_data();
    void detectedOnLoad();
    void randomFilesRoundTrip();
    void piecesMakeTheWholeText_data();
    void piecesMakeTheWholeText();
    void newDocumentFollowsLocale_data();
    void newDocumentFollowsLocale();
    void shownAtRightOfStatusLine();
    void switchRereadsCleanFile();
    void switchOnModifiedDocumentAsksFirst_data();
    void switchOnModifiedDocumentAsksFirst();
    void switchOnUntitledDocumentSetsNextSave();
    void everySaveUsesTheDocumentsFormat_data();
    void everySaveUsesTheDocumentsFormat();
};

// Each row: a file's bytes, the encoding the editor then takes it in, whether a
// byte-order mark was seen, and the text shown. Loading and saving again must
// give the same bytes, so every row uses CR LF breaks.
void EncodingTest::detectedOnLoad_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("mark");
    QTest::addColumn<QString>("shown");

    const QByteArray page = "<p>plain</p>\r\n";
    const auto ascii = [&](const char* name, const QByteArray& head, TextEncoding encoding) {
        const QByteArray file = head + "\r\n" + page;
        QTest::newRow(name) << file << encoding << false
                            << QString::fromLatin1(file).replace("\r\n", "\n");
    };
    ascii("ASCII", "<html>", kUtf8);
    ascii("ASCII, meta charset windows-1252", "<meta charset=\"windows-1252\">", kCp1252);
    ascii("ASCII, meta charset unquoted ISO-8859-1", "<META CHARSET=ISO-8859-1>", kCp1252);
    ascii("ASCII, meta charset us-ascii in single quotes", "<meta charset='us-ascii' />", kCp1252);
    ascii("ASCII, meta charset utf-8", "<meta charset=\"utf-8\">", kUtf8);
    ascii("ASCII, http-equiv windows-1252",
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">",
          kCp1252);
    ascii("ASCII, http-equiv after content, iso-8859-1",
          "<meta content='text/html;charset=iso-8859-1' http-equiv=content-type>", kCp1252);
    ascii("ASCII, http-equiv utf-8",
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">", kUtf8);
    ascii("ASCII, content charset without http-equiv",
          "<meta name=\"x\" content=\"charset=windows-1252\">", kUtf8);
    ascii("ASCII, declaration inside a comment", "<!-- <meta charset=\"windows-1252\"> -->", kUtf8);
    ascii("ASCII, declaration inside an attribute", "<a title='<meta charset=windows-1252>'>x</a>",
          kUtf8);
    ascii("ASCII, declaration beyond 1,024 bytes",
          QByteArray(1024, ' ') + "<meta charset=\"windows-1252\">", kUtf8);
    ascii("ASCII, declaration just inside 1,024 bytes",
          QByteArray(990, ' ') + "<meta charset=\"windows-1252\">", kCp1252);
    QTest::newRow("empty file") << QByteArray() << kUtf8 << false << QString();

    const QString international = QString::fromUtf8("caf\u00E9 \u2013 \u2603 \u0142\u00F3d\u017A "
                                                    "\u65E5\u672C \U0001F600\n<p>\u00A0</p>\n");
    QByteArray utf8Bytes = international.toUtf8().replace("\n", "\r\n");
    QTest::newRow("UTF-8") << utf8Bytes << kUtf8 << false << international;
    QTest::newRow("UTF-8 with a mark")
        << "\xEF\xBB\xBF" + utf8Bytes << kUtf8 << true << international;
    QTest::newRow("mark, ASCII declaring windows-1252")
        << QByteArray("\xEF\xBB\xBF<meta charset=windows-1252>") << kUtf8 << true
        << "<meta charset=windows-1252>";
    QTest::newRow("UTF-8 C1 control and line separators are characters")
        << QByteArray("a\xC2\x85"
                      "b")
        << kUtf8 << false << QString::fromUtf8("a\u0085b");

    const auto single = [&](const char* name, const QByteArray& file) {
        QTest::newRow(name) << file << kCp1252 << false << cp1252Text(file);
    };
    QByteArray stray = utf8Bytes;
    stray.insert(10, '\xE9');
    single("UTF-8 with one stray byte", stray);
    single("UTF-8 cut short at the end", "caf\xC3");
    single("UTF-8 declared, 0xE9 alone", "<meta charset=\"utf-8\">\r\ncaf\xE9");
    single("mark, then not UTF-8", "\xEF\xBB\xBF"
                                   "caf\xE9");
    single("Windows-1252 page", "<p>caf\xE9 \x80 \x93quoted\x94 \x81</p>\r\n");
    single("overlong slash", "a\xC0\xAF"
                             "b");
    single("encoded surrogate", "a\xED\xA0\x80"
                                "b");
    single("beyond U+10FFFF", "a\xF4\x90\x80\x80"
                              "b");
    single("UTF-16 LE mark", "\xFF\xFEh\x01i\x01");
    single("UTF-16 BE mark", "\xFE\xFF\x01h\x01i");
    QByteArray all;
    for (int b = 1; b <= 0xFF; ++b) {
        if (b != '\r' && b != '\n')
            all.append(char(b));
    }
    single("every byte value", all + "\r\n" + all);
}

void EncodingTest::detectedOnLoad() {
    QFETCH(QByteArray, file);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, mark);
    QFETCH(QString, shown);

    WorkDir dir;
    writeBytes(dir.file("in.htm"), file);
    TMainForm form({dir.file("in.htm")});
    QCOMPARE(form.documentFormat(), (DocumentFormat{encoding, mark}));
    QCOMPARE(form.EncodingButton->text(), DocumentFile::encodingName(encoding));
    QCOMPARE(form.RichEdit1->documentText(), shown);
    QVERIFY(!form.RichEdit1->Modified());
    form.SaveDocumentTo(dir.file("out.htm"));
    QCOMPARE(readBytes(dir.file("out.htm")).toHex(' '), file.toHex(' '));
}

// Pieces of UTF-8, of Windows-1252 and of page heads, mixed at random: whatever
// encoding a file is taken in, saving it gives back its bytes.
void EncodingTest::randomFilesRoundTrip() {
    const QList<QByteArray> pieces = {"<p>",          "\xC3\xA9",
                                      "\xE2\x98\x83", "\xF0\x9F\x98\x80",
                                      "\xE9",         "\x80",
                                      "\xC3",         "\xE2\x98",
                                      "\xED\xA0\x80", "\xEF\xBB\xBF",
                                      "\r\n",         "<meta charset=\"",
                                      "windows-1252", "utf-8",
                                      "\">",          "<!--",
                                      "-->",          "'",
                                      "\"",           "\x00",
                                      "\xFF\xFE",     "\xC0\xAF",
                                      "\xF4\x90",     "\xC2\x85",
                                      "\xE2\x80\x8B"};
    QRandomGenerator rng(20261211);
    WorkDir dir;
    for (int round = 0; round < 200; ++round) {
        QByteArray file;
        const int count = rng.bounded(1, 30);
        for (int i = 0; i < count; ++i)
            file += pieces[rng.bounded(int(pieces.size()))];
        const DocumentFile::DecodedText decoded = DocumentFile::decode(file);
        DocumentFile::save(dir.file("out.htm"), decoded.text, decoded.format);
        const QByteArray back = readBytes(dir.file("out.htm"));
        if (back != file)
            QFAIL(qPrintable("changed on the way through: " + file.toHex(' ') + " -> " +
                             back.toHex(' ')));
        // A decode of the same bytes always gives the same answer.
        QCOMPARE(DocumentFile::decode(file).format, decoded.format);
    }
}

void EncodingTest::newDocumentFollowsLocale_data() {
    QTest::addColumn<QByteArray>("codeset");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::newRow("UTF-8") << QByteArray("UTF-8") << kUtf8;
    QTest::newRow("utf8") << QByteArray("utf8") << kUtf8;
    QTest::newRow("C locale") << QByteArray("ANSI_X3.4-1968") << kCp1252;
    QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << kCp1252;
    QTest::newRow("Latin-2") << QByteArray("ISO-8859-2") << kCp1252;
}

// At start-up, after New, and after Get File's reset to an empty document.
void EncodingTest::newDocumentFollowsLocale() {
    QFETCH(QByteArray, codeset);
    QFETCH(TextEncoding, encoding);
    LocaleCodeset locale(codeset);
    WorkDir dir;
    ScriptedPrompts prompts;

    TMainForm form;
    QCOMPARE(form.documentFormat().encoding, encoding);
    QCOMPARE(form.RichEdit1->encoding(), encoding);

    // A file in the other encoding, then New.
    const TextEncoding other = encoding == kUtf8 ? kCp1252 : kUtf8;
    writeBytes(dir.file("other.htm"),
               other == kUtf8 ? QByteArray("\xEF\xBB\xBFx") : QByteArray("caf\xE9"));
    form.LoadDocumentFrom(dir.file("other.htm"));
    QCOMPARE(form.documentFormat().encoding, other);
    form.findChild<QAction*>("FileNewItem")->trigger();
    QCOMPARE(form.documentFormat(), (DocumentFormat{encoding, false}));
    QCOMPARE(form.EncodingButton->text(), DocumentFile::encodingName(encoding));

    form.LoadDocumentFrom(dir.file("other.htm"));
    form.ClearDocument();
    QCOMPARE(form.documentFormat(), (DocumentFormat{encoding, false}));
    QVERIFY(!prompts.unexpected);
}

void EncodingTest::shownAtRightOfStatusLine() {
    LocaleCodeset locale("UTF-8");
    TMainForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TEncodingButton* button = form.EncodingButton;
    QCOMPARE(button->parentWidget(), form.StatusLine);
    QCOMPARE(button->text(), QString("UTF-8"));
    QVERIFY(button->accessibleName().contains("Encoding"));
    QVERIFY(
        QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name).contains("UTF-8"));

    // A menu hint takes the line, not the encoding.
    Application().setHint("Opens an existing file");
    QCOMPARE(form.StatusLine->currentMessage(), QString("Opens an existing file"));
    QVERIFY(button->isVisible());
    QVERIFY(button->geometry().left() > form.StatusLine->width() / 2);

    // A click offers both encodings, the document's own checked.
    QMenu* menu = button->menu();
    QVERIFY(menu);
    QStringList offered;
    for (QAction* action : menu->actions())
        offered << action->text() + (action->isChecked() ? "*" : "");
    QCOMPARE(offered, (QStringList{"UTF-8*", "Windows-1252"}));
    Application().setHint(QString());

    // Clicked as a user does: the menu opens under the mouse, and choosing
    // "Windows-1252" there makes this untitled page Windows-1252.
    QStringList shown;
    QTimer pick;
    pick.setInterval(10);
    connect(&pick, &QTimer::timeout, this, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!popup || !popup->isVisible())
            return;
        pick.stop();
        for (QAction* action : popup->actions())
            shown << action->text();
        QTest::mouseClick(popup, Qt::LeftButton, {},
                          popup->actionGeometry(popup->actions().value(1)).center());
        popup->close();
    });
    pick.start();
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(form.documentFormat().encoding, kCp1252);
    QCOMPARE(shown, (QStringList{"UTF-8", "Windows-1252"}));
    QCOMPARE(button->text(), QString("Windows-1252"));
    QVERIFY(button->accessibleName().contains("Windows-1252"));
}

void EncodingTest::switchRereadsCleanFile() {
    WorkDir dir;
    ScriptedPrompts prompts;
    const QByteArray bytes("caf\xC3\xA9\r\n\xE2\x98\x83");
    writeBytes(dir.file("page.htm"), bytes);
    TMainForm form({dir.file("page.htm")});
    QCOMPARE(form.RichEdit1->documentText(), QString::fromUtf8("caf\u00E9\n\u2603"));

    chooseEncoding(form, kCp1252);
    QCOMPARE(form.documentFormat(), (DocumentFormat{kCp1252, false}));
    QCOMPARE(form.EncodingButton->text(), QString("Windows-1252"));
    QVERIFY(form.EncodingButton->actionFor(kCp1252)->isChecked());
    QCOMPARE(form.RichEdit1->documentText(), cp1252Text("caf\xC3\xA9\n\xE2\x98\x83"));
    QVERIFY(!form.RichEdit1->Modified());
    QCOMPARE(form.DocumentName(), dir.file("page.htm"));
    form.findChild<QAction*>("FileSaveItem")->trigger();
    QCOMPARE(readBytes(dir.file("page.htm")), bytes);

    chooseEncoding(form, kUtf8);
    QCOMPARE(form.RichEdit1->documentText(), QString::fromUtf8("caf\u00E9\n\u2603"));
    QCOMPARE(form.documentFormat(), (DocumentFormat{kUtf8, false}));

    // A file that is gone: the error, and the document as it was.
    QFile::remove(dir.file("page.htm"));
    chooseEncoding(form, kCp1252);
    QCOMPARE(prompts.errors(),
             QStringList{QString("Cannot open file %1.").arg(dir.file("page.htm"))});
    QCOMPARE(form.documentFormat().encoding, kUtf8);
    QVERIFY(form.EncodingButton->actionFor(kUtf8)->isChecked());
    QCOMPARE(form.RichEdit1->documentText(), QString::fromUtf8("caf\u00E9\n\u2603"));
    QCOMPARE(prompts.questions(), 0);
}

void EncodingTest::switchOnModifiedDocumentAsksFirst_data() {
    QTest::addColumn<MsgResult>("answer");
    // What the document then holds, in which encoding, and the file's bytes.
    QTest::addColumn<QString>("shown");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QByteArray>("file");
    const QByteArray original("\xC5\x82\xC3\xB3"
                              "d\xC5\xBA");
    QTest::newRow("Cancel") << MsgResult::Cancel << QString::fromUtf8("\u00E9 \u0142\u00F3d\u017A")
                            << kUtf8 << true << original;
    QTest::newRow("No: read again")
        << MsgResult::No << cp1252Text(original) << kCp1252 << false << original;
    // The save is all that happens; the user chooses again.
    QTest::newRow("Yes: saved as it was")
        << MsgResult::Yes << QString::fromUtf8("\u00E9 \u0142\u00F3d\u017A") << kUtf8 << false
        << "\xC3\xA9 " + original;
}

void EncodingTest::switchOnModifiedDocumentAsksFirst() {
    QFETCH(MsgResult, answer);
    QFETCH(QString, shown);
    QFETCH(TextEncoding, encoding);
    QFETCH(bool, modified);
    QFETCH(QByteArray, file);

    WorkDir dir;
    ScriptedPrompts prompts;
    writeBytes(dir.file("lodz.htm"), "\xC5\x82\xC3\xB3"
                                     "d\xC5\xBA");
    TMainForm form({dir.file("lodz.htm")});
    form.RichEdit1->insertPlainText(QString::fromUtf8("\u00E9 "));
    QVERIFY(form.RichEdit1->Modified());

    prompts.boxAnswers = {answer};
    chooseEncoding(form, kCp1252);
    QCOMPARE(prompts.boxes.size(), 1);
    QCOMPARE(prompts.boxes[0].text, QString("Do you want to save this file?"));
    QCOMPARE(prompts.boxes[0].caption, QString("Do you want to save this file?"));
    QCOMPARE(prompts.boxes[0].buttons, MsgButtons::YesNoCancel);
    QCOMPARE(prompts.boxes[0].defaultButton, MsgResult::Yes);
    QVERIFY(prompts.errors().isEmpty());

    QCOMPARE(form.RichEdit1->documentText(), shown);
    QCOMPARE(form.documentFormat().encoding, encoding);
    QCOMPARE(form.EncodingButton->text(), DocumentFile::encodingName(encoding));
    QVERIFY(form.EncodingButton->actionFor(encoding)->isChecked());
    QCOMPARE(form.RichEdit1->Modified(), modified);
    QCOMPARE(readBytes(dir.file("lodz.htm")), file);
}

// An untitled document has no file to read again: its text stays, less what the
// new encoding cannot hold, and its first save uses the new encoding.
void EncodingTest::switchOnUntitledDocumentSetsNextSave() {
    LocaleCodeset locale("UTF-8");
    WorkDir dir;
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->insertPlainText(QString::fromUtf8("caf\u00E9 \u2603\n\U0001F600!"));

    chooseEncoding(form, kCp1252);
    QCOMPARE(prompts.boxes.size(), 0);
    QCOMPARE(form.RichEdit1->documentText(), QString::fromUtf8("caf\u00E9 ?\n?!"));
    QCOMPARE(form.EncodingButton->text(), QString("Windows-1252"));
    form.RichEdit1->undo();
    QCOMPARE(form.RichEdit1->documentText(), QString::fromUtf8("caf\u00E9 \u2603\n\U0001F600!"));
    form.RichEdit1->redo();

    prompts.dialogAnswers = {{dir.file("new.htm")}};
    form.findChild<QAction*>("FileSaveItem")->trigger();
    QCOMPARE(readBytes(dir.file("new.htm")), QByteArray("caf\xE9 ?\r\n?!"));

    // And back: a new page typed, then UTF-8 chosen before its first save.
    form.findChild<QAction*>("FileNewItem")->trigger();
    chooseEncoding(form, kCp1252);
    form.RichEdit1->insertPlainText(QString::fromUtf8("\u00E9"));
    chooseEncoding(form, kUtf8);
    QVERIFY(form.RichEdit1->Modified());
    prompts.dialogAnswers = {{dir.file("again.htm")}};
    form.findChild<QAction*>("FileSaveItem")->trigger();
    QCOMPARE(readBytes(dir.file("again.htm")), QByteArray("\xC3\xA9"));
    QVERIFY(!prompts.unexpected);
}

void EncodingTest::everySaveUsesTheDocumentsFormat_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Save") << "save";
    QTest::newRow("Save As") << "save as";
    QTest::newRow("exit save") << "exit";
}

// A page with a byte-order mark, opened in a locale whose new documents are
// Windows-1252: whichever way it is saved, it stays UTF-8 with its mark.
void EncodingTest::everySaveUsesTheDocumentsFormat() {
    QFETCH(QString, how);
    LocaleCodeset locale("ANSI_X3.4-1968");
    WorkDir dir;
    ScriptedPrompts prompts;
    writeBytes(dir.file("page.htm"), "\xEF\xBB\xBF<p>\xC3\xA9</p>");
    TMainForm form({dir.file("page.htm")});
    QSignalSpy closed(&form, &TMainForm::closed);
    form.show();
    QTextCursor end = form.RichEdit1->textCursor();
    end.movePosition(QTextCursor::End);
    form.RichEdit1->setTextCursor(end);
    form.RichEdit1->insertPlainText(QString::fromUtf8("\n\u2603"));

    QString target = dir.file("page.htm");
    if (how == "save") {
        form.findChild<QAction*>("FileSaveItem")->trigger();
    } else if (how == "save as") {
        target = dir.file("copy.htm");
        prompts.dialogAnswers = {{target}};
        form.findChild<QAction*>("FileSaveAsItem")->trigger();
    } else {
        prompts.boxAnswers = {MsgResult::Yes};
        form.close();
        QVERIFY(closed.wait(5000));
    }
    QCOMPARE(readBytes(target), QByteArray("\xEF\xBB\xBF<p>\xC3\xA9</p>\r\n\xE2\x98\x83"));
    QVERIFY(prompts.errors().isEmpty());
    QVERIFY(!prompts.unexpected);
}

// A large page is read a piece at a time; the pieces must be the text and the
// format of a decode in one go, wherever the pieces end.
void EncodingTest::piecesMakeTheWholeText_data() {
    QTest::addColumn<QByteArray>("bytes");
    // Lines of every length around the piece size, multi-byte characters and
    // each kind of line break close to where pieces end.
    QByteArray utf8;
    int n = 0;
    while (utf8.size() < 3 * 1024 * 1024 + 777) {
        utf8 += QByteArray("caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80 ").repeated(1 + n % 50);
        utf8 += n % 3 == 0 ? "\r\n" : n % 3 == 1 ? "\n" : "\r";
        ++n;
    }
    QByteArray cp1252 = utf8;
    cp1252.replace("\xC3\xA9", "\xE9");
    QByteArray oneLine = QByteArray("\xC3\xA9x").repeated(900 * 1024) + "\r\nend";
    QTest::newRow("UTF-8") << utf8;
    QTest::newRow("UTF-8 with a mark") << QByteArray("\xEF\xBB\xBF") + utf8;
    QTest::newRow("Windows-1252") << cp1252;
    QTest::newRow("one line over two pieces") << oneLine;
    QTest::newRow("a stray byte at the end") << utf8 + "\xFF";
    QTest::newRow("ASCII declared as Windows-1252")
        << QByteArray("<meta charset=\"windows-1252\">\r\n") +
               QByteArray("ab\r\n").repeated(600000);
    QTest::newRow("only a mark") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("empty") << QByteArray();
}

void EncodingTest::piecesMakeTheWholeText() {
    QFETCH(QByteArray, bytes);
    const auto joined = [&](DocumentFormat format) {
        QString text;
        qsizetype from = 0;
        for (QString piece = DocumentFile::decodePiece(bytes, from, format); !piece.isEmpty();
             piece = DocumentFile::decodePiece(bytes, from, format))
            text += piece;
        return text;
    };
    const DocumentFile::DecodedText whole = DocumentFile::decode(bytes);
    const DocumentFormat format = DocumentFile::detectFormat(bytes);
    QCOMPARE(format, whole.format);
    QVERIFY(joined(format) == whole.text);
    for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Windows1252}) {
        const DocumentFile::DecodedText as = DocumentFile::decodeAs(bytes, encoding);
        QCOMPARE(DocumentFile::formatAs(bytes, encoding), as.format);
        QVERIFY(joined(as.format) == as.text);
    }
}

TAVIRO_TEST_MAIN(EncodingTest)
#include "tst_encoding.moc"
