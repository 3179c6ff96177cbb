#pragma once

#include <optional>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace taviro {

// One value of a key as the store file holds it. Text values are kept as text; the other
// kinds are kept as their raw bytes so that rewriting the file never alters them.
struct RegValue {
    enum class Kind {
        Text,  // "name"="text"
        DWord, // "name"=dword:0000000a (data: 4 bytes, little-endian)
        Hex,   // "name"=hex:..  or  "name"=hex(N):..  (data: the bytes, hexType: N)
    };

    QString name;
    Kind kind = Kind::Text;
    quint32 hexType = 3; // 3 is written as plain "hex:"
    QString text;
    QByteArray data;

    // Whether the value reads as text: text values, typed strings (hex(1), hex(2)) and any
    // value without data.
    bool readsAsText() const;
    // The text it reads as, up to the first NUL; only meaningful when readsAsText().
    QString asText() const;
};

// A key and everything below it. Names compare without regard to case and keep the case
// they were created with; values and subkeys keep the order in which they were added.
struct RegKey {
    QString name;
    std::vector<RegValue> values;
    std::vector<RegKey> subkeys;

    const RegKey* findSubkey(QStringView name) const;
    RegKey* findSubkey(QStringView name);
    const RegValue* findValue(QStringView name) const;
    // Replaces any value of the same name, whatever its kind, keeping the name's first case.
    void setValue(RegValue value);
};

// Follows a path of key names from root; null when a key on the way is missing.
const RegKey* findKey(const RegKey& root, const QStringList& path);
RegKey* findKey(RegKey& root, const QStringList& path);
// Creates every missing key on the path; returns the last one. *created tells whether
// anything was added.
RegKey& ensureKey(RegKey& root, const QStringList& path, bool* created = nullptr);

// The text before its first NUL (all of it when there is none): a store value ends there.
QString upToNul(const QString& text);

// A key name the file can hold: not empty, no backslash, no control characters.
bool isValidKeyName(QStringView name);

struct RegSyntaxError {
    int line = 0; // 1-based
    QString reason;
};

// Reads the text of a store file: "REGEDIT4", then [HKEY_CURRENT_USER\...] sections with
// their value lines. An empty text is an empty store. On failure returns nothing and
// fills *error with the line and the reason.
std::optional<RegKey> parseRegFile(QStringView text, RegSyntaxError* error);

// Writes the whole tree back as REGEDIT4 text, every key as its own section so that keys
// without values survive, lines separated by LF.
QString formatRegFile(const RegKey& root);

} // namespace taviro
