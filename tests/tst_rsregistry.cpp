#include "Exceptions.h"
#include "KeyStore.h"
#include "RsRegistry.h"
#include "TestDirs.h"

#include <QtTest>

#include <limits>

using namespace taviro;
using taviro::test::readBytes;
using taviro::test::writeBytes;

namespace {

enum class Op {
    ReadString,
    ReadBool,
    ReadInteger,
    ReadSection,
    WriteString,
    WriteBool,
    WriteInteger
};

const char* opName(Op op) {
    switch (op) {
    case Op::ReadString:
        return "ReadString";
    case Op::ReadBool:
        return "ReadBool";
    case Op::ReadInteger:
        return "ReadInteger";
    case Op::ReadSection:
        return "ReadSection";
    case Op::WriteString:
        return "WriteString";
    case Op::WriteBool:
        return "WriteBool";
    case Op::WriteInteger:
        return "WriteInteger";
    }
    return "?";
}

bool isWrite(Op op) {
    return op == Op::WriteString || op == Op::WriteBool || op == Op::WriteInteger;
}

// Runs one operation and returns its result; ReadSection returns the list it was given,
// which starts as {"kept"}.
QVariant perform(TRsRegistry& reg, Op op) {
    switch (op) {
    case Op::ReadString:
        return reg.ReadString();
    case Op::ReadBool:
        return reg.ReadBool();
    case Op::ReadInteger:
        return reg.ReadInteger();
    case Op::ReadSection: {
        QStringList list{QStringLiteral("kept")};
        reg.ReadSection(&list);
        return list;
    }
    case Op::WriteString:
        return reg.WriteString(QStringLiteral("text"));
    case Op::WriteBool:
        return reg.WriteBool(true);
    case Op::WriteInteger:
        return reg.WriteInteger(7);
    }
    return {};
}

// What an operation returns once a handler has taken its failure.
QVariant resultAfterHandler(Op op) {
    switch (op) {
    case Op::ReadString:
        return QString();
    case Op::ReadBool:
        return false;
    case Op::ReadInteger:
        return -1;
    case Op::ReadSection:
        return QStringList{QStringLiteral("kept")};
    default:
        return false;
    }
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("<no exception>");
}

// Counts handler calls and remembers who sent them and whether a store handle was open.
struct HandlerLog {
    int calls = 0;
    TRsRegistry* sender = nullptr;
    int handlesDuringCall = -1;

    TRsRegistry::TNotifyEvent handler() {
        return [this](TRsRegistry* Sender) {
            ++calls;
            sender = Sender;
            handlesDuringCall = KeyStore::liveHandles();
        };
    }
};

const QByteArray kBase = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Dizez]\n";

// Runs in a child process: writes count integers under its own value names.
int writeLoop(const QString& store, const QString& prefix, int count) {
    TRsRegistry reg(store);
    reg.BaseKey = QStringLiteral("\\Software\\Race\\");
    reg.TargetKey = QStringLiteral("values");
    try {
        for (int i = 0; i < count; ++i) {
            reg.TargetValue = prefix + QString::number(i);
            reg.WriteInteger(i);
        }
    } catch (const Exception& e) {
        qCritical("%s", qPrintable(e.Message()));
        return 1;
    }
    return 0;
}

} // namespace

Q_DECLARE_METATYPE(Op)

class TestRsRegistry : public QObject {
    Q_OBJECT

private slots:
    void init();

