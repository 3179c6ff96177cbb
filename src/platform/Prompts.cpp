#include "Prompts.h"

#include "FileDialog.h"
#include "FontDialog.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

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

// The print dialog for a command that always prints the whole text on paper.
// Qt 6.4's dialog shows its "Pages" group (page range, pages from, odd or even
// pages) whatever the options say: it sets the group up again every time it is
// shown. So the group is hidden after that, each time the dialog shows.
class WholeTextPrintDialog : public QPrintDialog {
public:
    WholeTextPrintDialog(QPrinter* printer, QWidget* parent) : QPrintDialog(printer, parent) {
        setOption(PrintToFile, false);
        setOption(PrintSelection, false);
        setOption(PrintPageRange, false);
        setOption(PrintCurrentPage, false);
        setOption(PrintCollateCopies, true);
    }
    void setVisible(bool visible) override {
        QPrintDialog::setVisible(visible);
        if (!visible)
            return;
        for (const char* name : {"gbPrintRange", "printRange", "pagesRadioButton", "printSelection",
                                 "printCurrentPage", "pageSetCombo", "filename", "fileBrowser"}) {
            if (auto* widget = findChild<QWidget*>(QLatin1String(name)))
                widget->hide();
        }
    }
};

// A new choice of printer closes the page setup so that it can open again on
// the new printer's papers.
constexpr int kOtherPrinter = 2;

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
    WholeTextPrintDialog dialog(&printer, owner);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Whatever the dialog left behind, the whole text is printed.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);
    return true;
}

// Qt's page setup dialog chooses paper and margins for a printer it is given;
// the choice of printer is a row put on top of it, where printers are installed.
// Picking another printer reopens the page setup on that printer, since its
// paper sizes are the printer's own; Cancel goes back to the printer there was.
bool QtPrompts::runPrintSetupDialog(QWidget* owner, QPrinter& printer) {
    const QStringList printers = QPrinterInfo::availablePrinterNames();
    const QString original = printer.printerName();
    for (;;) {
        QPageSetupDialog dialog(&printer, owner);
        dialog.setWindowTitle(QObject::tr("Print Setup"));
        QString picked;
        auto* layout = qobject_cast<QBoxLayout*>(dialog.layout());
        if (!printers.isEmpty() && layout) {
            auto* box = new QComboBox(&dialog);
            box->setObjectName(QStringLiteral("printerBox"));
            box->addItems(printers);
            box->setCurrentIndex(std::max<qsizetype>(0, printers.indexOf(printer.printerName())));
            QObject::connect(box, &QComboBox::currentTextChanged, &dialog,
                             [&dialog, &picked](const QString& name) {
                                 picked = name;
                                 dialog.done(kOtherPrinter);
                             });
            auto* row = new QFormLayout;
            row->addRow(QObject::tr("&Printer:"), box);
            layout->insertLayout(0, row);
        }
        const int result = dialog.exec();
        if (result == kOtherPrinter) {
            printer.setPrinterName(picked);
            continue;
        }
        if (result != QDialog::Accepted) {
            if (printer.printerName() != original)
                printer.setPrinterName(original);
            return false;
        }
        return true;
    }
}

} // namespace taviro
