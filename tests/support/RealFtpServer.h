#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace taviro::test {

// A real FTP server from Debian, started on 127.0.0.1 with a free port and a
// temporary root, stopped with the object. Used by tests and benchmarks.
//  - "pyftpdlib" (through /usr/bin/python3): user "tester", password "secret";
//    a wrong password is answered at once.
//  - "vsftpd": anonymous only, as the launching user; uploads allowed (and may
//    replace a file), no passive mode.
class RealFtpServer {
public:
    explicit RealFtpServer(QString kind) : m_kind(std::move(kind)) {}
    ~RealFtpServer() { stop(); }
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // The program the server needs, or an empty string when it is not here.
    QString program() const {
        const QString path = m_kind == "vsftpd" ? "/usr/sbin/vsftpd" : "/usr/bin/python3";
        return QFileInfo(path).isExecutable() ? path : QString();
    }

    // Starts the server; false with error() set when it does not come up.
    bool start() {
        if (!m_work.isValid() || !QDir(m_work.path()).mkpath("root")) {
            m_error = "no temporary folder";
            return false;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (m_kind == "vsftpd" ? startVsftpd() : startPyftpdlib())
                return true;
            stop();
        }
        return false;
    }

    void stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }
    QString root() const { return m_work.filePath("root"); }
    QString user() const { return m_kind == "vsftpd" ? "anonymous" : "tester"; }
    QString password() const { return m_kind == "vsftpd" ? "guest@example.org" : "secret"; }
    QString error() const { return m_error; }
    const QString& kind() const { return m_kind; }

private:
    bool startPyftpdlib() {
        const QString script = m_work.filePath("server.py");
        QFile f(script);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
authorizer = DummyAuthorizer()
authorizer.add_user("tester", "secret", sys.argv[1], perm="elradfmwMT")
class Handler(FTPHandler):
    pass
Handler.authorizer = authorizer
Handler.auth_failed_timeout = 0        # a wrong password is answered at once
Handler.permit_foreign_addresses = False
server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
server.serve_forever()
)");
        f.close();
        m_process.setProgram("/usr/bin/python3");
        m_process.setArguments({script, root()});
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = m_process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!m_process.canReadLine() && clock.elapsed() < 15000 &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(500);
        m_port = quint16(m_process.readLine().trimmed().toUInt());
        if (m_port == 0) {
            m_error = "pyftpdlib did not start";
            return false;
        }
        return true;
    }

    bool startVsftpd() {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0))
                return false;
            m_port = probe.serverPort();
        }
        // Read by vsftpd only when owned by the user running it: we write it.
        const QString config = m_work.filePath("vsftpd.conf");
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(QStringLiteral("listen=YES\n"
                               "listen_ipv6=NO\n"
                               "listen_address=127.0.0.1\n"
                               "listen_port=%1\n"
                               "run_as_launching_user=YES\n"
                               "anonymous_enable=YES\n"
                               "local_enable=NO\n"
                               "anon_root=%2\n"
                               "write_enable=YES\n"
                               "anon_upload_enable=YES\n"
                               "anon_other_write_enable=YES\n" // uploads may replace a file
                               "anon_umask=022\n"
                               "pasv_enable=NO\n"
                               "port_enable=YES\n"
                               "connect_from_port_20=NO\n"
                               "seccomp_sandbox=NO\n"
                               "background=NO\n"
                               "xferlog_enable=NO\n")
                    .arg(m_port)
                    .arg(root())
                    .toUtf8());
        f.close();
        m_process.setProgram("/usr/sbin/vsftpd");
        m_process.setArguments({config});
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error = m_process.errorString();
            return false;
        }
        // Up once it answers.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 15000 && m_process.state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) &&
                probe.readAll().startsWith("220"))
                return true;
            m_process.waitForFinished(100);
        }
        m_error = "vsftpd did not start";
        return false;
    }

    QString m_kind;
    QTemporaryDir m_work;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace taviro::test
