// The document text file format as the editor reads and writes it, and what a
// failing save leaves behind.

#include "AnsiCodec.h"
#include "Application.h"
#include "DocumentFile.h"
#include "Exceptions.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QClipboard>
#include <QMimeData>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace taviro;
using namespace taviro::test;

namespace {

// QTest::keyClicks knows only ASCII; a keyboard layout delivers any character
// as the key event's text.
void typeText(QWidget* target, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = text.at(i).isHighSurrogate() ? 2 : 1;
        const QString one = text.mid(i, n);
        i += n - 1;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, one);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, one);
        QApplication::sendEvent(target, &release);
    }
}

} // namespace

class DocumentFileTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void loadThenSave_data();
    void loadThenSave();
    void everyByteRoundTrips();
    void typedAndPastedCharactersOutsideCodePage_data();
    void typedAndPastedCharactersOutsideCodePage();
    void loadLeavesFlagClearAndUndoEmpty();
    void failedWriteKeepsOldFile();
    void readOnlyFileIsNotReplaced();
};

// Each row: the bytes of a file, the text the editor then shows, and the bytes
// the editor writes back.
void DocumentFileTest::loadThenSave_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("CR LF") << QByteArray("a\r\nb") << "a\nb" << QByteArray("a\r\nb");
    QTest::newRow("lone LF") << QByteArray("a\nb\n") << "a\nb\n" << QByteArray("a\r\nb\r\n");
    QTest::newRow("lone CR") << QByteArray("a\rb") << "a\nb" << QByteArray("a\r\nb");
    QTest::newRow("LF then CR is two breaks")
        << QByteArray("a\n\rb") << "a\n\nb" << QByteArray("a\r\n\r\nb");
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << "a\n\nb" << QByteArray("a\r\n\r\nb");
    QTest::newRow("final break kept") << QByteArray("x\r\n") << "x\n" << QByteArray("x\r\n");
    QTest::newRow("no final break added") << QByteArray("x") << "x" << QByteArray("x");
    QTest::newRow("only breaks") << QByteArray("\r\n\n\r") << "\n\n\n"
                                 << QByteArray("\r\n\r\n\r\n");
    QTest::newRow("empty file") << QByteArray() << "" << QByteArray();
    QTest::newRow("tabs and blanks untouched")
        << QByteArray("\t a  \t\r\n  ") << "\t a  \t\n  " << QByteArray("\t a  \t\r\n  ");
    QTest::newRow("no-break space stays") << QByteArray("a\xA0"
                                                        "b")
                                          << QString("a") + QChar(0xA0) + "b"
                                          << QByteArray("a\xA0"
                                                        "b");
    QTest::newRow("code page letters")
        << QByteArray("\x80 \xE9\x9F\x81") << QString::fromUtf8("\u20AC \u00E9\u0178\u0081")
        << QByteArray("\x80 \xE9\x9F\x81");
    QTest::newRow("no byte-order mark taken or given")
        << QByteArray("\xEF\xBB\xBFx") << QString::fromUtf8("\u00EF\u00BB\u00BFx")
        << QByteArray("\xEF\xBB\xBFx");
}

void DocumentFileTest::loadThenSave() {
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    QFETCH(QByteArray, written);

    WorkDir dir;
    writeBytes(dir.file("in.htm"), file);
    TMainForm form;
    form.LoadDocumentFrom(dir.file("in.htm"));
    QCOMPARE(form.RichEdit1->documentText(), shown);
    form.SaveDocumentTo(dir.file("out.htm"));
    QCOMPARE(readBytes(dir.file("out.htm")), written);
    QCOMPARE(QFileInfo(dir.file("out.htm")).size(), qint64(written.size()));
}

void DocumentFileTest::everyByteRoundTrips() {
    // Every value but NUL, with the line-break bytes as one CR LF.
    QByteArray all;
    for (int b = 1; b <= 0xFF; ++b) {
        if (b != '\r' && b != '\n')
            all.append(char(b));
    }
    all = all + "\r\n" + all;
    WorkDir dir;
    writeBytes(dir.file("all.bin"), all);
    TMainForm form;
    form.show();
    form.LoadDocumentFrom(dir.file("all.bin"));
    QVERIFY(!form.RichEdit1->Modified());
    form.SaveDocumentTo(dir.file("back.bin"));
    QCOMPARE(readBytes(dir.file("back.bin")).toHex(), all.toHex());

    // The mapping itself, byte by byte, both ways.
    for (int b = 1; b <= 0xFF; ++b) {
        const QChar ch = AnsiCodec::toUnicode(uchar(b));
        QCOMPARE(AnsiCodec::fromUnicode(ch), b);
    }
}

