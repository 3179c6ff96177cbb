#pragma once

#include <QPlainTextEdit>

namespace taviro {

// The document's edit control. The file holds single bytes of the document code
// page, so characters it cannot hold are turned into "?" as they come in (typing,
// input methods, paste, drop): the screen never shows what the file will not keep.
class TRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TRichEdit(QWidget* parent = nullptr);

    bool Modified() const;
    void setModified(bool modified);

    // Replaces the whole text; character formatting and undo history go, and the
    // modified flag is clear afterwards. `text` uses "\n" between lines.
    void replaceText(const QString& text);

    // The whole text with "\n" between lines, every character kept as stored
    // (unlike toPlainText(), which turns no-break spaces into blanks).
    QString documentText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
};

} // namespace taviro
