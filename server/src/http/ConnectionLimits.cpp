#include "http/ConnectionLimits.h"

#include "http/RestinioResponder.h"

#include <iostream>
#include <vector>

namespace pindle {

void ConnectionRegistry::add(restinio::connection_id_t id,
                             const std::shared_ptr<RestinioResponder> &responder) {
    std::lock_guard lock(m_mutex);
    m_waiting.emplace(id, responder);
}

void ConnectionRegistry::remove(restinio::connection_id_t id, const RestinioResponder *responder) {
    std::lock_guard lock(m_mutex);
    ++m_writing;
    const auto [first, last] = m_waiting.equal_range(id);
    for (auto it = first; it != last; ++it) {
        const auto held = it->second.lock();
        if (!held || held.get() == responder) {
            m_waiting.erase(it);
            return;
        }
    }
}

void ConnectionRegistry::writeEnded() {
    std::lock_guard lock(m_mutex);
    --m_writing;
    m_changed.notify_all();
}

void ConnectionRegistry::closed(restinio::connection_id_t id) {
    std::vector<std::shared_ptr<RestinioResponder>> responders;
    {
        std::lock_guard lock(m_mutex);
        const auto [first, last] = m_waiting.equal_range(id);
        for (auto it = first; it != last; ++it) {
            if (auto held = it->second.lock())
                responders.push_back(std::move(held));
        }
        m_waiting.erase(id);
    }
    for (const auto &responder : responders)
        responder->disconnected();
    m_changed.notify_all();
}

bool ConnectionRegistry::waitUntilAnswered(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_waiting.empty() && m_writing <= 0; });
}

void ConnectionListener::state_changed(
    const restinio::connection_state::notice_t &notice) noexcept {
    if (restinio::holds_alternative<restinio::connection_state::closed_t>(notice.cause()))
        registry->closed(notice.connection_id());
}

bool ConnectionCaps::admit(const restinio::asio_ns::ip::address &address) {
    std::lock_guard lock(m_mutex);
    if (m_total >= m_maxTotal)
        return false;
    std::size_t &count = m_perAddress[address];
    if (count >= m_maxPerAddress) {
        if (count == 0)
            m_perAddress.erase(address);
        return false;
    }
    ++count;
    ++m_total;
    return true;
}

void ConnectionCaps::release(const restinio::asio_ns::ip::address &address) noexcept {
    std::lock_guard lock(m_mutex);
    --m_total;
    const auto found = m_perAddress.find(address);
    if (found != m_perAddress.end() && --found->second == 0)
        m_perAddress.erase(found);
}

void ConnectionCaps::report(Event event, const std::string &message) noexcept {
    std::lock_guard lock(m_mutex);
    Reported &reported = m_reported[event == Event::AcceptFailed ? 0 : 1];
    const auto now = std::chrono::steady_clock::now();
    if (reported.last && now - *reported.last < std::chrono::seconds(10)) {
        ++reported.suppressed;
        return;
    }
    std::cerr << "pindle-server: " << message;
    if (reported.suppressed > 0)
        std::cerr << " (and " << reported.suppressed << " more times since the last report)";
    std::cerr << std::endl;
    reported = {now, 0};
}

} // namespace pindle
