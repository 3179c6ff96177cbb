#include "Socket.h"

#include "Exceptions.h"

#include <new>
#include <optional>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QIODevice>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace taviro {

namespace {

// A file goes out in blocks of this size, and a new block is handed to the
// socket only while less than `SendAhead` bytes wait in its buffer: enough to
// keep the connection busy, little enough that Abort acts at once and memory
// stays flat.
constexpr qint64 SendBlock = 256 * 1024;
constexpr qint64 SendAhead = 2 * SendBlock;

// What a socket takes from the system before it is read. Past it the socket
// stops reading and TCP holds the peer back: a flood from a broken or hostile
// server never piles up in memory.
constexpr qint64 ReadBufferLimit = 1024 * 1024;

// Progress reports at most this often: a repaint per block would slow a
// transfer down more than it tells the user.
constexpr qint64 ProgressIntervalMs = 200;

// Calls a progress callback at most every ProgressIntervalMs, and always for
// the final figure.
class ProgressThrottle {
public:
    explicit ProgressThrottle(const std::function<void(qint64)>& report) : m_report(report) {
        m_clock.start();
    }
    void update(qint64 value) {
        if (m_report && m_clock.elapsed() >= ProgressIntervalMs) {
            m_clock.restart();
            m_lastReported = value;
            m_report(value);
        }
    }
    void finish(qint64 value) {
        if (m_report && value != m_lastReported)
            m_report(value);
    }

private:
    const std::function<void(qint64)>& m_report;
    QElapsedTimer m_clock;
    qint64 m_lastReported = -1;
};

// Asks the system for the pages of `data` before the socket's bytes are copied
// in. A large body lands in memory never touched before; left to page faults,
// every 4 KiB page costs a fault of its own, which took more time than the copy
// itself (and, under a virtual machine, more than all the rest of the read).
// One call maps the whole range at once. Where the system cannot, the copy
// takes the faults as before.
void prefault([[maybe_unused]] char* data, [[maybe_unused]] qint64 size) {
#ifdef MADV_POPULATE_WRITE
    constexpr quintptr Page = 4096;
    const auto begin = reinterpret_cast<quintptr>(data) & ~(Page - 1);
    const auto end = (reinterpret_cast<quintptr>(data) + quintptr(size) + Page - 1) & ~(Page - 1);
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#endif
}

// Makes room for `size` bytes in `buffer`, growing it by doubling so that
// appending in pieces copies each byte only a bounded number of times.
void reserveFor(QByteArray& buffer, qsizetype size) {
    if (buffer.capacity() >= size)
        return;
    buffer.reserve(std::max<qsizetype>(size, 2 * buffer.capacity()));
}

// Makes room at once for a body whose length the peer announced, so it is
// never moved while it grows, and lets the system back it with huge pages: a
// large body is written once into memory never touched before, and taking it
// 4 KiB at a time was most of the cost of a fetch. The room is only reserved:
// pages are taken as the bytes arrive (prefault), so an announced length the
// peer never sends costs no memory. Where the reservation fails, the buffer
// grows as the bytes come, as it would without a length.
void reserveWhole(QByteArray& buffer, qint64 size) {
    if (buffer.capacity() >= size)
        return;
    try {
        buffer.reserve(size);
    } catch (const std::bad_alloc&) {
        return;
    }
#ifdef MADV_HUGEPAGE
    constexpr quintptr Huge = 2 * 1024 * 1024;
    const auto start = reinterpret_cast<quintptr>(buffer.data());
    const auto begin = (start + Huge - 1) & ~(Huge - 1);
    const auto end = (start + quintptr(buffer.capacity())) & ~(Huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

} // namespace

// One wait: runs a local event loop until `step` reports an outcome, the
// time-out passes without progress, the caller's flag is set, or the
// application quits.
class SocketWait {
public:
    SocketWait(int timeoutMs, CancelFlag* cancel) : m_timeoutMs(timeoutMs), m_cancel(cancel) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, &m_context, [this] {
            m_timedOut = true;
            wake();
        });
        if (m_cancel) {
            m_previousWake = std::move(m_cancel->m_wake);
            m_cancel->m_wake = [this] { wake(); };
        }
    }
    ~SocketWait() {
        if (m_cancel)
            m_cancel->m_wake = std::move(m_previousWake);
    }
    SocketWait(const SocketWait&) = delete;
    SocketWait& operator=(const SocketWait&) = delete;

