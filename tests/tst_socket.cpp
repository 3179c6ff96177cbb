#include "Socket.h"
#include "TestMain.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

using namespace taviro;

namespace {

const QHostAddress Loopback(QHostAddress::LocalHost);

// The far end of a connection under test: a QTcpServer on 127.0.0.1 whose one
// accepted socket the test drives directly.
class Peer {
public:
    Peer() { QVERIFY(m_server.listen(Loopback, 0)); }
    quint16 port() const { return m_server.serverPort(); }

    // Connects `client` and takes the server's side of it.
    bool connect(TSocket& client) {
        if (client.connectTo(Loopback, port(), 5000) != SockStatus::Ok)
            return false;
        if (!m_server.hasPendingConnections() && !m_server.waitForNewConnection(5000))
            return false;
        m_socket = m_server.nextPendingConnection();
        return m_socket != nullptr;
    }
    QTcpSocket* socket() const { return m_socket; }

    void send(const QByteArray& bytes) {
        m_socket->write(bytes);
        m_socket->flush();
    }

    // Everything the client sent until it closed its side.
    QByteArray receiveAll(int timeoutMs = 10000) {
        QByteArray all;
        QElapsedTimer clock;
        clock.start();
        while (m_socket->state() == QAbstractSocket::ConnectedState &&
               clock.elapsed() < timeoutMs) {
            m_socket->waitForReadyRead(100);
            all += m_socket->readAll();
        }
        all += m_socket->readAll();
        return all;
    }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
};

// Runs `action` from inside the next wait, as a button pressed during it would.
void duringWait(int afterMs, std::function<void()> action) {
    QTimer::singleShot(afterMs, std::move(action));
}

} // namespace

class TestSocket : public QObject {
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();

    void connectOutcomes();
    void connectCancelledBeforehand();

    void readLineInPieces_data();
    void readLineInPieces();
    void readLineLimits_data();
    void readLineLimits();
    void readLineEnds();
    void readAvailableDoesNotWait();
    void dataSurvivesPeerClose();
    void floodIsHeldBack();

    void readToEnd();
    void readToEndCapAndPause();

    void writeAndClose();
    void sendFileWhole();
    void sendFileCancelledBeforeNextBlock();
    void sendFileKeepsLittleInFlight();

    void listenerAcceptsOnlyThePeer();
    void listenerCancelAndTimeOut();

    void errorText();

    // Last: it quits the application's event loops.
    void quitCancelsAWait();
};

void TestSocket::lookup_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<SockStatus>("status");
    QTest::addColumn<QString>("address");

    QTest::newRow("dotted") << "192.0.2.7" << SockStatus::Ok << "192.0.2.7";
    QTest::newRow("localhost") << "localhost" << SockStatus::Ok << "127.0.0.1";
    QTest::newRow("empty") << "" << SockStatus::NoAddress << "";
    QTest::newRow("blank") << "  " << SockStatus::NoAddress << "";
    // An IPv6 literal has no IPv4 address to give.
    QTest::newRow("IPv6 only") << "::1" << SockStatus::NoAddress << "";
}

void TestSocket::lookup() {
    QFETCH(QString, host);
    QFETCH(SockStatus, status);
    QFETCH(QString, address);
    const LookupResult result = lookupIPv4(host, 10000);
    QCOMPARE(result.status, status);
    if (status == SockStatus::Ok)
        QCOMPARE(result.address, QHostAddress(address));
}

void TestSocket::connectOutcomes() {
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    QVERIFY(client.isOpen());
    QCOMPARE(client.localAddress(), Loopback);
    QCOMPARE(client.peerAddress(), Loopback);

    // A port nobody listens on.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(Loopback, 0));
        closedPort = probe.serverPort();
    }
    TSocket refused;
    QCOMPARE(refused.connectTo(Loopback, closedPort, 5000), SockStatus::Failed);
    QVERIFY(!refused.isOpen());
    QVERIFY2(refused.errorText().startsWith("0: "), qPrintable(refused.errorText()));
}

void TestSocket::connectCancelledBeforehand() {
    Peer peer;
    CancelFlag cancel;
    cancel.set();
    TSocket client;
    QCOMPARE(client.connectTo(Loopback, peer.port(), 5000, &cancel), SockStatus::Cancelled);
    QVERIFY(!client.isOpen());
}

