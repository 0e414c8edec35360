#pragma once

#include "ModelProvider.h"

#include <curl/curl.h>

#include <atomic>
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

struct ProviderTransfer;

/// One thread of the provider client, with its own libcurl multi handle and epoll, and the
/// transfers given to it, which stay here to their end. The thread sleeps in epoll until a socket
/// is ready, curl's timer is due, a transfer's next quiet call or silence check comes (all of them
/// in one queue ordered by time), or another thread hands it a transfer or a cancel.
class ProviderLane final {
public:
    /// `index` names the thread ("provider-<index>").
    explicit ProviderLane(int index);
    ~ProviderLane();
    ProviderLane(const ProviderLane &) = delete;
    ProviderLane &operator=(const ProviderLane &) = delete;

    /// Hands the transfer to the thread; ends it at once (onDone says providerStopped) when the
    /// lane is stopping.
    void start(std::uint64_t id, ProviderRequest request, ProviderHandlers handlers);
    void cancel(std::uint64_t id);
    /// Asks the thread to end, without waiting.
    void requestStop();
    /// Ends the thread, then every transfer it had.
    void stop();
    /// Transfers started here and not yet ended.
    [[nodiscard]] std::size_t load() const { return m_load.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;

    void run();
    void wake();
    void addPending();
    void collectFinished();
    void runDueChecks();
    void schedule(ProviderTransfer &transfer);
    void finish(ProviderTransfer &transfer, const std::string &error);
    static int onSocket(void *easy, int socket, int what, void *self, void *socketData);
    static int onTimer(void *multi, long timeoutMs, void *self);

    std::atomic<std::size_t> m_load{0};
    std::mutex m_mutex;
    std::vector<std::unique_ptr<ProviderTransfer>> m_pending;
    std::vector<std::uint64_t> m_cancelled;
    bool m_stopping = false;

    CURLM *m_multi = nullptr;
    int m_epoll = -1;
    int m_wakeup = -1;
    // When curl next wants to be called for its timeouts; none when it has nothing pending.
    std::optional<Clock::time_point> m_deadline;
    // Owned by the lane's thread only.
    std::unordered_map<std::uint64_t, std::unique_ptr<ProviderTransfer>> m_active;
    // When each transfer is next due for a quiet call or a silence check: one entry for each
    // active transfer, earliest first; an entry whose transfer has ended is dropped when reached.
    using Due = std::pair<Clock::time_point, std::uint64_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::thread m_thread;
};

} // namespace pindle