    template <class Sender, class Signal> void wakeOn(Sender* sender, Signal signal) {
        QObject::connect(sender, signal, &m_context, [this] { wake(); });
    }
    // The same, and the signal counts as progress.
    template <class Sender, class Signal> void progressOn(Sender* sender, Signal signal) {
        QObject::connect(sender, signal, &m_context, [this] {
            progress();
            wake();
        });
    }

    // Something moved: the time-out starts again.
    void progress() {
        if (m_timeoutMs > 0)
            m_timer.start(m_timeoutMs);
    }

    SockStatus run(const std::function<std::optional<SockStatus>()>& step) {
        progress();
        for (;;) {
            if (m_cancel && m_cancel->isSet())
                return SockStatus::Cancelled;
            if (std::optional<SockStatus> outcome = step())
                return *outcome;
            if (m_timedOut)
                return SockStatus::TimedOut;
            m_woke = false;
            m_loop.exec();
            // The loop ended without anything of ours waking it: the application
            // is quitting (QCoreApplication::exit ends every event loop, and every
            // later exec() returns at once).
            if (!m_woke)
                return SockStatus::Cancelled;
        }
    }

    void wake() {
        m_woke = true;
        m_loop.quit();
    }

private:
    QEventLoop m_loop;
    QObject m_context; // owns the connections of this wait
    QTimer m_timer;
    int m_timeoutMs;
    CancelFlag* m_cancel;
    std::function<void()> m_previousWake;
    bool m_woke = false;
    bool m_timedOut = false;
};

void CancelFlag::set() {
    m_set = true;
    if (m_wake)
        m_wake();
}

QString socketErrorText(int error, const QString& description) {
    return QStringLiteral("%1: %2").arg(error).arg(description);
}

LookupResult lookupIPv4(const QString& host, int timeoutMs, CancelFlag* cancel) {
    QHostAddress literal;
    if (literal.setAddress(host) && literal.protocol() == QAbstractSocket::IPv4Protocol)
        return {SockStatus::Ok, literal};
    if (host.trimmed().isEmpty())
        return {SockStatus::NoAddress, {}};

    std::optional<QHostInfo> answer;
    SocketWait wait(timeoutMs, cancel);
    QObject receiver; // gone with this function: a late answer goes nowhere
    const int id = QHostInfo::lookupHost(host, &receiver, [&](const QHostInfo& info) {
        answer = info;
        wait.wake();
    });
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        if (!answer)
            return std::nullopt;
        return SockStatus::Ok;
    });
    if (status != SockStatus::Ok) {
        QHostInfo::abortHostLookup(id);
        return {status, {}};
    }
    for (const QHostAddress& address : answer->addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return {SockStatus::Ok, address};
    }
    return {SockStatus::NoAddress, {}};
}

// ---- TSocket

TSocket::TSocket() = default;

TSocket::~TSocket() {
    abort();
}

void TSocket::adopt(QTcpSocket* socket) {
    abort();
    socket->setParent(nullptr);
    socket->setReadBufferSize(ReadBufferLimit);
    m_socket.reset(socket);
    m_buffer.clear();
}

void TSocket::abort() {
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_buffer.clear();
}

SockStatus TSocket::connectTo(const QHostAddress& address, quint16 port, int timeoutMs,
                              CancelFlag* cancel) {
    abort();
    m_error.clear();
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->setReadBufferSize(ReadBufferLimit);
    SocketWait wait(timeoutMs, cancel);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    m_socket->connectToHost(address, port);
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        switch (m_socket->state()) {
        case QAbstractSocket::ConnectedState:
            return SockStatus::Ok;
        case QAbstractSocket::UnconnectedState:
            return SockStatus::Failed;
        default:
            return std::nullopt;
        }
    });
    if (status != SockStatus::Ok && status != SockStatus::Failed) {
        m_socket->abort();
    }
    return status;
}

bool TSocket::isOpen() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

QHostAddress TSocket::localAddress() const {
    return m_socket ? m_socket->localAddress() : QHostAddress();
}

QHostAddress TSocket::peerAddress() const {
    return m_socket ? m_socket->peerAddress() : QHostAddress();
}

QString TSocket::errorText() const {
    if (!m_error.isEmpty())
        return m_error;
    if (!m_socket)
        return socketErrorText(QAbstractSocket::UnknownSocketError,
                               QStringLiteral("Not connected"));
    return socketErrorText(m_socket->error(), m_socket->errorString());
}

