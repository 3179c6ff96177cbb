// The Open and Save dialogs as the user meets them: Qt's real file dialog.

#include "Application.h"
#include "FileDialog.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "RichEdit.h"
#include "ScriptedPrompts.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

namespace {

// Types a name into the dialog's file name box and confirms it.
void typeAndAccept(QFileDialog* dialog, const QString& name, QStringList* filtersSeen = nullptr,
                   QString* selectedFilter = nullptr, const QString& chooseFilter = {},
                   const QString& proposed = {}) {
    if (filtersSeen)
        *filtersSeen = dialog->nameFilters();
    if (selectedFilter)
        *selectedFilter = dialog->selectedNameFilter();
    if (!chooseFilter.isEmpty())
        dialog->selectNameFilter(chooseFilter);
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    QVERIFY(edit);
    // The dialog fills in the name it proposes once its folder has been read;
    // typing before that would be overwritten, for a user as for the test.
    if (!proposed.isEmpty())
        QVERIFY(QTest::qWaitFor([&] { return edit->text() == proposed; }));
    // As a user types it: into the focused name box, which also clears the file
    // list's selection of the proposed name.
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->setText(name);
    static_cast<QDialog*>(dialog)->accept();
}

} // namespace

class FileDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void filterEntries_data();
    void filterEntries();
    void openAcceptsATypedNameThatDoesNotExist();
    void saveAddsHtmAndReplacesWithoutAsking();
    void openAddsNoExtension();
    void filterEntryChosenIsOfferedAgain();
};

void FileDialogs::filterEntries_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("qt");
    QTest::newRow("the program's")
        << TMainForm::FileFilter
        << QStringList{"HTML (*.htm *.html)", "All Files (*)", "ASP (*.asp)",
                       "PHP (*.php *.php3 *.phtml)", "Text (*.txt)"};
    QTest::newRow("one entry") << "Text|*.txt" << QStringList{"Text (*.txt)"};
    QTest::newRow("dangling description ignored") << "A|*.a|B" << QStringList{"A (*.a)"};
    QTest::newRow("empty") << "" << QStringList{};
}

void FileDialogs::filterEntries() {
    QFETCH(QString, filter);
    QFETCH(QStringList, qt);
    QCOMPARE(TFileDialog::qtNameFilters(filter), qt);
}

void FileDialogs::openAcceptsATypedNameThatDoesNotExist() {
    WorkDir dir;
    QDir(dir.path()).mkdir("sub");
    TMainForm form;
    form.show();
    QStringList filters;
    QString selected;
    whenModal<QFileDialog>([&](QFileDialog* d) {
        typeAndAccept(d, dir.file("sub/nothere.htm"), &filters, &selected);
    });
    // The open fails where the user can see why, not silently in the dialog.
    whenModal<QMessageBox>([](QMessageBox* box) { box->accept(); });
    form.findChild<QAction*>("FileOpenItem")->trigger();

    QCOMPARE(form.OpenDialog.FileName, dir.file("sub/nothere.htm"));
    QCOMPARE(QDir::currentPath(), QFileInfo(dir.file("sub")).canonicalFilePath());
    QCOMPARE(filters, TFileDialog::qtNameFilters(TMainForm::FileFilter));
    QCOMPARE(selected, QString("HTML (*.htm *.html)"));
    QCOMPARE(form.DocumentName(), QString());
}

void FileDialogs::saveAddsHtmAndReplacesWithoutAsking() {
    WorkDir dir;
    writeBytes(dir.file("exists.htm"), "old");
    TMainForm form;
    form.show();
    QTest::keyClicks(form.RichEdit1, "new");

    whenModal<QFileDialog>([&](QFileDialog* d) { typeAndAccept(d, dir.file("page")); });
    form.findChild<QAction*>("FileSaveAsItem")->trigger();
    QCOMPARE(form.DocumentName(), dir.file("page.htm"));
    QCOMPARE(readBytes(dir.file("page.htm")), QByteArray("new"));
    QVERIFY(!QFile::exists(dir.file("page")));

    // Replacing an existing file asks nothing: no box comes up after the dialog.
    whenModal<QFileDialog>([&](QFileDialog* d) {
        typeAndAccept(d, dir.file("exists.htm"), nullptr, nullptr, {}, "page.htm");
    });
    form.findChild<QAction*>("FileSaveAsItem")->trigger();
    QCOMPARE(form.SaveDialog.FileName, dir.file("exists.htm"));
    QCOMPARE(readBytes(dir.file("exists.htm")), QByteArray("new"));
    QCOMPARE(form.windowTitle(), TMainForm::CaptionPrefix + dir.file("exists.htm"));
    QVERIFY(!form.RichEdit1->Modified());
}

void FileDialogs::openAddsNoExtension() {
    WorkDir dir;
    writeBytes(dir.file("README"), "plain");
    TMainForm form;
    form.show();
    whenModal<QFileDialog>([&](QFileDialog* d) { typeAndAccept(d, dir.file("README")); });
    form.findChild<QAction*>("FileOpenItem")->trigger();
    QCOMPARE(form.DocumentName(), dir.file("README"));
    QCOMPARE(form.RichEdit1->documentText(), QString("plain"));
}

void FileDialogs::filterEntryChosenIsOfferedAgain() {
    WorkDir dir;
    TMainForm form;
    form.show();
    whenModal<QFileDialog>([&](QFileDialog* d) {
        typeAndAccept(d, dir.file("x.php"), nullptr, nullptr, "PHP (*.php *.php3 *.phtml)");
    });
    form.findChild<QAction*>("FileSaveAsItem")->trigger();
    QCOMPARE(form.SaveDialog.FilterIndex, 4);

    QString selected, proposed;
    whenModal<QFileDialog>([&](QFileDialog* d) {
        selected = d->selectedNameFilter();
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(QTest::qWaitFor([&] { return !edit->text().isEmpty(); }));
        proposed = edit->text();
        d->reject();
    });
    form.findChild<QAction*>("FileSaveAsItem")->trigger();
    QCOMPARE(selected, QString("PHP (*.php *.php3 *.phtml)"));
    QCOMPARE(proposed, QString("x.php"));
    QCOMPARE(form.windowTitle(), TMainForm::CaptionPrefix + dir.file("x.php"));
}

TAVIRO_TEST_MAIN(FileDialogs)
#include "tst_filedialogs.moc"
