#include "SafeWrite.h"

#include "Exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

namespace taviro {

namespace {

// A file with every write permission bit cleared is read-only to the user, even
// to one whom the system would let write it anyway (root).
bool isReadOnlyFile(const QFileInfo& info) {
    // WriteUser is what the system grants us, not the file's own bits.
    constexpr auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.exists() && info.isFile() && !(info.permissions() & anyWrite);
}

// Whether replacing the file by a new one would lose something the file system
// keeps for it: the other names of a hard-linked file, or its owner or group (a
// new file belongs to whoever saves, in the group of the folder when the folder
// has the set-group-id bit).
bool mustWriteInPlace(const QString& target) {
    struct stat file {};
    if (::stat(QFile::encodeName(target).constData(), &file) != 0 || !S_ISREG(file.st_mode))
        return false;
    if (file.st_nlink > 1 || file.st_uid != ::geteuid())
        return true;
    gid_t newGroup = ::getegid();
    struct stat folder {};
    const QByteArray dir = QFile::encodeName(QFileInfo(target).absolutePath());
    if (::stat(dir.constData(), &folder) == 0 && (folder.st_mode & S_ISGID))
        newGroup = folder.st_gid;
    return file.st_gid != newGroup;
}

constexpr qint64 kCopyBlock = 256 * 1024;

// Copies all of `from` (from its start) to `to` at its current position.
bool copyAll(QFile& from, QFileDevice& to) {
    if (!from.seek(0))
        return false;
    QByteArray block(kCopyBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 got = from.read(block.data(), kCopyBlock);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (to.write(block.constData(), got) != got)
            return false;
    }
}

bool flushToDisk(QFileDevice& file) {
    return file.flush() && ::fsync(file.handle()) == 0;
}

void replaceFile(const QString& path, const ByteProducer& produce) {
    const auto cannotCreate = [&] {
        return Exception(QStringLiteral("Cannot create file %1").arg(path));
    };
    QSaveFile file(path);
    // A writable file in a folder we may not create files in is written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw cannotCreate();
    // The explicit flush: the last bytes may still sit in QSaveFile's buffer, and
    // commit() would put a file in place whose end could not be written.
    const bool written =
        produce([&](const char* data, qsizetype size) { return file.write(data, size) == size; }) &&
        file.flush();
    if (!written) {
        file.cancelWriting();
        throw Exception(QStringLiteral("Failed to Save Stream"));
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::RenameError)
            throw cannotCreate();
        throw Exception(QStringLiteral("Failed to Save Stream"));
    }
}

void writeInPlace(const QString& path, const QString& target, const ByteProducer& produce) {
    const Exception cannotCreate(QStringLiteral("Cannot create file %1").arg(path));
    const Exception failed(QStringLiteral("Failed to Save Stream"));

    QFile file(target);
    // Unbuffered: a write that failed must not linger in a buffer and come back
    // over the restored bytes.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw cannotCreate;

    // The backup is a hidden file beside the document, readable by its maker
    // alone. A folder the user may write files in but not create them in (a
    // shared site folder, say) takes none: the backup then goes to the
    // temporary folder, which serves as well for putting the text back.
    const QFileInfo info(target);
    QTemporaryFile backup(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                          QStringLiteral(".XXXXXX~"));
    // QTemporaryFile makes a file without a name until its name is asked for; a
    // backup must have one on disk for as long as the document is half-written.
    const auto openNamed = [&backup] { return backup.open() && !backup.fileName().isEmpty(); };
    if (!openNamed()) {
        backup.close();
        backup.setFileTemplate(QDir::tempPath() + QStringLiteral("/taviro-backup.XXXXXX"));
        if (!openNamed())
            throw cannotCreate;
    }
    const qint64 oldSize = file.size();
    if (!copyAll(file, backup) || !flushToDisk(backup) || backup.size() != oldSize)
        throw failed; // the backup goes with `backup`; the document is untouched

    // Over the old bytes, then cut to the new length.
    const bool written =
        file.seek(0) &&
        produce([&](const char* data, qsizetype size) { return file.write(data, size) == size; }) &&
        file.flush() && file.resize(file.pos()) && flushToDisk(file);
    if (written)
        return; // the backup is removed as `backup` goes

    const bool restored =
        file.seek(0) && copyAll(backup, file) && file.resize(oldSize) && flushToDisk(file);
    // Should the old content not go back, the backup beside the file is all
    // that is left of it: keep it.
    if (!restored)
        backup.setAutoRemove(false);
    throw failed;
}

} // namespace

void writeFileSafely(const QString& path, const ByteProducer& produce) {
    const QFileInfo info(path);
    if (path.isEmpty() || isReadOnlyFile(info))
        throw Exception(QStringLiteral("Cannot create file %1").arg(path));
    // A link is followed: the file it names is the one saved.
    const QString target = info.exists() ? info.canonicalFilePath() : QString();
    if (!target.isEmpty() && mustWriteInPlace(target))
        writeInPlace(path, target, produce);
    else
        replaceFile(path, produce);
}

} // namespace taviro
