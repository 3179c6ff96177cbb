#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <utility>

namespace taviro {

// Reads an HTTP answer as it arrives, in pieces of any size: the status line, the
// header lines up to the first empty line, then the body up to the end of the
// connection. Lines end in LF, a CR before it is dropped; header names are
// matched without regard to letter case.
//
// A broken or hostile server must not exhaust memory: a single status or header
// line longer than MaxLineLength, or an answer longer than MaxAnswerSize in all,
// stops the parser with an error.
class HttpAnswerParser {
public:
    static constexpr qsizetype MaxLineLength = 64 * 1024;
    static constexpr qint64 MaxAnswerSize = qint64(1) << 30;

    enum class Phase { StatusLine, Header, Body, Failed };
    enum class Error { None, LineTooLong, AnswerTooLarge };

    explicit HttpAnswerParser(qsizetype maxLine = MaxLineLength, qint64 maxAnswer = MaxAnswerSize)
        : m_maxLine(maxLine), m_maxAnswer(maxAnswer) {}

    // Takes the next bytes of the answer. After an error the parser takes nothing.
    void feed(QByteArrayView piece);

    Phase phase() const { return m_phase; }
    Error error() const { return m_error; }
    // The error as the user reads it; empty without one.
    QString errorText() const;
    // The message for an error with the default limits.
    static QString limitText(Error error, qsizetype maxLine = MaxLineLength,
                             qint64 maxAnswer = MaxAnswerSize);
    // Status and header lines completed so far: each one restarts the wait for the next.
    int linesCompleted() const { return m_lines; }
    qint64 bytesReceived() const { return m_total; }

    // The second blank-separated word of the status line, 0 when it is no number.
    int status() const { return m_status; }
    // The status line and header lines as they came.
    const QByteArray& header() const { return m_header; }
    // The text after the last "Set-Cookie:" line's colon; empty without one.
    const QByteArray& cookie() const { return m_cookie; }
    const QByteArray& location() const { return m_location; }
    bool hasLocation() const { return m_hasLocation; }
    // The announced body length, -1 when the server gave none.
    qint64 contentLength() const { return m_contentLength; }

    const QByteArray& body() const { return m_body; }
    QByteArray takeBody() { return std::exchange(m_body, {}); }
    qint64 bodySize() const { return m_bodySize; }

    // The status word of a status line, as the parser reads it.
    static int statusOf(QByteArrayView statusLine);

private:
    void fail(Error error);
    void consume(QByteArrayView piece);
    void completeLine(QByteArrayView line);
    void headerLine(QByteArrayView line);

    qsizetype m_maxLine;
    qint64 m_maxAnswer;
    Phase m_phase = Phase::StatusLine;
    Error m_error = Error::None;
    QByteArray m_partial; // the line that has not ended yet
    QByteArray m_header;
    QByteArray m_cookie;
    QByteArray m_location;
    bool m_hasLocation = false;
    QByteArray m_body;
    qint64 m_bodySize = 0;
    qint64 m_total = 0;
    qint64 m_contentLength = -1;
    int m_status = 0;
    int m_lines = 0;
};

} // namespace taviro
