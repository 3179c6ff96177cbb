// The real font dialog, with its colour choice, as the Font command shows it.

#include "Application.h"
#include "FontDialog.h"
#include "MainForm.h"
#include "ModalDriver.h"
#include "Prefs.h"
#include "RichEdit.h"
#include "TestMain.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

class FontDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void init() { Prefs::clear(); }
    void filledFromSelectionAndConfirmed();
    void cancelledLeavesTextAsItWas();
    void enterInTheSizeBoxConfirms();
    void colourFromElsewhereIsOffered();
};

void FontDialogTest::filledFromSelectionAndConfirmed() {
    TMainForm form;
    form.show();
    form.RichEdit1->replaceText("pick me");
    form.RichEdit1->selectAll();

    QFont offered;
    QColor offeredColor;
    whenModal<TFontDialog>([&](TFontDialog* d) {
        offered = d->fontPanel()->currentFont();
        offeredColor = d->colorBox()->currentData().value<QColor>();
        QFont f("DejaVu Serif");
        f.setPointSize(16);
        f.setUnderline(true);
        d->fontPanel()->setCurrentFont(f);
        d->colorBox()->setCurrentIndex(d->colorBox()->findText("Navy"));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    form.findChild<QAction*>("Font1")->trigger();

    QCOMPARE(offered.family(), form.RichEdit1->font().family());
    QCOMPARE(offered.pointSize(), qRound(13 * 72.0 / form.RichEdit1->logicalDpiY()));
    QCOMPARE(offeredColor, form.RichEdit1->palette().color(QPalette::Text));

    QTextCursor c(form.RichEdit1->document());
    c.setPosition(2);
    QCOMPARE(c.charFormat().font().family(), QString("DejaVu Serif"));
    QCOMPARE(c.charFormat().font().pointSize(), 16);
    QVERIFY(c.charFormat().font().underline());
    QCOMPARE(c.charFormat().foreground().color(), QColor(0x00, 0x00, 0x80));
    QCOMPARE(Prefs::read("font"), QString("DejaVu Serif"));
    QCOMPARE(Prefs::read("size"), QString("16"));
    // Only the look changed: the text is as clean as it was.
    QVERIFY(!form.RichEdit1->Modified());
}

void FontDialogTest::cancelledLeavesTextAsItWas() {
    TMainForm form;
    form.show();
    form.RichEdit1->replaceText("stay");
    form.RichEdit1->selectAll();
    whenModal<TFontDialog>([](TFontDialog* d) {
        QFont f("DejaVu Serif");
        f.setPointSize(30);
        d->fontPanel()->setCurrentFont(f);
        // Esc where the user is: in the font panel's name box.
        QTest::keyClick(d->fontPanel()->focusWidget() ? d->fontPanel()->focusWidget() : d,
                        Qt::Key_Escape);
        rejectIfStillOpen(d);
        QVERIFY(!d->isVisible());
    });
    form.findChild<QAction*>("Font1")->trigger();
    QTextCursor c(form.RichEdit1->document());
    c.setPosition(2);
    QVERIFY(!c.charFormat().hasProperty(QTextFormat::FontPointSize));
    QCOMPARE(Prefs::read("size"),
             QString::number(qRound(13 * 72.0 / form.RichEdit1->logicalDpiY())));
    QVERIFY(!QApplication::activeModalWidget());
}

void FontDialogTest::enterInTheSizeBoxConfirms() {
    TMainForm form;
    form.show();
    form.RichEdit1->replaceText("big");
    form.RichEdit1->selectAll();
    whenModal<TFontDialog>([](TFontDialog* d) {
        QLineEdit* size = nullptr;
        for (QLineEdit* e : d->fontPanel()->findChildren<QLineEdit*>()) {
            if (e->validator())
                size = e; // the size box is the one that takes numbers only
        }
        QVERIFY(size);
        size->setFocus();
        size->selectAll();
        QTest::keyClicks(size, "22");
        QTest::keyClick(size, Qt::Key_Return);
        rejectIfStillOpen(d);
        QVERIFY(!d->isVisible());
    });
    form.findChild<QAction*>("Font1")->trigger();
    QCOMPARE(Prefs::read("size"), QString("22"));
    QTextCursor c(form.RichEdit1->document());
    c.setPosition(1);
    QCOMPARE(c.charFormat().font().pointSize(), 22);
}

void FontDialogTest::colourFromElsewhereIsOffered() {
    TFontDialog dialog;
    dialog.setChoice({QFont("DejaVu Sans"), QColor(0x12, 0x34, 0x56)});
    QCOMPARE(dialog.choice().color, QColor(0x12, 0x34, 0x56));
    dialog.setChoice({QFont("DejaVu Sans"), QColor(Qt::red)});
    QCOMPARE(dialog.colorBox()->currentText(), QString("Red"));
    QCOMPARE(dialog.choice().color, QColor(Qt::red));
}

TAVIRO_TEST_MAIN(FontDialogTest)
#include "tst_fontdialog.moc"
