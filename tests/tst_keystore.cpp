#include "Exceptions.h"
#include "KeyStore.h"
#include "RegFile.h"
#include "TestDirs.h"

#include <QtTest>

#include <sys/stat.h>

using namespace taviro;
using taviro::test::readBytes;
using taviro::test::writeBytes;

namespace {

const QByteArray kHeader = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Data]\n";

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

} // namespace

class TestKeyStore : public QObject {
    Q_OBJECT

private slots:
    void init();

    void syntaxErrorsNameTheLine_data();
    void syntaxErrorsNameTheLine();
    void unreadableFileNamesFileAndLine_data();
    void unreadableFileNamesFileAndLine();
    void corruptFileIsNeverOverwritten_data();
    void corruptFileIsNeverOverwritten();

    void readString_data();
    void readString();
    void writeStringRoundTrip_data();
    void writeStringRoundTrip();
    void writeKeepsEverythingElse();
    void namesIgnoreCaseAndKeepIt();
    void invalidKeyPaths();
    void unwritableLocation();
    void storeFileModeIsKept_data();
    void storeFileModeIsKept();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("taviro/registry.reg")); }
    void seed(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(storePath()).absolutePath());
        writeBytes(storePath(), bytes);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestKeyStore::init() {
    QStandardPaths::setTestModeEnabled(true);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestKeyStore::syntaxErrorsNameTheLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");

    const QString key = QStringLiteral("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n");
    QTest::newRow("no signature") << "[HKEY_CURRENT_USER\\A]\n" << 1;
    QTest::newRow("other signature") << "Windows Registry Editor Version 5.00\n" << 1;
    QTest::newRow("signature after blanks and comments")
        << "\n; note\nREGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\n"
        << 6;
    QTest::newRow("value before any key") << "REGEDIT4\n\"a\"=\"b\"\n" << 2;
    QTest::newRow("stray text") << "REGEDIT4\nhello\n" << 2;
    QTest::newRow("other hive") << "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n" << 2;
    QTest::newRow("missing bracket") << "REGEDIT4\n[HKEY_CURRENT_USER\\A\n" << 2;
    QTest::newRow("empty key name") << "REGEDIT4\n[HKEY_CURRENT_USER\\A\\\\B]\n" << 2;
    QTest::newRow("key deletion") << "REGEDIT4\n[-HKEY_CURRENT_USER\\A]\n" << 2;
    QTest::newRow("value deletion") << key + "\"a\"=-\n" << 3;
    QTest::newRow("missing closing quote") << key + "\"a\"=\"b\n" << 3;
    QTest::newRow("unknown escape") << key + "\"a\"=\"\\t\"\n" << 3;
    QTest::newRow("text after closing quote") << key + "\"a\"=\"b\" c\n" << 3;
    QTest::newRow("missing equals") << key + "\"a\" \"b\"\n" << 3;
    QTest::newRow("unterminated name") << key + "\"a=\"b\"\n" << 3;
    QTest::newRow("unknown value kind") << key + "\"a\"=str:x\n" << 3;
    QTest::newRow("dword with nine digits") << key + "\"a\"=dword:123456789\n" << 3;
    QTest::newRow("dword not hexadecimal") << key + "\"a\"=dword:xyz\n" << 3;
    QTest::newRow("hex type not closed") << key + "\"a\"=hex(2:41\n" << 3;
    QTest::newRow("bad byte on a continuation line")
        << key + "\"a\"=hex:01,02,\\\n  03,\\\n  zz\n\"b\"=\"ok\"\n"
        << 5;
    QTest::newRow("three-digit byte") << key + "\"a\"=hex:123\n" << 3;
    QTest::newRow("continuation past the end") << key + "\"a\"=hex:01,\\" << 3;
}

