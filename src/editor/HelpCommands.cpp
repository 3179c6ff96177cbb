#include "MainForm.h"

#include "AboutBox.h"
#include "Manual.h"

namespace taviro {

void TMainForm::HelpContents() {
    OpenManual();
}

void TMainForm::HelpAbout() {
    // A fresh box each time, so it always opens in its design state.
    CreateAboutBox().exec();
}

} // namespace taviro
