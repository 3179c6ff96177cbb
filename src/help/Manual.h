#pragma once

#include <QString>

namespace taviro {

inline const QString kManualFileName = QStringLiteral("taviro.pdf");

// The manual to open: "taviro.pdf" in the current directory wins, so a manual kept
// beside one's pages is found first. Otherwise the one that came with the program
// in `programDir`: beside the executable (the build tree) or in the installed
// share/taviro/ of the prefix whose bin/ holds it (not share/doc/, which minimal
// systems leave out when they install a package). Empty when there is none.
QString FindManual(const QString& programDir);

// Hands the manual to the desktop shell; does nothing, silently, when there is
// none (the desktop reports nothing either when it has no program for it).
void OpenManual();

} // namespace taviro
