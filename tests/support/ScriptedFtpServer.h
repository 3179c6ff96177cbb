#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace taviro::test {

// An FTP server that plays a script on 127.0.0.1 (port 0) and records every
// command it receives. It runs on the test's own event loop, which keeps
// turning while the client under test waits.
class ScriptedFtpServer : public QObject {
public:
    // When the server opens the data connection to the client's PORT address.
    enum class DataConnect { OnStor, OnPort, Never, StrangerFirst };

    ScriptedFtpServer() {
        listen();
        replies["USER"] = {"331 Password required\r\n"};
        replies["PASS"] = {"230 Logged in\r\n"};
        replies["CWD"] = {"250 Directory changed\r\n"};
        replies["PORT"] = {"200 PORT command successful\r\n"};
        replies["STOR"] = {"150 Opening data connection\r\n"};
        replies["QUIT"] = {"221 Goodbye\r\n"};
    }

    quint16 port() const { return m_server.serverPort(); }

    // The script.
    QByteArray greeting = "220 Scripted FTP ready\r\n";
    // Replies per command word, used in order; the last one repeats.
    QHash<QByteArray, QList<QByteArray>> replies;
    // Sent when the data connection has closed (after STOR).
    QByteArray afterData = "226 Transfer complete\r\n";
    // Sends the STOR reply and afterData in one write, before any data.
    bool storRepliesAtOnce = false;
    // Sends every reply one byte at a time, each in a write of its own.
    bool dribble = false;
    // Commands (their word) that get no answer at all.
    QList<QByteArray> silentOn;
    // Commands (their word) on which the server closes the control connection
    // instead of answering.
    QList<QByteArray> closeOn;
    DataConnect dataConnect = DataConnect::OnStor;
    // While true the server reads nothing from the data connection.
    bool holdData = false;

    // What happened.
    QList<QByteArray> commands; // every command line, without its line break
    int controlConnections = 0;
    QByteArray stored;       // bytes of the last data connection
    int dataConnections = 0; // data connections that ended
    bool strangerRefused = false;
    QHostAddress portAddress; // from the last PORT
    quint16 portPort = 0;

    void closeControl() {
        if (m_control)
            m_control->disconnectFromHost();
    }
    void releaseData() {
        holdData = false;
        if (m_data)
            readData();
    }
    // Bytes received on the current data connection so far.
    qint64 dataSoFar() const { return m_received.size(); }

private:
    void listen() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                if (m_control)
                    m_control->abort();
                m_control = s;
                m_pending.clear();
                ++controlConnections;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onCommandBytes(s); });
                send(greeting);
            }
        });
    }

    void send(const QByteArray& bytes) {
        if (!m_control || bytes.isEmpty())
            return;
        if (!dribble) {
            m_control->write(bytes);
            m_control->flush();
            return;
        }
        m_dribbleQueue += bytes;
        if (!m_dribbling) {
            m_dribbling = true;
            dribbleNext();
        }
    }
    void dribbleNext() {
        if (m_dribbleQueue.isEmpty() || !m_control) {
            m_dribbling = false;
            return;
        }
        m_control->write(m_dribbleQueue.left(1));
        m_control->flush();
        m_dribbleQueue.remove(0, 1);
        QTimer::singleShot(1, this, [this] { dribbleNext(); });
    }

    QByteArray reply(const QByteArray& verb) {
        QList<QByteArray>& queue = replies[verb];
        if (queue.isEmpty())
            return "502 Command not implemented\r\n";
        return queue.size() > 1 ? queue.takeFirst() : queue.first();
    }

    void onCommandBytes(QTcpSocket* s) {
        if (s != m_control)
            return;
        m_pending += s->readAll();
        for (qsizetype lf; (lf = m_pending.indexOf('\n')) >= 0;) {
            QByteArray line = m_pending.left(lf + 1);
            m_pending.remove(0, lf + 1);
            line.chop(line.endsWith("\r\n") ? 2 : 1);
            onCommand(line);
        }
    }

    void onCommand(const QByteArray& line) {
        commands << line;
        const qsizetype blank = line.indexOf(' ');
        const QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        if (closeOn.contains(verb)) {
            closeControl();
            return;
        }
        if (silentOn.contains(verb))
            return;
        const QByteArray answer = reply(verb);
        if (verb == "PORT") {
            const QList<QByteArray> n = line.mid(5).split(',');
            if (n.size() == 6) {
                portAddress =
                    QHostAddress(QString::fromLatin1(n[0] + '.' + n[1] + '.' + n[2] + '.' + n[3]));
                portPort = quint16(n[4].toInt() * 256 + n[5].toInt());
            }
            send(answer);
            if (dataConnect == DataConnect::OnPort)
                openData();
            return;
        }
        if (verb == "STOR") {
            if (storRepliesAtOnce) {
                send(answer + afterData);
                m_afterDataSent = true;
            } else {
                send(answer);
                m_afterDataSent = false;
            }
            if (answer.startsWith('1') &&
                (dataConnect == DataConnect::OnStor || dataConnect == DataConnect::StrangerFirst))
                openData();
            return;
        }
        send(answer);
        if (verb == "QUIT")
            closeControl();
    }

    void openData() {
        if (dataConnect == DataConnect::StrangerFirst && !m_strangerTried) {
            m_strangerTried = true;
            auto* stranger = new QTcpSocket(this);
            stranger->bind(QHostAddress("127.0.0.2"));
            connect(stranger, &QTcpSocket::disconnected, this, [this, stranger] {
                strangerRefused = true;
                stranger->deleteLater();
                openData();
            });
            stranger->connectToHost(portAddress, portPort);
            return;
        }
        m_received.clear();
        m_data = new QTcpSocket(this);
        QTcpSocket* d = m_data;
        // Held data must stay in the system's buffers, so the sender feels it.
        d->setReadBufferSize(256 * 1024);
        connect(d, &QTcpSocket::readyRead, this, [this] { readData(); });
        connect(d, &QTcpSocket::disconnected, this, [this, d] {
            if (d != m_data)
                return;
            readData(true);
            stored = m_received;
            ++dataConnections;
            if (!m_afterDataSent)
                send(afterData);
            m_afterDataSent = true;
            d->deleteLater();
        });
        d->connectToHost(portAddress, portPort);
    }

    void readData(bool all = false) {
        if (m_data && (all || !holdData))
            m_received += m_data->readAll();
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_control;
    QPointer<QTcpSocket> m_data;
    QByteArray m_pending;
    QByteArray m_received;
    QByteArray m_dribbleQueue;
    bool m_dribbling = false;
    bool m_afterDataSent = false;
    bool m_strangerTried = false;
};

} // namespace taviro::test
