#include "EditorFont.h"

#include <QFontDatabase>
#include <QStringList>
#include <QtMath>

namespace taviro::EditorFont {

QFont withFace(QFont font, const QString& face) {
    if (QFontDatabase::families().contains(face, Qt::CaseInsensitive))
        font.setFamily(face);
    else
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    return font;
}

int points(const QFont& font, int dpiY) {
    if (font.pointSizeF() > 0)
        return qRound(font.pointSizeF());
    return qRound(font.pixelSize() * 72.0 / dpiY);
}

int pixelsForPoints(int points, int dpiY) {
    return qRound(points * dpiY / 72.0);
}

} // namespace taviro::EditorFont
