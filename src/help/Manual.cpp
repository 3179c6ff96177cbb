#include "Manual.h"

#include "Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace taviro {

namespace {

bool isFile(const QString& path) {
    return QFileInfo(path).isFile();
}

} // namespace

QString FindManual(const QString& programDir) {
    // Relative on purpose: this is the name the shell is given, made absolute from
    // the current directory at the moment of the command.
    if (isFile(kManualFileName))
        return kManualFileName;
    if (programDir.isEmpty())
        return {};
    const QDir dir(programDir);
    const QString candidates[] = {
        dir.filePath(kManualFileName),
        dir.filePath(QStringLiteral("../share/taviro/") + kManualFileName),
    };
    for (const QString& candidate : candidates) {
        if (isFile(candidate))
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    }
    return {};
}

void OpenManual() {
    const QString manual = FindManual(QCoreApplication::applicationDirPath());
    if (!manual.isEmpty())
        ShellOpen(manual);
}

} // namespace taviro
