#include "AnsiCodec.h"

#include <array>

namespace taviro::AnsiCodec {

namespace {

// 0x80..0x9F; the undefined slots keep their own value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int fromSpecial(char16_t u) {
    for (int i = 0; i < int(kHigh.size()); ++i) {
        if (kHigh[i] == u)
            return 0x80 + i;
    }
    return -1;
}

} // namespace

QChar toUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(kHigh[byte - 0x80]);
    return QChar(byte);
}

int fromUnicode(QChar ch) {
    const char16_t u = ch.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    if (u >= 0x80 && u <= 0x9F) {
        // Only the five undefined slots stand for themselves.
        return (u == 0x81 || u == 0x8D || u == 0x8F || u == 0x90 || u == 0x9D) ? int(u) : -1;
    }
    return fromSpecial(u);
}

QString sanitize(const QString& text) {
    qsizetype first = 0;
    while (first < text.size() && canEncode(text.at(first)))
        ++first;
    if (first == text.size())
        return text;
    QString out = text.left(first);
    out.reserve(text.size());
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (canEncode(ch)) {
            out.append(ch);
            continue;
        }
        // A character beyond the basic plane is one character to the user: one "?".
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        out.append(QLatin1Char('?'));
    }
    return out;
}

} // namespace taviro::AnsiCodec