void TSocket::drain() {
    if (!m_socket)
        return;
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return;
    // Read straight into the buffer, growing it by doubling: appending a fresh
    // array per read copies every byte twice and, for a long body, makes the
    // event loop stall on the copies.
    const qsizetype old = m_buffer.size();
    reserveFor(m_buffer, old + available);
    m_buffer.resize(old + available);
    prefault(m_buffer.data() + old, available);
    const qint64 got = m_socket->read(m_buffer.data() + old, available);
    m_buffer.resize(old + std::max<qint64>(got, 0));
}

// Why a connection is no longer there: the peer closing (or resetting) it is
// the usual end; anything else is a failure with the system's text.
SockStatus TSocket::failure() const {
    if (!m_socket)
        return SockStatus::PeerClosed;
    switch (m_socket->error()) {
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::UnknownSocketError:
        return SockStatus::PeerClosed;
    default:
        return SockStatus::Error;
    }
}

SockStatus TSocket::readLine(QByteArray& line, qsizetype maxLength, int timeoutMs,
                             CancelFlag* cancel, TimeoutFrom from) {
    line.clear();
    SocketWait wait(timeoutMs, cancel);
    if (m_socket) {
        wait.wakeOn(m_socket.get(), &QIODevice::readyRead);
        wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
        wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    }
    qsizetype searched = 0;
    return wait.run([&]() -> std::optional<SockStatus> {
        const qsizetype before = m_buffer.size();
        drain();
        if (m_buffer.size() != before && from == TimeoutFrom::LastData)
            wait.progress();
        const qsizetype lf = m_buffer.indexOf('\n', searched);
        if (lf >= 0 && lf < maxLength) {
            line = m_buffer.left(lf + 1);
            m_buffer.remove(0, lf + 1);
            return SockStatus::Ok;
        }
        if (m_buffer.size() >= maxLength)
            return SockStatus::TooLong;
        searched = m_buffer.size();
        if (!isOpen())
            return failure();
        return std::nullopt;
    });
}

QByteArray TSocket::readAvailable() {
    // What the system holds already counts as arrived, even if the event loop
    // has not turned since: a zero wait only collects it.
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForReadyRead(0);
    drain();
    return std::exchange(m_buffer, QByteArray());
}

SockStatus TSocket::readToEnd(QByteArray& out, qint64 maxTotal, int timeoutMs, CancelFlag* cancel,
                              const std::function<void(qint64)>& progress, qint64 expected) {
    out.clear();
    if (expected > 0)
        reserveWhole(m_buffer, std::min(expected, maxTotal));
    ProgressThrottle throttle(progress);
    SocketWait wait(timeoutMs, cancel);
    if (m_socket) {
        wait.wakeOn(m_socket.get(), &QIODevice::readyRead);
        wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
        wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    }
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        const qsizetype before = m_buffer.size();
        drain();
        if (m_buffer.size() != before) {
            wait.progress();
            throttle.update(m_buffer.size());
        }
        if (m_buffer.size() > maxTotal)
            return SockStatus::TooLong;
        if (!isOpen()) {
            const SockStatus end = failure();
            return end == SockStatus::PeerClosed ? SockStatus::Ok : end;
        }
        return std::nullopt;
    });
    throttle.finish(m_buffer.size());
    if (status == SockStatus::Ok) {
        // An announced length far above what came leaves its room behind.
        if (m_buffer.capacity() > 2 * m_buffer.size() + ReadBufferLimit)
            m_buffer.squeeze();
        out = std::exchange(m_buffer, QByteArray());
    }
    return status;
}

SockStatus TSocket::write(const QByteArray& bytes, int timeoutMs, CancelFlag* cancel) {
    if (!isOpen())
        return failure();
    SocketWait wait(timeoutMs, cancel);
    wait.progressOn(m_socket.get(), &QIODevice::bytesWritten);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    m_socket->write(bytes);
    m_socket->flush();
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        if (!isOpen())
            return failure();
        if (m_socket->bytesToWrite() == 0)
            return SockStatus::Ok;
        return std::nullopt;
    });
    return status;
}

