#pragma once

#include <QFont>
#include <QString>

namespace taviro::EditorFont {

// `font` with the face `face`. A face that is not installed gives way to the
// desktop's general font: fontconfig may offer a symbol font for an unknown
// name, which would show the text as pictures.
QFont withFace(QFont font, const QString& face);

// The font's size in whole points; a size set in pixels is converted at `dpiY`.
int points(const QFont& font, int dpiY);

// The character height in pixels of `points` at `dpiY`, rounded to the nearest.
int pixelsForPoints(int points, int dpiY);

} // namespace taviro::EditorFont
