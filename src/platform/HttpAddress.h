#pragma once

#include <QByteArray>
#include <QString>

namespace taviro {

// A web address as the HTTP client asks for it: the host (a name or a dotted IPv4
// address), the port, and the path exactly as typed.
struct HttpAddress {
    QString host;
    int port = 80;
    QString path;

    bool operator==(const HttpAddress&) const = default;
};

// Splits an address typed by the user or sent in a Location header. With "//" in
// it (as after a scheme) the host is what lies between that "//" and the next "/";
// otherwise it is everything before the first "/". The path starts at that "/"
// and is "/" when there is none. "host:port" selects the port.
// Raises "Empty URL", "HTTP Secure Socket is not supported" (any letter case),
// "'<port>' is not a valid integer value", a port outside 1..65535, and control
// characters, which would let the address write request lines of its own.
HttpAddress SplitHttpAddress(const QString& address);

// The request for `path` on `host`: request line, Host line (the name alone, never
// the port), an optional Cookie line, the empty line; CR LF after each, every
// character in the program's single-byte code page.
QByteArray HttpRequestBytes(const HttpAddress& address, const QString& cookie = {});

} // namespace taviro
