#include "UpdateCheck.h"

#include "Application.h"
#include "NMHTTP.h"
#include "Prompts.h"
#include "Shell.h"

namespace taviro {

namespace {

QString& serverOverride() {
    static QString server;
    return server;
}

} // namespace

QString UpdateServer() {
    return serverOverride().isEmpty() ? MakerServer : serverOverride();
}

void setUpdateServer(const QString& server) {
    serverOverride() = server;
}

QString UpdateFileAddress() {
    return UpdateServer() + QStringLiteral("/updates/taviro15.upd");
}

QString ProductPageAddress() {
    return QStringLiteral("http://") + UpdateServer() + QStringLiteral("/taviro.htm");
}

void ShowCookieNotice(const QString& cookie, QWidget* owner) {
    MessageRequest box;
    box.owner = owner;
    // "/n" is two characters here, not a line break.
    box.text = QStringLiteral("Cookie:/n") + cookie;
    box.caption = Application().Title;
    box.buttons = MsgButtons::Ok;
    box.icon = MsgIcon::None;
    prompts().messageBox(box);
}

void CheckForUpdates(TNMHTTP& http, QWidget* owner) {
    http.TimeOut = 5000;
    http.InputFileMode = false;
    http.OutputFileMode = false;
    http.ReportLevel = 2;
    http.Get(UpdateFileAddress());

    if (!http.ReceivedCookie.isEmpty())
        ShowCookieNotice(http.ReceivedCookie, owner);

    MessageRequest box;
    box.owner = owner;
    box.icon = MsgIcon::Question;
    // Exactly these three bytes: a line break after them, or a capital, is no update.
    if (http.Body != QByteArrayLiteral("new")) {
        box.text = QStringLiteral("No updates available.");
        box.buttons = MsgButtons::Ok;
        prompts().messageBox(box);
        return;
    }
    box.text = QStringLiteral("Update Available. Do you want to know more?");
    box.caption = QStringLiteral("Checking for updates");
    box.buttons = MsgButtons::YesNo;
    box.defaultButton = MsgResult::Yes;
    if (prompts().messageBox(box) == MsgResult::Yes)
        ShellOpen(ProductPageAddress());
}

} // namespace taviro
