#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace taviro::DocumentFile {

// File bytes to editor text: code-page bytes to characters, and CR LF, a lone CR
// and a lone LF each to one "\n".
QString fromBytes(const QByteArray& bytes);

// Reads a whole file. Raises "Cannot open file <path>" when it cannot be opened;
// a read that fails after that keeps what was read.
QString load(const QString& path);

// Replaces the file at `path` with `text` as a whole: the old file stays exactly
// as it was unless the new one was written completely. Raises "Cannot create
// file <path>" when the file cannot be created or replaced (read-only included)
// and "Failed to Save Stream" when writing fails. The file holds CR LF between
// lines and nothing added; characters the code page lacks become "?". A file
// with other hard links, or another owner or group, keeps them (see SafeWrite.h).
void save(const QString& path, QStringView text);

} // namespace taviro::DocumentFile
