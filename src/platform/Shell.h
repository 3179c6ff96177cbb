#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace taviro {

// The desktop shell's "open": hands a document or an address to the program the
// desktop associates with it. Whether that program starts is not examined.
class Shell {
public:
    virtual ~Shell() = default;
    virtual void open(const QUrl& target) = 0;
};

// The shell in force: xdg-open through QDesktopServices in the program; tests
// install a recorder. setShell(nullptr) goes back to the desktop's.
Shell& shell();
void setShell(Shell* replacement);

// Opens `document`: an address with a scheme ("http://...", "mailto:...") as it
// is, anything else as a file name, a relative one taken from the current
// directory (the desktop needs an absolute path).
void ShellOpen(const QString& document);

} // namespace taviro
