#pragma once

#include <functional>
#include <QObject>
#include <QString>
#include <QStringList>

namespace taviro {

class KeyStore;

// Reads and writes one named text value at a time below BaseKey in the per-user key store.
// Set TargetKey and TargetValue, then call an operation. Each operation opens its own store
// handle and releases it before it returns or raises; nothing is cached between calls.
//
// A failure raises an Exception, or, when the operation's handler is assigned, calls the
// handler with the component as Sender and returns without raising: ReadString then
// returns empty text, ReadBool false, ReadInteger -1 and the writes false.
class TRsRegistry : public QObject {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TRsRegistry* Sender)>;

    // The store is the current user's (KeyStore::defaultPath()).
    explicit TRsRegistry(QObject* owner = nullptr);
    // The store kept in storePath, for tests and tools.
    explicit TRsRegistry(const QString& storePath, QObject* owner = nullptr);

    const QString& storePath() const { return m_storePath; }

    // Published properties: plain fields, read and written directly.
    QString BaseKey = QStringLiteral("\\Software\\Dizez\\");
    QString TargetKey;
    QString TargetValue;
    TNotifyEvent OnReadError;  // takes the failures of the four reads
    TNotifyEvent OnWriteError; // takes the failures of the three writes
    bool DontCreate = false;   // writes then do not create a missing BaseKey

    // A missing TargetKey or value reads as "None"; a missing BaseKey is a failure.
    QString ReadString();
    // A missing value or a text that is not an integer reads as false; any other integer
    // reads as its truth.
    bool ReadBool();
    // A missing value or a text that is not an integer (see tryStrToInt) reads as -1.
    int ReadInteger();
    // Replaces the list by the value names of TargetKey; a missing TargetKey leaves it as
    // it was. A null list is a failure that never touches the store.
    void ReadSection(QStringList* retvals);

    // Each creates a missing TargetKey (and BaseKey unless DontCreate) and returns true
    // once the value is stored; booleans are stored as "1" and "0", integers in decimal.
    bool WriteString(const QString& value);
    bool WriteBool(bool value);
    bool WriteInteger(int value);

private:
    enum class Access { Read, Write };

    template <typename Result, typename Section>
    Result run(Access access, Result resultAfterHandler, Section section);

    QString readText(KeyStore& store, const QString& defaultText);
    int readInteger(KeyStore& store, int defaultValue);
    void writeText(KeyStore& store, const QString& text);

    QString m_storePath;
};

} // namespace taviro
