#pragma once

#include "ModelProvider.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pindle {

/// The HTTP client for the model provider: libcurl's multi interface on one thread of its own,
/// driven by socket events from epoll, so thousands of replies can stream at once without a
/// thread each and without the per-wake-up cost growing with their number. Each transfer's next
/// quiet call and silence check wait in one queue ordered by time, so a wake-up looks only at
/// the transfers that are due.
class ProviderClient final : public ModelProvider {
public:
    ProviderClient();
    ~ProviderClient() override;
    ProviderClient(const ProviderClient &) = delete;
    ProviderClient &operator=(const ProviderClient &) = delete;

    std::uint64_t start(ProviderRequest request, ProviderHandlers handlers) override;
    void cancel(std::uint64_t id) override;
    /// Ends every transfer (onDone says providerStopped) and the thread; a transfer started
    /// later ends at once the same way.
    void stop();

private:
    struct Transfer;
    void run();
    void wake();
    void addPending();
    void collectFinished();
    void runDueChecks();
    void schedule(Transfer &transfer);
    void finish(Transfer &transfer, const std::string &error);
    static int onSocket(void *easy, int socket, int what, void *self, void *socketData);
    static int onTimer(void *multi, long timeoutMs, void *self);

    std::mutex m_mutex;
    std::vector<std::unique_ptr<Transfer>> m_pending;
    std::vector<std::uint64_t> m_cancelled;
    std::uint64_t m_nextId = 1;
    bool m_stopping = false;

    void *m_multi = nullptr;
    int m_epoll = -1;
    int m_wakeup = -1;
    // When curl next wants to be called for its timeouts; none when it has nothing pending.
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    // Owned by the provider thread only.
    std::unordered_map<std::uint64_t, std::unique_ptr<Transfer>> m_active;
    // When each transfer is next due for a quiet call or a silence check: one entry for each
    // active transfer, earliest first; an entry whose transfer has ended is dropped when reached.
    using Due = std::pair<std::chrono::steady_clock::time_point, std::uint64_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::thread m_thread;
};

} // namespace pindle
