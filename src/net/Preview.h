#pragma once

#include <QString>

namespace taviro {

class IDocumentHost;

// The preview work files, one per kind of page, written into the current
// directory and left there.
namespace PreviewFile {
inline const QString Asp = QStringLiteral("preview.asp");
inline const QString Html = QStringLiteral("preview.htm");
inline const QString Php = QStringLiteral("preview.php3");
} // namespace PreviewFile

// Writes the whole document to `workFile` exactly as Save would, then hands the
// file to the desktop shell. The document itself (name, text, modified flag)
// stays as it is; whether the shell finds a program for it is not examined.
void PreviewDocument(IDocumentHost& host, const QString& workFile);

} // namespace taviro