    void defaults();
    void firstRun();
    void baseKeyMissing_data();
    void baseKeyMissing();
    void dontCreateStillCreatesTargetKey();
    void missingTargetOrValueReadsDefault_data();
    void missingTargetOrValueReadsDefault();
    void paths_data();
    void paths();
    void writtenText_data();
    void writtenText();
    void readInteger_data();
    void readInteger();
    void sectionStepFailure_data();
    void sectionStepFailure();
    void handlerThatRaises_data();
    void handlerThatRaises();
    void readSectionNullList();
    void readSection_data();
    void readSection();
    void concurrentWriters();

private:
    QString storePath() const { return m_dir->filePath(QStringLiteral("config/registry.reg")); }
    void seed(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(storePath()).absolutePath());
        writeBytes(storePath(), bytes);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRsRegistry::init() {
    QStandardPaths::setTestModeEnabled(true);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestRsRegistry::defaults() {
    QObject owner;
    auto* reg = new TRsRegistry(&owner);
    QCOMPARE(reg->parent(), &owner);
    QCOMPARE(reg->BaseKey, QStringLiteral("\\Software\\Dizez\\"));
    QVERIFY(reg->TargetKey.isEmpty());
    QVERIFY(reg->TargetValue.isEmpty());
    QVERIFY(!reg->OnReadError);
    QVERIFY(!reg->OnWriteError);
    QVERIFY(!reg->DontCreate);
    // Test mode keeps this away from the user's real settings.
    QCOMPARE(reg->storePath(),
             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 QStringLiteral("/taviro/registry.reg"));
}

void TestRsRegistry::firstRun() {
    TRsRegistry reg(storePath());
    reg.BaseKey = QStringLiteral("\\Software\\plomix\\taviro\\");
    reg.TargetKey = QStringLiteral("font");
    reg.TargetValue = QStringLiteral("font");

    QCOMPARE(messageOf([&] { reg.ReadString(); }), QStringLiteral("Cannot open key to read"));
    // Its own kind: start-up tells "nothing stored yet" from real failures by it.
    QVERIFY_THROWS_EXCEPTION(EKeyNotFound, reg.ReadString());
    QVERIFY(!QFile::exists(storePath()));

    QVERIFY(reg.WriteString(QStringLiteral("Courier New")));
    QCOMPARE(reg.ReadString(), QStringLiteral("Courier New"));
    QVERIFY2(readBytes(storePath())
                 .contains("[HKEY_CURRENT_USER\\Software\\plomix\\taviro\\font]\n"
                           "\"font\"=\"Courier New\"\n"),
             readBytes(storePath()).constData());
    QCOMPARE(KeyStore::liveHandles(), 0);
}

void TestRsRegistry::baseKeyMissing_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<bool>("withHandler");

    for (Op op : {Op::ReadString, Op::ReadBool, Op::ReadInteger, Op::ReadSection, Op::WriteString,
                  Op::WriteBool, Op::WriteInteger}) {
        QTest::addRow("%s raises", opName(op)) << op << false;
        QTest::addRow("%s calls its handler", opName(op)) << op << true;
    }
}

// BaseKey is missing: reads never create it, writes with DontCreate do not either. The
// store stays as it was; the failure goes to the right handler or is raised.
void TestRsRegistry::baseKeyMissing() {
    QFETCH(Op, op);
    QFETCH(bool, withHandler);

    const QByteArray before = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"v\"=\"1\"\n";
    seed(before);
    TRsRegistry reg(storePath());
    reg.TargetKey = QStringLiteral("font");
    reg.TargetValue = QStringLiteral("font");
    reg.DontCreate = true;
    HandlerLog readLog, writeLog;
    if (withHandler) {
        reg.OnReadError = readLog.handler();
        reg.OnWriteError = writeLog.handler();
    }

    if (withHandler) {
        QCOMPARE(perform(reg, op), resultAfterHandler(op));
        HandlerLog& called = isWrite(op) ? writeLog : readLog;
        QCOMPARE(called.calls, 1);
        QCOMPARE(called.sender, &reg);
        QCOMPARE(called.handlesDuringCall, 1);
        QCOMPARE((isWrite(op) ? readLog : writeLog).calls, 0);
    } else {
        QCOMPARE(messageOf([&] { perform(reg, op); }),
                 isWrite(op) ? QStringLiteral("Cannot open key to write")
                             : QStringLiteral("Cannot open key to read"));
    }
    QCOMPARE(readBytes(storePath()), before);
    QCOMPARE(KeyStore::liveHandles(), 0);
}

void TestRsRegistry::dontCreateStillCreatesTargetKey() {
    seed(kBase);
    TRsRegistry reg(storePath());
    reg.DontCreate = true;
    reg.TargetKey = QStringLiteral("new\\deeper");
    reg.TargetValue = QStringLiteral("v");
    QVERIFY(reg.WriteString(QStringLiteral("x")));
    QCOMPARE(reg.ReadString(), QStringLiteral("x"));
    QVERIFY(readBytes(storePath()).contains("[HKEY_CURRENT_USER\\Software\\Dizez\\new\\deeper]\n"));
}

void TestRsRegistry::missingTargetOrValueReadsDefault_data() {
    QTest::addColumn<QString>("targetKey");
    QTest::addColumn<QString>("targetValue");

    QTest::newRow("target key missing") << "absent"
                                        << "v";
    QTest::newRow("value missing") << "font"
                                   << "absent";
}

void TestRsRegistry::missingTargetOrValueReadsDefault() {
    QFETCH(QString, targetKey);
    QFETCH(QString, targetValue);

    seed(kBase + "\n[HKEY_CURRENT_USER\\Software\\Dizez\\font]\n\"v\"=\"12\"\n");
    TRsRegistry reg(storePath());
    reg.TargetKey = targetKey;
    reg.TargetValue = targetValue;
    QCOMPARE(reg.ReadString(), QStringLiteral("None"));
    QCOMPARE(reg.ReadInteger(), -1);
    QCOMPARE(reg.ReadBool(), false);
}

void TestRsRegistry::paths_data() {
    QTest::addColumn<QString>("baseKey");
    QTest::addColumn<QString>("targetKey");
    QTest::addColumn<QString>("landsIn"); // from the root
    QTest::addColumn<QString>("notIn");   // a key that must not hold the value

    QTest::newRow("leading and trailing backslash") << "\\Software\\Dizez\\"
                                                    << "font"
                                                    << "\\Software\\Dizez\\font"
                                                    << "";
    QTest::newRow("no trailing backslash") << "\\Software\\Dizez"
                                           << "font"
                                           << "\\Software\\Dizez\\font"
                                           << "";
    QTest::newRow("base without leading backslash is still from the root")
        << "Software\\Dizez\\"
        << "font"
        << "\\Software\\Dizez\\font"
        << "";
    QTest::newRow("other case finds the existing keys") << "\\SOFTWARE\\dizez"
                                                        << "FONT"
                                                        << "\\Software\\Dizez\\font"
                                                        << "";
    QTest::newRow("empty base is the root") << ""
                                            << "font"
                                            << "\\font"
                                            << "\\Software\\Dizez\\font";
    QTest::newRow("empty target is the base") << "\\Software\\Dizez\\"
                                              << ""
                                              << "\\Software\\Dizez"
                                              << "";
    QTest::newRow("both empty is the root") << ""
                                            << ""
                                            << "\\"
                                            << "";
    QTest::newRow("target from the root") << "\\Software\\Dizez\\"
                                          << "\\Other\\Key"
                                          << "\\Other\\Key"
                                          << "\\Software\\Dizez\\Other\\Key";
    QTest::newRow("nested target with trailing backslash") << "\\Software\\Dizez\\"
                                                           << "a\\b\\"
                                                           << "\\Software\\Dizez\\a\\b"
                                                           << "";
}

// Writes through the row's spelling and checks, from the root, where the value landed;
// then reads it back through the same spelling.
void TestRsRegistry::paths() {
    QFETCH(QString, baseKey);
    QFETCH(QString, targetKey);
    QFETCH(QString, landsIn);
    QFETCH(QString, notIn);

    seed(kBase + "\n[HKEY_CURRENT_USER\\Software\\Dizez\\font]\n");
    TRsRegistry reg(storePath());
    reg.BaseKey = baseKey;
    reg.TargetKey = targetKey;
    reg.TargetValue = QStringLiteral("v");
    QVERIFY(reg.WriteString(QStringLiteral("x")));
    QCOMPARE(reg.ReadString(), QStringLiteral("x"));

    KeyStore store(storePath());
    const std::optional<KeyStore::Key> key = store.openKey(landsIn);
    QVERIFY(key);
    QCOMPARE(store.valueNames(*key), QStringList{"v"});
    if (!notIn.isEmpty()) {
        const std::optional<KeyStore::Key> other = store.openKey(notIn);
        QVERIFY(!other || !store.valueExists(*other, QStringLiteral("v")));
    }
    QVERIFY(!readBytes(storePath()).contains("SOFTWARE"));
}

void TestRsRegistry::writtenText_data() {
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("stored");

    QTest::newRow("true") << true << 1 << "1";
    QTest::newRow("false") << true << 0 << "0";
    QTest::newRow("negative") << false << -5 << "-5";
    QTest::newRow("zero") << false << 0 << "0";
    QTest::newRow("positive") << false << 12 << "12";
    QTest::newRow("smallest") << false << std::numeric_limits<int>::min() << "-2147483648";
}

void TestRsRegistry::writtenText() {
    QFETCH(bool, asBool);
    QFETCH(int, value);
    QFETCH(QString, stored);

    TRsRegistry reg(storePath());
    reg.TargetKey = QStringLiteral("k");
    reg.TargetValue = QStringLiteral("v");
    QVERIFY(asBool ? reg.WriteBool(value != 0) : reg.WriteInteger(value));
    QCOMPARE(reg.ReadString(), stored);
    QCOMPARE(reg.ReadInteger(), value);
}

void TestRsRegistry::readInteger_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("integer");
    QTest::addColumn<bool>("boolean");

