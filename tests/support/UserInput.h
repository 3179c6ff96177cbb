#pragma once

#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QStringView>
#include <QtTest>

namespace taviro::test {

// Gives the main window's menu command `item` (an action's object name), as a
// click on the menu item would.
inline void trigger(TMainForm& form, const char* item) {
    auto* action = form.findChild<QAction*>(QLatin1String(item));
    QVERIFY2(action, item);
    action->trigger();
}

// Types `text` as key presses carrying each character, as a keyboard layout
// sends them; a pair of surrogates goes as one. (QTest's own typing knows
// Latin-1 only.)
inline void typeText(QWidget* widget, QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, n).toString();
        i += n - 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, one);
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace taviro::test
