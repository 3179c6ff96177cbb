// The editor font: the Font command, the two stored preferences it writes, and
// how start-up applies them to the whole editor.

#include "Application.h"
#include "MainForm.h"
#include "Prefs.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QFontDatabase>
#include <QTextBlock>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using namespace taviro;
using namespace taviro::test;

namespace {

QString general() {
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}
const QString kSerif = QStringLiteral("DejaVu Serif");

int px(TMainForm& form, int points) {
    return qRound(points * form.RichEdit1->logicalDpiY() / 72.0);
}

QTextCharFormat formatAt(TMainForm& form, int position) {
    QTextCursor c(form.RichEdit1->document());
    c.setPosition(position + 1);
    return c.charFormat();
}

void selectRange(TMainForm& form, int from, int to) {
    QTextCursor c = form.RichEdit1->textCursor();
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    form.RichEdit1->setTextCursor(c);
}

// Face names of exactly 31 and 32 characters: the longest a stored face keeps,
// and one more.
const QString kFace31 = QStringLiteral("Taviro Test Face With Long Name");
const QString kFace32 = QStringLiteral("Taviro Other Face With Long Name");

void putU16(QByteArray& out, quint16 v) {
    out.append(char(v >> 8)).append(char(v & 0xFF));
}

void setU32(QByteArray& out, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = char(v >> (24 - 8 * i));
}

// An installed TrueType face renamed to `family`: a new naming table is added at
// the end of the file and the table directory points at it. No installed face
// has a name as long as the tests need.
QByteArray renamedFont(const QString& path, const QString& family) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray font = file.readAll();

    const QString postscript = QString(family).remove(u' ');
    const QList<std::pair<quint16, QString>> names = {
        {1, family}, {2, QStringLiteral("Book")}, {4, family}, {6, postscript}};
    QByteArray strings;
    QByteArray table;
    putU16(table, 0);
    putU16(table, quint16(names.size()));
    putU16(table, quint16(6 + 12 * names.size()));
    for (const auto& [id, text] : names) {
        QByteArray utf16;
        for (QChar c : text)
            putU16(utf16, c.unicode());
        putU16(table, 3);      // Windows
        putU16(table, 1);      // Unicode BMP
        putU16(table, 0x0409); // English
        putU16(table, id);
        putU16(table, quint16(utf16.size()));
        putU16(table, quint16(strings.size()));
        strings += utf16;
    }
    table += strings;

    while (font.size() % 4)
        font.append('\0');
    const quint32 offset = quint32(font.size());
    const int tables = int(quint16(uchar(font[4])) << 8 | uchar(font[5]));
    for (int t = 0; t < tables; ++t) {
        const qsizetype record = 12 + 16 * t;
        if (font.mid(record, 4) == "name") {
            setU32(font, record + 8, offset);
            setU32(font, record + 12, quint32(table.size()));
        }
    }
    font += table;
    return font;
}

} // namespace

class FontPrefs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Prefs::clear(); }
    void startUp_data();
    void startUp();
    void corruptStoreIsShownAndStartGoesOn();
    void confirmOnSelectionFormatsOnlyItAndStores();
    void cancelStoresTheSelectionsFont();
    void fontWithoutSelectionAppliesToTyping();
    void storedFontIsUsedAtNextStart();
    void failedStoreIsShownAfterFormatting();
    void readOnlyStoreIsRefused();
    void faceIsStoredBeforeSize();
};

