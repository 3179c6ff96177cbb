#include "FontDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFormLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <cstdlib>

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

// The face's own name for the weight and slant of `font`. Qt's panel looks a
// font up by a style name, and a font without one ("Normal") matches none of a
// face's styles, so the panel would fall back to whichever it lists first (for
// DejaVu Serif, "Condensed Italic"). Among the styles of the right slant the
// nearest weight wins; of those, the one without a width in its name ("Bold"
// before "Condensed Bold"), which is the shortest.
QString styleFor(const QFont& font) {
    const QString family = font.family();
    QString best;
    int bestScore = 0;
    for (const QString& style : QFontDatabase::styles(family)) {
        int score = std::abs(QFontDatabase::weight(family, style) - font.weight()) * 100;
        if (QFontDatabase::italic(family, style) != font.italic())
            score += 1000000;
        if (font.stretch() == QFont::AnyStretch || font.stretch() == QFont::Unstretched) {
            for (const char* width : {"Condensed", "Expanded", "Narrow", "Wide", "Compressed"}) {
                if (style.contains(QLatin1String(width), Qt::CaseInsensitive))
                    score += 10000;
            }
        }
        score += int(style.size());
        if (best.isEmpty() || score < bestScore) {
            best = style;
            bestScore = score;
        }
    }
    return best;
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
    m_offered = choice.font;
    QFont shown = choice.font;
    if (shown.styleName().isEmpty())
        shown.setStyleName(styleFor(shown));
    m_fonts->setCurrentFont(shown);
    // What the panel makes of the offered font; while it still shows that, the
    // answer is the offered font itself, not the panel's rebuilt copy of it.
    m_shown = m_fonts->currentFont();
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
    const QFont current = m_fonts->currentFont();
    return {current == m_shown ? m_offered : current, m_colors->currentData().value<QColor>()};
}

} // namespace taviro
