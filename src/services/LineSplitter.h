#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>

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