void FontPrefs::initTestCase() {
    Application().Title = "Taviro";
    QVERIFY2(QFontDatabase::families().contains(kSerif), "the tests need fonts-dejavu-core");
    for (const QString& face : {kFace31, kFace32}) {
        const int id = QFontDatabase::addApplicationFontFromData(
            renamedFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", face));
        QCOMPARE(QFontDatabase::applicationFontFamilies(id), QStringList{face});
    }
    QCOMPARE(kFace31.size(), 31);
    QCOMPARE(kFace32.size(), 32);
}

// Rows: what is stored, and what a start with a file argument then shows.
void FontPrefs::startUp_data() {
    QTest::addColumn<QString>("face"); // "-" stores nothing
    QTest::addColumn<QString>("size"); // "-" stores nothing
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points"); // 0: the design height of 13 pixels
    QTest::addColumn<QStringList>("errors");

    QTest::newRow("first start: no preferences, no message") << "-"
                                                             << "-"
                                                             << "" << 0 << QStringList{};
    QTest::newRow("face and size") << kSerif << "14" << kSerif << 14 << QStringList{};
    QTest::newRow("size with blanks and sign") << kSerif << "  +9" << kSerif << 9 << QStringList{};
    QTest::newRow("hexadecimal size") << kSerif << "$10" << kSerif << 16 << QStringList{};
    QTest::newRow("size that is no integer")
        << kSerif << "12pt" << kSerif << 0 << QStringList{"'12pt' is not a valid integer value."};
    QTest::newRow("size missing reads None")
        << kSerif << "-" << kSerif << 0 << QStringList{"'None' is not a valid integer value."};
    QTest::newRow("face missing reads None, not installed") << "-"
                                                            << "11"
                                                            << "" << 11 << QStringList{};
    QTest::newRow("face not installed") << "No Such Face"
                                        << "12"
                                        << "" << 12 << QStringList{};
    QTest::newRow("empty face keeps the design face") << ""
                                                      << "12"
                                                      << "" << 12 << QStringList{};
    // An installed face whose name is the first 31 characters of the stored one.
    QTest::newRow("face longer than 31 is cut") << kFace31 + "ABC"
                                                << "12" << kFace31 << 12 << QStringList{};
    QTest::newRow("face of exactly 31 is kept")
        << kFace31 << "12" << kFace31 << 12 << QStringList{};
    // Installed, but the stored name loses its last character: not found.
    QTest::newRow("face of 32 loses its last character") << kFace32 << "12"
                                                         << "" << 12 << QStringList{};
}

void FontPrefs::startUp() {
    QFETCH(QString, face);
    QFETCH(QString, size);
    QFETCH(QString, family);
    QFETCH(int, points);
    QFETCH(QStringList, errors);
    if (face != "-")
        Prefs::write("font", face);
    if (size != "-")
        Prefs::write("size", size);

    WorkDir dir;
    writeBytes(dir.file("page.htm"), "<p>text</p>");
    ScriptedPrompts prompts;
    TMainForm form({"page.htm"});
    form.show();

    QCOMPARE(prompts.errors(), errors);
    // Whatever happened to the preferences, the file opened and the caption is set.
    QCOMPARE(form.RichEdit1->documentText(), QString("<p>text</p>"));
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 page.htm"));
    QVERIFY(!form.RichEdit1->Modified());

    const QFont font = form.RichEdit1->font();
    QCOMPARE(font.family(), family.isEmpty() ? general() : family);
    QCOMPARE(font.pixelSize(), points ? px(form, points) : 13);
    // The base font is the whole text's.
    QCOMPARE(formatAt(form, 3).font().resolve(font).family(), font.family());
    // Reading the preferences never writes them.
    if (face == "-" && size == "-")
        QVERIFY(!QFile::exists(Prefs::file()));
}

void FontPrefs::corruptStoreIsShownAndStartGoesOn() {
    QDir().mkpath(QFileInfo(Prefs::file()).path());
    writeBytes(Prefs::file(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\n\"x\"=broken\n");
    WorkDir dir;
    writeBytes(dir.file("page.htm"), "x");
    ScriptedPrompts prompts;
    TMainForm form({"page.htm"});
    QCOMPARE(prompts.errors().size(), 1);
    QVERIFY2(prompts.errors()[0].contains(Prefs::file()), qPrintable(prompts.errors()[0]));
    QCOMPARE(form.RichEdit1->documentText(), QString("x"));
    QCOMPARE(form.windowTitle(), QString("Taviro 1.5 page.htm"));
    QCOMPARE(form.RichEdit1->font().pixelSize(), 13);
}

void FontPrefs::confirmOnSelectionFormatsOnlyItAndStores() {
    WorkDir dir;
    writeBytes(dir.file("page.htm"), "hello world again");
    ScriptedPrompts prompts;
    TMainForm form({dir.file("page.htm")});
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    selectRange(form, 6, 11); // "world"

    QFont chosen(kSerif);
    chosen.setPointSize(14);
    chosen.setBold(true);
    prompts.fontAnswers << FontChoice{chosen, QColor(Qt::red)};
    form.findChild<QAction*>("Font1")->trigger();

    QVERIFY(prompts.errors().isEmpty());
    // The dialog was filled from the selection: the editor's font, in points.
    QCOMPARE(prompts.fontsOffered.size(), 1);
    QCOMPARE(prompts.fontsOffered[0].font.family(), form.RichEdit1->font().family());
    QCOMPARE(prompts.fontsOffered[0].font.pointSize(),
             qRound(13 * 72.0 / form.RichEdit1->logicalDpiY()));

    for (int i = 0; i < 17; ++i) {
        const QTextCharFormat f = formatAt(form, i);
        const bool inWord = i >= 6 && i < 11;
        QCOMPARE(f.font().bold(), inWord);
        QCOMPARE(f.foreground().color() == QColor(Qt::red), inWord);
        if (inWord) {
            QCOMPARE(f.font().family(), kSerif);
            QCOMPARE(f.font().pointSize(), 14);
        }
    }
    QVERIFY(form.RichEdit1->hasFocus());
    QCOMPARE(form.RichEdit1->font().pixelSize(), 13); // the base font is untouched
    QCOMPARE(Prefs::read("font"), kSerif);
    QCOMPARE(Prefs::read("size"), QString("14"));

    // Formatting exists on screen only: the file's bytes stay the same.
    form.SaveDocumentTo(dir.file("saved.htm"));
    QCOMPARE(readBytes(dir.file("saved.htm")), QByteArray("hello world again"));
}

void FontPrefs::cancelStoresTheSelectionsFont() {
    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("abc def");
    QFont chosen(kSerif);
    chosen.setPointSize(20);
    selectRange(form, 4, 7);
    prompts.fontAnswers << FontChoice{chosen, Qt::blue};
    form.findChild<QAction*>("Font1")->trigger();

    // Select it again and cancel: the stored values become the selection's.
    selectRange(form, 4, 7);
    prompts.fontAnswers << std::nullopt;
    form.findChild<QAction*>("Font1")->trigger();
    QCOMPARE(prompts.fontsOffered[1].font.family(), kSerif);
    QCOMPARE(prompts.fontsOffered[1].color, QColor(Qt::blue));
    QCOMPARE(Prefs::read("size"), QString("20"));

    // And a cancel on the unformatted word stores the editor's own font.
    selectRange(form, 0, 3);
    prompts.fontAnswers << std::nullopt;
    form.findChild<QAction*>("Font1")->trigger();
    QCOMPARE(Prefs::read("font"), form.RichEdit1->font().family());
    QCOMPARE(Prefs::read("size"),
             QString::number(qRound(13 * 72.0 / form.RichEdit1->logicalDpiY())));
    QCOMPARE(formatAt(form, 5).font().pointSize(), 20);
    QCOMPARE(formatAt(form, 1).font().bold(), false);
    QVERIFY(!prompts.unexpected);
}

void FontPrefs::fontWithoutSelectionAppliesToTyping() {
    ScriptedPrompts prompts;
    TMainForm form;
    form.show();
    QTest::keyClicks(form.RichEdit1, "ab");
    QFont chosen(kSerif);
    chosen.setPointSize(12);
    chosen.setItalic(true);
    prompts.fontAnswers << FontChoice{chosen, Qt::darkGreen};
    form.findChild<QAction*>("Font1")->trigger();
    QTest::keyClicks(form.RichEdit1, "cd");
    QCOMPARE(form.RichEdit1->documentText(), QString("abcd"));
    QVERIFY(!formatAt(form, 1).font().italic());
    QVERIFY(formatAt(form, 2).font().italic());
    QCOMPARE(formatAt(form, 3).foreground().color(), QColor(Qt::darkGreen));
    QCOMPARE(Prefs::read("font"), kSerif);
    QCOMPARE(Prefs::read("size"), QString("12"));
}

void FontPrefs::storedFontIsUsedAtNextStart() {
    {
        ScriptedPrompts prompts;
        TMainForm form;
        form.RichEdit1->replaceText("one two");
        selectRange(form, 0, 3);
        QFont chosen(kSerif);
        chosen.setPointSize(14);
        chosen.setBold(true);
        prompts.fontAnswers << FontChoice{chosen, Qt::red};
        form.findChild<QAction*>("Font1")->trigger();
    }
    ScriptedPrompts prompts;
    TMainForm next;
    QVERIFY(prompts.boxes.isEmpty());
    QCOMPARE(next.RichEdit1->font().family(), kSerif);
    QCOMPARE(next.RichEdit1->font().pixelSize(), px(next, 14));
    // Face and size only: neither the style nor the colour comes back.
    QVERIFY(!next.RichEdit1->font().bold());
    QTest::keyClicks(next.RichEdit1, "x");
    QVERIFY(!formatAt(next, 0).font().bold());
    QVERIFY(formatAt(next, 0).foreground().style() == Qt::NoBrush);
    // The preferences file is plain text a person can read.
    const QByteArray file = readBytes(Prefs::file());
    QVERIFY2(file.contains("\"font\"=\"DejaVu Serif\""), file.constData());
    QVERIFY2(file.contains("\"size\"=\"14\""), file.constData());
}

void FontPrefs::failedStoreIsShownAfterFormatting() {
    // The store's folder cannot be made: a file stands where it should be.
    const QString folder = QFileInfo(Prefs::file()).path();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).path());
    writeBytes(folder, "in the way");

    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("word");
    selectRange(form, 0, 4);
    QFont chosen(kSerif);
    chosen.setPointSize(15);
    prompts.fontAnswers << FontChoice{chosen, Qt::black};
    form.findChild<QAction*>("Font1")->trigger();
    QFile::remove(folder);

    QCOMPARE(prompts.errors(), QStringList{"Cannot open key to write."});
    QCOMPARE(formatAt(form, 1).font().pointSize(), 15);
}

