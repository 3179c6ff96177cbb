#include "Prompts.h"

#include "FileDialog.h"
#include "FontDialog.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace taviro {

namespace {

Prompts* g_installed = nullptr;

QMessageBox::StandardButton toQt(MsgResult r) {
    switch (r) {
    case MsgResult::Ok:
        return QMessageBox::Ok;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    case MsgResult::No:
        return QMessageBox::No;
    case MsgResult::Cancel:
        return QMessageBox::Cancel;
    }
    return QMessageBox::NoButton;
}

} // namespace

Prompts& prompts() {
    static QtPrompts qtPrompts;
    return g_installed ? *g_installed : qtPrompts;
}

void setPrompts(Prompts* replacement) {
    g_installed = replacement;
}

MsgResult QtPrompts::messageBox(const MessageRequest& request) {
    QMessageBox box(request.owner);
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);
    switch (request.icon) {
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::Stop:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    if (request.buttons == MsgButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        // Closing the box counts as Cancel.
        box.setEscapeButton(QMessageBox::Cancel);
    } else if (request.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        // Closing a Yes/No box is the cautious answer.
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.setDefaultButton(toQt(request.defaultButton));
    box.setWindowModality(Qt::ApplicationModal);

    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    case QMessageBox::Ok:
        return MsgResult::Ok;
    default:
        return MsgResult::Cancel;
    }
}

bool QtPrompts::runFileDialog(QWidget* owner, TFileDialog& dialog) {
    QFileDialog dlg(owner);
    // Qt's own dialog behaves the same on every desktop: it accepts a typed name
    // that does not exist, which native open dialogs may refuse.
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setAcceptMode(dialog.Kind == TFileDialog::Save ? QFileDialog::AcceptSave
                                                       : QFileDialog::AcceptOpen);
    const QStringList filters = TFileDialog::qtNameFilters(dialog.Filter);
    dlg.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        dlg.selectNameFilter(filters.at(dialog.FilterIndex - 1));
    if (!dialog.DefaultExt.isEmpty())
        dlg.setDefaultSuffix(dialog.DefaultExt);
    if (!dialog.FileName.isEmpty())
        dlg.selectFile(dialog.FileName);
    else
        dlg.setDirectory(QDir::currentPath());

    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    dialog.FileName = dlg.selectedFiles().constFirst();
    const qsizetype chosen = filters.indexOf(dlg.selectedNameFilter());
    if (chosen >= 0)
        dialog.FilterIndex = int(chosen) + 1;
    return true;
}

bool QtPrompts::runFontDialog(QWidget* owner, FontChoice& choice) {
    TFontDialog dialog(owner);
    dialog.setChoice(choice);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    choice = dialog.choice();
    return true;
}

bool QtPrompts::runPrintDialog(QWidget* owner, QPrinter& printer) {
    QPrintDialog dialog(&printer, owner);
    // The whole text is printed, on paper: no page range, no selection, no file.
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    return dialog.exec() == QDialog::Accepted;
}

bool QtPrompts::runPrintSetupDialog(QWidget* owner, QPrinter& printer) {
    QPageSetupDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace taviro
