#pragma once

#include <functional>
#include <memory>
#include <QByteArray>
#include <QHostAddress>
#include <QString>

class QIODevice;
class QTcpServer;
class QTcpSocket;

namespace taviro {

// TCP for the network clients. Every wait blocks the calling command while the
// Qt event loop keeps turning, so windows repaint and buttons respond; a button
// pressed during a wait runs inside it. The layer reports outcomes and the
// clients raise their own messages.
//
// Every wait ends:
//  - Ok when done;
//  - TimedOut after `timeoutMs` without any progress (0 waits without limit);
//  - Cancelled when the caller's CancelFlag is set, or when the application is
//    quitting (QCoreApplication::exit ends every running event loop: that is
//    never mistaken for a complete answer).
enum class SockStatus {
    Ok,
    NoAddress, // look-up: no IPv4 address for the name
    Failed,    // connect: refused or unreachable
    TimedOut,
    Cancelled,
    PeerClosed, // the peer closed the connection before the wait was done
    TooLong,    // a line or a whole answer over the caller's limit
    Error,      // any other socket failure: see errorText()
};

// A flag the caller sets (an Abort button) to end a wait. Setting it wakes
// the wait watching it at once.
class CancelFlag {
public:
    void set();
    void clear() { m_set = false; }
    bool isSet() const { return m_set; }

private:
    friend class SocketWait;
    bool m_set = false;
    std::function<void()> m_wake;
};

struct LookupResult {
    SockStatus status = SockStatus::NoAddress; // Ok, NoAddress, TimedOut, Cancelled
    QHostAddress address;
};

// Finds the IPv4 address of `host`: a dotted IPv4 address is used as it is,
// anything else is looked up and the first IPv4 result taken. An empty host,
// or a name with no IPv4 address, gives NoAddress.
LookupResult lookupIPv4(const QString& host, int timeoutMs = 0, CancelFlag* cancel = nullptr);

// The same for a client that connects at once: the address, or the failure both
// clients report, "Host Lookup Timed Out" or "Null Remote Address" (ESockError);
// a look-up that ends because the program quits raises the silent abort.
QHostAddress lookUpServer(const QString& host, int timeoutMs);

// The error of a Qt socket as the user sees it: "<number>: <description>".
QString socketErrorText(int error, const QString& description);

// Where a read's time-out counts from: the last data that arrived (a slow but
// steady peer never times out), or the start of the wait (the whole line must
// come within the time-out, however it trickles in).
enum class TimeoutFrom { LastData, Start };

// One TCP connection, made by connectTo or taken from a TListener.
class TSocket {
public:
    TSocket();
    ~TSocket(); // drops the connection at once, without waiting
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    SockStatus connectTo(const QHostAddress& address, quint16 port, int timeoutMs = 0,
                         CancelFlag* cancel = nullptr);

    // Connected and the peer has not closed the connection (as far as the event
    // loop has seen).
    bool isOpen() const;
    QHostAddress localAddress() const;
    QHostAddress peerAddress() const;

    // One line, up to and including LF, into `line`. Bytes that arrived beyond
    // it stay for the next read. TooLong when `maxLength` bytes came without an
    // LF; PeerClosed when the peer closed first (what came of an unfinished line
    // stays readable with readAvailable()).
    SockStatus readLine(QByteArray& line, qsizetype maxLength, int timeoutMs = 0,
                        CancelFlag* cancel = nullptr, TimeoutFrom from = TimeoutFrom::LastData);

    // Whatever has arrived by now, without waiting.
    QByteArray readAvailable();

    // Everything until the peer closes, into `out`. The time-out counts from the
    // last data; TooLong once more than `maxTotal` bytes arrived. `progress`
    // gets the byte count so far, a few times a second at most, and at the end.
    // `expected`, the length the peer announced (if any), only makes room ahead.
    SockStatus readToEnd(QByteArray& out, qint64 maxTotal, int timeoutMs = 0,
                         CancelFlag* cancel = nullptr,
                         const std::function<void(qint64)>& progress = {}, qint64 expected = -1);

    // Sends a few bytes and waits until the system has taken them.
    SockStatus write(const QByteArray& bytes, int timeoutMs = 0, CancelFlag* cancel = nullptr);

    // Sends `file` from its current position to its end in blocks, each written
    // only when the previous ones have mostly gone out, so memory stays flat
    // whatever the size. The flag is checked before every block. `progress`
    // gets the bytes sent so far, a few times a second at most, and at the end.
    SockStatus sendFile(QIODevice& file, int timeoutMs = 0, CancelFlag* cancel = nullptr,
                        const std::function<void(qint64)>& progress = {});

    // Orderly close: waits until every byte written has gone out and the
    // connection is shut down (the peer sees the end of the data).
    SockStatus close(int timeoutMs = 0, CancelFlag* cancel = nullptr);

    // Drops the connection at once; unsent bytes are lost.
    void abort();

    // The last socket failure, as socketErrorText gives it.
    QString errorText() const;

private:
    friend class TListener;
    void adopt(QTcpSocket* socket);
    void drain();
    SockStatus failure() const;

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_buffer; // read but not yet handed out
    QString m_error;     // a failure of the file being sent, not of the socket
};

// Listens for one incoming connection.
class TListener {
public:
    TListener();
    ~TListener();
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    // Listens on `local` (a port the system chooses). False on failure, with
    // errorText() set.
    bool listen(const QHostAddress& local);
    QHostAddress address() const;
    quint16 port() const;

    // Waits for a connection from `peer` and hands it to `out`; connections
    // from any other address are closed and the wait goes on. Error when the
    // system reports a failure for an incoming connection.
    SockStatus accept(TSocket& out, const QHostAddress& peer, int timeoutMs = 0,
                      CancelFlag* cancel = nullptr);

    void close();
    QString errorText() const;

private:
    std::unique_ptr<QTcpServer> m_server;
    QString m_error;
    bool m_acceptFailed = false;
};

} // namespace taviro