SockStatus TSocket::sendFile(QIODevice& file, int timeoutMs, CancelFlag* cancel,
                             const std::function<void(qint64)>& progress) {
    if (!isOpen())
        return failure();
    m_error.clear();
    ProgressThrottle throttle(progress);
    qint64 sent = 0;
    bool fileFailed = false;
    SocketWait wait(timeoutMs, cancel);
    QObject context;
    wait.wakeOn(m_socket.get(), &QIODevice::bytesWritten);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    QObject::connect(m_socket.get(), &QIODevice::bytesWritten, &context, [&](qint64 n) {
        sent += n;
        wait.progress();
        throttle.update(sent);
    });
    // The socket writes on the event loop as the system takes the data, one
    // block per turn, so the loop stays responsive however fast the peer is.
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        if (!isOpen())
            return failure();
        while (!file.atEnd() && m_socket->bytesToWrite() < SendAhead) {
            // An Abort pressed while the previous block went out stops the
            // sending before the next one.
            if (cancel && cancel->isSet())
                return SockStatus::Cancelled;
            const QByteArray block = file.read(SendBlock);
            if (block.isEmpty()) {
                fileFailed = true;
                return SockStatus::Error;
            }
            m_socket->write(block);
        }
        if (file.atEnd() && m_socket->bytesToWrite() == 0)
            return SockStatus::Ok;
        return std::nullopt;
    });
    throttle.finish(sent);
    if (fileFailed)
        m_error = file.errorString();
    return status;
}

SockStatus TSocket::close(int timeoutMs, CancelFlag* cancel) {
    if (!m_socket)
        return SockStatus::Ok;
    SocketWait wait(timeoutMs, cancel);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::stateChanged);
    wait.wakeOn(m_socket.get(), &QAbstractSocket::errorOccurred);
    wait.progressOn(m_socket.get(), &QIODevice::bytesWritten);
    m_socket->disconnectFromHost();
    const SockStatus status = wait.run([&]() -> std::optional<SockStatus> {
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            return std::nullopt;
        // Unsent bytes mean the peer went away first.
        return m_socket->bytesToWrite() == 0 ? SockStatus::Ok : failure();
    });
    if (status != SockStatus::Ok)
        m_socket->abort();
    return status;
}

// ---- TListener

TListener::TListener() = default;

TListener::~TListener() {
    close();
}

bool TListener::listen(const QHostAddress& local) {
    close();
    m_server = std::make_unique<QTcpServer>();
    m_acceptFailed = false;
    QObject::connect(m_server.get(), &QTcpServer::acceptError, m_server.get(),
                     [this](QAbstractSocket::SocketError error) {
                         m_acceptFailed = true;
                         m_error = socketErrorText(error, m_server->errorString());
                     });
    if (!m_server->listen(local, 0)) {
        m_error = socketErrorText(m_server->serverError(), m_server->errorString());
        m_server.reset();
        return false;
    }
    return true;
}

QHostAddress TListener::address() const {
    return m_server ? m_server->serverAddress() : QHostAddress();
}

quint16 TListener::port() const {
    return m_server ? m_server->serverPort() : 0;
}

SockStatus TListener::accept(TSocket& out, const QHostAddress& peer, int timeoutMs,
                             CancelFlag* cancel) {
    if (!m_server)
        return SockStatus::Error;
    SocketWait wait(timeoutMs, cancel);
    wait.wakeOn(m_server.get(), &QTcpServer::newConnection);
    wait.wakeOn(m_server.get(), &QTcpServer::acceptError);
    return wait.run([&]() -> std::optional<SockStatus> {
        while (m_server->hasPendingConnections()) {
            QTcpSocket* socket = m_server->nextPendingConnection();
            if (socket->peerAddress().isEqual(peer, QHostAddress::ConvertV4MappedToIPv4)) {
                out.adopt(socket);
                return SockStatus::Ok;
            }
            // Someone else: whoever connects first must not take or feed the
            // transfer.
            socket->abort();
            socket->deleteLater();
        }
        if (m_acceptFailed)
            return SockStatus::Error;
        return std::nullopt;
    });
}

void TListener::close() {
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
}

QString TListener::errorText() const {
    return m_error;
}

QHostAddress lookUpServer(const QString& host, int timeoutMs) {
    const LookupResult found = lookupIPv4(host, timeoutMs);
    switch (found.status) {
    case SockStatus::Ok:
        return found.address;
    case SockStatus::TimedOut:
        throw ESockError(QStringLiteral("Host Lookup Timed Out"));
    case SockStatus::Cancelled:
        Abort();
    default:
        throw ESockError(QStringLiteral("Null Remote Address"));
    }
}

} // namespace taviro
