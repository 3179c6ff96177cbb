#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace taviro {

// The HTTP/1.0 client: Get blocks its caller while the event loop keeps turning,
// follows redirects, and leaves the final answer in Body, Header and
// ReceivedCookie. Failures are exceptions with the messages the user reads; an
// error status is an ordinary answer.
class TNMHTTP : public QObject {
    Q_OBJECT
public:
    // Redirects followed for one Get before it gives up.
    static constexpr int MaxRedirects = 20;

    explicit TNMHTTP(QObject* parent = nullptr) : QObject(parent) {}

    // Milliseconds each wait of a request may last (look-up, connection, each
    // status or header line, each pause in the body); 0: no limit.
    int TimeOut = 0;
    // Kept for the callers that set them; the client hands no progress texts to
    // anyone, and bodies and headers always stay in memory.
    int ReportLevel = 0;
    bool InputFileMode = false;
    bool OutputFileMode = false;
    // 0 becomes 80 at the first request.
    int Port = 0;
    // The most a whole answer (status, header and body) may hold; a server that
    // sends more fails the request rather than exhaust memory.
    qint64 AnswerLimit = qint64(1) << 30;

    // The final answer of the last request: its body as it came, its status and
    // header lines, and the text of its last Set-Cookie line.
    QByteArray Body;
    QByteArray Header;
    QString ReceivedCookie;
    int Status = 0;

    // Fetches `address` (rules in HttpAddress.h). Returns when the final answer has
    // arrived in full. A call while a request runs is refused at once with
    // ESockError, leaving the running request alone.
    void Get(const QString& address);
    bool Busy() const { return m_busy; }

signals:
    // Body bytes of the current answer so far, and its announced length (-1 when
    // unknown); at most a few times a second.
    void Progress(qint64 received, qint64 total);

private:
    void request(const struct HttpAddress& address, const QString& cookie);

    bool m_busy = false;
    QString m_location; // of the last answer, when it had one
};

} // namespace taviro
