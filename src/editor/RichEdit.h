#pragma once

#include "DocumentFile.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>

namespace taviro {

// The document's edit control. Characters the document's encoding cannot hold are
// turned into "?" as they come in (typing, input methods, paste, drop): the
// screen never shows what the file will not keep.
class TRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent = nullptr);

    // Lines of a loaded text are grouped into blocks of the text document and
    // ended by line separators within a block (see replaceText); to the user and
    // in every text that leaves the control they are ordinary lines.

    bool Modified() const;
    void setModified(bool modified);

    // Replaces the whole text; character formatting and undo history go, and the
    // modified flag is clear afterwards. `text` uses "\n" between lines.
    void replaceText(QString text);

    // The whole text with "\n" between lines, every character kept as stored
    // (unlike toPlainText(), which turns no-break spaces into blanks).
    QString documentText() const;

    // The encoding the document is saved in; it decides which incoming characters
    // become "?" (in UTF-8 none do).
    DocumentFile::TextEncoding encoding() const { return m_encoding; }
    void setEncoding(DocumentFile::TextEncoding encoding) { m_encoding = encoding; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void selectLineAt(const QTextCursor& at);

    DocumentFile::TextEncoding m_encoding = DocumentFile::TextEncoding::Windows1252;
    // Where and when the last double click was, to tell a triple click.
    QPoint m_doubleClickPos;
    qint64 m_doubleClickTime = -1;
};

} // namespace taviro