void DocumentFileTest::typedAndPastedCharactersOutsideCodePage_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("in code page") << QString::fromUtf8("caf\u00E9 \u20AC5")
                                  << QString::fromUtf8("caf\u00E9 \u20AC5")
                                  << QByteArray("caf\xE9 \x80"
                                                "5");
    QTest::newRow("outside") << QString::fromUtf8("a\u2713b\u0416") << "a?b?" << QByteArray("a?b?");
    QTest::newRow("beyond the basic plane is one ?")
        << QString::fromUtf8("x\U0001F600y") << "x?y" << QByteArray("x?y");
    QTest::newRow("C1 control that is no code page byte")
        << QString(QChar(0x80)) << "?" << QByteArray("?");
}

void DocumentFileTest::typedAndPastedCharactersOutsideCodePage() {
    QFETCH(QString, input);
    QFETCH(QString, shown);
    QFETCH(QByteArray, written);
    WorkDir dir;
    TMainForm form;
    form.show();
    form.RichEdit1->setFocus();

    // Typed.
    typeText(form.RichEdit1, input);
    QCOMPARE(form.RichEdit1->documentText(), shown);
    form.SaveDocumentTo(dir.file("typed.htm"));
    QCOMPARE(readBytes(dir.file("typed.htm")), written);

    // Pasted.
    form.RichEdit1->replaceText(QString());
    auto* mime = new QMimeData;
    mime->setText(input);
    QGuiApplication::clipboard()->setMimeData(mime);
    form.RichEdit1->paste();
    QCOMPARE(form.RichEdit1->documentText(), shown);
    QVERIFY(form.RichEdit1->Modified());
}

void DocumentFileTest::loadLeavesFlagClearAndUndoEmpty() {
    WorkDir dir;
    writeBytes(dir.file("a.htm"), "abc");
    TMainForm form;
    QTest::keyClicks(form.RichEdit1, "typed");
    form.LoadDocumentFrom(dir.file("a.htm"));
    QVERIFY(!form.RichEdit1->Modified());
    form.RichEdit1->undo();
    QCOMPARE(form.RichEdit1->documentText(), QString("abc"));
}

// A real write failure: the file size limit of this process, lowered for the
// save alone, makes the write fail part-way.
void DocumentFileTest::failedWriteKeepsOldFile() {
    WorkDir dir;
    QByteArray old;
    for (int i = 0; i < 1000; ++i)
        old += "<p>line " + QByteArray::number(i) + "</p>\r\n";
    writeBytes(dir.file("page.htm"), old);

    ScriptedPrompts prompts;
    TMainForm form({dir.file("page.htm")});
    QTest::keyClicks(form.RichEdit1, "changed ");
    form.RichEdit1->appendPlainText(QStringLiteral("xxxxxxx ").repeated(25000));

    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    QAction* save = form.findChild<QAction*>("FileSaveItem");
    save->trigger();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(prompts.errors(), QStringList{"Failed to Save Stream."});
    QCOMPARE(readBytes(dir.file("page.htm")), old);
    QVERIFY(form.RichEdit1->Modified());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"page.htm"});

    // With room again, the same save goes through.
    save->trigger();
    QVERIFY(!form.RichEdit1->Modified());
    QVERIFY(readBytes(dir.file("page.htm")).startsWith("changed <p>line 0</p>\r\n"));
}

void DocumentFileTest::readOnlyFileIsNotReplaced() {
    WorkDir dir;
    writeBytes(dir.file("ro.htm"), "keep");
    QFile::setPermissions(dir.file("ro.htm"),
                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    try {
        DocumentFile::save(dir.file("ro.htm"), u"new");
        QFAIL("a read-only file was replaced");
    } catch (const Exception& e) {
        QCOMPARE(e.Message(), QString("Cannot create file %1").arg(dir.file("ro.htm")));
    }
    QCOMPARE(readBytes(dir.file("ro.htm")), QByteArray("keep"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"ro.htm"});
}

TAVIRO_TEST_MAIN(DocumentFileTest)
#include "tst_documentfile.moc"