void TestKeyStore::syntaxErrorsNameTheLine() {
    QFETCH(QString, text);
    QFETCH(int, line);

    RegSyntaxError error;
    QVERIFY(!parseRegFile(text, &error));
    QCOMPARE(error.line, line);
    QVERIFY(!error.reason.isEmpty());
}

void TestKeyStore::unreadableFileNamesFileAndLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("detail");

    QTest::newRow("syntax") << kHeader + "\"a\"=\"b\n"
                            << "line 4: missing closing quote";
    QTest::newRow("not UTF-8") << kHeader + "\"a\"=\"ok\"\n\"b\"=\"\xe9t\xe9\"\n"
                               << "line 5: not UTF-8 text";
}

void TestKeyStore::unreadableFileNamesFileAndLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, detail);

    seed(bytes);
    QCOMPARE(messageOf([&] { KeyStore store(storePath()); }),
             QStringLiteral("Cannot read settings file %1: %2").arg(storePath(), detail));
    QCOMPARE(KeyStore::liveHandles(), 0);
}

void TestKeyStore::corruptFileIsNeverOverwritten_data() {
    QTest::addColumn<int>("change");
    QTest::newRow("create key") << 0;
    QTest::newRow("create key through setCurrentKey") << 1;
    QTest::newRow("write value") << 2;
}

// The file turns bad after the handle was opened (another program, a hand edit): the write
// re-reads it under the lock and must stop there instead of writing its stale snapshot.
void TestKeyStore::corruptFileIsNeverOverwritten() {
    QFETCH(int, change);

    seed(kHeader + "\"a\"=\"b\"\n");
    KeyStore store(storePath());
    const std::optional<KeyStore::Key> data = store.openKey(QStringLiteral("Data"));
    QVERIFY(data);

    const QByteArray corrupt = kHeader + "\"a\"=\"b\n";
    seed(corrupt);
    const QString expected =
        QStringLiteral("Cannot read settings file %1: line 4: missing closing quote")
            .arg(storePath());
    switch (change) {
    case 0:
        QCOMPARE(messageOf([&] { store.createKey(QStringLiteral("New")); }), expected);
        break;
    case 1:
        QVERIFY(!store.setCurrentKey(QStringLiteral("New"), true));
        break;
    case 2:
        QCOMPARE(
            messageOf([&] { store.writeString(*data, QStringLiteral("a"), QStringLiteral("c")); }),
            expected);
        break;
    }
    QCOMPARE(readBytes(storePath()), corrupt);
    QVERIFY(!QFile::exists(storePath() + QStringLiteral(".lock")));
}