    QTest::newRow("decimal") << "12" << 12 << true;
    QTest::newRow("leading blanks") << "  12" << 12 << true;
    QTest::newRow("dollar hex") << "$1F" << 31 << true;
    QTest::newRow("0x hex") << "0x1F" << 31 << true;
    QTest::newRow("minus zero") << "-0" << 0 << false;
    QTest::newRow("zero") << "0" << 0 << false;
    QTest::newRow("one") << "1" << 1 << true;
    QTest::newRow("negative is true") << "-3" << -3 << true;
    QTest::newRow("trailing blank") << "12 " << -1 << false;
    QTest::newRow("blank after sign") << "- 5" << -1 << false;
    QTest::newRow("letters") << "yes" << -1 << false;
    QTest::newRow("empty") << "" << -1 << false;
    QTest::newRow("one above the largest") << "2147483648" << -1 << false;
    QTest::newRow("eight F") << "$FFFFFFFF" << -1 << true;
}

void TestRsRegistry::readInteger() {
    QFETCH(QString, stored);
    QFETCH(int, integer);
    QFETCH(bool, boolean);

    TRsRegistry reg(storePath());
    reg.TargetValue = QStringLiteral("v");
    QVERIFY(reg.WriteString(stored));
    QCOMPARE(reg.ReadInteger(), integer);
    QCOMPARE(reg.ReadBool(), boolean);
}

