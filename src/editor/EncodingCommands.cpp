// The document's encoding: what load, New and the status line's choice set, and
// what every save of the document uses.

#include "EncodingButton.h"
#include "Guard.h"
#include "MainForm.h"
#include "RichEdit.h"

#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace taviro {

using DocumentFile::DocumentFormat;
using DocumentFile::TextEncoding;

void TMainForm::setUpEncodingChoice() {
    EncodingButton = new TEncodingButton(StatusLine);
    // A permanent widget: the menu hints written to the line never cover it.
    StatusLine->addPermanentWidget(EncodingButton);
    connect(EncodingButton, &TEncodingButton::chosen, this, [this](TextEncoding encoding) {
        runGuarded([&] { ChooseEncoding(encoding); });
        // A question cancelled or a failed read leaves the document as it was.
        EncodingButton->showEncoding(m_format.encoding);
    });
    setDocumentFormat(DocumentFile::newDocumentFormat());
}

void TMainForm::setDocumentFormat(const DocumentFile::DocumentFormat& format) {
    m_format = format;
    RichEdit1->setEncoding(format.encoding);
    EncodingButton->showEncoding(format.encoding);
}

void TMainForm::ChooseEncoding(TextEncoding encoding) {
    if (encoding == m_format.encoding)
        return;
    if (m_documentName.isEmpty()) {
        // Nothing to read again: the next save uses the new encoding, and the
        // text loses at once what that encoding will not keep.
        setDocumentFormat({encoding, false});
        replaceUnencodable();
        return;
    }
    // The file is read again in the chosen encoding, which would drop the changes.
    PromptSaveChanges();
    loadPage(m_documentName, encoding);
}

void TMainForm::replaceUnencodable() {
    QTextDocument* document = RichEdit1->document();
    QTextCursor cursor(document);
    bool editing = false;
    // From the end, so that a replacement never moves what is still to come.
    for (QTextBlock block = document->lastBlock(); block.isValid(); block = block.previous()) {
        const QString text = block.text();
        const QString clean = DocumentFile::sanitize(text, m_format.encoding);
        if (clean == text)
            continue;
        for (qsizetype i = text.size() - 1; i >= 0; --i) {
            qsizetype start = i;
            if (text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate())
                start = i - 1;
            const QString one = text.mid(start, i - start + 1);
            if (DocumentFile::sanitize(one, m_format.encoding) != one) {
                if (!editing) {
                    // One step for undo.
                    cursor.beginEditBlock();
                    editing = true;
                }
                cursor.setPosition(block.position() + int(start));
                cursor.setPosition(block.position() + int(i) + 1, QTextCursor::KeepAnchor);
                cursor.insertText(QStringLiteral("?"));
            }
            i = start;
        }
    }
    if (editing)
        cursor.endEditBlock();
}

} // namespace taviro
