#include "HttpAddress.h"

#include "AnsiCodec.h"
#include "Exceptions.h"
#include "NumberConvert.h"

namespace taviro {

namespace {

QByteArray toAnsi(const QString& text) {
    const QString safe = AnsiCodec::sanitize(text);
    QByteArray out;
    out.reserve(safe.size());
    for (QChar c : safe)
        out.append(char(AnsiCodec::fromUnicode(c)));
    return out;
}

bool hasControlCharacter(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

} // namespace

HttpAddress SplitHttpAddress(const QString& address) {
    if (address.isEmpty())
        throw Exception(QStringLiteral("Empty URL"));
    if (address.startsWith(QLatin1String("https:"), Qt::CaseInsensitive))
        throw Exception(QStringLiteral("HTTP Secure Socket is not supported"));
    if (hasControlCharacter(address))
        throw Exception(QStringLiteral("The address contains a control character"));

    // "//" counts where a scheme puts it, at the first "/": a "//" further on is
    // part of the path ("/p?next=//x" names no host).
    qsizetype hostStart = 0;
    if (const qsizetype slash = address.indexOf(QLatin1Char('/'));
        slash >= 0 && address.mid(slash + 1, 1) == QLatin1String("/"))
        hostStart = slash + 2;
    const qsizetype pathStart = address.indexOf(QLatin1Char('/'), hostStart);

    HttpAddress result;
    QString hostPart =
        pathStart < 0 ? address.mid(hostStart) : address.mid(hostStart, pathStart - hostStart);
    result.path = pathStart < 0 ? QStringLiteral("/") : address.mid(pathStart);

    if (const qsizetype colon = hostPart.indexOf(QLatin1Char(':')); colon >= 0) {
        const QString portText = hostPart.mid(colon + 1);
        const int port = StrToInt(portText);
        if (port < 1 || port > 65535)
            throw Exception(QStringLiteral("'%1' is not a valid port number").arg(portText));
        result.port = port;
        hostPart.truncate(colon);
    }
    result.host = hostPart;
    return result;
}

QByteArray HttpRequestBytes(const HttpAddress& address, const QString& cookie) {
    QByteArray request;
    request += "GET " + toAnsi(address.path) + " HTTP/1.0\r\n";
    request += "Host: " + toAnsi(address.host) + "\r\n";
    if (!cookie.isEmpty())
        request += "Cookie: " + toAnsi(cookie) + "\r\n";
    request += "\r\n";
    return request;
}

} // namespace taviro