void TestRsRegistry::sectionStepFailure_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("targetKey");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("withHandler");

    const QByteArray withDword = kBase + "\"num\"=dword:00000001\n\"empty\"=hex:\n";
    const QByteArray corrupt = kBase + "\"font\"=\"Courier\n";
    // The folder is made per row, so the path goes in when the row runs.
    const QString corruptMessage =
        QStringLiteral("Cannot read settings file <store>: line 4: missing closing quote");

    for (bool withHandler : {false, true}) {
        const char* how = withHandler ? "handler" : "raises";
        for (Op op : {Op::ReadString, Op::ReadInteger, Op::ReadBool}) {
            QTest::addRow("%s non-text value, %s", opName(op), how)
                << op << withDword << ""
                << "Invalid data type for 'num'" << withHandler;
        }
        QTest::addRow("WriteString bad target key, %s", how)
            << Op::WriteString << kBase << "a\\\\b"
            << "Failed to create key a\\\\b" << withHandler;
        QTest::addRow("WriteInteger bad target key from the root, %s", how)
            << Op::WriteInteger << kBase << "\\x\\\\y"
            << "Failed to create key \\x\\\\y" << withHandler;
        for (Op op : {Op::ReadString, Op::ReadSection, Op::WriteString, Op::WriteBool}) {
            QTest::addRow("%s corrupt store, %s", opName(op), how)
                << op << corrupt << "" << corruptMessage << withHandler;
        }
    }
}

// Failures after BaseKey was opened (and a store file that does not parse): the caller
// gets the store's message, or the handler takes it; the file is never altered.
void TestRsRegistry::sectionStepFailure() {
    QFETCH(Op, op);
    QFETCH(QByteArray, file);
    QFETCH(QString, targetKey);
    QFETCH(QString, message);
    QFETCH(bool, withHandler);

    seed(file);
    TRsRegistry reg(storePath());
    reg.TargetKey = targetKey;
    reg.TargetValue = QStringLiteral("num");
    HandlerLog log;
    if (withHandler) {
        (isWrite(op) ? reg.OnWriteError : reg.OnReadError) = log.handler();
        QCOMPARE(perform(reg, op), resultAfterHandler(op));
        QCOMPARE(log.calls, 1);
        QCOMPARE(log.sender, &reg);
    } else {
        QCOMPARE(messageOf([&] { perform(reg, op); }),
                 message.replace(QStringLiteral("<store>"), storePath()));
    }
    QCOMPARE(readBytes(storePath()), file);
    QCOMPARE(KeyStore::liveHandles(), 0);
    QVERIFY(!QFile::exists(storePath() + QStringLiteral(".lock")));
}

