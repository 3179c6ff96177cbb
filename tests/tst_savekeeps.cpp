// What a save keeps of the file it writes: other hard links see the new text,
// the owner and group stay, and a save that fails half-way leaves the old text
// whole, with no backup left behind.

#include "DocumentFile.h"
#include "Exceptions.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace taviro;
using namespace taviro::test;

namespace {

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray lines(int count, const char* word) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QByteArray(word) + ' ' + QByteArray::number(i) + "\r\n";
    return bytes;
}

// Every name in the folder, hidden ones (a backup) included.
QStringList allFiles(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// The file size limit of this process, lowered while it lives, so that a write
// past `bytes` fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_saved;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class SaveKeepsTest : public QObject {
    Q_OBJECT
private slots:
    void keepsWhatTheFileSystemHolds_data();
    void keepsWhatTheFileSystemHolds();
    void failedWriteLeavesOldTextAndNoBackup_data();
    void failedWriteLeavesOldTextAndNoBackup();
    void backupGoesElsewhereWhenTheFolderTakesNone();

private:
    // Makes page.htm in `dir` the kind of file the row names.
    static void prepare(const QString& kind, const WorkDir& dir, const QByteArray& old);
};

void SaveKeepsTest::prepare(const QString& kind, const WorkDir& dir, const QByteArray& old) {
    const QString page = dir.file("page.htm");
    writeBytes(page, old);
    if (kind == "hard link") {
        QVERIFY(::link(QFile::encodeName(page).constData(),
                       QFile::encodeName(dir.file("other.htm")).constData()) == 0);
    } else if (kind == "other owner" || kind == "other group") {
        const uid_t uid = kind == "other owner" ? 4321 : ::geteuid();
        const gid_t gid = kind == "other group" ? 4322 : ::getegid();
        QVERIFY(::chown(QFile::encodeName(page).constData(), uid, gid) == 0);
    }
}

void SaveKeepsTest::keepsWhatTheFileSystemHolds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("sameInode");

    const QByteArray longOld = lines(500, "old");
    QTest::newRow("ordinary file is replaced whole")
        << "ordinary" << longOld << "new\nline" << QByteArray("new\r\nline") << false;
    for (const char* kind : {"hard link", "other owner", "other group"}) {
        QTest::addRow("%s, shorter text", kind)
            << kind << longOld << "new\nline" << QByteArray("new\r\nline") << true;
        QTest::addRow("%s, longer text", kind)
            << kind << QByteArray("x") << QString::fromLatin1(lines(3000, "new")).remove(u'\r')
            << lines(3000, "new") << true;
        QTest::addRow("%s, empty text", kind) << kind << longOld << "" << QByteArray() << true;
    }
}

void SaveKeepsTest::keepsWhatTheFileSystemHolds() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, old);
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    QFETCH(bool, sameInode);

    WorkDir dir;
    if (kind.startsWith("other") && ::geteuid() != 0)
        QSKIP("giving a file away takes root");
    prepare(kind, dir, old);
    if (QTest::currentTestFailed())
        return;
    const QString page = dir.file("page.htm");
    ::chmod(QFile::encodeName(page).constData(), 0640);
    const struct stat before = statOf(page);
    const QStringList names = allFiles(dir.path());

    DocumentFile::save(page, text);

    QCOMPARE(readBytes(page), written);
    const struct stat after = statOf(page);
    QCOMPARE(after.st_ino == before.st_ino, sameInode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode & 07777, before.st_mode & 07777);
    if (kind == "hard link") {
        QCOMPARE(after.st_nlink, nlink_t(2));
        QCOMPARE(readBytes(dir.file("other.htm")), written);
    }
    QCOMPARE(allFiles(dir.path()), names);
}

void SaveKeepsTest::failedWriteLeavesOldTextAndNoBackup_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("newLines");
    for (const char* kind : {"ordinary", "hard link", "other owner", "other group"}) {
        // Far past the limit, and just past it: the last bytes of a small file are
        // only written when the file is closed.
        QTest::addRow("%s, far past the limit", kind) << kind << 20000;
        QTest::addRow("%s, just past the limit", kind) << kind << 1010;
    }
}

void SaveKeepsTest::failedWriteLeavesOldTextAndNoBackup() {
    QFETCH(QString, kind);
    QFETCH(int, newLines);
    WorkDir dir;
    const QByteArray old = lines(1000, "old"); // below the limit, backup included
    if (kind.startsWith("other") && ::geteuid() != 0)
        QSKIP("giving a file away takes root");
    prepare(kind, dir, old);
    if (QTest::currentTestFailed())
        return;
    const QString page = dir.file("page.htm");
    const struct stat before = statOf(page);
    const QStringList names = allFiles(dir.path());
    const QString text = QString::fromLatin1(lines(newLines, "old")).remove(u'\r');
    QVERIFY(lines(newLines, "old").size() > old.size() + 16);

    QString message;
    {
        FileSizeLimit limit(newLines > 10000 ? 64 * 1024 : rlim_t(old.size() + 16));
        try {
            DocumentFile::save(page, text);
        } catch (const Exception& e) {
            message = e.Message();
        }
    }
    QCOMPARE(message, QString("Failed to Save Stream"));
    QCOMPARE(readBytes(page), old);
    if (kind == "hard link")
        QCOMPARE(readBytes(dir.file("other.htm")), old);
    const struct stat after = statOf(page);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(allFiles(dir.path()), names);
}

// A name so long that no backup name beside it fits stands for a folder that
// takes no new file (root may create files anywhere, so permissions cannot show
// it): the backup then lives in the temporary folder, and goes when done.
void SaveKeepsTest::backupGoesElsewhereWhenTheFolderTakesNone() {
    WorkDir dir;
    const QString name = QString(245, u'p') + ".htm";
    const QString page = dir.file(name);
    const QByteArray old = lines(1000, "old");
    writeBytes(page, old);
    QVERIFY(::link(QFile::encodeName(page).constData(),
                   QFile::encodeName(dir.file("other.htm")).constData()) == 0);
    const auto backups = [] {
        return QDir(QDir::tempPath()).entryList({"taviro-backup.*"}, QDir::Files | QDir::Hidden);
    };
    const QStringList backupsBefore = backups();

    QString message;
    {
        FileSizeLimit limit(64 * 1024);
        try {
            DocumentFile::save(page, QString::fromLatin1(lines(20000, "new")).remove(u'\r'));
        } catch (const Exception& e) {
            message = e.Message();
        }
    }
    QCOMPARE(message, QString("Failed to Save Stream"));
    QCOMPARE(readBytes(dir.file("other.htm")), old);
    QCOMPARE(backups(), backupsBefore);

    DocumentFile::save(page, u"new\ntext");
    QCOMPARE(readBytes(dir.file("other.htm")), QByteArray("new\r\ntext"));
    QCOMPARE(allFiles(dir.path()), (QStringList{"other.htm", name}));
    QCOMPARE(backups(), backupsBefore);
}

TAVIRO_TEST_MAIN(SaveKeepsTest)
#include "tst_savekeeps.moc"
