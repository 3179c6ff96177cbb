#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace taviro::test {

// A temporary folder that is also the current directory while it lives; the
// previous current directory comes back afterwards.
class WorkDir {
public:
    WorkDir() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~WorkDir() { QDir::setCurrent(m_previous); }
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace taviro::test