void TestKeyStore::readString_data() {
    QTest::addColumn<QByteArray>("valueLines");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");

    QTest::newRow("text") << QByteArray("\"v\"=\"plain\"") << "v"
                          << "plain"
                          << "";
    QTest::newRow("escapes") << QByteArray(R"("v"="say \"hi\" C:\\dir")") << "v"
                             << R"(say "hi" C:\dir)"
                             << "";
    QTest::newRow("line breaks") << QByteArray(R"("v"="a\r\nb")") << "v"
                                 << "a\r\nb"
                                 << "";
    QTest::newRow("empty text") << QByteArray("\"v\"=\"\"") << "v"
                                << ""
                                << "";
    QTest::newRow("unnamed value") << QByteArray("@=\"unnamed\"") << ""
                                   << "unnamed"
                                   << "";
    QTest::newRow("quoted empty name") << QByteArray("\"\"=\"unnamed\"") << ""
                                       << "unnamed"
                                       << "";
    QTest::newRow("name in other case") << QByteArray("\"Font\"=\"x\"") << "FONT"
                                        << "x"
                                        << "";
    QTest::newRow("spaces around equals") << QByteArray("\"v\" = \"x\"") << "v"
                                          << "x"
                                          << "";
    QTest::newRow("non-ASCII") << QByteArray("\"v\"=\"caf\xc3\xa9 \xe2\x82\xac\"") << "v"
                               << QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac") << "";
    QTest::newRow("expandable text is not expanded")
        << QByteArray("\"v\"=hex(2):25,50,41,54,48,25,00") << "v"
        << "%PATH%"
        << "";
    QTest::newRow("typed text is 8-bit and ends at NUL")
        << QByteArray("\"v\"=hex(1):80,41,00,42") << "v"
        << QString::fromUtf8("\xe2\x82\xac"
                             "A")
        << "";
    QTest::newRow("typed text over lines")
        << QByteArray("\"v\"=hex(2):41,\\\n  42,\\\n  43,00") << "v"
        << "ABC"
        << "";
    QTest::newRow("binary without data") << QByteArray("\"v\"=hex:") << "v"
                                         << ""
                                         << "";
    QTest::newRow("multi-text without data") << QByteArray("\"v\"=hex(7):") << "v"
                                             << ""
                                             << "";
    QTest::newRow("dword") << QByteArray("\"num\"=dword:0000000c") << "num"
                           << ""
                           << "Invalid data type for 'num'";
    QTest::newRow("binary") << QByteArray("\"bin\"=hex:01,02") << "bin"
                            << ""
                            << "Invalid data type for 'bin'";
    QTest::newRow("multi-text") << QByteArray("\"m\"=hex(7):41,00,00") << "m"
                                << ""
                                << "Invalid data type for 'm'";
    QTest::newRow("no such value") << QByteArray("\"v\"=\"x\"") << "w"
                                   << ""
                                   << "Failed to get data for 'w'";
}

void TestKeyStore::readString() {
    QFETCH(QByteArray, valueLines);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, error);

    seed(kHeader + valueLines + "\n");
    KeyStore store(storePath());
    const std::optional<KeyStore::Key> key = store.openKey(QStringLiteral("\\Data"));
    QVERIFY(key);
    QCOMPARE(store.valueExists(*key, name), error != QStringLiteral("Failed to get data for 'w'"));
    if (error.isEmpty())
        QCOMPARE(store.readString(*key, name), text);
    else
        QCOMPARE(messageOf([&] { store.readString(*key, name); }), error);
}

void TestKeyStore::writeStringRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("plain") << "font"
                           << "Courier New"
                           << "Courier New" << QByteArray("\"font\"=\"Courier New\"");
    QTest::newRow("quote and backslash")
        << "q"
        << R"(say "hi" C:\dir\)"
        << R"(say "hi" C:\dir\)" << QByteArray(R"("q"="say \"hi\" C:\\dir\\")");
    QTest::newRow("quote in the name") << "a\"b"
                                       << "x"
                                       << "x" << QByteArray(R"("a\"b"="x")");
    QTest::newRow("unnamed value") << ""
                                   << "x"
                                   << "x" << QByteArray("@=\"x\"");
    QTest::newRow("line breaks stay on one line") << "v"
                                                  << "a\r\nb"
                                                  << "a\r\nb" << QByteArray(R"("v"="a\r\nb")");
    QTest::newRow("blanks kept") << "v"
                                 << "  padded  "
                                 << "  padded  " << QByteArray("\"v\"=\"  padded  \"");
    QTest::newRow("8-bit text") << "v" << QString::fromUtf8("\xc3\xa9\xe2\x82\xac")
                                << QString::fromUtf8("\xc3\xa9\xe2\x82\xac")
                                << QByteArray("\"v\"=\"\xc3\xa9\xe2\x82\xac\"");
    QTest::newRow("text ends at NUL")
        << "v" << QString::fromUtf16(u"abc\0def", 7) << "abc" << QByteArray("\"v\"=\"abc\"");
    QTest::newRow("comment-like and bracket text") << "v"
                                                   << "; [x]"
                                                   << "; [x]" << QByteArray("\"v\"=\"; [x]\"");
}

