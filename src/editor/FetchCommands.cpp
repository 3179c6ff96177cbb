// The main window's commands that fetch over HTTP: Get File and the update check.
#include "Gf.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "UpdateCheck.h"

namespace taviro {

Tget& TMainForm::getFileDialog() {
    // A window built without the start-up sequence makes its own on first use.
    if (!get)
        get = new Tget(*this, this);
    return *get;
}

void TMainForm::GetFile1Click() {
    // While the update check waits on the shared client, a fetch could not start:
    // refuse before the document is given up for it.
    getFileDialog().refuseWhileBusy();
    PromptSaveChanges();
    AssignDocumentName(QString());
    ClearDocument();
    RefreshCaption();
    // Whichever way the dialog closes, the command ends then; a fetch that never
    // happened leaves the empty untitled document.
    getFileDialog().exec();
}

void TMainForm::chkUdatesClick() {
    CheckForUpdates(*getFileDialog().NMHTTP1, this);
}

} // namespace taviro
