#include "NMHTTP.h"

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "HttpAddress.h"
#include "HttpAnswer.h"
#include "Socket.h"

namespace taviro {

namespace {

QString fromAnsi(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text.append(AnsiCodec::toUnicode(static_cast<unsigned char>(c)));
    return text;
}

// A wait that ended because the program is quitting shows nothing.
[[noreturn]] void quitting() {
    Abort();
}

// An address in a Location header: a full address, or a path on the current host
// (one without any "/" at all counts as a path too).
HttpAddress redirectTarget(const HttpAddress& current, const QString& location) {
    const qsizetype slash = location.indexOf(QLatin1Char('/'));
    const bool pathOnly = slash < 0 || (slash == 0 && location.mid(1, 1) != QLatin1String("/"));
    if (!pathOnly)
        return SplitHttpAddress(location);
    HttpAddress next = current;
    next.path = slash == 0 ? location : QLatin1Char('/') + location;
    return next;
}

} // namespace

void TNMHTTP::Get(const QString& address) {
    // The running request is left alone: nothing of it is touched here.
    if (m_busy)
        throw ESockError(QStringLiteral("A request is already running; wait until it has ended"));
    HttpAddress target = SplitHttpAddress(address);
    m_busy = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{m_busy};

    if (Port == 0)
        Port = 80;
    QString cookie;
    for (int redirects = 0;; ++redirects) {
        request(target, cookie);
        const bool redirect = Status >= 300 && Status <= 302 && !m_location.isEmpty();
        if (!redirect)
            return;
        if (redirects == MaxRedirects)
            throw ESockError(QStringLiteral("Too many redirects (more than %1)").arg(MaxRedirects));
        // The redirecting answer's cookie goes along with the repeated request.
        cookie = ReceivedCookie;
        target = redirectTarget(target, m_location);
    }
}

void TNMHTTP::request(const HttpAddress& address, const QString& cookie) {
    Body.clear();
    Header.clear();
    ReceivedCookie.clear();
    Status = 0;
    m_location.clear();

    const QHostAddress server = lookUpServer(address.host, TimeOut);

    TSocket socket;
    const auto raise = [&socket](SockStatus status, const char* timedOut) {
        switch (status) {
        case SockStatus::TimedOut:
            throw EAbortError(QString::fromLatin1(timedOut));
        case SockStatus::Cancelled:
            quitting();
        case SockStatus::PeerClosed:
            throw ESockError(QStringLiteral("The server closed the connection before its answer "
                                            "was complete"));
        case SockStatus::TooLong:
            throw ESockError(HttpAnswerParser::limitText(HttpAnswerParser::Error::LineTooLong));
        default:
            throw ESockError(socket.errorText());
        }
    };

    switch (socket.connectTo(server, quint16(address.port), TimeOut)) {
    case SockStatus::Ok:
        break;
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Connection Timed out"));
    case SockStatus::Cancelled:
        quitting();
    case SockStatus::Failed:
        throw ESockError(QStringLiteral("Connection Failed"));
    default:
        throw ESockError(socket.errorText());
    }

    if (const SockStatus sent = socket.write(HttpRequestBytes(address, cookie), TimeOut);
        sent != SockStatus::Ok)
        raise(sent, "Socket send aborted");

    // The status line and each header line must each arrive within the time-out.
    HttpAnswerParser answer(HttpAnswerParser::MaxLineLength, AnswerLimit);
    QByteArray line;
    while (answer.phase() != HttpAnswerParser::Phase::Body) {
        // Room for the longest line the parser takes, its CR LF, and one byte to
        // tell a line that is too long.
        const SockStatus read = socket.readLine(line, HttpAnswerParser::MaxLineLength + 3, TimeOut,
                                                nullptr, TimeoutFrom::Start);
        if (read != SockStatus::Ok)
            raise(read, "Socket readln aborted");
        answer.feed(line);
        if (answer.phase() == HttpAnswerParser::Phase::Failed)
            throw ESockError(answer.errorText());
    }
    Status = answer.status();
    Header = answer.header();
    ReceivedCookie = fromAnsi(answer.cookie());
    if (answer.hasLocation())
        m_location = fromAnsi(answer.location());

    // The body: up to the end of the connection, each pause within the time-out.
    const qint64 total = answer.contentLength();
    const qint64 room = AnswerLimit - answer.bytesReceived();
    emit Progress(0, total);
    QByteArray body;
    const SockStatus read = socket.readToEnd(
        body, room, TimeOut, nullptr, [this, total](qint64 n) { emit Progress(n, total); }, total);
    if (read == SockStatus::TooLong)
        throw ESockError(HttpAnswerParser::limitText(HttpAnswerParser::Error::AnswerTooLarge,
                                                     HttpAnswerParser::MaxLineLength, AnswerLimit));
    if (read != SockStatus::Ok)
        raise(read, "Socket capture aborted");
    // Qt reports a connection reset like an orderly end; where the server said how
    // long the body is, a short one is a broken transfer, not the whole page.
    if (total >= 0 && body.size() < total)
        throw ESockError(QStringLiteral("The connection ended after %1 of %2 bytes of the page")
                             .arg(body.size())
                             .arg(total));
    Body = std::move(body);
}

} // namespace taviro
