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
    void opensOnTheFormatsStyle_data();
    void opensOnTheFormatsStyle();
    void sizeChangeKeepsThePlainStyle();
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

void FontDialogTest::opensOnTheFormatsStyle_data() {
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QString>("style");
    // DejaVu Serif lists "Condensed Italic" first; a plain format is its "Book".
    QTest::newRow("plain") << false << false << "Book";
    QTest::newRow("bold") << true << false << "Bold";
    QTest::newRow("italic") << false << true << "Italic";
    QTest::newRow("bold italic") << true << true << "Bold Italic";
}

void FontDialogTest::opensOnTheFormatsStyle() {
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QFETCH(QString, style);
    Prefs::write("font", "DejaVu Serif");
    Prefs::write("size", "12");
    TMainForm form;
    form.show();
    QCOMPARE(form.RichEdit1->font().family(), QString("DejaVu Serif"));
    form.RichEdit1->replaceText("abc");
    form.RichEdit1->moveCursor(QTextCursor::End);
    if (bold || italic) {
        QTextCharFormat look;
        look.setFontWeight(bold ? QFont::Bold : QFont::Normal);
        look.setFontItalic(italic);
        form.RichEdit1->mergeCurrentCharFormat(look);
    }
    const QTextCharFormat before = form.RichEdit1->currentCharFormat();

    QFont offered;
    whenModal<TFontDialog>([&](TFontDialog* d) {
        offered = d->fontPanel()->currentFont();
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    form.findChild<QAction*>("Font1")->trigger();

    QCOMPARE(offered.styleName(), style);
    QCOMPARE(offered.italic(), italic);
    QCOMPARE(offered.weight(), bold ? QFont::Bold : QFont::Normal);
    // OK without a change changes nothing, and new text looks like the old.
    QCOMPARE(form.RichEdit1->currentCharFormat(), before);
    QTest::keyClicks(form.RichEdit1, "de");
    QTextCursor c(form.RichEdit1->document());
    c.setPosition(5);
    QCOMPARE(c.charFormat().font().italic(), italic);
    QCOMPARE(c.charFormat().font().bold(), bold);
    QVERIFY(c.charFormat().font().styleName().isEmpty());
    QCOMPARE(form.RichEdit1->documentText(), QString("abcde"));
}

void FontDialogTest::sizeChangeKeepsThePlainStyle() {
    Prefs::write("font", "DejaVu Serif");
    Prefs::write("size", "12");
    TMainForm form;
    form.show();
    whenModal<TFontDialog>([&](TFontDialog* d) {
        QFont f = d->fontPanel()->currentFont();
        f.setPointSize(20);
        d->fontPanel()->setCurrentFont(f);
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    form.findChild<QAction*>("Font1")->trigger();
    QTest::keyClicks(form.RichEdit1, "new");
    QTextCursor c(form.RichEdit1->document());
    c.setPosition(2);
    const QFont typed = c.charFormat().font();
    QCOMPARE(typed.pointSize(), 20);
    QVERIFY(!typed.italic());
    QCOMPARE(typed.weight(), QFont::Normal);
    QVERIFY(!typed.styleName().contains("Condensed"));
}

TAVIRO_TEST_MAIN(FontDialogTest)
#include "tst_fontdialog.moc"
