#pragma once

#include <QString>

namespace taviro {

// The maker's web server, support mailbox and the addresses built from them: the
// About box links to them, and the update check asks the same server.
inline const QString kMakerHost = QStringLiteral("www.plomix.com");
inline const QString kMakerWebSite = QStringLiteral("http://") + kMakerHost;
inline const QString kSupportAddress = QStringLiteral("support@plomix.com");
inline const QString kSupportMail = QStringLiteral("mailto:") + kSupportAddress;

} // namespace taviro
