#include "Forms.h"

#include "AboutBox.h"
#include "Application.h"
#include "FTP.h"
#include "Gf.h"
#include "Maker.h"
#include "MainForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QWidget>

namespace taviro::manual {

namespace {

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

std::unique_ptr<TMainForm> mainWindowWithSample(const ShotContext& context) {
    auto form = std::make_unique<TMainForm>(QStringList{context.samplePage});
    // As a reader's own page would look, not the build tree's path.
    form->AssignDocumentName(QStringLiteral("/home/anna/site/index.htm"));
    form->RefreshCaption();
    form->resize(570, 420);
    form->show();
    settle();
    return form;
}

// A top-level menu opened under its title, as a click on the menu bar opens it,
// with `highlight` (an action's object name) chosen as if the pointer rested on it.
QImage grabMenu(const ShotContext& context, const char* menuName, const char* highlight,
                const char* subMenuName = nullptr) {
    auto form = mainWindowWithSample(context);
    auto* menu = form->findChild<QMenu*>(QLatin1String(menuName));
    if (!menu)
        return {};
    form->MainMenu->setActiveAction(menu->menuAction());
    settle();
    QImage image = menu->grab().toImage();
    if (subMenuName) {
        // A sub-menu is a window of its own: draw it where it opens, beside its item.
        auto* sub = form->findChild<QMenu*>(QLatin1String(subMenuName));
        if (sub) {
            menu->setActiveAction(sub->menuAction());
            settle();
            const QImage subImage = sub->grab().toImage();
            const QRect item = menu->actionGeometry(sub->menuAction());
            QImage both(image.width() + subImage.width(),
                        std::max(image.height(), item.top() + subImage.height()),
                        QImage::Format_ARGB32_Premultiplied);
            both.fill(Qt::transparent);
            QPainter painter(&both);
            painter.drawImage(0, 0, menu->grab().toImage());
            painter.drawImage(image.width() - 4, item.top(), subImage);
            painter.end();
            image = both;
        }
    } else if (highlight) {
        if (auto* action = form->findChild<QAction*>(QLatin1String(highlight))) {
            menu->setActiveAction(action);
            settle();
            image = menu->grab().toImage();
        }
    }
    menu->hide();
    Application().setHint(QString());
    return image;
}

} // namespace

QImage grabWindow(QWidget& window) {
    window.show();
    settle();
    const QImage client = window.grab().toImage();
    const int bar = 24;
    QImage framed(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB32);
    framed.fill(QColor(0x60, 0x60, 0x60));
    QPainter painter(&framed);
    painter.fillRect(QRect(1, 1, client.width(), bar - 1), QColor(0x3a, 0x5f, 0x9a));
    QFont title = window.font();
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(QRect(8, 1, client.width() - 16, bar - 1), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawImage(1, bar, client);
    painter.end();
    window.hide();
    return framed;
}

QList<FormShot> manualForms() {
    return {
        {QStringLiteral("mainwindow"),
         [](const ShotContext& context) {
             auto form = mainWindowWithSample(context);
             return grabWindow(*form);
         }},
        {QStringLiteral("menu-file"),
         [](const ShotContext& c) { return grabMenu(c, "FileMenu", "FileSaveItem"); }},
        {QStringLiteral("menu-edit"),
         [](const ShotContext& c) { return grabMenu(c, "EditMenu", "Font1"); }},
        {QStringLiteral("menu-net"),
         [](const ShotContext& c) { return grabMenu(c, "Net1", nullptr, "Preview1"); }},
        {QStringLiteral("menu-help"),
         [](const ShotContext& c) { return grabMenu(c, "HelpMenu", "HelpContentsItem"); }},
        {QStringLiteral("aboutbox"),
         [](const ShotContext&) {
             TAboutBox box;
             return grabWindow(box);
         }},
        {QStringLiteral("getfile"),
         [](const ShotContext&) {
             TMainForm form;
             Tget get(form);
             get.Edit1->setText(kMakerHost + QStringLiteral("/index.php"));
             return grabWindow(get);
         }},
        {QStringLiteral("ftp"),
         [](const ShotContext&) {
             TFTP ftp;
             const auto field = [&ftp](const char* name, const QString& text) {
                 if (auto* edit = ftp.findChild<QLineEdit*>(QLatin1String(name)))
                     edit->setText(text);
             };
             field("HostTxt", QStringLiteral("ftp.example.com"));
             field("UserTxt", QStringLiteral("webmaster"));
             field("PassTxt", QStringLiteral("secret"));
             field("DirTxt", QStringLiteral("www"));
             field("Edit4", QStringLiteral("index.htm"));
             return grabWindow(ftp);
         }},
    };
}

} // namespace taviro::manual
