#include "EncodingButton.h"

#include <QActionGroup>
#include <QMenu>

namespace taviro {

using DocumentFile::TextEncoding;

TEncodingButton::TEncodingButton(QWidget* parent) : QToolButton(parent) {
    setObjectName(QStringLiteral("EncodingButton"));
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setPopupMode(QToolButton::InstantPopup);
    // The style draws the menu arrow over the end of the text in so small a button.
    setStyleSheet(QStringLiteral("QToolButton { padding: 0 6px; }"
                                 "QToolButton::menu-indicator { image: none; }"));
    setToolTip(QStringLiteral("Encoding the page is saved in; click to change it"));
    setAccessibleDescription(QStringLiteral("Click to choose the encoding of the page"));

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("EncodingMenu"));
    auto* group = new QActionGroup(menu);
    const auto entry = [&](TextEncoding encoding) {
        QAction* action = menu->addAction(DocumentFile::encodingName(encoding));
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, encoding] { emit chosen(encoding); });
        return action;
    };
    m_utf8 = entry(TextEncoding::Utf8);
    m_windows1252 = entry(TextEncoding::Windows1252);
    setMenu(menu);
    showEncoding(TextEncoding::Windows1252);
}

void TEncodingButton::showEncoding(TextEncoding encoding) {
    const QString name = DocumentFile::encodingName(encoding);
    setText(name);
    // A screen reader says what the button is as well as what it shows.
    setAccessibleName(QStringLiteral("Encoding: %1").arg(name));
    actionFor(encoding)->setChecked(true);
}

QAction* TEncodingButton::actionFor(TextEncoding encoding) const {
    return encoding == TextEncoding::Utf8 ? m_utf8 : m_windows1252;
}

} // namespace taviro
