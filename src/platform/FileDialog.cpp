#include "FileDialog.h"

#include "Prompts.h"

#include <QDir>
#include <QFileInfo>

namespace taviro {

bool TFileDialog::Execute(QWidget* owner) {
    if (!prompts().runFileDialog(owner, *this))
        return false;
    // Later relative names (work files, the manual) are resolved from here.
    QDir::setCurrent(QFileInfo(FileName).absolutePath());
    return true;
}

QStringList TFileDialog::qtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns) {
            // "*.*" would hide files without a dot here.
            if (p.trimmed() == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        result << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns.join(QLatin1Char(' ')));
    }
    return result;
}

} // namespace taviro
