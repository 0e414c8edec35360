#include "ProviderClient.h"

#include "ProviderLane.h"

#include <curl/curl.h>

#include <algorithm>
#include <utility>

namespace pindle {

ProviderClient::ProviderClient(int threads) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int i = 0; i < std::max(threads, 1); ++i)
        m_lanes.push_back(std::make_unique<ProviderLane>(i));
}

ProviderClient::~ProviderClient() {
    stop();
}

void ProviderClient::stop() {
    if (m_stopped.exchange(true))
        return;
    // All lanes wind down at once; then each settles what it had.
    for (const auto &lane : m_lanes)
        lane->requestStop();
    for (const auto &lane : m_lanes)
        lane->stop();
}

std::uint64_t ProviderClient::start(ProviderRequest request, ProviderHandlers handlers) {
    const std::size_t lanes = m_lanes.size();
    const std::size_t first = m_nextLane.fetch_add(1, std::memory_order_relaxed) % lanes;
    std::size_t chosen = first;
    for (std::size_t step = 1; step < lanes; ++step) {
        const std::size_t candidate = (first + step) % lanes;
        if (m_lanes[candidate]->load() < m_lanes[chosen]->load())
            chosen = candidate;
    }
    const std::uint64_t id = m_nextSerial.fetch_add(1, std::memory_order_relaxed) * lanes + chosen;
    m_lanes[chosen]->start(id, std::move(request), std::move(handlers));
    return id;
}

void ProviderClient::cancel(std::uint64_t id) {
    m_lanes[id % m_lanes.size()]->cancel(id);
}

} // namespace pindle
