// libFuzzer target: the HTTP answer parser and the address split must take any
// bytes without crashing, without growing past their limits, and must reach the
// same verdict however the bytes are cut into pieces.
#include "Exceptions.h"
#include "HttpAddress.h"
#include "HttpAnswer.h"

#include <cstdint>
#include <cstdlib>
#include <QString>

using namespace taviro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // Small limits, so the fuzzer reaches them.
    HttpAnswerParser whole(64, 4096);
    whole.feed(bytes);
    HttpAnswerParser pieces(64, 4096);
    // The first byte chooses the piece size.
    const qsizetype step = size ? 1 + data[0] % 13 : 1;
    for (qsizetype i = 0; i < bytes.size(); i += step)
        pieces.feed(bytes.sliced(i, std::min(step, bytes.size() - i)));
    if (whole.phase() != pieces.phase() || whole.status() != pieces.status() ||
        whole.header() != pieces.header() || whole.cookie() != pieces.cookie() ||
        whole.location() != pieces.location() || whole.body() != pieces.body())
        std::abort();
    if (whole.bytesReceived() > 4096 || whole.header().size() > 4096)
        std::abort();

    const QString address = QString::fromLatin1(bytes.first(std::min<qsizetype>(size, 512)));
    try {
        const HttpAddress a = SplitHttpAddress(address);
        if (a.port < 1 || a.port > 65535 || !a.path.startsWith(QLatin1Char('/')))
            std::abort();
        const QByteArray request = HttpRequestBytes(a, QString::fromLatin1(whole.cookie()));
        // Exactly one empty line, at the end: the address cannot write lines of its own.
        if (request.indexOf("\r\n\r\n") != request.size() - 4)
            std::abort();
    } catch (const Exception&) {
    }
    return 0;
}
