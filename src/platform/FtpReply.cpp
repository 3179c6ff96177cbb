#include "FtpReply.h"

#include <algorithm>
#include <utility>

namespace taviro {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool startsWithThreeDigits(QByteArrayView line) {
    return line.size() >= 3 && isDigit(line[0]) && isDigit(line[1]) && isDigit(line[2]);
}

} // namespace

int FtpReplyParser::leadingCode(QByteArrayView line) {
    constexpr int Saturated = 999999999;
    qint64 code = 0;
    for (char c : line) {
        if (!isDigit(c))
            break;
        code = std::min<qint64>(code * 10 + (c - '0'), Saturated);
    }
    return int(code);
}

qsizetype FtpReplyParser::feed(QByteArrayView bytes) {
    qsizetype used = 0;
    while (m_state == State::NeedMore && used < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', used);
        const qsizetype end = lf < 0 ? bytes.size() : lf + 1;
        if (m_line.size() + (end - used) > MaxLineLength) {
            m_state = State::LineTooLong;
            break;
        }
        m_line.append(bytes.sliced(used, end - used));
        used = end;
        if (lf >= 0)
            finishLine();
    }
    return used;
}

void FtpReplyParser::finishLine() {
    const QByteArray line = std::exchange(m_line, QByteArray());
    if (m_text.size() + line.size() > MaxReplyLength) {
        m_state = State::ReplyTooLong;
        return;
    }
    const bool first = m_text.isEmpty();
    m_text += line;

    if (first) {
        m_firstLine = line;
        m_code = leadingCode(line);
        if (startsWithThreeDigits(line) && line.size() > 3 && line[3] == '-')
            m_multiLinePrefix = line.left(3);
        else
            m_state = State::Complete;
        return;
    }

    // Inside a multi-line reply only "xyz " (or "xyz" alone) with the first
    // line's code ends it; other lines, even ones starting with digits, are text.
    if (line.startsWith(m_multiLinePrefix)) {
        const QByteArrayView rest = QByteArrayView(line).sliced(3);
        if (rest.startsWith(' ') || rest == "\r\n" || rest == "\n")
            m_state = State::Complete;
    }
}

} // namespace taviro
