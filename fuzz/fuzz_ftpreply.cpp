// Feeds arbitrary bytes to the FTP reply parser, whole and in pieces, and
// checks that it never takes more than it is given, keeps to its limits, and
// reaches the same reply however the bytes are cut.
#include "FtpReply.h"

#include <cstdint>
#include <cstdlib>

using taviro::FtpReplyParser;

namespace {

struct Result {
    FtpReplyParser::State state;
    int code;
    QByteArray firstLine;
    QByteArray text;
    qsizetype used;
};

void check(bool ok) {
    if (!ok)
        std::abort();
}

Result parse(QByteArrayView bytes, qsizetype piece) {
    FtpReplyParser parser;
    qsizetype used = 0;
    while (used < bytes.size() && parser.state() == FtpReplyParser::State::NeedMore) {
        const qsizetype n = std::min(piece, bytes.size() - used);
        const qsizetype took = parser.feed(bytes.sliced(used, n));
        check(took >= 0 && took <= n);
        used += took;
        if (took < n) // only a finished or failed parser leaves bytes
            check(parser.state() != FtpReplyParser::State::NeedMore);
    }
    if (parser.complete()) {
        check(parser.text().size() <= FtpReplyParser::MaxReplyLength);
        check(parser.firstLine().endsWith('\n'));
        check(parser.text().startsWith(parser.firstLine()));
        check(parser.code() == FtpReplyParser::leadingCode(parser.firstLine()));
        check(parser.feed(bytes.sliced(used)) == 0);
    }
    return {parser.state(), parser.code(), parser.firstLine(), parser.text(), used};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const Result whole = parse(bytes, bytes.size() + 1);
    const Result cut = parse(bytes, piece);
    check(whole.state == cut.state);
    if (whole.state == FtpReplyParser::State::Complete) {
        check(whole.code == cut.code && whole.firstLine == cut.firstLine &&
              whole.text == cut.text && whole.used == cut.used);
    }
    return 0;
}
