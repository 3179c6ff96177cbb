// The Help menu: F1 hands the manual to the desktop shell, found in the current
// directory first and then beside the program; the About box, its links and hints.

#include "AboutBox.h"
#include "Application.h"
#include "MainForm.h"
#include "Maker.h"
#include "Manual.h"
#include "ModalDriver.h"
#include "RichEdit.h"
#include "ShellRecorder.h"
#include "Startup.h"
#include "TestDirs.h"
#include "TestMain.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

class Help : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void f1OpensTheManual_data();
    void f1OpensTheManual();
    void manualBesideTheProgram_data();
    void manualBesideTheProgram();
    void aboutBoxInItsDesignState();
    void enterClosesTheBox();
    void eachAboutCommandMakesAFreshBox();
    void linksOpenThroughTheShellAndKeepTheBoxOpen();
    void linkHintsReachTheStatusLine();
    void startupMakesOneBoxThatStaysHidden();

private:
    QAction* action(const char* name) const { return m_form->findChild<QAction*>(name); }
    std::unique_ptr<TMainForm> m_form;
};

void Help::init() {
    Application().setHint(QString());
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void Help::cleanup() {
    m_form.reset();
    ReleaseAboutBox();
}

static QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

void Help::f1OpensTheManual_data() {
    QTest::addColumn<bool>("inCurrentDir");
    QTest::newRow("taviro.pdf in the current directory") << true;
    // The test program's folder holds no manual, so this is "neither".
    QTest::newRow("no manual anywhere: nothing, silently") << false;
}

void Help::f1OpensTheManual() {
    QFETCH(bool, inCurrentDir);
    WorkDir work;
    if (inCurrentDir)
        writeBytes(work.file("taviro.pdf"), "%PDF-1.4\n");
    QVERIFY(
        !QFileInfo::exists(QDir(QCoreApplication::applicationDirPath()).filePath("taviro.pdf")));
    ShellRecorder shell;
    m_form->RichEdit1->setFocus();
    QTest::keyClick(m_form->RichEdit1, Qt::Key_F1);
    if (inCurrentDir)
        QCOMPARE(shell.opened, QList<QUrl>{fileUrl(work.file("taviro.pdf"))});
    else
        QVERIFY(shell.opened.isEmpty());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void Help::manualBesideTheProgram_data() {
    QTest::addColumn<QStringList>("files");     // made below the scratch folder
    QTest::addColumn<QString>("programDir");    // relative to the scratch folder
    QTest::addColumn<QString>("expected");      // relative to the scratch folder; "" none
    QTest::addColumn<bool>("alsoInCurrentDir"); // a taviro.pdf in the current directory

    QTest::newRow("build tree: beside the executable")
        << QStringList{"build/src/app/taviro.pdf"} << "build/src/app"
        << "build/src/app/taviro.pdf" << false;
    QTest::newRow("installed: prefix/share/taviro")
        << QStringList{"prefix/share/taviro/taviro.pdf"} << "prefix/bin"
        << "prefix/share/taviro/taviro.pdf" << false;
    QTest::newRow("the current directory wins")
        << QStringList{"prefix/share/taviro/taviro.pdf"} << "prefix/bin"
        << "cwd/taviro.pdf" << true;
    QTest::newRow("a folder named taviro.pdf is no manual")
        << QStringList{"prefix/share/taviro/taviro.pdf/x"} << "prefix/bin"
        << "" << false;
    QTest::newRow("another prefix's manual is not ours")
        << QStringList{"other/share/taviro/taviro.pdf"} << "prefix/bin"
        << "" << false;
}

void Help::manualBesideTheProgram() {
    QFETCH(QStringList, files);
    QFETCH(QString, programDir);
    QFETCH(QString, expected);
    QFETCH(bool, alsoInCurrentDir);
    QTemporaryDir scratch;
    const QDir root(scratch.path());
    for (const QString& file : files) {
        root.mkpath(QFileInfo(root.filePath(file)).path());
        writeBytes(root.filePath(file), "%PDF-1.4\n");
    }
    root.mkpath("cwd");
    root.mkpath(programDir);
    if (alsoInCurrentDir)
        writeBytes(root.filePath("cwd/taviro.pdf"), "%PDF-1.4\n");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(root.filePath("cwd"));
    const QString found = FindManual(root.filePath(programDir));
    QDir::setCurrent(previous);

    if (expected.isEmpty())
        QCOMPARE(found, QString());
    else if (alsoInCurrentDir)
        QCOMPARE(found, QString("taviro.pdf")); // relative: handed over from the current dir
    else
        QCOMPARE(found, root.filePath(expected));
}

void Help::aboutBoxInItsDesignState() {
    TAboutBox box;
    QCOMPARE(box.windowTitle(), QString("About"));
    QVERIFY(box.isModal());
    QCOMPARE(box.ProductName->text(), QString("Plomix Taviro"));
    QVERIFY(box.ProductName->font().bold());
    QCOMPARE(box.Version->text(), QString("V1.5"));
    QVERIFY(box.Copyright->text().startsWith("Copyright"));
    QVERIFY(box.Copyright->wordWrap());
    QCOMPARE(box.Comments->text(), QString("http://www.plomix.com"));
    QCOMPARE(box.Comments->toolTip(), QString("Visit http://www.plomix.com"));
    QCOMPARE(box.Label1->text(), QString("support@plomix.com"));
    QCOMPARE(box.Label1->toolTip(), QString("Send us email"));
    for (QLabel* link : {box.Comments, box.Label1}) {
        QVERIFY(link->font().underline());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }
    for (QWidget* onPanel : std::initializer_list<QWidget*>{
             box.ProductName, box.Version, box.Copyright, box.Comments, box.Label1})
        QVERIFY(box.Panel1->isAncestorOf(onPanel));
    QCOMPARE(box.OKButton->text(), QString("OK"));
    QVERIFY(box.OKButton->isDefault());
    // Fixed size, at least the designed 290 x 211.
    QCOMPARE(box.minimumSize(), box.maximumSize());
    QVERIFY(box.width() >= 290 && box.height() >= 211);
}

void Help::enterClosesTheBox() {
    bool shown = false;
    whenModal<TAboutBox>([&](TAboutBox* box) {
        shown = true;
        rejectIfStillOpen(box);
        QTest::keyClick(box, Qt::Key_Return);
    });
    action("HelpAboutItem")->trigger();
    QVERIFY(shown);
    QCOMPARE(AboutBox()->result(), int(QDialog::Accepted));
}

void Help::eachAboutCommandMakesAFreshBox() {
    QPointer<TAboutBox> first;
    whenModal<TAboutBox>([&](TAboutBox* box) {
        first = box;
        // Change its state; the next command must not show this.
        box->Version->setText("changed");
        box->OKButton->click();
    });
    action("HelpAboutItem")->trigger();
    QVERIFY(first);
    QCOMPARE(AboutBox(), first.data());

    QPointer<TAboutBox> second;
    QString version;
    whenModal<TAboutBox>([&](TAboutBox* box) {
        second = box;
        version = box->Version->text();
        box->OKButton->click();
    });
    action("HelpAboutItem")->trigger();
    QVERIFY(second);
    QCOMPARE(version, QString("V1.5"));
    QCOMPARE(AboutBox(), second.data());
    // The earlier box goes; boxes do not pile up over a long session.
    QTRY_VERIFY(first.isNull());
}

void Help::linksOpenThroughTheShellAndKeepTheBoxOpen() {
    ShellRecorder shell;
    bool stillOpen = false;
    whenModal<TAboutBox>([&](TAboutBox* box) {
        rejectIfStillOpen(box);
        QTest::mouseClick(box->Comments, Qt::LeftButton);
        QTest::mouseClick(box->Label1, Qt::LeftButton);
        // The right button is no click on a link.
        QTest::mouseClick(box->Label1, Qt::RightButton);
        stillOpen = box->isVisible();
        box->OKButton->click();
    });
    action("HelpAboutItem")->trigger();
    QVERIFY(stillOpen);
    QCOMPARE(shell.opened,
             (QList<QUrl>{QUrl("http://www.plomix.com"), QUrl("mailto:support@plomix.com")}));
}

// The offscreen platform reports no pointer entering a window, so the pointer's
// moves are delivered as the enter and leave events the window system would send.
static void pointerOnto(QWidget* from, QWidget* to) {
    if (from) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(from, &leave);
    }
    const QPointF local = QRectF(to->rect()).center();
    QEnterEvent enter(local, to->mapTo(to->window(), local), to->mapToGlobal(local));
    QCoreApplication::sendEvent(to, &enter);
}

void Help::linkHintsReachTheStatusLine() {
    QStringList seen;
    whenModal<TAboutBox>([&](TAboutBox* box) {
        rejectIfStillOpen(box);
        pointerOnto(nullptr, box->Comments);
        seen << m_form->StatusLine->currentMessage();
        pointerOnto(box->Comments, box->Label1);
        seen << m_form->StatusLine->currentMessage();
        pointerOnto(box->Label1, box->Version);
        seen << m_form->StatusLine->currentMessage();
        // Closing with the pointer on a link leaves no stale hint behind.
        pointerOnto(box->Version, box->Label1);
        box->OKButton->click();
    });
    action("HelpAboutItem")->trigger();
    QCOMPARE(seen, (QStringList{"Visit http://www.plomix.com", "Send us email", ""}));
    QCOMPARE(m_form->StatusLine->currentMessage(), QString());
}

void Help::startupMakesOneBoxThatStaysHidden() {
    m_form.reset();
    QPointer<TAboutBox> made;
    bool visible = true;
    RunStartupSequence({}, [&](const QStringList& params) {
        auto form = std::make_unique<TMainForm>(params);
        QTimer::singleShot(0, form.get(), [&, f = form.get()] {
            made = AboutBox();
            visible = made && made->isVisible();
            f->close();
        });
        return form;
    });
    QVERIFY(made.isNull()); // released when the program ends
    QVERIFY(!visible);
}

TAVIRO_TEST_MAIN(Help)
#include "tst_help.moc"
