// The status line follows the highlighted menu item, through real menus driven
// by keyboard and mouse.

#include "Application.h"
#include "MainForm.h"
#include "RichEdit.h"
#include "TestMain.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QtTest>

using namespace taviro;

class Hints : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void keyboardThroughFileMenu();
    void mouseOverItemsAndSeparators();
    void subMenuItemsWithoutHint();
    void showHintCopiesOnlyChanges();
    void longFormAfterBar_data();
    void longFormAfterBar();

private:
    QString status() const { return m_form->StatusLine->currentMessage(); }
    QMenu* openMenu(const char* name);
    std::unique_ptr<TMainForm> m_form;
};

void Hints::init() {
    Application().setHint(QString());
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void Hints::cleanup() {
    for (QMenu* m : m_form->findChildren<QMenu*>())
        m->hide();
    m_form.reset();
}

QMenu* Hints::openMenu(const char* name) {
    auto* menu = m_form->findChild<QMenu*>(QLatin1String(name));
    if (!menu)
        return nullptr;
    m_form->MainMenu->setActiveAction(menu->menuAction());
    if (!QTest::qWaitFor([&] { return menu->isVisible(); }))
        return nullptr;
    return menu;
}

void Hints::keyboardThroughFileMenu() {
    QMenu* file = openMenu("FileMenu");
    QVERIFY(file);
    // A top-level menu has no hint.
    QCOMPARE(status(), QString());
    QTest::keyClick(file, Qt::Key_Down);
    QCOMPARE(file->activeAction()->objectName(), QString("FileNewItem"));
    QCOMPARE(status(), QString("Create a new file"));
    QTest::keyClick(file, Qt::Key_Down);
    QTest::keyClick(file, Qt::Key_Down);
    QCOMPARE(status(), QString("Save current file"));
    // Past the separator to Print.
    QTest::keyClick(file, Qt::Key_Down);
    QTest::keyClick(file, Qt::Key_Down);
    QCOMPARE(status(), QString("Print current file"));
    // Closing the menu empties the line.
    QTest::keyClick(file, Qt::Key_Escape);
    QTRY_VERIFY(!file->isVisible());
    QCOMPARE(status(), QString());
}

void Hints::mouseOverItemsAndSeparators() {
    QMenu* edit = openMenu("EditMenu");
    QVERIFY(edit);
    QAction* cut = m_form->findChild<QAction*>("EditCutItem");
    QTest::mouseMove(edit, edit->actionGeometry(cut).center());
    QTRY_COMPARE(status(), QString("Cut selected text to clipboard"));

    QAction* separator = nullptr;
    for (QAction* a : edit->actions()) {
        if (a->isSeparator()) {
            separator = a;
            break;
        }
    }
    QVERIFY(separator);
    QTest::mouseMove(edit, edit->actionGeometry(separator).center());
    QTRY_COMPARE(status(), QString());

    QAction* font = m_form->findChild<QAction*>("Font1");
    QTest::mouseMove(edit, edit->actionGeometry(font).center());
    QTRY_COMPARE(status(), QString("Change the Font"));

    // On to the next top-level menu: its title has no hint.
    QMenu* help = openMenu("HelpMenu");
    QVERIFY(help);
    QCOMPARE(status(), QString());
    help->hide();
    QCOMPARE(status(), QString());
}

void Hints::subMenuItemsWithoutHint() {
    QMenu* net = openMenu("Net1");
    QVERIFY(net);
    QTest::keyClick(net, Qt::Key_Down);
    QCOMPARE(status(), QString("Preview the page in a web browser"));
    auto* preview = m_form->findChild<QMenu*>("Preview1");
    QTest::keyClick(net, Qt::Key_Right);
    QTRY_VERIFY(preview->isVisible());
    // Opening it by keyboard highlights its first item, which has no hint.
    QCOMPARE(preview->activeAction()->objectName(), QString("AsASP1"));
    QCOMPARE(status(), QString());
    QTest::keyClick(preview, Qt::Key_Down);
    QCOMPARE(preview->activeAction()->objectName(), QString("AsHTML1"));
    QCOMPARE(status(), QString());
    QTest::keyClick(preview, Qt::Key_Escape);
    QTRY_VERIFY(!preview->isVisible());
    QTest::keyClick(net, Qt::Key_Down);
    QCOMPARE(status(), QString("Upload the file to a remote server"));
    net->hide();
    QCOMPARE(status(), QString());
}

void Hints::showHintCopiesOnlyChanges() {
    Application().setHint("Save current file");
    QCOMPARE(status(), QString("Save current file"));
    // Someone else writes the line; the same hint again does not overwrite it.
    m_form->StatusLine->showMessage("other");
    Application().setHint("Save current file");
    QCOMPARE(status(), QString("other"));
    Application().setHint("Open an existing file");
    QCOMPARE(status(), QString("Open an existing file"));
}

void Hints::longFormAfterBar_data() {
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "Save current file"
                           << "Save current file";
    QTest::newRow("short|long") << "Save|Save current file"
                                << "Save current file";
    QTest::newRow("first bar only") << "a|b|c"
                                    << "b|c";
    QTest::newRow("empty long form") << "short|"
                                     << "";
}

void Hints::longFormAfterBar() {
    QFETCH(QString, hint);
    QFETCH(QString, shown);
    QCOMPARE(longHint(hint), shown);
    QAction* save = m_form->findChild<QAction*>("FileSaveItem");
    save->setStatusTip(hint);
    QMenu* file = openMenu("FileMenu");
    QVERIFY(file);
    file->setActiveAction(save);
    QCOMPARE(status(), shown);
}

TAVIRO_TEST_MAIN(Hints)
#include "tst_hints.moc"
