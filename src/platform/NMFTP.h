#pragma once

#include "FtpReply.h"
#include "Socket.h"

#include <QObject>
#include <QString>

namespace taviro {

// FTP client for uploading one file at a time: active mode, no proxy, no
// transfer type set. Every operation blocks its caller while the event loop
// keeps turning, and reports failure by raising:
//  - FTPException: the server refused; the message is its reply's first line
//    as received (code and line break included);
//  - ESockError: the connection failed ("Null Remote Address", "Connection
//    Failed", "Accepting Canceled", "Error creating Data Connection", time-outs,
//    the system's error text), EAbortError for "Socket send aborted";
//  - Exception: "Not Connected", a busy client, a file that cannot be opened.
// The only commands it sends are USER, PASS, CWD, PORT, STOR and QUIT.
class TNMFTP : public QObject {
    Q_OBJECT
public:
    explicit TNMFTP(QObject* parent = nullptr);
    ~TNMFTP() override; // drops the control connection without QUIT

    // Connection properties, read by Connect.
    QString Host;
    int Port = 21;
    QString UserID;
    QString Password;

    // The longest a single wait may go without any progress before the
    // operation fails: a server that stops answering must not hold the
    // dialog for ever.
    int WaitLimitMs = 60000;

    void Connect();
    void Disconnect();
    void ChangeDir(const QString& directory);
    // An empty remote name stores the file under its own name, without folder.
    void Upload(const QString& localFile, const QString& remoteName);
    // Stops a running upload (before the data connection is accepted or before
    // the next block is sent); does nothing otherwise.
    void Abort();

    bool Connected() const;
    // An operation is running; a second one would be refused.
    bool Busy() const { return m_busy; }

    static inline const QString BusyMessage =
        QStringLiteral("Another FTP command is still running. Wait until it has finished");

signals:
    // During an upload: bytes sent of the file's size, a few times a second.
    void uploadProgress(qint64 sent, qint64 total);

private:
    class BusyScope;
    void requireConnected();
    void throwAwayUnread();
    void sendCommand(const QString& command);
    int readReply();
    void dropConnection();
    void quitAfterRefusal();
    [[noreturn]] void controlFailure(SockStatus status);

    TSocket m_control;
    FtpReplyParser m_reply;
    bool m_connected = false;
    bool m_busy = false;
    bool m_transfer = false;
    bool m_replyOwed = false; // a broken transfer's final reply may still come
    static constexpr int OwedReplyWaitMs = 3000;
    CancelFlag m_cancel;
};

} // namespace taviro
