#include "NumberConvert.h"

#include "Exceptions.h"

#include <cstdint>
#include <limits>

namespace taviro {

// Only ASCII digits count: QChar::isDigit would also take other scripts' digits.
int hexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

namespace {

std::optional<int> parseHex(QStringView digits) {
    if (digits.isEmpty())
        return std::nullopt;
    std::uint32_t pattern = 0;
    int significant = 0;
    for (QChar c : digits) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        if (significant > 0 || d != 0)
            ++significant;
        if (significant > 8)
            return std::nullopt;
        pattern = (pattern << 4) | std::uint32_t(d);
    }
    // The digits are a bit pattern, so "$80000000" is the smallest int, not an overflow.
    return static_cast<int>(pattern);
}

std::optional<int> parseDecimal(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the 32-bit range,
    // so any number of leading zeros is fine and no run of digits can overflow.
    const std::int64_t limit = negative ? -std::int64_t(std::numeric_limits<int>::min())
                                        : std::int64_t(std::numeric_limits<int>::max());
    std::int64_t magnitude = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (u - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<int> tryStrToInt(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ')
        ++start;
    text = text.mid(start);

    if (text.startsWith(u'$') || text.startsWith(u'x') || text.startsWith(u'X'))
        return parseHex(text.mid(1));
    if (text.startsWith(u"0x") || text.startsWith(u"0X"))
        return parseHex(text.mid(2));
    return parseDecimal(text);
}

int StrToInt(const QString& text) {
    if (const auto value = tryStrToInt(text))
        return *value;
    throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

QString IntToStr(int value) {
    return QString::number(value);
}

} // namespace taviro
