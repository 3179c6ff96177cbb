#include "Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QRegularExpression>

namespace taviro {

namespace {

class DesktopShell : public Shell {
public:
    void open(const QUrl& target) override { QDesktopServices::openUrl(target); }
};

Shell* g_installed = nullptr;

} // namespace

Shell& shell() {
    static DesktopShell desktop;
    return g_installed ? *g_installed : desktop;
}

void setShell(Shell* replacement) {
    g_installed = replacement;
}

void ShellOpen(const QString& document) {
    // A scheme is letters, digits, "+", "-" or "." after a letter, then ":"; a
    // one-letter "scheme" would be a drive letter elsewhere and is a file name here.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(document).hasMatch())
        shell().open(QUrl(document));
    else
        shell().open(QUrl::fromLocalFile(QFileInfo(document).absoluteFilePath()));
}

} // namespace taviro
