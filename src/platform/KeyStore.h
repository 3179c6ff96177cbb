#pragma once

#include "RegFile.h"

#include <atomic>
#include <functional>
#include <optional>
#include <QString>
#include <QStringList>

namespace taviro {

// One handle on the per-user key store: a hierarchy of keys holding named values, kept in
// one REGEDIT4 text file. A handle lives for one operation: it reads the file when it is
// opened and works on that snapshot; every change takes the file's lock, reads the file
// afresh, applies its one change and replaces the file atomically, so two editors writing
// at once never lose each other's values and a crash never leaves half a file.
//
// Paths use the backslash. A path that begins with a backslash starts at the root (the
// backslash is dropped), any other path at the handle's current key; an empty path is the
// current key itself and a trailing backslash adds no level. Key and value names compare
// without regard to case and keep the case they were created with; the empty value name
// is valid. Failures are raised as ERegistryException.
class KeyStore {
public:
    // A key found by openKey(); it names the key, it does not pin it.
    class Key {
    public:
        const QStringList& path() const { return m_path; }

    private:
        friend class KeyStore;
        explicit Key(QStringList path) : m_path(std::move(path)) {}
        QStringList m_path;
    };

    // The store file for the current user: $XDG_CONFIG_HOME/taviro/registry.reg.
    static QString defaultPath();

    // Opens a handle at the root of the store kept in filePath. A file that does not
    // exist is an empty store; one that cannot be read or does not parse raises a message
    // naming the file (and the line).
    explicit KeyStore(QString filePath);
    ~KeyStore();
    KeyStore(const KeyStore&) = delete;
    KeyStore& operator=(const KeyStore&) = delete;

    const QString& filePath() const { return m_filePath; }

    // Makes the key at path the current key, creating it and every missing key on its
    // path when canCreate is set. Reports failure; raises nothing.
    bool setCurrentKey(const QString& path, bool canCreate);

    // The key at path if it exists; never creates anything, raises nothing.
    std::optional<Key> openKey(const QString& path) const;

    // Creates the key at path and every missing key on its path; an existing key keeps its
    // values. Raises "Failed to create key <path as passed>".
    void createKey(const QString& path);

    bool valueExists(const Key& key, const QString& name) const;

    // The value as text: a text value up to its first NUL, a value without data as empty
    // text. Raises "Invalid data type for '<name>'" for any other kind of value and
    // "Failed to get data for '<name>'" when there is no such value.
    QString readString(const Key& key, const QString& name) const;

    // Stores a text value, replacing any value of that name whatever its kind. The text
    // ends at its first NUL. Raises "Failed to set data for '<name>'".
    void writeString(const Key& key, const QString& name, const QString& text);

    // The names of the key's values, in the order they were first stored.
    QStringList valueNames(const Key& key) const;

    // How many handles are open in this process; none may outlive the operation that
    // opened it.
    static int liveHandles() { return s_liveHandles.load(); }

private:
    std::optional<QStringList> resolve(const QString& path) const;
    RegKey readFile() const;
    // Under the lock: re-reads the file, lets change() alter the fresh tree and writes it
    // back when change() says it altered something. A file that does not parse is raised
    // as such and never overwritten; every other failure raises failureMessage.
    void update(const std::function<bool(RegKey&)>& change, const QString& failureMessage);

    QString m_filePath;
    RegKey m_root;
    QStringList m_current;

    static std::atomic<int> s_liveHandles;
};

} // namespace taviro
