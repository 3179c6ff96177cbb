#pragma once

#include <functional>
#include <QImage>
#include <QList>
#include <QString>

namespace taviro::manual {

// What a picture in the manual may draw on: the sample page the main window shows.
struct ShotContext {
    QString samplePage;
};

// One picture of the program, grabbed from its own window: the manual's HTML names
// it as <img src="shot:NAME">.
struct FormShot {
    QString name;
    std::function<QImage(const ShotContext&)> grab;
};

// Every picture the manual can use, in the order they are made.
QList<FormShot> manualForms();

// A window as the reader sees it on screen: the window's grab under a plain title
// bar with its caption.
QImage grabWindow(QWidget& window);

} // namespace taviro::manual
