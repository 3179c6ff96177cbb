#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

namespace taviro::DocumentFile {

// The two encodings a page is kept in: single bytes of Windows-1252, where every
// byte value round-trips, and UTF-8.
enum class TextEncoding { Windows1252, Utf8 };

// How a document's text becomes bytes again: its encoding, and for UTF-8 whether
// the file starts with a byte-order mark (kept when it had one, never added).
struct DocumentFormat {
    TextEncoding encoding = TextEncoding::Windows1252;
    bool byteOrderMark = false;
    bool operator==(const DocumentFormat&) const = default;
};

struct DecodedText {
    QString text;
    DocumentFormat format;
};

// The name the user sees for an encoding: "UTF-8", "Windows-1252".
QString encodingName(TextEncoding encoding);

// File bytes to editor text, the encoding chosen from the bytes: valid UTF-8 with
// a multi-byte sequence or a byte-order mark is UTF-8; plain ASCII is UTF-8 unless
// a <meta> in its first 1,024 bytes declares another character set; everything
// else is Windows-1252, byte for byte. CR LF, a lone CR and a lone LF each become
// one "\n". A pure function: safe from any thread.
DecodedText decode(const QByteArray& bytes);

// The same, in the encoding the user chose. In UTF-8 a leading byte-order mark is
// taken as such, and a sequence that is not UTF-8 shows as U+FFFD.
DecodedText decodeAs(const QByteArray& bytes, TextEncoding encoding);

// Reading a page a piece at a time, so that its bytes and its whole text are
// never in memory beside the editor's document. A piece ends just after a LF
// (or at the end of the page), so it never splits a line break or a UTF-8
// sequence, and pieces decode exactly as the whole page would.

// The format decode() would choose, from the page's pieces handed in order.
class FormatDetector {
public:
    void add(QByteArrayView piece);
    DocumentFormat format() const;

private:
    bool m_first = true;
    bool m_mark = false;
    bool m_valid = true;
    bool m_multiByte = false;
    QByteArray m_head;
    QString m_scratch;
};

// The same for a whole page at hand.
DocumentFormat detectFormat(const QByteArray& bytes);
// The format decodeAs() gives a page that starts with `start`.
DocumentFormat formatAs(QByteArrayView start, TextEncoding encoding);
// One piece's text in `format`; `first` for the page's first piece, whose
// byte-order mark the format may record.
QString decodePiece(QByteArrayView piece, bool first, DocumentFormat format);
// The next piece of a whole page at hand, from byte `from` on, which moves past
// it; an empty text at the end.
QString decodePiece(const QByteArray& bytes, qsizetype& from, DocumentFormat format);

// decode(bytes).text.
QString fromBytes(const QByteArray& bytes);

// The character set a page's <meta> declares in `head` (its first 1,024 bytes are
// looked at), lower-cased, or empty when there is none.
QByteArray declaredCharset(QByteArrayView head);

// The text with every character `encoding` cannot hold replaced by "?" (a
// character beyond the basic plane is one "?"); the text itself, shared, when
// nothing needs replacing. For UTF-8 only unpaired surrogates are replaced.
QString sanitize(const QString& text, TextEncoding encoding);

// New documents: UTF-8 when the locale's character set is UTF-8, else Windows-1252.
TextEncoding encodingForCodeset(QByteArrayView codeset);
// The locale's character set (nl_langinfo(CODESET)), or the one set in its place.
QByteArray localeCodeset();
// Puts `codeset` in place of the locale's (std::nullopt: the locale's again), so
// that both kinds of locale can be tried in one run.
void setLocaleCodeset(std::optional<QByteArray> codeset);
DocumentFormat newDocumentFormat();


// Replaces the file at `path` with `text` as a whole: the old file stays exactly
// as it was unless the new one was written completely. Raises "Cannot create
// file <path>" when the file cannot be created or replaced (read-only included)
// and "Failed to Save Stream" when writing fails. The file holds the text in
// `format`, CR LF between lines and nothing added; characters the encoding lacks
// become "?". A file with other hard links, or another owner or group, keeps them
// (see SafeWrite.h).
void save(const QString& path, QStringView text, DocumentFormat format = {});

// Hands out the next piece of a text, "\n" between lines; an empty piece ends it.
using TextPieces = std::function<QString()>;
// The same save for a text handed out a piece at a time, so that a large page's
// text need not be in memory whole beside the editor's document. A piece must
// not end between the two halves of a character beyond the basic plane.
void save(const QString& path, const TextPieces& pieces, DocumentFormat format = {});

} // namespace taviro::DocumentFile
