#pragma once

#include "Shell.h"

#include <QList>
#include <QUrl>

namespace taviro::test {

// Records what the program hands to the desktop shell instead of opening it.
// Installed for its lifetime.
class ShellRecorder : public Shell {
public:
    ShellRecorder() { setShell(this); }
    ~ShellRecorder() override { setShell(nullptr); }
    void open(const QUrl& target) override { opened << target; }
    QList<QUrl> opened;
};

} // namespace taviro::test
