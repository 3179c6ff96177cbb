#pragma once

#include <optional>
#include <QString>

namespace taviro {

// The program's integer syntax, shared by every place that turns text into a number:
// any number of leading spaces (not tabs), then either an optional sign and decimal digits
// within the signed 32-bit range, or, without a sign, one of the prefixes "$", "x", "X",
// "0x", "0X" and at most eight significant hexadecimal digits taken as a 32-bit pattern
// ("$FFFFFFFF" is -1). Nothing may follow; an empty text does not convert.
// QString::toInt is no substitute: it accepts trailing blanks and octal.
std::optional<int> tryStrToInt(QStringView text);

// As tryStrToInt, but a text that does not convert raises EConvertError
// "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

// The value of one hexadecimal digit (ASCII only, either case), or -1.
int hexDigitValue(QChar c);

// Plain decimal: a "-" before negative numbers, no leading zeros or blanks.
QString IntToStr(int value);

} // namespace taviro
