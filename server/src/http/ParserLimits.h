#pragma once

// The limits http-parser holds a request to while it arrives: the size of its head, its route's
// body limit, and the room left for large bodies. A request over one is refused before its body
// is kept; the handler then answers it with what refusalOf() says.

#include "Config.h"

#include <restinio/all.hpp>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace pindle {

/// How long a client may take to send a request; past it RESTinio closes the connection.
constexpr auto requestReadLimit = std::chrono::seconds(60);

/// What large bodies being received may hold at once, whoever sends them, so that strangers
/// cannot fill the memory with uploads that will be refused once read. Bodies of a few KiB are
/// not counted: the connection caps bound them.
class BodyBudget {
public:
    static constexpr std::uint64_t counted = 64 * 1024;

    explicit BodyBudget(std::uint64_t limit)
        : m_limit(limit) {}

    /// Sets aside `bytes` for the body `parser` is about to read; false when they do not fit.
    bool take(const void *parser, std::uint64_t bytes);
    void give(const void *parser);

private:
    struct Held {
        std::uint64_t bytes;
        std::chrono::steady_clock::time_point since;
    };
    void giveLocked(const void *parser);

    std::mutex m_mutex;
    const std::uint64_t m_limit;
    std::uint64_t m_total = 0;
    std::unordered_map<const void *, Held> m_open;
    std::chrono::steady_clock::time_point m_lastSweep;
};

/// The largest body any route of `config` takes.
[[nodiscard]] std::uint64_t largestBodyLimit(const Config &config);

/// Makes the parser hold requests to the limits of `config`'s routes and to `budget`. Called once
/// before serving; both must outlive the server.
void limitRequests(const Config &config, BodyBudget &budget);

/// The body of the request the parser completed last on this thread: RESTinio keeps a request's
/// body const, so the handler, which runs next on the same thread, takes it from here uncopied.
[[nodiscard]] std::string takeParsedBody();

/// Why the parser refused a request: the answer's status and error message.
struct Refusal {
    int status = 0;
    std::string error;
};

/// The refusal the parser noted in a request's head, if it refused it.
[[nodiscard]] std::optional<Refusal> refusalOf(const restinio::http_request_header_t &header);

} // namespace pindle
