#pragma once

#include "Maker.h"

#include <QString>

class QWidget;

namespace taviro {

class TNMHTTP;

// The maker's web server: the update file and the product page live there, and
// the Get File dialog's example address names it.
inline const QString& MakerServer = kMakerHost;

// The server the update check asks; MakerServer unless a test points it elsewhere
// ("127.0.0.1:<port>"). An empty name goes back to MakerServer.
QString UpdateServer();
void setUpdateServer(const QString& server);

QString UpdateFileAddress();  // without a scheme, so port 80 on the real server
QString ProductPageAddress(); // with the HTTP scheme, for the desktop shell

// Asks the update server whether a newer version exists, with `http`, and answers
// the user in boxes owned by `owner`. Touches no document.
void CheckForUpdates(TNMHTTP& http, QWidget* owner);

// The notice a request that set a cookie shows: a plain box titled with the
// application title.
void ShowCookieNotice(const QString& cookie, QWidget* owner);

} // namespace taviro
