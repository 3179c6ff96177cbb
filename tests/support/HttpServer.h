#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <sys/socket.h>

namespace taviro::test {

// A scripted HTTP server on 127.0.0.1 (a port of the system's choice). Each
// connection gets the next answer of the script (the last one repeats) once its
// request has ended with the empty line, sent in small pieces so that the client
// always reads partial lines. It records every request's exact bytes.
class ScriptedHttpServer : public QObject {
public:
    struct Answer {
        QByteArray bytes;
        // Bytes of `bytes` sent before the server goes quiet with the connection
        // open; -1 sends all and closes.
        qsizetype stallAfter = -1;
        // Reset the connection (RST) after `stallAfter` bytes instead of stalling.
        bool reset = false;
        // Never answer: the request is not even read.
        bool silent = false;
    };

    // `pieceSize` bytes go out every `intervalMs` milliseconds.
    explicit ScriptedHttpServer(QList<Answer> script, int pieceSize = 5, int intervalMs = 1)
        : m_script(std::move(script)), m_pieceSize(pieceSize), m_intervalMs(intervalMs) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                serve(s);
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_server.serverPort(); }
    QString address(const QString& path = QStringLiteral("/")) const {
        return QStringLiteral("127.0.0.1:%1%2").arg(port()).arg(path);
    }
    void close() { m_server.close(); }

    QList<QByteArray> requests;
    int connections = 0;

private:
    void serve(QTcpSocket* s) {
        s->setParent(this);
        const Answer answer =
            m_script.isEmpty() ? Answer{} : m_script.value(connections, m_script.last());
        ++connections;
        if (answer.silent)
            return;
        auto received = std::make_shared<QByteArray>();
        auto started = std::make_shared<bool>(false);
        connect(s, &QTcpSocket::readyRead, this, [this, s, answer, received, started] {
            received->append(s->readAll());
            if (*started || !received->contains("\r\n\r\n"))
                return;
            *started = true;
            requests << *received;
            play(s, answer);
        });
    }

    void play(QTcpSocket* s, const Answer& answer) {
        const qsizetype end = answer.stallAfter < 0 ? answer.bytes.size() : answer.stallAfter;
        auto* timer = new QTimer(s);
        auto sent = std::make_shared<qsizetype>(0);
        QPointer<QTcpSocket> guard(s);
        connect(timer, &QTimer::timeout, s, [this, guard, timer, answer, end, sent] {
            if (!guard)
                return;
            if (*sent < end) {
                const qsizetype n = std::min<qsizetype>(m_pieceSize, end - *sent);
                guard->write(answer.bytes.mid(*sent, n));
                *sent += n;
                return;
            }
            timer->stop();
            if (answer.reset) {
                guard->flush();
                // Linger 0: the close sends a reset instead of an orderly end.
                struct linger l {
                    1, 0
                };
                ::setsockopt(int(guard->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
                guard->abort();
            } else if (answer.stallAfter < 0) {
                guard->disconnectFromHost();
            }
        });
        timer->start(m_intervalMs);
    }

    QTcpServer m_server;
    QList<Answer> m_script;
    int m_pieceSize;
    int m_intervalMs;
};

} // namespace taviro::test
