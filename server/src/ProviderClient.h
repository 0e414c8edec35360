#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace pindle {

/// One request to the model provider.
struct ProviderRequest {
    std::string url;
    std::vector<std::string> headers;
    /// A JSON body; ignored when `form` is set.
    std::string body;
    /// A multipart form: (name, value, file name) where a file name marks a file part.
    struct FormPart {
        std::string name;
        std::string value;
        std::string fileName;
        std::string contentType;
    };
    std::vector<FormPart> form;
};

/// What a transfer reports, always on the provider thread and in this order: the status once the
/// head has arrived, then the body in pieces as they come, then the end.
struct ProviderHandlers {
    std::function<void(long status)> onStatus;
    std::function<void(std::string_view bytes)> onData;
    /// Empty on success, else why the transfer failed.
    std::function<void(const std::string &error)> onDone;
};

/// The HTTP client for the model provider: libcurl's multi interface on one thread of its own,
/// driven by socket events from epoll, so thousands of replies can stream at once without a
/// thread each and without the per-wake-up cost growing with their number.
class ProviderClient {
public:
    ProviderClient();
    ~ProviderClient();
    ProviderClient(const ProviderClient &) = delete;
    ProviderClient &operator=(const ProviderClient &) = delete;

    /// Starts a transfer; returns its id for cancel().
    std::uint64_t start(ProviderRequest request, ProviderHandlers handlers);
    /// Stops a transfer (the client went away). Its onDone is called with "cancelled".
    void cancel(std::uint64_t id);
    /// Ends every transfer (onDone says the server is shutting down) and the thread.
    void stop();

private:
    struct Transfer;
    void run();
    void wake();
    void addPending();
    void collectFinished();
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
    std::thread m_thread;
};

} // namespace pindle
