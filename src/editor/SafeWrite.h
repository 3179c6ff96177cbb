#pragma once

#include <functional>
#include <QString>

namespace taviro {

// Takes the next slice of a file's bytes; false when it could not be written.
using ByteSink = std::function<bool(const char* data, qsizetype size)>;
// Hands a file's bytes to the sink in slices, in order; returns false as soon as
// the sink does.
using ByteProducer = std::function<bool(const ByteSink& sink)>;

// Writes the bytes `produce` hands out as the whole new content of the file at
// `path`; the old content stays exactly as it was unless the new one was written
// completely. Raises "Cannot create file <path>" when the file cannot be created
// or replaced (a read-only file included) and "Failed to Save Stream" when
// writing fails.
//
// The file is normally replaced by a complete new one (QSaveFile), which a crash
// cannot leave half-written. A file with other hard links, or one that a new
// file would give another owner or group, is written in place instead, after a
// backup copy beside it: the other links then see the new text and the file
// keeps its owner. The backup (beside the file, or in the temporary folder when
// the file's folder takes no new file) is removed once the write has succeeded and put
// back if it fails.
void writeFileSafely(const QString& path, const ByteProducer& produce);

} // namespace taviro
