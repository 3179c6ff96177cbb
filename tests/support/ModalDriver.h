#pragma once

#include <functional>
#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

namespace taviro::test {

// Answers the next modal window of type T as a user would, once it is up. Call
// it before the code that opens the window; `act` runs inside its event loop.
template <class T> void whenModal(std::function<void(T*)> act, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto waited = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited, act, timeoutMs] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
            return;
        }
        *waited += timer->interval();
        if (*waited > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
}

// Closes `dialog` after `ms` should it still be open then, so that a dialog that
// ignores the user's answer fails its test instead of hanging it.
inline void rejectIfStillOpen(QDialog* dialog, int ms = 2000) {
    QTimer::singleShot(ms, dialog, [dialog] {
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace taviro::test
