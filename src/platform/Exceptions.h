#pragma once

#include <exception>
#include <QString>

namespace taviro {

// The program's failures. The message is the exact text the user sees; the
// default error display adds the closing full stop, never the thrower.
class Exception : public std::exception {
public:
    explicit Exception(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The silent abort: ends a command without any message.
class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// A settings read found no base key: nothing has been stored there yet. Its own
// kind, so that callers need not recognise the case by its message.
class EKeyNotFound : public Exception {
public:
    using Exception::Exception;
};

class ESockError : public Exception {
public:
    using Exception::Exception;
};

// A socket wait that was cancelled; shown like any other failure.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

class FTPException : public Exception {
public:
    using Exception::Exception;
};

// Raises the silent abort.
[[noreturn]] inline void Abort() {
    throw EAbort();
}

} // namespace taviro
