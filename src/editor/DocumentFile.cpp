#include "DocumentFile.h"

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "SafeWrite.h"

#include <QFile>

#include <algorithm>
#include <array>

namespace taviro::DocumentFile {

namespace {

// Byte to character for the whole code page, built once from the codec. Files are
// large and mostly ASCII: a table read per byte is about twice as fast as asking
// the codec (another translation unit) for every byte.
const std::array<char16_t, 256>& decodeTable() {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = AnsiCodec::toUnicode(static_cast<unsigned char>(b)).unicode();
        return t;
    }();
    return table;
}

// Encodes `text` into `out`, which has room for two bytes per character, and
// returns the end of what was written.
char* encodeInto(QStringView text, char* out) {
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    for (; p < end; ++p) {
        const char16_t u = *p;
        // Nearly every character of a page: no call, no table.
        if (u < 0x80 && u != u'\n') {
            *out++ = static_cast<char>(u);
        } else if (u == u'\n') {
            *out++ = '\r';
            *out++ = '\n';
        } else {
            const int b = AnsiCodec::fromUnicode(QChar(u));
            *out++ = static_cast<char>(b >= 0 ? b : '?');
        }
    }
    return out;
}

} // namespace

QString fromBytes(const QByteArray& bytes) {
    const std::array<char16_t, 256>& table = decodeTable();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* out = begin;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const unsigned char* const end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p++;
        if (c == '\r') {
            if (p < end && *p == '\n')
                ++p;
            *out++ = u'\n';
        } else {
            *out++ = table[c];
        }
    }
    text.truncate(out - begin);
    return text;
}

QString load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1").arg(path));
    return fromBytes(file.readAll());
}

namespace {

// Hands `text` to `sink` encoded, a slice at a time through one small buffer: a
// large page then needs no second whole copy in memory, and the buffer stays in
// the cache.
bool encodeSlices(QStringView text, const ByteSink& sink) {
    constexpr qsizetype sliceChars = 128 * 1024;
    QByteArray buffer(2 * sliceChars, Qt::Uninitialized);
    for (qsizetype from = 0; from < text.size(); from += sliceChars) {
        const QStringView slice = text.sliced(from, std::min(sliceChars, text.size() - from));
        const qsizetype length = encodeInto(slice, buffer.data()) - buffer.constData();
        if (!sink(buffer.constData(), length))
            return false;
    }
    return true;
}

} // namespace

void save(const QString& path, QStringView text) {
    writeFileSafely(path, [text](const ByteSink& sink) { return encodeSlices(text, sink); });
}

} // namespace taviro::DocumentFile
