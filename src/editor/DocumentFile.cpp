#include "DocumentFile.h"

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "SafeWrite.h"


#include <algorithm>
#include <array>
#include <langinfo.h>

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

// Encodes `text` into `out`, which has room for three bytes per character, and
// returns the end of what was written.
char* encodeInto(QStringView text, char* out, TextEncoding encoding) {
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
        } else if (encoding == TextEncoding::Windows1252) {
            const int b = AnsiCodec::fromUnicode(QChar(u));
            *out++ = static_cast<char>(b >= 0 ? b : '?');
        } else if (u < 0x800) {
            *out++ = static_cast<char>(0xC0 | (u >> 6));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && p + 1 < end && QChar::isLowSurrogate(p[1])) {
            const char32_t c = QChar::surrogateToUcs4(u, p[1]);
            ++p;
            *out++ = static_cast<char>(0xF0 | (c >> 18));
            *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (QChar::isSurrogate(u)) {
            // Half a character has no UTF-8 form.
            *out++ = '?';
        } else {
            *out++ = static_cast<char>(0xE0 | (u >> 12));
            *out++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr qsizetype kByteOrderMarkSize = 3;

bool startsWithByteOrderMark(const QByteArray& bytes) {
    return bytes.startsWith(QByteArrayView(kByteOrderMark, kByteOrderMarkSize));
}

// Windows-1252 bytes to text, with the line breaks made "\n"; returns the end.
char16_t* decodeWindows1252(const unsigned char* p, const unsigned char* const end, char16_t* out) {
    const std::array<char16_t, 256>& table = decodeTable();
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
    return out;
}

// A continuation byte, 10xxxxxx.
inline bool isTrail(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// UTF-8 bytes to text, with the line breaks made "\n". Returns the end, or
// nullptr at the first sequence that is not UTF-8 (overlong forms, surrogates
// and code points beyond U+10FFFF included); with `lenient`, such a sequence
// becomes U+FFFD instead. `multiByte` tells whether any non-ASCII was seen.
// UTF-16 never needs more code units than UTF-8 has bytes.
char16_t* decodeUtf8(const unsigned char* p, const unsigned char* const end, char16_t* out,
                     bool lenient, bool& multiByte) {
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            if (c == '\r') {
                if (p < end && *p == '\n')
                    ++p;
                *out++ = u'\n';
            } else {
                *out++ = c;
            }
            continue;
        }
        multiByte = true;
        const qsizetype left = end - p;
        if (c >= 0xC2 && c <= 0xDF && left >= 2 && isTrail(p[1])) {
            *out++ = char16_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
            continue;
        }
        if (c >= 0xE0 && c <= 0xEF && left >= 3) {
            const unsigned char lo = c == 0xE0 ? 0xA0 : 0x80;
            const unsigned char hi = c == 0xED ? 0x9F : 0xBF;
            if (p[1] >= lo && p[1] <= hi && isTrail(p[2])) {
                *out++ = char16_t(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
                p += 3;
                continue;
            }
        }
        if (c >= 0xF0 && c <= 0xF4 && left >= 4) {
            const unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
            const unsigned char hi = c == 0xF4 ? 0x8F : 0xBF;
            if (p[1] >= lo && p[1] <= hi && isTrail(p[2]) && isTrail(p[3])) {
                const char32_t cp = (char32_t(c & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                                    (char32_t(p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
                *out++ = QChar::highSurrogate(cp);
                *out++ = QChar::lowSurrogate(cp);
                p += 4;
                continue;
            }
        }
        if (!lenient)
            return nullptr;
        // One U+FFFD for the lead byte and the continuation bytes that fit it.
        *out++ = QChar::ReplacementCharacter;
        ++p;
        const int fitting = c >= 0xC2 && c <= 0xDF   ? 1
                            : c >= 0xE0 && c <= 0xEF ? 2
                            : c >= 0xF0 && c <= 0xF4 ? 3
                                                     : 0;
        for (int i = 0; i < fitting && p < end; ++i, ++p) {
            const unsigned char lo = i > 0 ? 0x80 : c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
            const unsigned char hi = i > 0 ? 0xBF : c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
            if (*p < lo || *p > hi)
                break;
        }
    }
    return out;
}

// A declared character set that an ASCII page is UTF-8 under. Browsers read a
// UTF-16 declaration in a page of single bytes as UTF-8 too.
bool isUtf8Charset(QByteArrayView charset) {
    return charset.isEmpty() || charset == "utf-8" || charset == "utf8" ||
           charset == "unicode-1-1-utf-8" || charset.startsWith("utf-16") || charset == "unicode" ||
           charset == "ucs-2";
}

} // namespace

QString encodingName(TextEncoding encoding) {
    return encoding == TextEncoding::Utf8 ? QStringLiteral("UTF-8")
                                          : QStringLiteral("Windows-1252");
}

DecodedText decode(const QByteArray& bytes) {
    DecodedText decoded;
    QString& text = decoded.text;
    text.resize(bytes.size());
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    const auto* const first = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const last = first + bytes.size();

    const bool mark = startsWithByteOrderMark(bytes);
    bool multiByte = false;
    char16_t* end =
        decodeUtf8(mark ? first + kByteOrderMarkSize : first, last, begin, false, multiByte);
    if (end && (mark || multiByte || isUtf8Charset(declaredCharset(bytes)))) {
        decoded.format = {TextEncoding::Utf8, mark};
    } else if (!end) {
        // Not UTF-8: single bytes, every one of them kept.
        end = decodeWindows1252(first, last, begin);
    }
    text.truncate(end - begin);
    return decoded;
}

namespace {

// Bytes per piece when a page is read a piece at a time.
constexpr qsizetype kPieceBytes = 1024 * 1024;

// The end of the piece that starts at `from`: just after a LF about kPieceBytes
// on, or the end of the page. A piece then never splits a line break or (LF not
// being part of any) a UTF-8 sequence, so pieces decode as the whole page would.
qsizetype pieceEnd(QByteArrayView bytes, qsizetype from) {
    if (bytes.size() - from <= kPieceBytes)
        return bytes.size();
    const qsizetype lf = bytes.indexOf('\n', from + kPieceBytes - 1);
    return lf < 0 ? bytes.size() : lf + 1;
}

} // namespace

void FormatDetector::add(QByteArrayView piece) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const auto* const end = p + piece.size();
    if (m_first) {
        m_first = false;
        m_mark = piece.startsWith(QByteArrayView(kByteOrderMark, kByteOrderMarkSize));
        if (m_mark)
            p += kByteOrderMarkSize;
        // A declaration counts in the page's first 1,024 bytes only.
        m_head = piece.first(std::min<qsizetype>(1024, piece.size())).toByteArray();
    }
    if (!m_valid || p >= end)
        return;
    // The text goes into a scratch buffer only: what counts is whether the bytes
    // are UTF-8 all through.
    m_scratch.resize(end - p);
    m_valid = decodeUtf8(p, end, reinterpret_cast<char16_t*>(m_scratch.data()), false,
                         m_multiByte) != nullptr;
}

DocumentFormat FormatDetector::format() const {
    if (m_valid && (m_mark || m_multiByte || isUtf8Charset(declaredCharset(m_head))))
        return {TextEncoding::Utf8, m_mark};
    return {TextEncoding::Windows1252, false};
}

DocumentFormat detectFormat(const QByteArray& bytes) {
    FormatDetector detector;
    for (qsizetype from = 0; from < bytes.size();) {
        const qsizetype to = pieceEnd(bytes, from);
        detector.add(QByteArrayView(bytes).sliced(from, to - from));
        from = to;
    }
    return detector.format();
}

DocumentFormat formatAs(QByteArrayView start, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252)
        return {TextEncoding::Windows1252, false};
    return {TextEncoding::Utf8,
            start.startsWith(QByteArrayView(kByteOrderMark, kByteOrderMarkSize))};
}

QString decodePiece(QByteArrayView piece, bool first, DocumentFormat format) {
    const auto* p = reinterpret_cast<const unsigned char*>(piece.data());
    const auto* const end = p + piece.size();
    if (first && format.byteOrderMark)
        p += std::min<qsizetype>(kByteOrderMarkSize, piece.size());
    QString text(end - p, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* last = nullptr;
    if (format.encoding == TextEncoding::Windows1252) {
        last = decodeWindows1252(p, end, begin);
    } else {
        bool multiByte = false;
        last = decodeUtf8(p, end, begin, true, multiByte);
    }
    text.truncate(last - begin);
    return text;
}

QString decodePiece(const QByteArray& bytes, qsizetype& from, DocumentFormat format) {
    if (from >= bytes.size())
        return QString();
    const qsizetype to = pieceEnd(bytes, from);
    const QString text =
        decodePiece(QByteArrayView(bytes).sliced(from, to - from), from == 0, format);
    from = to;
    return text;
}

DecodedText decodeAs(const QByteArray& bytes, TextEncoding encoding) {
    DecodedText decoded;
    decoded.text.resize(bytes.size());
    char16_t* const begin = reinterpret_cast<char16_t*>(decoded.text.data());
    const auto* const first = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto* const last = first + bytes.size();
    char16_t* end = nullptr;
    if (encoding == TextEncoding::Windows1252) {
        end = decodeWindows1252(first, last, begin);
    } else {
        const bool mark = startsWithByteOrderMark(bytes);
        decoded.format = {TextEncoding::Utf8, mark};
        bool multiByte = false;
        end = decodeUtf8(mark ? first + kByteOrderMarkSize : first, last, begin, true, multiByte);
    }
    decoded.text.truncate(end - begin);
    return decoded;
}

QString fromBytes(const QByteArray& bytes) {
    return decode(bytes).text;
}

// --- characters a document can hold ----------------------------------------------

QString sanitize(const QString& text, TextEncoding encoding) {
    if (encoding == TextEncoding::Windows1252)
        return AnsiCodec::sanitize(text);
    const auto unpaired = [&](qsizetype i) {
        const QChar ch = text.at(i);
        if (ch.isHighSurrogate())
            return i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate();
        return ch.isLowSurrogate() && (i == 0 || !text.at(i - 1).isHighSurrogate());
    };
    qsizetype i = 0;
    while (i < text.size() && !unpaired(i))
        ++i;
    if (i == text.size())
        return text;
    QString out = text;
    for (; i < out.size(); ++i) {
        if (unpaired(i))
            out[i] = QLatin1Char('?');
    }
    return out;
}

// --- new documents -----------------------------------------------------------------

namespace {

std::optional<QByteArray>& codesetInPlace() {
    static std::optional<QByteArray> codeset;
    return codeset;
}

} // namespace

TextEncoding encodingForCodeset(QByteArrayView codeset) {
    const QByteArray name = codeset.toByteArray().toLower();
    return name == "utf-8" || name == "utf8" ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

QByteArray localeCodeset() {
    if (codesetInPlace())
        return *codesetInPlace();
    // QCoreApplication has taken the locale from the environment by now.
    return QByteArray(nl_langinfo(CODESET));
}

void setLocaleCodeset(std::optional<QByteArray> codeset) {
    codesetInPlace() = std::move(codeset);
}

DocumentFormat newDocumentFormat() {
    return {encodingForCodeset(localeCodeset()), false};
}

namespace {

// Hands `text` in `format` to `write` a slice at a time, from one small buffer: a
// large page then needs no second whole copy in memory, and the buffer stays in
// the cache. Stops when `write` returns false and returns false then.
template <typename Write> bool encodeSlices(QStringView text, DocumentFormat format, Write write) {
    if (format.encoding == TextEncoding::Utf8 && format.byteOrderMark &&
        !write(kByteOrderMark, kByteOrderMarkSize))
        return false;
    constexpr qsizetype sliceChars = 128 * 1024;
    QByteArray buffer(3 * sliceChars, Qt::Uninitialized);
    for (qsizetype from = 0; from < text.size();) {
        qsizetype length = std::min(sliceChars, text.size() - from);
        // A character beyond the basic plane is never cut in two.
        if (from + length < text.size() && text.at(from + length - 1).isHighSurrogate())
            --length;
        const char* end = encodeInto(text.sliced(from, length), buffer.data(), format.encoding);
        if (!write(buffer.constData(), end - buffer.constData()))
            return false;
        from += length;
    }
    return true;
}

} // namespace

void save(const QString& path, QStringView text, DocumentFormat format) {
    writeFileSafely(
        path, [text, format](const ByteSink& sink) { return encodeSlices(text, format, sink); });
}

void save(const QString& path, const TextPieces& pieces, DocumentFormat format) {
    writeFileSafely(path, [&pieces, format](const ByteSink& sink) {
        // The mark goes with the first piece only.
        DocumentFormat next = format;
        for (QString piece = pieces(); !piece.isEmpty(); piece = pieces()) {
            if (!encodeSlices(piece, next, sink))
                return false;
            next.byteOrderMark = false;
        }
        return !next.byteOrderMark || encodeSlices(QStringView(), next, sink);
    });
}

} // namespace taviro::DocumentFile