void TestRsRegistry::handlerThatRaises_data() {
    QTest::addColumn<Op>("op");
    QTest::addColumn<QString>("targetKey");

    QTest::newRow("read, BaseKey missing") << Op::ReadString << "k";
    QTest::newRow("write, bad target key") << Op::WriteString << "a\\\\b";
}

void TestRsRegistry::handlerThatRaises() {
    QFETCH(Op, op);
    QFETCH(QString, targetKey);

    TRsRegistry reg(storePath());
    reg.TargetKey = targetKey;
    reg.TargetValue = QStringLiteral("v");
    int handlesDuringCall = -1;
    auto raising = [&](TRsRegistry*) {
        handlesDuringCall = KeyStore::liveHandles();
        throw EConvertError(QStringLiteral("from the handler"));
    };
    reg.OnReadError = raising;
    reg.OnWriteError = raising;

    try {
        perform(reg, op);
        QFAIL("the handler's exception did not reach the caller");
    } catch (const EConvertError& e) {
        QCOMPARE(e.Message(), QStringLiteral("from the handler"));
    }
    QCOMPARE(handlesDuringCall, 1);
    QCOMPARE(KeyStore::liveHandles(), 0);

    // Nothing is left held: the next operation goes through.
    reg.TargetKey = QStringLiteral("k");
    QVERIFY(reg.WriteString(QStringLiteral("after")));
    QCOMPARE(reg.ReadString(), QStringLiteral("after"));
}

void TestRsRegistry::readSectionNullList() {
    // A store that does not parse: had the store been opened, its message would show.
    seed("not a store file\n");
    TRsRegistry reg(storePath());
    QCOMPARE(messageOf([&] { reg.ReadSection(nullptr); }),
             QStringLiteral("RsRegistry - Read Section retvals is NULL"));

    HandlerLog log;
    reg.OnReadError = log.handler();
    reg.ReadSection(nullptr);
    QCOMPARE(log.calls, 1);
    QCOMPARE(log.sender, &reg);
    QCOMPARE(log.handlesDuringCall, 0);
}

void TestRsRegistry::readSection_data() {
    QTest::addColumn<QString>("targetKey");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("missing key keeps the list") << "absent" << QStringList{"old", "entries"};
    QTest::newRow("key with values replaces the list") << "font" << QStringList{"size", "Face", ""};
    QTest::newRow("key without values empties the list") << "bare" << QStringList{};
    QTest::newRow("empty target lists the base") << "" << QStringList{"top"};
}

void TestRsRegistry::readSection() {
    QFETCH(QString, targetKey);
    QFETCH(QStringList, names);

    seed(kBase + "\"top\"=\"1\"\n\n[HKEY_CURRENT_USER\\Software\\Dizez\\font]\n"
                 "\"size\"=\"10\"\n\"Face\"=\"Arial\"\n@=\"\"\n\n"
                 "[HKEY_CURRENT_USER\\Software\\Dizez\\bare]\n");
    TRsRegistry reg(storePath());
    reg.TargetKey = targetKey;
    QStringList list{QStringLiteral("old"), QStringLiteral("entries")};
    reg.ReadSection(&list);
    QCOMPARE(list, names);
}

// Two editors writing at once, from nothing: both create BaseKey and then add their own
// values one by one. Without the lock and the re-read under it, values would be lost.
void TestRsRegistry::concurrentWriters() {
    const int count = 100;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString& prefix : {QStringLiteral("a"), QStringLiteral("b")}) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--write-loop"), storePath(), prefix, QString::number(count)});
        writers.push_back(std::move(process));
    }
    for (auto& process : writers) {
        QVERIFY(process->waitForFinished(120000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }

    TRsRegistry reg(storePath());
    reg.BaseKey = QStringLiteral("\\Software\\Race\\");
    reg.TargetKey = QStringLiteral("values");
    QStringList names;
    reg.ReadSection(&names);
    QCOMPARE(names.size(), 2 * count);
    for (const QString& prefix : {QStringLiteral("a"), QStringLiteral("b")}) {
        for (int i = 0; i < count; ++i) {
            reg.TargetValue = prefix + QString::number(i);
            QCOMPARE(reg.ReadInteger(), i);
        }
    }
    QVERIFY(!QFile::exists(storePath() + QStringLiteral(".lock")));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("--write-loop"))
        return writeLoop(args[2], args[3], args[4].toInt());
    TestRsRegistry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rsregistry.moc"
