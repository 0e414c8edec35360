#pragma once

#include "ModelProvider.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace pindle {

class ProviderLane;

/// The HTTP client for the model provider: libcurl's multi interface on a few threads of its
/// own (ProviderLane), each driven by socket events from its own epoll, so thousands of replies
/// can stream at once without a thread each and without the per-wake-up cost growing with their
/// number. A new transfer goes to the lane with the fewest, where it stays to its end; cancels
/// follow it there.
///
/// More than one thread because libcurl looks through every connection its multi handle holds
/// to the provider for one to reuse each time a transfer starts: on one thread, a burst of
/// thousands of chats queued behind those searches.
class ProviderClient final : public ModelProvider {
public:
    /// `threads` (at least one) carry the transfers.
    explicit ProviderClient(int threads = defaultThreads);
    ~ProviderClient() override;
    ProviderClient(const ProviderClient &) = delete;
    ProviderClient &operator=(const ProviderClient &) = delete;

    std::uint64_t start(ProviderRequest request, ProviderHandlers handlers) override;
    void cancel(std::uint64_t id) override;
    /// Ends every transfer (onDone says providerStopped) and the threads; a transfer started
    /// later ends at once the same way.
    void stop();

    static constexpr int defaultThreads = 4;

private:
    std::vector<std::unique_ptr<ProviderLane>> m_lanes;
    // Transfer ids count up in steps of the number of lanes: the remainder names the lane.
    std::atomic<std::uint64_t> m_nextSerial{1};
    // Where the search for the least busy lane begins, so that equally busy lanes take turns.
    std::atomic<std::size_t> m_nextLane{0};
    std::atomic<bool> m_stopped{false};
};

} // namespace pindle
