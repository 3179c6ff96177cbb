// The default error display: what a failure looks like to the user, and the
// silent abort that shows nothing.

#include "Application.h"
#include "Exceptions.h"
#include "Guard.h"
#include "ScriptedPrompts.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using namespace taviro;
using namespace taviro::test;

class ErrorDisplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Application().Title = "Taviro"; }
    void fullStopRule_data();
    void fullStopRule();
    void silentAbortShowsNothing();
    void otherFailuresAreShown_data();
    void otherFailuresAreShown();
    void realBoxIsTitledWithStopIconAndOk();
};

// The full stop goes on only when the last character's code is above 0x2E.
void ErrorDisplay::fullStopRule_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("letter") << "Cannot open file x"
                            << "Cannot open file x.";
    QTest::newRow("full stop 0x2E") << "Done."
                                    << "Done.";
    QTest::newRow("slash 0x2F") << "path/"
                                << "path/.";
    QTest::newRow("digit") << "code 5"
                           << "code 5.";
    QTest::newRow("minus 0x2D") << "a -"
                                << "a -";
    QTest::newRow("comma 0x2C") << "a,"
                                << "a,";
    QTest::newRow("exclamation 0x21") << "Stop!"
                                      << "Stop!";
    QTest::newRow("blank 0x20") << "trailing "
                                << "trailing ";
    QTest::newRow("closing quote 0x27") << "'x' is not a valid integer value"
                                        << "'x' is not a valid integer value.";
    QTest::newRow("quote 0x27 last") << "name 'x'"
                                     << "name 'x'";
    QTest::newRow("question mark 0x3F") << "why?"
                                        << "why?.";
    QTest::newRow("colon 0x3A") << "reason:"
                                << "reason:.";
    QTest::newRow("non-ASCII") << QString::fromUtf8("caf\u00E9") << QString::fromUtf8("caf\u00E9.");
    QTest::newRow("line break 0x0A") << "two\nlines\n"
                                     << "two\nlines\n";
}

void ErrorDisplay::fullStopRule() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(TApplication::displayText(message), shown);

    ScriptedPrompts prompts;
    runGuarded([&] { throw Exception(message); });
    QCOMPARE(prompts.boxes.size(), 1);
    QCOMPARE(prompts.boxes[0].text, shown);
}

void ErrorDisplay::silentAbortShowsNothing() {
    ScriptedPrompts prompts;
    bool after = false;
    runGuarded([&] {
        Abort();
        after = true;
    });
    QVERIFY(!after);
    QVERIFY(prompts.boxes.isEmpty());
}

void ErrorDisplay::otherFailuresAreShown_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");
    QTest::newRow("socket wait cancelled is not silent") << 0 << "Cancelled.";
    QTest::newRow("conversion") << 1 << "'x' is not a valid integer value.";
    QTest::newRow("standard exception") << 2 << "std failure.";
}

void ErrorDisplay::otherFailuresAreShown() {
    QFETCH(int, kind);
    QFETCH(QString, shown);
    ScriptedPrompts prompts;
    runGuarded([&] {
        switch (kind) {
        case 0:
            throw EAbortError("Cancelled");
        case 1:
            throw EConvertError("'x' is not a valid integer value");
        default:
            throw std::runtime_error("std failure");
        }
    });
    QCOMPARE(prompts.boxes.size(), 1);
    QCOMPARE(prompts.boxes[0].text, shown);
    QCOMPARE(prompts.boxes[0].caption, QString("Taviro"));
    QCOMPARE(prompts.boxes[0].icon, MsgIcon::Stop);
    QVERIFY(prompts.boxes[0].buttons == MsgButtons::Ok);
    QCOMPARE(prompts.boxes[0].owner, nullptr);
}

void ErrorDisplay::realBoxIsTitledWithStopIconAndOk() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        box->button(QMessageBox::Ok)->click();
    });
    runGuarded([] { throw Exception("Cannot open file /x/y.htm"); });
    QCOMPARE(title, QString("Taviro"));
    QCOMPARE(text, QString("Cannot open file /x/y.htm."));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);
}

TAVIRO_TEST_MAIN(ErrorDisplay)
#include "tst_errordisplay.moc"
