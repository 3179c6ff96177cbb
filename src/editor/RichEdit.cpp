#include "RichEdit.h"

#include "AnsiCodec.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>

namespace taviro {

TRichEdit::TRichEdit(QWidget* parent) : QPlainTextEdit(parent) {}

bool TRichEdit::Modified() const { return document()->isModified(); }

void TRichEdit::setModified(bool modified) { document()->setModified(modified); }

void TRichEdit::replaceText(const QString& text) {
    // setPlainText() gives the new text the caret's character format; without
    // this reset, formatting from the old document would survive New and Open.
    setCurrentCharFormat(QTextCharFormat());
    setPlainText(text);
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
    const QString clean = AnsiCodec::sanitize(text);
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
    const QString clean = AnsiCodec::sanitize(commit);
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
    plain.setText(AnsiCodec::sanitize(source->text()));
    QPlainTextEdit::insertFromMimeData(&plain);
}

} // namespace taviro
