#pragma once

#include "Prompts.h"

#include <QDialog>

class QComboBox;
class QFontDialog;

namespace taviro {

// Qt's font dialog has no colour choice; this one is Qt's font panel with the
// usual sixteen text colours beneath it.
class TFontDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFontDialog(QWidget* parent = nullptr);

    void setChoice(const FontChoice& choice);
    FontChoice choice() const;

    QFontDialog* fontPanel() const { return m_fonts; }
    QComboBox* colorBox() const { return m_colors; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectColor(const QColor& color);

    QFont m_offered;
    QFont m_shown;
    QFontDialog* m_fonts;
    QComboBox* m_colors;
};

} // namespace taviro