void TestKeyStore::writeStringRoundTrip() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, readBack);
    QFETCH(QByteArray, line);

    {
        KeyStore store(storePath());
        store.createKey(QStringLiteral("\\Data"));
        store.writeString(*store.openKey(QStringLiteral("Data")), name, text);
    }
    const QByteArray file = readBytes(storePath());
    QVERIFY2(file.startsWith("REGEDIT4\n"), file.constData());
    QVERIFY2(file.contains("[HKEY_CURRENT_USER\\Data]\n" + line + "\n"), file.constData());

    KeyStore store(storePath());
    const std::optional<KeyStore::Key> key = store.openKey(QStringLiteral("Data"));
    QVERIFY(key);
    QCOMPARE(store.valueNames(*key), QStringList{name});
    QCOMPARE(store.readString(*key, name), readBack);
}

// A write rewrites the whole file from what it parsed: values of other kinds, keys
// without values and long binary data must come back unchanged.
void TestKeyStore::writeKeepsEverythingElse() {
    QByteArray longHex;
    for (int i = 0; i < 60; ++i)
        longHex += QByteArray::number(i % 256, 16).rightJustified(2, '0') + (i < 59 ? "," : "");
    seed("REGEDIT4\n\n; written by hand\n[HKEY_CURRENT_USER]\n@=\"root\"\n\n"
         "[HKEY_CURRENT_USER\\Empty\\Deeper]\n\n"
         "[HKEY_CURRENT_USER\\Data]\n\"num\"=dword:0000000c\n\"bin\"=hex:" +
         longHex + "\n\"exp\"=hex(2):41,00\n\"other\"=dword:ffffffff\n");

    KeyStore store(storePath());
    const KeyStore::Key data = *store.openKey(QStringLiteral("Data"));
    store.writeString(data, QStringLiteral("added"), QStringLiteral("text"));
    store.writeString(data, QStringLiteral("NUM"), QStringLiteral("5"));

    const QByteArray file = readBytes(storePath());
    QVERIFY2(file.contains("[HKEY_CURRENT_USER\\Empty]\n"), file.constData());
    QVERIFY2(file.contains("[HKEY_CURRENT_USER\\Empty\\Deeper]\n"), file.constData());
    // Long binary data is wrapped the way regedit does it.
    for (const QByteArray& line : file.split('\n'))
        QVERIFY2(line.size() < 80, line.constData());

    KeyStore again(storePath());
    QCOMPARE(again.readString(*again.openKey(QString()), QString()), QStringLiteral("root"));
    const KeyStore::Key reread = *again.openKey(QStringLiteral("data"));
    QCOMPARE(again.valueNames(reread), QStringList({"num", "bin", "exp", "other", "added"}));
    QCOMPARE(again.readString(reread, QStringLiteral("num")), QStringLiteral("5"));
    QCOMPARE(again.readString(reread, QStringLiteral("exp")), QStringLiteral("A"));
    QCOMPARE(messageOf([&] { again.readString(reread, QStringLiteral("other")); }),
             QStringLiteral("Invalid data type for 'other'"));

    // The binary bytes themselves, through the parser.
    RegSyntaxError error;
    const std::optional<RegKey> root = parseRegFile(QString::fromUtf8(file), &error);
    QVERIFY2(root, qPrintable(error.reason));
    const RegValue* bin = findKey(*root, {"Data"})->findValue(u"bin");
    QVERIFY(bin);
    QCOMPARE(bin->data, QByteArray::fromHex(longHex.replace(",", "")));
    QCOMPARE(findKey(*root, {"Data"})->findValue(u"other")->data, QByteArray(4, '\xff'));
}

