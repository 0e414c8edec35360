#pragma once

// What the server keeps of its open connections: how many there may be, and which answers each
// is waiting for.

#include <restinio/all.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace pindle {

class RestinioResponder;

/// Which answers each open connection is waiting for (more than one when requests are
/// pipelined), so a closed connection cancels their work; and how many answers are still being
/// written, so a stopping server closes only once they have gone out.
class ConnectionRegistry {
public:
    void add(restinio::connection_id_t id, const std::shared_ptr<RestinioResponder> &responder);
    /// The answer has been handed to the connection; writeEnded() follows when it is out.
    void remove(restinio::connection_id_t id, const RestinioResponder *responder);
    void writeEnded();
    void closed(restinio::connection_id_t id);

    /// True when every request has been answered and every answer written, before `timeout`.
    [[nodiscard]] bool waitUntilAnswered(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::unordered_multimap<restinio::connection_id_t, std::weak_ptr<RestinioResponder>> m_waiting;
    std::int64_t m_writing = 0;
};

/// Tells the registry when RESTinio has closed a connection.
struct ConnectionListener {
    ConnectionRegistry *registry = nullptr;

    void state_changed(const restinio::connection_state::notice_t &notice) noexcept;
};

/// How many connections may be open at once, in total and from one client address, so that
/// sockets never use up the open-file limit; says (at most every 10 s) when accepting fails or a
/// cap turns a connection away.
class ConnectionCaps {
public:
    enum class Event { AcceptFailed, CapReached };

    ConnectionCaps(std::size_t total, std::size_t perAddress)
        : m_maxTotal(total)
        , m_maxPerAddress(perAddress) {}

    /// RESTinio hands this object to the acceptor as its IP blocker; the acceptor decides.
    [[nodiscard]] restinio::ip_blocker::inspection_result_t
    inspect(const restinio::ip_blocker::incoming_info_t &) const noexcept {
        return restinio::ip_blocker::inspection_result_t::allow;
    }

    [[nodiscard]] bool admit(const restinio::asio_ns::ip::address &address);
    void release(const restinio::asio_ns::ip::address &address) noexcept;
    void report(Event event, const std::string &message) noexcept;

private:
    struct Reported {
        std::optional<std::chrono::steady_clock::time_point> last;
        std::size_t suppressed = 0;
    };
    struct AddressHash {
        std::size_t operator()(const restinio::asio_ns::ip::address &address) const {
            return std::hash<std::string>{}(address.to_string());
        }
    };

    std::mutex m_mutex;
    const std::size_t m_maxTotal;
    const std::size_t m_maxPerAddress;
    std::size_t m_total = 0;
    std::unordered_map<restinio::asio_ns::ip::address, std::size_t, AddressHash> m_perAddress;
    Reported m_reported[2];
};

/// One admitted connection's place under the caps, given back when the connection object ends.
class AdmittedConnection {
public:
    AdmittedConnection(std::shared_ptr<ConnectionCaps> caps, restinio::asio_ns::ip::address address)
        : m_caps(std::move(caps))
        , m_address(std::move(address)) {}
    AdmittedConnection(AdmittedConnection &&other) noexcept
        : m_caps(std::exchange(other.m_caps, nullptr))
        , m_address(other.m_address) {}
    AdmittedConnection &operator=(AdmittedConnection &&other) noexcept {
        std::swap(m_caps, other.m_caps);
        std::swap(m_address, other.m_address);
        return *this;
    }
    AdmittedConnection(const AdmittedConnection &) = delete;
    AdmittedConnection &operator=(const AdmittedConnection &) = delete;
    ~AdmittedConnection() {
        if (m_caps)
            m_caps->release(m_address);
    }

private:
    std::shared_ptr<ConnectionCaps> m_caps;
    restinio::asio_ns::ip::address m_address;
};

} // namespace pindle
