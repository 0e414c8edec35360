#pragma once

#include "Config.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace pindle {

class Api;

/// The Api served by RESTinio, over HTTPS when the configuration names a certificate: its
/// connections and their caps, and the limits requests are held to as they arrive.
class RestinioServer {
public:
    /// The connection caps stay below `fileLimit`, the process's limit on open files.
    RestinioServer(const Config &config, Api &api, std::uint64_t fileLimit);
    ~RestinioServer();
    RestinioServer(const RestinioServer &) = delete;
    RestinioServer &operator=(const RestinioServer &) = delete;

    /// Serves until SIGINT or SIGTERM, then runs `finishWork` on a thread of its own while the
    /// connections go on carrying the answers, and closes once it has returned. A second signal
    /// calls `endAtOnce` with its number instead. Returns what made it fail to start, if anything.
    [[nodiscard]] std::exception_ptr serve(const std::function<void()> &finishWork,
                                           const std::function<void(int)> &endAtOnce);

    /// True when every request has been answered and every answer written, before `timeout`.
    [[nodiscard]] bool waitUntilAnswered(std::chrono::milliseconds timeout);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace pindle
