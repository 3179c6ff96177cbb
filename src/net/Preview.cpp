#include "Preview.h"

#include "DocumentHost.h"
#include "Shell.h"

namespace taviro {

void PreviewDocument(IDocumentHost& host, const QString& workFile) {
    // A failed write ends the command here, before the shell is asked.
    host.SaveDocumentTo(workFile);
    ShellOpen(workFile);
}

} // namespace taviro
