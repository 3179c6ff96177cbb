// The real print and print setup dialogs, as the Print and Print Setup commands
// show them.

#include "Application.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QComboBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStackedWidget>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

// Whether the user can see `widget` once its tab is the current one: hidden
// neither itself nor through a parent inside its page.
bool offered(const QWidget* widget) {
    for (const QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget()) {
        if (qobject_cast<const QStackedWidget*>(w->parentWidget()))
            return true; // a tab page, hidden while another tab is current
        if (w->isHidden())
            return false;
    }
    return true;
}

QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

} // namespace

class PrintDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void printDialogOffersNoRangeSelectionOrFile();
    void printSetupOffersThePrinters();
};

void PrintDialogsTest::printDialogOffersNoRangeSelectionOrFile() {
    WorkDir dir;
    TMainForm form;
    form.show();
    // A PDF printer: this machine may have no printer, and the dialog must open.
    form.Printer().setOutputFormat(QPrinter::PdfFormat);
    form.Printer().setOutputFileName(dir.file("out.pdf"));

    bool seen = false;
    whenModal<QPrintDialog>([&](QPrintDialog* d) {
        seen = true;
        rejectIfStillOpen(d);
        for (const char* name :
             {"gbPrintRange", "printRange", "pagesRadioButton", "pagesLineEdit", "printSelection",
              "printCurrentPage", "pageSetCombo", "filename", "fileBrowser"}) {
            const auto* w = d->findChild<QWidget*>(QLatin1String(name));
            QVERIFY2(!w || !offered(w), name);
        }
        // What stays: the copies and collation.
        const auto* collate = d->findChild<QWidget*>("collate");
        QVERIFY(collate && offered(collate));
        if (const auto* printers = d->findChild<QComboBox*>("printers")) {
            for (const QString& text : items(printers))
                QVERIFY2(!text.contains("File", Qt::CaseInsensitive), qPrintable(text));
        }
        QVERIFY(!d->testOption(QAbstractPrintDialog::PrintToFile));
        QVERIFY(!d->testOption(QAbstractPrintDialog::PrintPageRange));
        QVERIFY(!d->testOption(QAbstractPrintDialog::PrintSelection));
        QVERIFY(!d->testOption(QAbstractPrintDialog::PrintCurrentPage));
        d->reject();
    });
    form.findChild<QAction*>("FilePrintItem")->trigger();
    QVERIFY(seen);
    QVERIFY(!QFile::exists(dir.file("out.pdf")));
}

void PrintDialogsTest::printSetupOffersThePrinters() {
    TMainForm form;
    form.show();
    const QStringList installed = QPrinterInfo::availablePrinterNames();
    bool seen = false;
    QStringList offeredPrinters;
    bool hasBox = false;
    whenModal<QPageSetupDialog>([&](QPageSetupDialog* d) {
        seen = true;
        if (const auto* box = d->findChild<QComboBox*>("printerBox")) {
            hasBox = true;
            offeredPrinters = items(box);
        }
        d->reject();
    });
    form.findChild<QAction*>("FilePrintSetupItem")->trigger();
    QVERIFY(seen);
    // No printer installed, no printer row; otherwise every printer is offered.
    QCOMPARE(hasBox, !installed.isEmpty());
    QCOMPARE(offeredPrinters, installed);
}

TAVIRO_TEST_MAIN(PrintDialogsTest)
#include "tst_printdialogs.moc"
