#pragma once

#include <functional>
#include <memory>
#include <QStringList>

namespace taviro {

class TMainForm;

using MainFormFactory = std::function<std::unique_ptr<TMainForm>(const QStringList& params)>;

// The program: title, main window (which opens the file named first in `params`),
// message loop until the main window has closed. A failure that escapes the
// sequence itself is shown and ends the program. Needs a running QApplication.
int RunStartupSequence(const QStringList& params, const MainFormFactory& createMainForm = {});

// Program entry: builds the application object and runs the sequence.
int RunTaviro(int argc, char** argv);

} // namespace taviro
