#pragma once

#include "DocumentFile.h"

#include <atomic>
#include <functional>
#include <memory>
#include <QFont>
#include <QPlainTextEdit>
#include <QTextOption>

class QTextDocument;

namespace taviro {

// The document's edit control. Every line of the text is one block of its text
// document, whether it was typed or loaded, so Qt's own idea of a line (word
// moves, paging, triple click, accessibility, the clipboard) is the user's.
//
// Characters the document's encoding cannot hold are turned into "?" as they
// come in (typing, input methods, paste, drop): the screen never shows what the
// file will not keep.
class TRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent = nullptr);

    bool Modified() const;
    void setModified(bool modified);

    // What a fresh text document needs in order to look like this editor's own:
    // read on the GUI thread, used on any thread.
    struct DocumentSettings {
        QFont font;
        QTextOption option;
        qreal margin = 0;
    };
    DocumentSettings documentSettings() const;

    // Hands out the next slice of a text, "\n" between lines and never a CR
    // before the slice's end; an empty slice ends the text.
    using SliceSource = std::function<QString()>;

    // Lays the text `next` hands out into a new document, one block per line,
    // ready for adoptDocument(). Safe on a worker thread: the document belongs to
    // the calling thread, and nothing of it is shown yet. A set `cancel` stops
    // the work and returns null.
    static std::unique_ptr<QTextDocument> layText(const SliceSource& next,
                                                  const DocumentSettings& settings,
                                                  const std::atomic<bool>* cancel = nullptr);
    // The same for a whole text at hand.
    static std::unique_ptr<QTextDocument> layText(QStringView text,
                                                  const DocumentSettings& settings);

    // Shows `document` (made by layText, and living on this thread) in place of
    // the current text: formatting and undo history go, the caret and the view
    // are at the start, and the modified flag is clear.
    void adoptDocument(std::unique_ptr<QTextDocument> document);

    // Replaces the whole text at once; as layText followed by adoptDocument.
    void replaceText(const QString& text);

    // The whole text with "\n" between lines, every character kept as stored
    // (unlike toPlainText(), which turns no-break spaces into blanks).
    QString documentText() const;

    // The same text a piece of whole lines at a time, for a save that need not
    // hold the whole text at once. The editor must not change meanwhile.
    SliceSource textPieces() const;

    // The selected text with "\n" between lines, every character kept.
    QString selectedText() const;

    // The encoding the document is saved in; it decides which incoming characters
    // become "?" (in UTF-8 none do).
    DocumentFile::TextEncoding encoding() const { return m_encoding; }
    void setEncoding(DocumentFile::TextEncoding encoding) { m_encoding = encoding; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    DocumentFile::TextEncoding m_encoding = DocumentFile::TextEncoding::Windows1252;
};

} // namespace taviro
