#include "RsRegistry.h"

#include "Exceptions.h"
#include "KeyStore.h"
#include "NumberConvert.h"

#include <optional>

namespace taviro {

TRsRegistry::TRsRegistry(QObject* owner) : TRsRegistry(KeyStore::defaultPath(), owner) {}

TRsRegistry::TRsRegistry(const QString& storePath, QObject* owner)
    : QObject(owner), m_storePath(storePath) {}

// The frame every operation runs in: open a handle, open BaseKey, run the section step,
// release the handle. A failure goes to the operation's handler when one is assigned and
// is raised as a plain Exception with the same message otherwise.
template <typename Result, typename Section>
Result TRsRegistry::run(Access access, Result resultAfterHandler, Section section) {
    const bool writing = access == Access::Write;
    std::optional<KeyStore> store;
    std::optional<Result> result;
    QString failure;
    bool keyNotFound = false;
    try {
        store.emplace(m_storePath);
        if (store->setCurrentKey(BaseKey, writing && !DontCreate)) {
            result = section(*store);
        } else {
            keyNotFound = !writing;
            failure = writing ? QStringLiteral("Cannot open key to write")
                              : QStringLiteral("Cannot open key to read");
        }
    } catch (const Exception& e) {
        failure = e.Message();
    }
    if (result)
        return *result;

    // The handler runs with the handle still open; the handle is released when this frame
    // unwinds, also when the handler raises. It is called through a copy so that a handler
    // that reassigns itself does not pull the running function from under its own feet.
    if (const TNotifyEvent handler = writing ? OnWriteError : OnReadError) {
        handler(this);
        return resultAfterHandler;
    }
    store.reset();
    if (keyNotFound)
        throw EKeyNotFound(failure);
    throw Exception(failure);
}

QString TRsRegistry::readText(KeyStore& store, const QString& defaultText) {
    const std::optional<KeyStore::Key> key = store.openKey(TargetKey);
    if (!key || !store.valueExists(*key, TargetValue))
        return defaultText;
    return store.readString(*key, TargetValue);
}

int TRsRegistry::readInteger(KeyStore& store, int defaultValue) {
    const std::optional<KeyStore::Key> key = store.openKey(TargetKey);
    if (!key || !store.valueExists(*key, TargetValue))
        return defaultValue;
    return tryStrToInt(store.readString(*key, TargetValue)).value_or(defaultValue);
}

void TRsRegistry::writeText(KeyStore& store, const QString& text) {
    // TargetKey is created whatever DontCreate says: that setting only guards BaseKey.
    store.createKey(TargetKey);
    if (const std::optional<KeyStore::Key> key = store.openKey(TargetKey))
        store.writeString(*key, TargetValue, text);
}

QString TRsRegistry::ReadString() {
    return run<QString>(Access::Read, QString(),
                        [&](KeyStore& store) { return readText(store, QStringLiteral("None")); });
}

bool TRsRegistry::ReadBool() {
    return run<bool>(Access::Read, false,
                     [&](KeyStore& store) { return readInteger(store, 0) != 0; });
}

int TRsRegistry::ReadInteger() {
    return run<int>(Access::Read, -1, [&](KeyStore& store) { return readInteger(store, -1); });
}

void TRsRegistry::ReadSection(QStringList* retvals) {
    if (!retvals) {
        if (const TNotifyEvent handler = OnReadError) {
            handler(this);
            return;
        }
        throw Exception(QStringLiteral("RsRegistry - Read Section retvals is NULL"));
    }
    run<bool>(Access::Read, false, [&](KeyStore& store) {
        if (const std::optional<KeyStore::Key> key = store.openKey(TargetKey)) {
            retvals->clear();
            retvals->append(store.valueNames(*key));
        }
        return true;
    });
}

bool TRsRegistry::WriteString(const QString& value) {
    return run<bool>(Access::Write, false, [&](KeyStore& store) {
        writeText(store, value);
        return true;
    });
}

bool TRsRegistry::WriteBool(bool value) {
    return WriteString(value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TRsRegistry::WriteInteger(int value) {
    return WriteString(IntToStr(value));
}

} // namespace taviro