void TestSocket::readLineInPieces_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("whole") << QList<QByteArray>{"220 hello\r\n"}
                           << QList<QByteArray>{"220 hello\r\n"};
    QTest::newRow("byte by byte") << QList<QByteArray>{"2", "2", "0", " ", "x", "\r", "\n"}
                                  << QList<QByteArray>{"220 x\r\n"};
    QTest::newRow("two lines in one write") << QList<QByteArray>{"150 go\r\n226 done\r\n"}
                                            << QList<QByteArray>{"150 go\r\n", "226 done\r\n"};
    QTest::newRow("split across the line break")
        << QList<QByteArray>{"150 go\r", "\n226 do", "ne\n"}
        << QList<QByteArray>{"150 go\r\n", "226 done\n"};
    QTest::newRow("bytes above 0x7f") << QList<QByteArray>{"257 \"caf\xe9\xa0\"\r\n"}
                                      << QList<QByteArray>{"257 \"caf\xe9\xa0\"\r\n"};
}

void TestSocket::readLineInPieces() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, lines);
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    // Each piece goes out from inside the wait, a little after the previous one.
    for (int i = 0; i < pieces.size(); ++i)
        duringWait(10 * (i + 1), [&peer, piece = pieces.at(i)] { peer.send(piece); });
    for (const QByteArray& expected : lines) {
        QByteArray line;
        QCOMPARE(client.readLine(line, 1024, 5000), SockStatus::Ok);
        QCOMPARE(line, expected);
    }
    QCOMPARE(client.readAvailable(), QByteArray());
}

void TestSocket::readLineLimits_data() {
    QTest::addColumn<int>("lineLength"); // bytes including CR LF
    QTest::addColumn<SockStatus>("status");

    QTest::newRow("exactly the limit") << 64 << SockStatus::Ok;
    QTest::newRow("one over the limit") << 65 << SockStatus::TooLong;
    QTest::newRow("far over the limit, no line break") << 100000 << SockStatus::TooLong;
}

void TestSocket::readLineLimits() {
    QFETCH(int, lineLength);
    QFETCH(SockStatus, status);
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    const QByteArray line = QByteArray(lineLength - 2, 'a') + "\r\n";
    peer.send(line);
    QByteArray got;
    QCOMPARE(client.readLine(got, 64, 5000), status);
    if (status == SockStatus::Ok)
        QCOMPARE(got, line);
}

void TestSocket::readLineEnds() {
    // Time-out without any data.
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.readLine(line, 1024, 200), SockStatus::TimedOut);
        QVERIFY(clock.elapsed() >= 150);
    }
    // The time-out counts from the last data: a line dribbled over longer than
    // the time-out still arrives.
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        const QByteArray text = "220 slow but steady\r\n";
        for (int i = 0; i < text.size(); ++i)
            duringWait(60 * (i + 1), [&peer, b = text.mid(i, 1)] { peer.send(b); });
        QByteArray line;
        QCOMPARE(client.readLine(line, 1024, 1000), SockStatus::Ok);
        QCOMPARE(line, text);
    }
    // Counted from the start, the same dribble times out: the whole line must come
    // within the time-out.
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        const QByteArray text = "HTTP/1.0 200 slow\r\n";
        // The dribble outlives the wait: tie it to the peer's socket, so it stops
        // when the peer goes.
        for (int i = 0; i < text.size(); ++i)
            QTimer::singleShot(40 * (i + 1), peer.socket(),
                               [&peer, b = text.mid(i, 1)] { peer.send(b); });
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.readLine(line, 1024, 300, nullptr, TimeoutFrom::Start),
                 SockStatus::TimedOut);
        QVERIFY(clock.elapsed() < 700);
    }
    // The peer closes in the middle of a line.
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        duringWait(20, [&peer] {
            peer.send("421 bye");
            peer.socket()->disconnectFromHost();
        });
        QByteArray line;
        QCOMPARE(client.readLine(line, 1024, 5000), SockStatus::PeerClosed);
        QVERIFY(!client.isOpen());
        QCOMPARE(client.readAvailable(), QByteArray("421 bye"));
    }
    // A flag set from inside the wait ends it at once.
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        CancelFlag cancel;
        duringWait(30, [&cancel] { cancel.set(); });
        QByteArray line;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.readLine(line, 1024, 0, &cancel), SockStatus::Cancelled);
        QVERIFY(clock.elapsed() < 5000);
    }
    // Nothing to read from a socket that never connected.
    {
        TSocket client;
        QByteArray line;
        QCOMPARE(client.readLine(line, 1024, 100), SockStatus::PeerClosed);
    }
}

void TestSocket::readAvailableDoesNotWait() {
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    QCOMPARE(client.readAvailable(), QByteArray());
    // What the system already holds counts, even before the event loop has
    // turned: a late reply must be found when it is to be thrown away.
    peer.send("226 late\r\n150 more");
    QCOMPARE(client.readAvailable(), QByteArray("226 late\r\n150 more"));
    QVERIFY(client.isOpen());
}