void TestKeyStore::namesIgnoreCaseAndKeepIt() {
    KeyStore store(storePath());
    store.createKey(QStringLiteral("\\Software\\Dizez"));
    store.createKey(QStringLiteral("\\SOFTWARE\\dizez\\Font\\"));
    QVERIFY(store.setCurrentKey(QStringLiteral("software\\DIZEZ"), false));
    const std::optional<KeyStore::Key> font = store.openKey(QStringLiteral("FONT"));
    QVERIFY(font);
    QCOMPARE(font->path(), QStringList({"Software", "Dizez", "Font"}));

    store.writeString(*font, QStringLiteral("Size"), QStringLiteral("10"));
    store.writeString(*font, QStringLiteral("SIZE"), QStringLiteral("12"));
    QCOMPARE(store.valueNames(*font), QStringList{"Size"});
    QCOMPARE(store.readString(*font, QStringLiteral("size")), QStringLiteral("12"));

    const QByteArray file = readBytes(storePath());
    QVERIFY2(file.contains("[HKEY_CURRENT_USER\\Software\\Dizez\\Font]\n\"Size\"=\"12\"\n"),
             file.constData());
    QVERIFY2(!file.contains("SOFTWARE") && !file.contains("SIZE"), file.constData());
}

void TestKeyStore::invalidKeyPaths() {
    KeyStore store(storePath());
    QCOMPARE(messageOf([&] { store.createKey(QStringLiteral("\\A\\\\B")); }),
             QStringLiteral("Failed to create key \\A\\\\B"));
    QVERIFY(!store.setCurrentKey(QStringLiteral("A\\\\B"), true));
    QVERIFY(!store.openKey(QStringLiteral("A\\\\B")));
    QVERIFY(!store.openKey(QStringLiteral("A\nB")));
    QVERIFY(!QFile::exists(storePath()));
}

// The folder of the store cannot be made (a file is in the way): every change fails with
// its own message and nothing is left behind.
void TestKeyStore::unwritableLocation() {
    writeBytes(m_dir->filePath(QStringLiteral("taviro")), "a file, not a folder");
    KeyStore store(storePath());
    QVERIFY(!store.setCurrentKey(QStringLiteral("\\Software"), true));
    QCOMPARE(messageOf([&] { store.createKey(QStringLiteral("Software")); }),
             QStringLiteral("Failed to create key Software"));
    QCOMPARE(messageOf([&] {
                 store.writeString(*store.openKey(QString()), QStringLiteral("v"), QString());
             }),
             QStringLiteral("Failed to set data for 'v'"));
}

// A store file without write bits is refused with the store's own message, even for root,
// and no change of the store ever changes the file's mode.
void TestKeyStore::storeFileModeIsKept_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("writable");
    QTest::newRow("read-only for all") << 0444 << false;
    QTest::newRow("read-only for the owner") << 0400 << false;
    QTest::newRow("private") << 0600 << true;
    QTest::newRow("shared with the group") << 0660 << true;
}

void TestKeyStore::storeFileModeIsKept() {
    QFETCH(int, mode);
    QFETCH(bool, writable);
    const QByteArray old = kHeader + "\"v\"=\"old\"\n";
    seed(old);
    QVERIFY(::chmod(QFile::encodeName(storePath()).constData(), mode_t(mode)) == 0);

    KeyStore store(storePath());
    const QString write = messageOf([&] {
        store.writeString(*store.openKey(QStringLiteral("\\Data")), QStringLiteral("v"),
                          QStringLiteral("new"));
    });
    const QString create = messageOf([&] { store.createKey(QStringLiteral("\\Data\\Sub")); });

    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(storePath()).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
    if (writable) {
        QCOMPARE(write, QStringLiteral("<no exception>"));
        QCOMPARE(create, QStringLiteral("<no exception>"));
        QVERIFY(readBytes(storePath()).contains("\"v\"=\"new\""));
    } else {
        QCOMPARE(write, QStringLiteral("Failed to set data for 'v'"));
        QCOMPARE(create, QStringLiteral("Failed to create key \\Data\\Sub"));
        QCOMPARE(readBytes(storePath()), old);
    }
}

QTEST_GUILESS_MAIN(TestKeyStore)
#include "tst_keystore.moc"
