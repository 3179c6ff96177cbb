#include "NMFTP.h"

#include "AnsiCodec.h"
#include "Exceptions.h"

#include <algorithm>
#include <QFile>
#include <QFileInfo>

namespace taviro {

namespace {

bool refuses(int code, int from) {
    return code >= from && code <= 599;
}

// Commands go out in the document's single-byte code page; a character it
// cannot hold becomes "?", as it would in the editor.
QByteArray encode(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i; // one character, one "?"
        const int byte = AnsiCodec::fromUnicode(ch);
        out += byte >= 0 && !ch.isSurrogate() ? char(byte) : '?';
    }
    return out;
}

QString decode(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out += AnsiCodec::toUnicode(static_cast<unsigned char>(c));
    return out;
}

const QString ReplyTooLong =
    QStringLiteral("The server's reply is too long (over 64 KiB); the connection was closed");

} // namespace

// Marks the client busy for one operation.
class TNMFTP::BusyScope {
public:
    explicit BusyScope(TNMFTP& client) : m_client(client) {
        if (client.m_busy)
            throw Exception(BusyMessage);
        client.m_busy = true;
    }
    ~BusyScope() { m_client.m_busy = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TNMFTP& m_client;
};

TNMFTP::TNMFTP(QObject* parent) : QObject(parent) {}

TNMFTP::~TNMFTP() = default;

bool TNMFTP::Connected() const {
    return m_connected && m_control.isOpen();
}

void TNMFTP::dropConnection() {
    m_control.abort();
    m_connected = false;
    m_replyOwed = false;
}

void TNMFTP::requireConnected() {
    // A server that closed the control connection since the last command has
    // ended the session.
    if (!Connected()) {
        dropConnection();
        throw Exception(QStringLiteral("Not Connected"));
    }
}

void TNMFTP::throwAwayUnread() {
    if (m_replyOwed) {
        // A broken transfer is answered on the control connection, often a
        // moment after the break: wait a little for that answer rather than take
        // it for the reply to the next command. No answer is fine too.
        m_replyOwed = false;
        FtpReplyParser late;
        const int limit = std::min(WaitLimitMs, OwedReplyWaitMs);
        while (!late.complete() && !late.failed()) {
            QByteArray line;
            if (m_control.readLine(line, FtpReplyParser::MaxLineLength, limit) != SockStatus::Ok)
                break;
            late.feed(line);
        }
    }
    // Anything else the server said unasked.
    m_control.readAvailable();
}

void TNMFTP::controlFailure(SockStatus status) {
    const QString systemError = m_control.errorText();
    dropConnection();
    switch (status) {
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Timed out waiting for the server's reply"));
    case SockStatus::TooLong:
        throw ESockError(ReplyTooLong);
    case SockStatus::Cancelled:
        // Only the application quitting ends a control wait: nothing to show.
        throw EAbort();
    default:
        throw ESockError(systemError);
    }
}

void TNMFTP::sendCommand(const QString& command) {
    // A line break in a field would smuggle in a command of its own.
    if (command.contains(QLatin1Char('\r')) || command.contains(QLatin1Char('\n')))
        throw Exception(QStringLiteral("A line break cannot be sent to the server"));
    const SockStatus status = m_control.write(encode(command) + "\r\n", WaitLimitMs);
    if (status != SockStatus::Ok)
        controlFailure(status);
}

int TNMFTP::readReply() {
    m_reply.reset();
    while (!m_reply.complete()) {
        QByteArray line;
        const SockStatus status =
            m_control.readLine(line, FtpReplyParser::MaxLineLength, WaitLimitMs);
        if (status != SockStatus::Ok)
            controlFailure(status);
        m_reply.feed(line);
        if (m_reply.failed())
            controlFailure(SockStatus::TooLong);
    }
    return m_reply.code();
}

void TNMFTP::quitAfterRefusal() {
    try {
        throwAwayUnread();
        sendCommand(QStringLiteral("QUIT"));
        readReply();
        m_control.close(WaitLimitMs);
    } catch (const Exception&) {
        // The refusal is what the user needs to see.
    }
    dropConnection();
}

void TNMFTP::Connect() {
    BusyScope busy(*this);
    if (Connected())
        return;
    dropConnection();

    if (Port < 1 || Port > 65535)
        throw ESockError(QStringLiteral("Port %1 is not between 1 and 65535").arg(Port));
    const QHostAddress server = lookUpServer(Host, WaitLimitMs);

    switch (m_control.connectTo(server, quint16(Port), WaitLimitMs)) {
    case SockStatus::Ok:
        break;
    case SockStatus::TimedOut:
        dropConnection();
        throw ESockError(QStringLiteral("Connection Timed out"));
    case SockStatus::Cancelled:
        dropConnection();
        throw EAbort();
    default:
        dropConnection();
        throw ESockError(QStringLiteral("Connection Failed"));
    }

    try {
        int code = readReply();
        // "120 ready in a while" comes before the real greeting.
        while (code >= 100 && code <= 199)
            code = readReply();
        if (refuses(code, 400))
            throw FTPException(decode(m_reply.firstLine()));
        sendCommand(QStringLiteral("USER ") + UserID);
        code = readReply();
        if (refuses(code, 401))
            throw FTPException(decode(m_reply.firstLine()));
        if (code == 331) {
            sendCommand(QStringLiteral("PASS ") + Password);
            code = readReply();
            if (refuses(code, 401))
                throw FTPException(decode(m_reply.firstLine()));
        }
        m_connected = true;
    } catch (const FTPException&) {
        quitAfterRefusal();
        throw;
    } catch (...) {
        dropConnection();
        throw;
    }
}

void TNMFTP::Disconnect() {
    BusyScope busy(*this);
    if (!Connected()) {
        dropConnection();
        return;
    }
    int code = 0;
    QString reply;
    try {
        throwAwayUnread();
        sendCommand(QStringLiteral("QUIT"));
        code = readReply();
        reply = decode(m_reply.firstLine());
        m_control.close(WaitLimitMs);
    } catch (const Exception&) {
        // The connection is gone, which is what was asked for.
        code = 0;
    }
    dropConnection();
    if (refuses(code, 301))
        throw FTPException(reply);
}

void TNMFTP::ChangeDir(const QString& directory) {
    BusyScope busy(*this);
    requireConnected();
    throwAwayUnread();
    sendCommand(QStringLiteral("CWD ") + directory);
    if (refuses(readReply(), 400))
        throw FTPException(decode(m_reply.firstLine()));
}

void TNMFTP::Upload(const QString& localFile, const QString& remoteName) {
    BusyScope busy(*this);
    requireConnected();
    throwAwayUnread();

    // From here on Abort acts on this upload.
    m_cancel.clear();
    m_transfer = true;
    struct TransferEnd {
        TNMFTP& client;
        ~TransferEnd() { client.m_transfer = false; }
    } transferEnd{*this};

    QFile file(localFile);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1").arg(localFile));

    // The data connection is awaited on the address the server knows us by,
    // and taken only from the server itself.
    const QHostAddress local = m_control.localAddress();
    const QHostAddress server = m_control.peerAddress();
    TListener listener;
    if (!listener.listen(local))
        throw ESockError(listener.errorText());
    const quint32 ip = local.toIPv4Address();
    const quint16 port = listener.port();
    sendCommand(QStringLiteral("PORT %1,%2,%3,%4,%5,%6")
                    .arg(ip >> 24)
                    .arg((ip >> 16) & 0xff)
                    .arg((ip >> 8) & 0xff)
                    .arg(ip & 0xff)
                    .arg(port >> 8)
                    .arg(port & 0xff));
    if (refuses(readReply(), 301))
        throw FTPException(decode(m_reply.firstLine()));

    const QString name = remoteName.isEmpty() ? QFileInfo(localFile).fileName() : remoteName;
    sendCommand(QStringLiteral("STOR ") + name);
    if (refuses(readReply(), 301))
        throw FTPException(decode(m_reply.firstLine()));
    // The server now owes the transfer's final reply, whatever happens below.
    m_replyOwed = true;

    TSocket data;
    switch (listener.accept(data, server, WaitLimitMs, &m_cancel)) {
    case SockStatus::Ok:
        break;
    case SockStatus::Cancelled:
        if (!m_cancel.isSet())
            throw EAbort(); // the application is quitting
        throw ESockError(QStringLiteral("Accepting Canceled"));
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Timed out waiting for the server's data connection"));
    default:
        throw ESockError(QStringLiteral("Error creating Data Connection"));
    }
    listener.close();

    const qint64 total = file.size();
    emit uploadProgress(0, total);
    const SockStatus sent = data.sendFile(file, WaitLimitMs, &m_cancel,
                                          [&](qint64 n) { emit uploadProgress(n, total); });
    switch (sent) {
    case SockStatus::Ok:
        break;
    case SockStatus::Cancelled:
        if (!m_cancel.isSet())
            throw EAbort();
        throw EAbortError(QStringLiteral("Socket send aborted"));
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Timed out sending the file"));
    default:
        throw ESockError(data.errorText());
    }
    // An Abort from now on comes too late to matter.
    switch (const SockStatus closed = data.close(WaitLimitMs)) {
    case SockStatus::Ok:
        break;
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Timed out sending the file"));
    case SockStatus::Cancelled:
        throw EAbort();
    default:
        (void)closed;
        throw ESockError(data.errorText());
    }
    // The server's word on the transfer is read but not judged: the bytes are
    // there.
    m_replyOwed = false;
    readReply();
}

void TNMFTP::Abort() {
    if (m_transfer)
        m_cancel.set();
}

} // namespace taviro
