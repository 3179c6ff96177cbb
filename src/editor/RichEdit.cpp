#include "RichEdit.h"

#include "DocumentFile.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThreadPool>

namespace taviro {

TRichEdit::TRichEdit(QWidget* parent) : QPlainTextEdit(parent) {}

bool TRichEdit::Modified() const {
    return document()->isModified();
}

void TRichEdit::setModified(bool modified) {
    document()->setModified(modified);
}

TRichEdit::DocumentSettings TRichEdit::documentSettings() const {
    const QTextDocument* doc = document();
    return {doc->defaultFont(), doc->defaultTextOption(), doc->documentMargin()};
}

namespace {

// Characters per insertion while a text is laid whole: small enough that a cancel
// is seen often, large enough that the insertions cost nothing extra.
constexpr qsizetype kSliceChars = 256 * 1024;

} // namespace

std::unique_ptr<QTextDocument> TRichEdit::layText(const SliceSource& next,
                                                  const DocumentSettings& settings,
                                                  const std::atomic<bool>* cancel) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setUndoRedoEnabled(false);
    doc->setDefaultFont(settings.font);
    doc->setDefaultTextOption(settings.option);
    doc->setDocumentMargin(settings.margin);
    // The editor's own layout, made here so that the document is complete when
    // the editor takes it; it lays nothing out before it is shown.
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc.get()));

    QTextCursor cursor(doc.get());
    cursor.beginEditBlock();
    for (QString slice = next(); !slice.isEmpty(); slice = next()) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return nullptr;
        cursor.insertText(slice);
    }
    cursor.endEditBlock();
    // Qt gives every block a layout object when the editor first sets the width,
    // an allocation per line: made here, that work stays off the GUI thread, and
    // adoptDocument() only resets them.
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        block.layout();
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    return doc;
}

std::unique_ptr<QTextDocument> TRichEdit::layText(QStringView text,
                                                  const DocumentSettings& settings) {
    qsizetype from = 0;
    return layText(
        [&]() -> QString {
            if (from >= text.size())
                return QString();
            qsizetype to = std::min(from + kSliceChars, text.size());
            // A slice never ends between a CR and its LF (a page's text has
            // neither, but Qt would read them as two breaks).
            if (to < text.size() && text[to - 1] == u'\r')
                ++to;
            const QString slice = text.sliced(from, to - from).toString();
            from = to;
            return slice;
        },
        settings);
}

namespace {

// Freeing a page of a million lines takes a good part of a second; a large
// document that is done with is freed on a pool thread, so that opening the next
// page does not freeze the window.
constexpr int kFreeAwayBlocks = 20000;

void discard(QTextDocument* doc) {
    doc->setParent(nullptr);
    if (doc->blockCount() < kFreeAwayBlocks) {
        delete doc;
        return;
    }
    // No thread may deliver events to it any more; the pool thread owns it.
    doc->moveToThread(nullptr);
    QThreadPool::globalInstance()->start([doc] { delete doc; });
}

} // namespace

void TRichEdit::adoptDocument(std::unique_ptr<QTextDocument> document) {
    // Qt deletes its own first document; the ones adopted here are ours.
    const QPointer<QTextDocument> previous = this->document();
    // The new text starts with no formatting; without this reset the caret's
    // format would carry the old document's formatting over New and Open.
    QTextDocument* doc = document.release();
    doc->setParent(this);
    setDocument(doc);
    if (previous && previous->parent() == this)
        discard(previous);
    setCurrentCharFormat(QTextCharFormat());
    moveCursor(QTextCursor::Start);
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    setModified(false);
}

void TRichEdit::replaceText(const QString& text) {
    adoptDocument(layText(text, documentSettings()));
}

QString TRichEdit::documentText() const {
    QString text = document()->toRawText();
    // Blocks are separated by paragraph separators in the raw text.
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

TRichEdit::SliceSource TRichEdit::textPieces() const {
    return [block = document()->begin()]() mutable {
        QString piece;
        while (block.isValid() && piece.size() < kSliceChars) {
            // Block text keeps every character, no-break spaces included.
            piece += block.text();
            block = block.next();
            if (block.isValid())
                piece += u'\n';
        }
        return piece;
    };
}

QString TRichEdit::selectedText() const {
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

QMimeData* TRichEdit::createMimeDataFromSelection() const {
    // Qt's own text goes through a fragment's toPlainText(), which turns a
    // no-break space into a blank; copy, cut and drag carry the exact characters.
    // Qt's own mime data makes its text on demand, over anything set on it.
    const std::unique_ptr<QMimeData> qt(QPlainTextEdit::createMimeDataFromSelection());
    auto* data = new QMimeData;
    data->setHtml(qt->html());
    data->setText(selectedText());
    return data;
}

void TRichEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::InsertLineSeparator)) {
        // Qt would put a line separator inside the line: it looks like a line
        // break but is none in the file. A page only knows one kind of break.
        QKeyEvent enter(event->type(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QPlainTextEdit::keyPressEvent(&enter);
        event->setAccepted(enter.isAccepted());
        return;
    }
    const QString text = event->text();
    const QString clean = DocumentFile::sanitize(text, m_encoding);
    if (clean == text) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent replaced(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                       event->nativeVirtualKey(), event->nativeModifiers(), clean,
                       event->isAutoRepeat(), quint16(event->count()));
    QPlainTextEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void TRichEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    const QString clean = DocumentFile::sanitize(commit, m_encoding);
    if (clean == commit) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent replaced(event->preeditString(), event->attributes());
    replaced.setCommitString(clean, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void TRichEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QMimeData plain;
    plain.setText(DocumentFile::sanitize(source->text(), m_encoding));
    QPlainTextEdit::insertFromMimeData(&plain);
}

} // namespace taviro
