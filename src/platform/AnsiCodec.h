#pragma once

#include <QString>
#include <QStringView>

namespace taviro {

// The document's single-byte code page, Windows-1252, mapped byte for byte to
// Unicode. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) map to the C1 control of the same value, so every byte value
// survives a decode followed by an encode.
namespace AnsiCodec {

QChar toUnicode(unsigned char byte);

// The byte for a character, or -1 when the code page cannot hold it.
int fromUnicode(QChar ch);

inline bool canEncode(QChar ch) {
    return fromUnicode(ch) >= 0;
}

// Replaces every character the code page cannot hold by "?". Returns the text
// unchanged (shared, no copy) when there is nothing to replace.
QString sanitize(const QString& text);

} // namespace AnsiCodec
} // namespace taviro
