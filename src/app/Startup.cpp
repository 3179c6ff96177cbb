#include "Startup.h"

#include "AboutBox.h"
#include "Application.h"
#include "Gf.h"
#include "Guard.h"
#include "MainForm.h"

#include <QApplication>

namespace taviro {

namespace {

// The last line of defence: handlers are guarded one by one, but an exception
// thrown from Qt's own code paths into ours must not end the program either.
class TaviroQApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        bool handled = false;
        runGuarded([&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }
};

} // namespace

int RunStartupSequence(const QStringList& params, const MainFormFactory& createMainForm) {
    Application().Title = QStringLiteral("Taviro");
    // Windows made after the main window go before the application object does.
    struct ReleaseWindows {
        ~ReleaseWindows() { ReleaseAboutBox(); }
    } releaseWindows;
    try {
        std::unique_ptr<TMainForm> mainForm =
            createMainForm ? createMainForm(params) : std::make_unique<TMainForm>(params);
        CreateAboutBox();
        mainForm->get = new Tget(*mainForm, mainForm.get());
        QObject::connect(mainForm.get(), &TMainForm::closed, qApp, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        mainForm->show();
        QCoreApplication::exec();
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
    return 0;
}

int RunTaviro(int argc, char** argv) {
    TaviroQApplication app(argc, argv);
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.plomix.Taviro"));
    return RunStartupSequence(QCoreApplication::arguments().mid(1));
}

} // namespace taviro
