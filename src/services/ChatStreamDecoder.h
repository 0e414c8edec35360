#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstring>
#include <functional>
#include <optional>

/// Splits a byte stream into lines at LF, dropping a CR before it, and keeps the unfinished last
/// line between feeds. A line longer than the bound is refused, so a server that never ends its
/// line cannot make the client hold an unbounded amount of memory.
class LineSplitter final {
public:
    explicit LineSplitter(qsizetype maxLineLength)
        : m_maxLineLength(maxLineLength) {}

    /// Calls `onLine(QByteArrayView)` for each line completed by `bytes`; `onLine` returns false to
    /// stop. Returns false if a line is, or the unfinished one has grown, longer than the bound.
    template <typename OnLine> bool feed(QByteArrayView bytes, OnLine &&onLine, bool *stopped) {
        const char *data = bytes.data();
        qsizetype start = 0;
        while (start < bytes.size()) {
            const void *found = std::memchr(data + start, '\n', size_t(bytes.size() - start));
            if (!found)
                break;
            const qsizetype end = static_cast<const char *>(found) - data;
            QByteArrayView line(data + start, end - start);
            start = end + 1;
            if (!m_pending.isEmpty()) {
                m_pending.append(line);
                line = m_pending;
            }
            if (line.size() > m_maxLineLength) {
                keepStartOf(line);
                return false;
            }
            if (line.endsWith('\r'))
                line.chop(1);
            const bool goOn = onLine(line);
            m_pending.clear();
            if (!goOn) {
                *stopped = true;
                return true;
            }
        }
        m_pending.append(bytes.sliced(start));
        if (m_pending.size() <= m_maxLineLength)
            return true;
        keepStartOf(m_pending);
        return false;
    }

    /// The unfinished last line (without a CR at its end), leaving the splitter empty.
    [[nodiscard]] QByteArray takeRest();

private:
    // A refused line still leaves its beginning for takeRest(), for error messages.
    void keepStartOf(QByteArrayView line) { m_pending = line.first(m_maxLineLength).toByteArray(); }

    qsizetype m_maxLineLength;
    QByteArray m_pending;
};

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
