// The Net menu's preview and upload commands.
#include "MainForm.h"

#include "FTP.h"
#include "Preview.h"

namespace taviro {

void TMainForm::AsASP1Click() {
    PreviewDocument(*this, PreviewFile::Asp);
}

void TMainForm::AsHTML1Click() {
    PreviewDocument(*this, PreviewFile::Html);
}

void TMainForm::AsPHP1Click() {
    PreviewDocument(*this, PreviewFile::Php);
}

void TMainForm::Upload1Click() {
    UploadDocument(*this);
}

} // namespace taviro
