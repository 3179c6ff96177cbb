#include "HttpAnswer.h"

#include <QString>

namespace taviro {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedStart(QByteArrayView v) {
    while (!v.isEmpty() && isBlank(v.front()))
        v = v.sliced(1);
    return v;
}

// Whole decimal numbers only, without sign, and never beyond `limit`.
qint64 decimal(QByteArrayView digits, qint64 limit) {
    if (digits.isEmpty() || digits.size() > 18)
        return -1;
    qint64 value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= limit ? value : -1;
}

} // namespace

int HttpAnswerParser::statusOf(QByteArrayView line) {
    // The second word, words being separated by blanks.
    line = trimmedStart(line);
    qsizetype i = 0;
    while (i < line.size() && !isBlank(line[i]))
        ++i;
    line = trimmedStart(line.sliced(i));
    i = 0;
    while (i < line.size() && !isBlank(line[i]))
        ++i;
    const qint64 value = decimal(line.first(i), 999999999);
    return value < 0 ? 0 : int(value);
}

QString HttpAnswerParser::errorText() const {
    return limitText(m_error, m_maxLine, m_maxAnswer);
}

QString HttpAnswerParser::limitText(Error error, qsizetype maxLine, qint64 maxAnswer) {
    switch (error) {
    case Error::None:
        return {};
    case Error::LineTooLong:
        return QStringLiteral("The server sent a header line longer than %1 bytes").arg(maxLine);
    case Error::AnswerTooLarge:
        return QStringLiteral("The server's answer is larger than %1 bytes").arg(maxAnswer);
    }
    return {};
}

void HttpAnswerParser::fail(Error error) {
    m_error = error;
    m_phase = Phase::Failed;
    m_partial.clear();
    m_body.clear();
}

void HttpAnswerParser::feed(QByteArrayView piece) {
    if (m_phase == Phase::Failed || piece.isEmpty())
        return;
    // What fits is read as usual, so the verdict does not depend on how the bytes
    // were cut into pieces.
    const bool tooLarge = piece.size() > m_maxAnswer - m_total;
    if (tooLarge)
        piece = piece.first(m_maxAnswer - m_total);
    m_total += piece.size();
    consume(piece);
    if (tooLarge && m_phase != Phase::Failed)
        fail(Error::AnswerTooLarge);
}

void HttpAnswerParser::consume(QByteArrayView piece) {

    while (!piece.isEmpty() && m_phase != Phase::Body) {
        const qsizetype lf = piece.indexOf('\n');
        // A line may hold MaxLineLength bytes besides its CR LF; one byte more may
        // still be its CR, so the verdict on that one waits for the LF.
        const qsizetype take = lf < 0 ? piece.size() : lf;
        if (m_partial.size() + take > m_maxLine + 1) {
            fail(Error::LineTooLong);
            return;
        }
        m_partial.append(piece.first(take));
        if (lf < 0)
            return;
        piece = piece.sliced(lf + 1);
        QByteArrayView line = m_partial;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() > m_maxLine) {
            fail(Error::LineTooLong);
            return;
        }
        completeLine(line);
        m_partial.clear();
    }
    if (!piece.isEmpty()) {
        m_body.append(piece);
        m_bodySize += piece.size();
    }
}

void HttpAnswerParser::completeLine(QByteArrayView line) {
    ++m_lines;
    if (m_phase == Phase::StatusLine) {
        // A new answer's header: the cookie of an earlier one no longer counts.
        m_cookie.clear();
        m_status = statusOf(line);
        m_header.append(line).append("\r\n");
        m_phase = Phase::Header;
        return;
    }
    if (line.isEmpty()) {
        m_phase = Phase::Body;
        return;
    }
    m_header.append(line).append("\r\n");
    headerLine(line);
}

void HttpAnswerParser::headerLine(QByteArrayView line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArrayView name = line.first(colon);
    const QByteArrayView value = trimmedStart(line.sliced(colon + 1));
    if (name.compare("Set-Cookie", Qt::CaseInsensitive) == 0) {
        m_cookie = value.toByteArray();
    } else if (name.compare("Location", Qt::CaseInsensitive) == 0) {
        m_location = value.toByteArray();
        m_hasLocation = true;
    } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
        m_contentLength = decimal(value.trimmed(), m_maxAnswer);
    }
}

} // namespace taviro
