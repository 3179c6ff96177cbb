#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace taviro {

// Reads one FTP reply (RFC 959 section 4.2) from bytes that arrive in pieces
// of any size. A reply is one line "xyz text", or several lines starting with
// "xyz-" and ending with a line that starts with the same "xyz " ("xyz" alone
// on its line ends it too). Its code is the number formed by the leading
// digits of its first line.
class FtpReplyParser {
public:
    // A broken or hostile server must not make the client hold unbounded text.
    static constexpr qsizetype MaxLineLength = 64 * 1024;  // bytes, line break included
    static constexpr qsizetype MaxReplyLength = 64 * 1024; // all lines together

    enum class State { NeedMore, Complete, LineTooLong, ReplyTooLong };

    // Takes bytes up to the end of the reply and returns how many it took;
    // what follows belongs to the next reply.
    qsizetype feed(QByteArrayView bytes);

    State state() const { return m_state; }
    bool complete() const { return m_state == State::Complete; }
    bool failed() const { return m_state == State::LineTooLong || m_state == State::ReplyTooLong; }

    // Valid once complete.
    int code() const { return m_code; }
    // The first line as received, its line break included: the text a refusal
    // reports.
    const QByteArray& firstLine() const { return m_firstLine; }
    // Every line of the reply as received.
    const QByteArray& text() const { return m_text; }

    // Ready for the next reply.
    void reset() { *this = FtpReplyParser(); }

    // The code of a first line: its leading decimal digits, 0 when it has none;
    // absurdly long digit runs saturate.
    static int leadingCode(QByteArrayView line);

private:
    void finishLine();

    State m_state = State::NeedMore;
    QByteArray m_line; // the line being read
    QByteArray m_text;
    QByteArray m_firstLine;
    QByteArray m_multiLinePrefix; // "xyz" while inside a multi-line reply
    int m_code = 0;
};

} // namespace taviro
