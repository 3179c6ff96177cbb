#include "FontDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace taviro {

namespace {

struct NamedColor {
    const char* name;
    QRgb rgb;
};

// The sixteen colours a Windows font dialog offers.
constexpr NamedColor kColors[] = {
    {"Black", 0x000000},  {"Maroon", 0x800000},  {"Green", 0x008000}, {"Olive", 0x808000},
    {"Navy", 0x000080},   {"Purple", 0x800080},  {"Teal", 0x008080},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0xFF0000},     {"Lime", 0x00FF00},  {"Yellow", 0xFFFF00},
    {"Blue", 0x0000FF},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0x00FFFF},  {"White", 0xFFFFFF},
};

QIcon swatch(const QColor& color) {
    QPixmap pixmap(16, 12);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

} // namespace

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Font"));
    m_fonts = new QFontDialog(this);
    m_fonts->setWindowFlags(Qt::Widget);
    m_fonts->setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::NoButtons);
    m_fonts->setSizeGripEnabled(false);
    // The panel is a dialog of its own and takes Enter and Esc for itself; what
    // it means by them is this dialog's answer.
    connect(m_fonts, &QDialog::finished, this,
            [this](int result) { result == QDialog::Accepted ? accept() : reject(); });
    // Without buttons of its own it would swallow Enter, which means OK here.
    m_fonts->installEventFilter(this);

    m_colors = new QComboBox(this);
    m_colors->setObjectName(QStringLiteral("colorBox"));
    for (const NamedColor& c : kColors)
        m_colors->addItem(swatch(QColor(c.rgb)), tr(c.name), QColor(c.rgb));

    auto* colorRow = new QFormLayout;
    colorRow->addRow(tr("&Color:"), m_colors);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fonts);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

bool TFontDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fonts && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFontDialog::setChoice(const FontChoice& choice) {
    m_fonts->setCurrentFont(choice.font);
    selectColor(choice.color.isValid() ? choice.color : QColor(Qt::black));
}

void TFontDialog::selectColor(const QColor& color) {
    int index = m_colors->findData(color);
    if (index < 0) {
        // A colour from elsewhere (a paste, say) is offered as it is.
        m_colors->addItem(swatch(color), color.name(), color);
        index = m_colors->count() - 1;
    }
    m_colors->setCurrentIndex(index);
}

FontChoice TFontDialog::choice() const {
    return {m_fonts->currentFont(), m_colors->currentData().value<QColor>()};
}

} // namespace taviro
