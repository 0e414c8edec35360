#pragma once

#include "services/LineSplitter.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

/// Turns the body of a streamed chat reply into its text pieces, in arrival order.
///
/// Only lines that begin with "data: " count; "[DONE]" ends the stream and nothing after it is
/// looked at; a line that is not JSON, or lacks choices[0].delta.content as a string, is skipped.
class ChatStreamDecoder final {
public:
    enum class Status { More, Done, LineTooLong };
    using TokenCallback = std::function<void(const QString &)>;

    static constexpr qsizetype defaultMaxLineLength = 1024 * 1024;

    explicit ChatStreamDecoder(TokenCallback onToken,
                               qsizetype maxLineLength = defaultMaxLineLength);

    /// Decodes the next bytes of the body; any split, even inside a line or a UTF-8 character.
    Status feed(QByteArrayView bytes);
    /// The body has ended: decodes a last line that had no line break.
    Status finish();

    /// The text piece one line carries, if any; sets `done` for the end marker.
    [[nodiscard]] static std::optional<QString> tokenOf(QByteArrayView line, bool *done);

private:
    bool handleLine(QByteArrayView line);

    TokenCallback m_onToken;
    LineSplitter m_lines;
    Status m_status = Status::More;
};
