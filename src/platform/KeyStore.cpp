#include "KeyStore.h"

#include "Exceptions.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>

namespace taviro {

namespace {

// Another editor holds the lock only for one read-change-write of a small file, so a wait
// this long means something is wrong; the operation then fails instead of hanging.
constexpr int kLockWaitMs = 5000;
// QLockFile's own waiting doubles its pause after every attempt (100 ms, 200 ms, ...), so a
// writer that meets a busy lock could sit out many of the other side's writes and starve.
// Short even polls keep a waiting write close behind the one in progress.
constexpr int kLockPollMs = 5;

bool acquire(QLockFile& lock) {
    const QDeadlineTimer deadline(kLockWaitMs);
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired())
            return false;
        QThread::msleep(kLockPollMs);
    }
    return true;
}

[[noreturn]] void raiseUnreadable(const QString& filePath, const QString& reason) {
    throw ERegistryException(QStringLiteral("Cannot read settings file %1: %2")
                                 .arg(QDir::toNativeSeparators(filePath), reason));
}

// The line of the first byte sequence that is not UTF-8, for the error message.
int firstBadUtf8Line(const QByteArray& bytes) {
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        // decode() is lazy: only the conversion to QString runs the decoder.
        const QString decoded = decoder.decode(lines[i]);
        if (decoder.hasError())
            return int(i + 1);
    }
    return 1;
}

} // namespace

std::atomic<int> KeyStore::s_liveHandles{0};

QString KeyStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/taviro/registry.reg");
}

KeyStore::KeyStore(QString filePath) : m_filePath(std::move(filePath)) {
    m_root = readFile();
    ++s_liveHandles;
}

KeyStore::~KeyStore() {
    // Nothing to flush: every change was written out when it was made.
    --s_liveHandles;
}

std::optional<QStringList> KeyStore::resolve(const QString& path) const {
    QStringView rest = path;
    QStringList resolved = m_current;
    if (rest.startsWith(u'\\')) {
        resolved.clear();
        rest = rest.mid(1);
    }
    if (rest.endsWith(u'\\'))
        rest.chop(1);
    if (rest.isEmpty())
        return resolved;
    for (QStringView name : rest.split(u'\\')) {
        if (!isValidKeyName(name))
            return std::nullopt;
        resolved.append(name.toString());
    }
    return resolved;
}

RegKey KeyStore::readFile() const {
    QFile file(m_filePath);
    if (!file.exists())
        return RegKey{};
    if (!file.open(QIODevice::ReadOnly))
        raiseUnreadable(m_filePath, file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        raiseUnreadable(m_filePath, file.errorString());

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        raiseUnreadable(m_filePath,
                        QStringLiteral("line %1: not UTF-8 text").arg(firstBadUtf8Line(bytes)));

    RegSyntaxError error;
    std::optional<RegKey> root = parseRegFile(text, &error);
    if (!root)
        raiseUnreadable(m_filePath,
                        QStringLiteral("line %1: %2").arg(error.line).arg(error.reason));
    return std::move(*root);
}

void KeyStore::update(const std::function<bool(RegKey&)>& change, const QString& failureMessage) {
    const QFileInfo info(m_filePath);
    if (!QDir().mkpath(info.absolutePath()))
        throw ERegistryException(failureMessage);

    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    if (!acquire(lock))
        throw ERegistryException(failureMessage);

    // Another editor may have written since this handle was opened: apply the change to
    // what is on disk now, never to the snapshot, or its values would be lost.
    RegKey fresh = readFile();
    if (change(fresh)) {
        // A store file with no write bit was made read-only on purpose: refuse it as a
        // read-only document is refused, even for root, whom the system would let
        // replace it. A writable one keeps its mode (QSaveFile gives the new file the
        // old one's permissions).
        constexpr auto anyWrite =
            QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        const QFileInfo current(m_filePath);
        if (current.exists() && !(current.permissions() & anyWrite))
            throw ERegistryException(failureMessage);
        const QByteArray bytes = formatRegFile(fresh).toUtf8();
        // No direct-write fallback: writing in place could leave half a file behind.
        QSaveFile file(m_filePath);
        // The explicit flush: a small file sits in QSaveFile's buffer, and commit() would
        // put a file in place whose last bytes could not be written.
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.flush() || !file.commit())
            throw ERegistryException(failureMessage);
    }
    m_root = std::move(fresh);
}

bool KeyStore::setCurrentKey(const QString& path, bool canCreate) {
    const std::optional<QStringList> target = resolve(path);
    if (!target)
        return false;
    if (!findKey(m_root, *target)) {
        if (!canCreate)
            return false;
        try {
            update(
                [&](RegKey& root) {
                    bool created = false;
                    ensureKey(root, *target, &created);
                    return created;
                },
                QString());
        } catch (const Exception&) {
            return false;
        }
    }
    m_current = *target;
    return true;
}

std::optional<KeyStore::Key> KeyStore::openKey(const QString& path) const {
    const std::optional<QStringList> target = resolve(path);
    if (!target)
        return std::nullopt;
    // Hand out the names as stored, whatever case the caller used.
    QStringList stored;
    const RegKey* key = &m_root;
    for (const QString& name : *target) {
        key = key->findSubkey(name);
        if (!key)
            return std::nullopt;
        stored.append(key->name);
    }
    return Key(stored);
}

void KeyStore::createKey(const QString& path) {
    const QString failure = QStringLiteral("Failed to create key %1").arg(path);
    const std::optional<QStringList> target = resolve(path);
    if (!target)
        throw ERegistryException(failure);
    if (findKey(m_root, *target))
        return;
    update(
        [&](RegKey& root) {
            bool created = false;
            ensureKey(root, *target, &created);
            return created;
        },
        failure);
}

bool KeyStore::valueExists(const Key& key, const QString& name) const {
    const RegKey* found = findKey(m_root, key.path());
    return found && found->findValue(name);
}

QString KeyStore::readString(const Key& key, const QString& name) const {
    const RegKey* found = findKey(m_root, key.path());
    const RegValue* value = found ? found->findValue(name) : nullptr;
    if (!value)
        throw ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    if (!value->readsAsText())
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value->asText();
}

void KeyStore::writeString(const Key& key, const QString& name, const QString& text) {
    const QString failure = QStringLiteral("Failed to set data for '%1'").arg(name);
    RegValue value;
    value.name = name;
    value.kind = RegValue::Kind::Text;
    value.text = upToNul(text);
    update(
        [&](RegKey& root) {
            // Someone removed the key from the file since it was opened.
            RegKey* target = findKey(root, key.path());
            if (!target)
                throw ERegistryException(failure);
            target->setValue(value);
            return true;
        },
        failure);
}

QStringList KeyStore::valueNames(const Key& key) const {
    QStringList names;
    if (const RegKey* found = findKey(m_root, key.path())) {
        for (const RegValue& value : found->values)
            names.append(value.name);
    }
    return names;
}

} // namespace taviro