void TestSocket::dataSurvivesPeerClose() {
    // A server that says goodbye and closes before the client reads: the
    // client still gets the words, then learns the connection is gone.
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    peer.send("221 bye\r\n");
    peer.socket()->disconnectFromHost();
    QTRY_VERIFY(!client.isOpen());
    QByteArray line;
    QCOMPARE(client.readLine(line, 1024, 1000), SockStatus::Ok);
    QCOMPARE(line, QByteArray("221 bye\r\n"));
    QCOMPARE(client.readLine(line, 1024, 1000), SockStatus::PeerClosed);
}

void TestSocket::floodIsHeldBack() {
    // A peer pouring out data nobody reads: the client takes a bounded amount
    // and TCP holds the rest back at the peer.
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    const QByteArray flood(64 * 1024 * 1024, 'f');
    peer.send(flood);
    const bool allTaken = QTest::qWaitFor([&] { return peer.socket()->bytesToWrite() == 0; }, 1000);
    QVERIFY(!allTaken);
    QVERIFY2(client.readAvailable().size() <= 2 * 1024 * 1024, "the client read too much");
    QByteArray line;
    QCOMPARE(client.readLine(line, 64 * 1024, 5000), SockStatus::TooLong);
}

void TestSocket::readToEnd() {
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    QByteArray body;
    for (int i = 0; i < 200000; ++i)
        body += char('a' + i % 26);
    // Sent in pieces spread over about a second, so progress has something to
    // report; then the peer closes.
    const int pieces = 20;
    for (int i = 0; i < pieces; ++i) {
        duringWait(50 * (i + 1), [&peer, piece = body.mid(i * 10000, 10000), i] {
            peer.send(piece);
            if (i == pieces - 1)
                peer.socket()->disconnectFromHost();
        });
    }
    QList<qint64> reports;
    QByteArray got;
    QCOMPARE(client.readToEnd(got, 1 << 20, 5000, nullptr, [&](qint64 n) { reports << n; }),
             SockStatus::Ok);
    QCOMPARE(got, body);
    QVERIFY(!reports.isEmpty());
    QCOMPARE(reports.last(), qint64(body.size()));
    // A few times a second: about a second of data gives a handful, not one
    // per piece.
    QVERIFY2(reports.size() <= 10, qPrintable(QString::number(reports.size())));
    for (int i = 1; i < reports.size(); ++i)
        QVERIFY(reports[i] > reports[i - 1]);
}

void TestSocket::readToEndCapAndPause() {
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        peer.send(QByteArray(5000, 'x'));
        QByteArray got;
        QCOMPARE(client.readToEnd(got, 4096, 5000), SockStatus::TooLong);
        QVERIFY(got.isEmpty());
    }
    {
        Peer peer;
        TSocket client;
        QVERIFY(peer.connect(client));
        peer.send("partial");
        QByteArray got;
        QCOMPARE(client.readToEnd(got, 4096, 200), SockStatus::TimedOut);
    }
}

void TestSocket::writeAndClose() {
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    QCOMPARE(client.write("USER anonymous\r\n", 5000), SockStatus::Ok);
    QCOMPARE(client.close(5000), SockStatus::Ok);
    QVERIFY(!client.isOpen());
    QCOMPARE(peer.receiveAll(), QByteArray("USER anonymous\r\n"));
    // Writing to a closed connection fails at once.
    QCOMPARE(client.write("QUIT\r\n", 5000), SockStatus::PeerClosed);
}

void TestSocket::sendFileWhole() {
    QByteArray content;
    content.reserve(3 * 1024 * 1024 + 7);
    for (int i = 0; i < 3 * 1024 * 1024 + 7; ++i)
        content += char(i * 7 % 256);
    QBuffer file(&content);
    QVERIFY(file.open(QIODevice::ReadOnly));

    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    // The peer reads as the data comes, from inside the sender's wait.
    QByteArray received;
    QObject::connect(peer.socket(), &QIODevice::readyRead, peer.socket(),
                     [&] { received += peer.socket()->readAll(); });
    QList<qint64> reports;
    QCOMPARE(client.sendFile(file, 5000, nullptr, [&](qint64 n) { reports << n; }), SockStatus::Ok);
    QCOMPARE(reports.last(), qint64(content.size()));
    QCOMPARE(client.close(5000), SockStatus::Ok);
    QTRY_COMPARE(peer.socket()->state(), QAbstractSocket::UnconnectedState);
    received += peer.socket()->readAll();
    QCOMPARE(received.size(), content.size());
    QVERIFY(received == content);
}

