#pragma once

#include "DocumentFile.h"

#include <QToolButton>

class QAction;

namespace taviro {

// The document's encoding at the right end of the status line. A click offers
// the encodings; the choice is announced, and what the document then is comes
// back through showEncoding().
class TEncodingButton : public QToolButton {
    Q_OBJECT
public:
    explicit TEncodingButton(QWidget* parent = nullptr);

    void showEncoding(DocumentFile::TextEncoding encoding);

    // The menu entry for `encoding`.
    QAction* actionFor(DocumentFile::TextEncoding encoding) const;

signals:
    void chosen(DocumentFile::TextEncoding encoding);

private:
    QAction* m_utf8 = nullptr;
    QAction* m_windows1252 = nullptr;
};

} // namespace taviro
