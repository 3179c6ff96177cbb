#pragma once

#include <QByteArray>
#include <QWidget>

namespace taviro {

// The dialog's hidden holder of the fetched page: it keeps the bytes exactly as
// they came, where a text edit would rewrite line breaks and decode characters.
class TByteMemo : public QWidget {
    Q_OBJECT
public:
    explicit TByteMemo(QWidget* parent = nullptr) : QWidget(parent) {}

    QByteArray Text = QByteArrayLiteral("Memo1");
};

} // namespace taviro