// Made read-only by its owner, the store is refused at the Font command as a read-only
// document is at Save, even for root; it keeps its text and its mode.
void FontPrefs::readOnlyStoreIsRefused() {
    Prefs::write("font", kSerif);
    Prefs::write("size", "12");
    const QByteArray before = readBytes(Prefs::file());
    QVERIFY(QFile::setPermissions(Prefs::file(),
                                  QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    ScriptedPrompts prompts;
    TMainForm form;
    form.RichEdit1->replaceText("word");
    selectRange(form, 0, 4);
    QFont chosen(kSerif);
    chosen.setPointSize(15);
    prompts.fontAnswers << FontChoice{chosen, Qt::black};
    form.findChild<QAction*>("Font1")->trigger();

    QCOMPARE(prompts.errors(), QStringList{"Failed to set data for 'font'"});
    QCOMPARE(readBytes(Prefs::file()), before);
    // The file's own bits: root may write anything, so WriteUser says nothing.
    const auto ownBits = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                         QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(Prefs::file()).permissions() & ownBits,
             QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(Prefs::file(), QFile::ReadOwner | QFile::WriteOwner);
}

// The face is written first, so a size write that fails still leaves the new face
// (with the old size). The size write is made to fail by the file size limit of
// this process: the store may grow to what the face write needs and no further.
void FontPrefs::faceIsStoredBeforeSize() {
    Prefs::write("font", "DejaVu Sans Mono");
    Prefs::write("size", "9");
    const QByteArray before = readBytes(Prefs::file());
    const QByteArray afterFace =
        QByteArray(before).replace("\"font\"=\"DejaVu Sans Mono\"", "\"font\"=\"DejaVu Serif\"");
    QVERIFY(afterFace.size() < before.size());

    ScriptedPrompts prompts;
    TMainForm form;
    QFont chosen(kSerif);
    chosen.setPointSize(16); // one character more than "9": the file outgrows the limit
    prompts.fontAnswers << FontChoice{chosen, Qt::black};
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = rlim_t(afterFace.size());
    QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    form.findChild<QAction*>("Font1")->trigger();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(prompts.errors(), QStringList{"Failed to set data for 'size'"});
    QCOMPARE(readBytes(Prefs::file()), afterFace);
    QCOMPARE(Prefs::read("font"), kSerif);
    QCOMPARE(Prefs::read("size"), QString("9"));
}

TAVIRO_TEST_MAIN(FontPrefs)
#include "tst_fontprefs.moc"