void TestSocket::sendFileCancelledBeforeNextBlock() {
    QByteArray content(64 * 1024 * 1024, 'z');
    QBuffer file(&content);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    // The peer takes little: the sender soon waits for room, and Abort pressed
    // then stops it before the next block.
    peer.socket()->setReadBufferSize(64 * 1024);
    CancelFlag cancel;
    qint64 readWhenCancelled = -1;
    duringWait(100, [&] {
        readWhenCancelled = file.pos();
        cancel.set();
    });
    QCOMPARE(client.sendFile(file, 0, &cancel), SockStatus::Cancelled);
    QCOMPARE(file.pos(), readWhenCancelled);
    QVERIFY2(file.pos() < content.size() / 4, qPrintable(QString::number(file.pos())));
}

void TestSocket::sendFileKeepsLittleInFlight() {
    // A slow reader must not make the sender pile the file into memory.
    QByteArray content(16 * 1024 * 1024, 'q');
    QBuffer file(&content);
    QVERIFY(file.open(QIODevice::ReadOnly));
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    peer.socket()->setReadBufferSize(64 * 1024);
    qint64 received = 0;
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout,
                     [&] { received += peer.socket()->read(256 * 1024).size(); });
    reader.start(5);
    qint64 mostAhead = 0;
    QCOMPARE(
        client.sendFile(file, 10000, nullptr,
                        [&](qint64 sent) { mostAhead = std::max(mostAhead, file.pos() - sent); }),
        SockStatus::Ok);
    // What was read from the file but not yet taken by the system stays a few
    // blocks at most.
    QVERIFY2(mostAhead <= 2 * 1024 * 1024, qPrintable(QString::number(mostAhead)));
}

void TestSocket::listenerAcceptsOnlyThePeer() {
    TListener listener;
    QVERIFY(listener.listen(Loopback));
    QCOMPARE(listener.address(), Loopback);
    QVERIFY(listener.port() != 0);

    // A connection from 127.0.0.1 when 127.0.0.2 is expected is closed, and the
    // wait goes on to take the one from 127.0.0.2.
    QTcpSocket stranger;
    QTcpSocket expected;
    duringWait(10, [&] { stranger.connectToHost(Loopback, listener.port()); });
    duringWait(150, [&] {
        expected.bind(QHostAddress("127.0.0.2"));
        expected.connectToHost(Loopback, listener.port());
    });
    TSocket data;
    QCOMPARE(listener.accept(data, QHostAddress("127.0.0.2"), 5000), SockStatus::Ok);
    QCOMPARE(data.peerAddress(), QHostAddress("127.0.0.2"));
    QTRY_COMPARE(stranger.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(expected.state(), QAbstractSocket::ConnectedState);
    expected.write("hello\n");
    QByteArray line;
    QCOMPARE(data.readLine(line, 100, 5000), SockStatus::Ok);
    QCOMPARE(line, QByteArray("hello\n"));
}

void TestSocket::listenerCancelAndTimeOut() {
    TListener listener;
    QVERIFY(listener.listen(Loopback));
    TSocket data;
    CancelFlag cancel;
    duringWait(20, [&cancel] { cancel.set(); });
    QCOMPARE(listener.accept(data, Loopback, 0, &cancel), SockStatus::Cancelled);

    // Only strangers come: the wait runs out.
    QTcpSocket stranger;
    duringWait(10, [&] { stranger.connectToHost(Loopback, listener.port()); });
    QCOMPARE(listener.accept(data, QHostAddress("127.0.0.2"), 300), SockStatus::TimedOut);
    QVERIFY(!data.isOpen());

    TListener closed;
    QCOMPARE(closed.accept(data, Loopback, 100), SockStatus::Error);
}

void TestSocket::errorText() {
    QCOMPARE(socketErrorText(QAbstractSocket::ConnectionRefusedError, "Connection refused"),
             QString("0: Connection refused"));
    QCOMPARE(socketErrorText(QAbstractSocket::RemoteHostClosedError, "closed"),
             QString("1: closed"));
}

void TestSocket::quitCancelsAWait() {
    Peer peer;
    TSocket client;
    QVERIFY(peer.connect(client));
    // The answer is on its way when the application quits: the wait must end as
    // cancelled, not hand out half an answer.
    duringWait(20, [&peer] {
        peer.send("220 partial");
        QCoreApplication::exit(0);
    });
    QByteArray line;
    QCOMPARE(client.readLine(line, 1024, 5000), SockStatus::Cancelled);
    QVERIFY(line.isEmpty());
    // Every wait after the quit ends the same way, at once.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(client.readLine(line, 1024, 5000), SockStatus::Cancelled);
    QVERIFY(clock.elapsed() < 1000);
}

TAVIRO_TEST_MAIN(TestSocket)
#include "tst_socket.moc"
