// A streamed chat reply from the backend. However the network splits the body, the decoder must
// hand out the same pieces of text and end the same way as when it gets the body in one go.
//
// Input: byte 0 seeds the piece sizes, byte 1 picks a small line bound (or the default), and the
// rest is the body.
#include "services/ChatStreamDecoder.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Outcome {
    QStringList tokens;
    ChatStreamDecoder::Status status = ChatStreamDecoder::Status::More;
};

Outcome decode(QByteArrayView body, qsizetype maxLineLength, std::uint8_t seed) {
    Outcome outcome;
    ChatStreamDecoder decoder([&outcome](const QString &token) { outcome.tokens.append(token); },
                              maxLineLength);
    // Piece sizes from 1 to 32 from a small generator; a zero seed feeds everything at once.
    std::uint32_t state = seed;
    qsizetype at = 0;
    while (at < body.size() && outcome.status == ChatStreamDecoder::Status::More) {
        qsizetype piece = body.size() - at;
        if (seed != 0) {
            state = state * 1103515245u + 12345u;
            piece = std::min<qsizetype>(piece, 1 + (state >> 16) % 32);
        }
        outcome.status = decoder.feed(body.sliced(at, piece));
        at += piece;
    }
    // Nothing after the end is looked at.
    const qsizetype tokens = outcome.tokens.size();
    if (outcome.status != ChatStreamDecoder::Status::More &&
        (decoder.feed("data: {\"choices\":[{\"delta\":{\"content\":\"x\"}}]}\n") !=
             outcome.status ||
         outcome.tokens.size() != tokens)) {
        std::fputs("the decoder went on after the end of the stream\n", stderr);
        std::abort();
    }
    outcome.status = decoder.finish();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t seed = data[0];
    const qsizetype maxLineLength =
        data[1] < 128 ? ChatStreamDecoder::defaultMaxLineLength : qsizetype(data[1]);
    const QByteArrayView body(reinterpret_cast<const char *>(data) + 2, qsizetype(size) - 2);

    const Outcome whole = decode(body, maxLineLength, 0);
    const Outcome pieces = decode(body, maxLineLength, seed);
    if (whole.tokens != pieces.tokens || whole.status != pieces.status) {
        std::fprintf(stderr, "fed whole: %lld tokens, status %d; in pieces: %lld, status %d\n",
                     static_cast<long long>(whole.tokens.size()), int(whole.status),
                     static_cast<long long>(pieces.tokens.size()), int(pieces.status));
        std::abort();
    }
    return 0;
}
