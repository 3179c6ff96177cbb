#include "RichEdit.h"

#include "DocumentFile.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

namespace taviro {

TRichEdit::TRichEdit(QWidget* parent) : QPlainTextEdit(parent) {}

bool TRichEdit::Modified() const {
    return document()->isModified();
}

void TRichEdit::setModified(bool modified) {
    document()->setModified(modified);
}

namespace {

// Lines per block of the text document. Qt's document takes each block in a few
// microseconds, which for a page of a million lines would be seconds; lines
// within a block are ended by line separators, which show and behave as line
// breaks and are written as such.
constexpr int kLinesPerBlock = 32;

// Works in place: a large page is not copied once more.
QString groupLines(QString text) {
    char16_t* p = reinterpret_cast<char16_t*>(text.data());
    char16_t* const end = p + text.size();
    int inBlock = 0;
    for (; p < end; ++p) {
        if (*p == u'\n' && ++inBlock < kLinesPerBlock)
            *p = QChar::LineSeparator;
        else if (*p == u'\n')
            inBlock = 0;
    }
    return text;
}

} // namespace

void TRichEdit::replaceText(QString text) {
    // setPlainText() gives the new text the caret's character format; without
    // this reset, formatting from the old document would survive New and Open.
    setCurrentCharFormat(QTextCharFormat());
    setPlainText(groupLines(std::move(text)));
    setCurrentCharFormat(QTextCharFormat());
    setModified(false);
}

QString TRichEdit::documentText() const {
    QString text = document()->toRawText();
    // Paragraph and line separators both end a line in the file. They are the
    // only two characters whose code with the low bit set is U+2029; one test per
    // character keeps this pass cheap on a large page.
    char16_t* const begin = reinterpret_cast<char16_t*>(text.data());
    char16_t* const end = begin + text.size();
    for (char16_t* p = begin; p < end; ++p) {
        if ((*p | 1) == QChar::ParagraphSeparator)
            *p = u'\n';
    }
    return text;
}

void TRichEdit::keyPressEvent(QKeyEvent* event) {
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

void TRichEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    m_doubleClickPos = event->position().toPoint();
    m_doubleClickTime = QDateTime::currentMSecsSinceEpoch();
}

void TRichEdit::mousePressEvent(QMouseEvent* event) {
    const bool tripleClick = event->button() == Qt::LeftButton && m_doubleClickTime >= 0 &&
                             QDateTime::currentMSecsSinceEpoch() - m_doubleClickTime <=
                                 QApplication::doubleClickInterval() &&
                             (event->position().toPoint() - m_doubleClickPos).manhattanLength() <
                                 QApplication::startDragDistance();
    m_doubleClickTime = -1;
    // Taken before Qt's own handling, which may scroll.
    const QTextCursor at = cursorForPosition(event->position().toPoint());
    QPlainTextEdit::mousePressEvent(event);
    // Qt selects the whole block, which may hold many lines: select the line.
    if (tripleClick)
        selectLineAt(at);
}

void TRichEdit::selectLineAt(const QTextCursor& at) {
    const QTextBlock block = at.block();
    const QString text = block.text();
    const int column = at.positionInBlock();
    const qsizetype start = text.lastIndexOf(QChar::LineSeparator, column - 1) + 1;
    qsizetype end = text.indexOf(QChar::LineSeparator, column);
    if (end < 0)
        end = text.size();
    QTextCursor line(document());
    line.setPosition(block.position() + int(start));
    // The line's own break goes with it, as with Qt's selection of a block.
    const int last = block.position() + int(end) + 1;
    line.setPosition(std::min(last, document()->characterCount() - 1), QTextCursor::KeepAnchor);
    setTextCursor(line);
}

} // namespace taviro
