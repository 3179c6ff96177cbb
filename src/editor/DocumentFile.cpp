#include "DocumentFile.h"

#include "AnsiCodec.h"
#include "Exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace taviro::DocumentFile {

QString fromBytes(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p < end) {
        const char c = *p++;
        if (c == '\r') {
            if (p < end && *p == '\n')
                ++p;
            *out++ = QLatin1Char('\n');
        } else {
            *out++ = AnsiCodec::toUnicode(static_cast<unsigned char>(c));
        }
    }
    text.truncate(out - text.constData());
    return text;
}

QByteArray toBytes(QStringView text) {
    const qsizetype breaks = text.count(QLatin1Char('\n'));
    QByteArray bytes(text.size() + breaks, Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\n')) {
            *out++ = '\r';
            *out++ = '\n';
            continue;
        }
        const int b = AnsiCodec::fromUnicode(ch);
        *out++ = static_cast<char>(b >= 0 ? b : '?');
    }
    return bytes;
}

QString load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1").arg(path));
    return fromBytes(file.readAll());
}

namespace {

// A file with every write permission bit cleared is read-only to the user, even
// to one whom the system would let write it anyway (root).
bool isReadOnlyFile(const QFileInfo& info) {
    // WriteUser is what the system grants us, not the file's own bits.
    constexpr auto anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return info.exists() && info.isFile() && !(info.permissions() & anyWrite);
}

} // namespace

void save(const QString& path, QStringView text) {
    const QByteArray bytes = toBytes(text);
    const auto cannotCreate = [&] {
        return Exception(QStringLiteral("Cannot create file %1").arg(path));
    };
    if (path.isEmpty() || isReadOnlyFile(QFileInfo(path)))
        throw cannotCreate();

    QSaveFile file(path);
    // A writable file in a folder we may not create files in is written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw cannotCreate();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw Exception(QStringLiteral("Failed to Save Stream"));
    }
    if (!file.commit()) {
        if (file.error() == QFileDevice::RenameError)
            throw cannotCreate();
        throw Exception(QStringLiteral("Failed to Save Stream"));
    }
}

} // namespace taviro::DocumentFile
