#include "ProviderClient.h"

#include "http/HttpForms.h"

#include <curl/curl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>
#include <optional>
#include <queue>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

namespace pindle {

namespace {

using Clock = std::chrono::steady_clock;

// Empties `value` and gives its memory back, which clear() does not.
template <typename Value> void release(Value &value) {
    Value().swap(value);
}

} // namespace

struct ProviderClient::Transfer {
    std::uint64_t id = 0;
    ProviderRequest request;
    ProviderHandlers handlers;
    CURL *easy = nullptr;
    curl_slist *headers = nullptr;
    curl_mime *mime = nullptr;
    bool statusReported = false;
    bool abandoned = false; // onData asked to stop
    ProviderHead head;
    // The last time anything arrived from the provider (or, while the request goes out, the
    // upload moved on), and how much had gone out then.
    Clock::time_point lastHeard;
    curl_off_t uploaded = 0;
    std::optional<Clock::time_point> quietDue;

    ~Transfer() {
        if (mime)
            curl_mime_free(mime);
        if (headers)
            curl_slist_free_all(headers);
        if (easy)
            curl_easy_cleanup(easy);
    }

    void reportStatus() {
        if (statusReported)
            return;
        statusReported = true;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
        if (handlers.onStatus)
            handlers.onStatus(head);
        release(head.fields);
    }

    // Each line of the head: the status is reported when the final head is complete, before
    // any of the body has come (a reasoning model may take minutes to send its first event).
    static size_t header(char *data, size_t size, size_t count, void *self) {
        auto &transfer = *static_cast<Transfer *>(self);
        const std::string_view line(data, size * count);
        transfer.lastHeard = Clock::now();
        if (transfer.statusReported) // trailers
            return line.size();
        if (line.starts_with("HTTP/")) {
            transfer.head.fields.clear();
        } else if (line == "\r\n" || line == "\n") {
            long status = 0;
            curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
            if (status >= 200) // not an interim 1xx head
                transfer.reportStatus();
            else
                transfer.head.fields.clear();
        } else if (const auto colon = line.find(':');
                   colon != std::string_view::npos && transfer.head.fields.size() < 100) {
            transfer.head.fields.emplace_back(
                lowercase(line.substr(0, colon)),
                std::string(trimmed(line.substr(colon + 1).substr(0, 4096))));
        }
        return line.size();
    }

    static size_t write(char *data, size_t size, size_t count, void *self) {
        auto &transfer = *static_cast<Transfer *>(self);
        transfer.lastHeard = Clock::now();
        transfer.reportStatus();
        if (transfer.handlers.onData &&
            !transfer.handlers.onData(std::string_view(data, size * count))) {
            transfer.abandoned = true;
            return 0; // ends the transfer
        }
        return size * count;
    }

    // A handle for the request, set up to report to this transfer.
    void setUp() {
        easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        for (const std::string &field : request.headers)
            headers = curl_slist_append(headers, field.c_str());
        // A reverse proxy in between must not hold the stream back.
        headers = curl_slist_append(headers, "X-Accel-Buffering: no");
        headers = curl_slist_append(headers, "Expect:");
        if (request.get) {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        } else if (!request.form.empty()) {
            mime = curl_mime_init(easy);
            for (const auto &part : request.form) {
                curl_mimepart *field = curl_mime_addpart(mime);
                curl_mime_name(field, part.name.c_str());
                curl_mime_data(field, part.value.data(), part.value.size());
                if (!part.fileName.empty())
                    curl_mime_filename(field, part.fileName.c_str());
                if (!part.contentType.empty())
                    curl_mime_type(field, part.contentType.c_str());
            }
            curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime);
        } else {
            headers = curl_slist_append(headers, "Content-Type: application/json");
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
        }
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::header);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::write);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        // Asked for as it is; should the provider compress it all the same, libcurl decodes
        // gzip and deflate (as it does for any encoding it knows once this option is set), a
        // piece at a time, so a stream is not held back.
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "identity");
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 15L);
        curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
        // What one read from the provider's socket takes in. A streamed answer comes as events of
        // a few hundred bytes each, so libcurl's 16 KiB (held by every open transfer) sat mostly
        // idle: at 1 KiB an open stream costs the server about 3 KiB less, and a longer reply
        // still arrives whole, a few reads at a time.
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 1024L);
        // libcurl keeps copies of these; only the JSON body is read from here while it goes out.
        release(request.url);
        release(request.headers);
        release(request.form);
    }
};

// One thread with its multi handle and epoll, and the transfers given to it.
class ProviderClient::Lane {
public:
    explicit Lane(int index);
    ~Lane();
    Lane(const Lane &) = delete;
    Lane &operator=(const Lane &) = delete;

    /// Hands `transfer` to the thread; ends it at once when the lane is stopping.
    void start(std::unique_ptr<Transfer> transfer);
    void cancel(std::uint64_t id);
    /// Asks the thread to end, without waiting.
    void requestStop();
    /// Ends the thread, then every transfer it had.
    void stop();
    /// Transfers started here and not yet ended.
    [[nodiscard]] std::size_t load() const { return m_load.load(std::memory_order_relaxed); }

private:
    void run();
    void wake();
    void addPending();
    void collectFinished();
    void runDueChecks();
    void schedule(Transfer &transfer);
    void finish(Transfer &transfer, const std::string &error);
    static int onSocket(void *easy, int socket, int what, void *self, void *socketData);
    static int onTimer(void *multi, long timeoutMs, void *self);

    std::atomic<std::size_t> m_load{0};
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Transfer>> m_pending;
    std::vector<std::uint64_t> m_cancelled;
    bool m_stopping = false;

    CURLM *m_multi = nullptr;
    int m_epoll = -1;
    int m_wakeup = -1;
    // When curl next wants to be called for its timeouts; none when it has nothing pending.
    std::optional<Clock::time_point> m_deadline;
    // Owned by the lane's thread only.
    std::unordered_map<std::uint64_t, std::unique_ptr<Transfer>> m_active;
    // When each transfer is next due for a quiet call or a silence check: one entry for each
    // active transfer, earliest first; an entry whose transfer has ended is dropped when reached.
    using Due = std::pair<Clock::time_point, std::uint64_t>;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_due;
    std::thread m_thread;
};

ProviderClient::Lane::Lane(int index) {
    m_multi = curl_multi_init();
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeup = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!m_multi || m_epoll < 0 || m_wakeup < 0) {
        if (m_multi)
            curl_multi_cleanup(m_multi);
        if (m_epoll >= 0)
            close(m_epoll);
        if (m_wakeup >= 0)
            close(m_wakeup);
        throw std::runtime_error("cannot create the provider client's event loop");
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wakeup;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeup, &event);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &Lane::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &Lane::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_thread = std::thread([this] { run(); });
    // Named so that top and perf tell the lanes apart.
    const std::string name = "provider-" + std::to_string(index);
    pthread_setname_np(m_thread.native_handle(), name.c_str());
}

ProviderClient::Lane::~Lane() {
    stop();
    curl_multi_cleanup(m_multi);
    close(m_wakeup);
    close(m_epoll);
}

int ProviderClient::Lane::onSocket(void *, int socket, int what, void *self, void *socketData) {
    auto &lane = *static_cast<Lane *>(self);
    if (what == CURL_POLL_REMOVE) {
        epoll_ctl(lane.m_epoll, EPOLL_CTL_DEL, socket, nullptr);
        curl_multi_assign(lane.m_multi, socket, nullptr);
        return 0;
    }
    epoll_event event{};
    event.data.fd = socket;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT)
        event.events |= EPOLLIN;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT)
        event.events |= EPOLLOUT;
    // socketData marks a socket already in the epoll set.
    if (socketData) {
        epoll_ctl(lane.m_epoll, EPOLL_CTL_MOD, socket, &event);
    } else {
        epoll_ctl(lane.m_epoll, EPOLL_CTL_ADD, socket, &event);
        curl_multi_assign(lane.m_multi, socket, &lane);
    }
    return 0;
}

int ProviderClient::Lane::onTimer(void *, long timeoutMs, void *self) {
    auto &deadline = static_cast<Lane *>(self)->m_deadline;
    if (timeoutMs < 0)
        deadline.reset();
    else
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void ProviderClient::Lane::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wakeup, &one, sizeof one);
}

void ProviderClient::Lane::requestStop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    wake();
}

void ProviderClient::Lane::stop() {
    requestStop();
    if (!m_thread.joinable())
        return;
    m_thread.join();
    // Every transfer hears how it ended, those not yet started too: their answers and their
    // reservations are settled by it.
    for (auto &[id, transfer] : m_active) {
        curl_multi_remove_handle(m_multi, transfer->easy);
        finish(*transfer, std::string(providerStopped));
    }
    m_active.clear();
    std::vector<std::unique_ptr<Transfer>> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    for (auto &transfer : pending)
        finish(*transfer, std::string(providerStopped));
}

void ProviderClient::Lane::start(std::unique_ptr<Transfer> transfer) {
    m_load.fetch_add(1, std::memory_order_relaxed);
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_stopping) {
            first = m_pending.empty() && m_cancelled.empty();
            m_pending.push_back(std::move(transfer)); // leaves it empty
        }
    }
    if (transfer) // too late: the server is stopping
        finish(*transfer, std::string(providerStopped));
    else if (first) // else the thread has been woken and has yet to take what waits
        wake();
}

void ProviderClient::Lane::cancel(std::uint64_t id) {
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = m_pending.empty() && m_cancelled.empty();
        m_cancelled.push_back(id);
    }
    if (first)
        wake();
}

void ProviderClient::Lane::addPending() {
    std::vector<std::unique_ptr<Transfer>> pending;
    std::vector<std::uint64_t> cancelled;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        cancelled.swap(m_cancelled);
    }
    CURLM *multi = m_multi;
    for (auto &transfer : pending) {
        Transfer &t = *transfer;
        t.setUp();
        curl_multi_add_handle(multi, t.easy);
        // A provider that sends nothing for its silence limit is given up on (runDueChecks).
        t.lastHeard = Clock::now();
        if (t.request.firstQuiet.count() > 0)
            t.quietDue = t.lastHeard + t.request.firstQuiet;
        schedule(t);
        m_active.emplace(t.id, std::move(transfer));
    }
    for (const std::uint64_t id : cancelled) {
        const auto found = m_active.find(id);
        if (found == m_active.end())
            continue;
        curl_multi_remove_handle(multi, found->second->easy);
        finish(*found->second, "cancelled");
        m_active.erase(found);
    }
}

void ProviderClient::Lane::finish(Transfer &transfer, const std::string &error) {
    m_load.fetch_sub(1, std::memory_order_relaxed);
    if (error.empty())
        transfer.reportStatus();
    if (transfer.handlers.onDone)
        transfer.handlers.onDone(transfer.abandoned ? std::string(providerAbandoned) : error);
}

void ProviderClient::Lane::schedule(Transfer &transfer) {
    std::optional<Clock::time_point> due = transfer.quietDue;
    if (transfer.request.silenceLimit.count() > 0) {
        const auto silent = transfer.lastHeard + transfer.request.silenceLimit;
        due = due ? std::min(*due, silent) : silent;
    }
    if (due)
        m_due.emplace(*due, transfer.id);
}

void ProviderClient::Lane::runDueChecks() {
    CURLM *multi = m_multi;
    const auto now = Clock::now();
    while (!m_due.empty() && m_due.top().first <= now) {
        const std::uint64_t id = m_due.top().second;
        m_due.pop();
        const auto found = m_active.find(id);
        if (found == m_active.end())
            continue; // ended meanwhile
        Transfer &t = *found->second;
        const auto limit = t.request.silenceLimit;
        if (limit.count() > 0 && now >= t.lastHeard + limit) {
            // Still sending the request counts as hearing from it.
            curl_off_t uploaded = 0;
            curl_easy_getinfo(t.easy, CURLINFO_SIZE_UPLOAD_T, &uploaded);
            if (uploaded != t.uploaded) {
                t.uploaded = uploaded;
                t.lastHeard = now;
            } else {
                curl_multi_remove_handle(multi, t.easy);
                finish(t, providerSilence(limit));
                m_active.erase(found);
                continue;
            }
        }
        if (t.quietDue && now >= *t.quietDue) {
            const auto again =
                t.handlers.onQuiet ? t.handlers.onQuiet() : std::chrono::milliseconds(0);
            t.quietDue.reset();
            if (again.count() > 0)
                t.quietDue = now + again;
        }
        schedule(t);
    }
}

void ProviderClient::Lane::collectFinished() {
    CURLM *multi = m_multi;
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        Transfer *transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(multi, message->easy_handle);
        finish(*transfer, result == CURLE_OK ? std::string() : curl_easy_strerror(result));
        m_active.erase(transfer->id);
    }
}

void ProviderClient::Lane::run() {
    CURLM *multi = m_multi;
    epoll_event events[64];
    int running = 0;
    for (;;) {
        int timeout = -1;
        std::optional<Clock::time_point> next = m_deadline;
        if (!m_due.empty())
            next = next ? std::min(*next, m_due.top().first) : m_due.top().first;
        if (next) {
            // Rounded up: waking a moment early would only go round again.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
            timeout = int(std::clamp<std::int64_t>(left.count(), 0, 60'000));
        }
        const int ready = epoll_wait(m_epoll, events, 64, timeout);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wakeup) {
                // Read before what waits is taken: whatever comes after wakes the thread again.
                std::uint64_t count = 0;
                [[maybe_unused]] const auto read = ::read(m_wakeup, &count, sizeof count);
                {
                    std::lock_guard lock(m_mutex);
                    if (m_stopping)
                        return;
                }
                addPending();
                continue;
            }
            int flags = 0;
            if (events[i].events & EPOLLIN)
                flags |= CURL_CSELECT_IN;
            if (events[i].events & EPOLLOUT)
                flags |= CURL_CSELECT_OUT;
            if (events[i].events & (EPOLLERR | EPOLLHUP))
                flags |= CURL_CSELECT_ERR;
            curl_multi_socket_action(multi, fd, flags, &running);
        }
        // Due timers, including the zero timeout a new transfer asks for to get started.
        if (m_deadline && *m_deadline <= Clock::now()) {
            m_deadline.reset();
            curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
        }
        collectFinished();
        runDueChecks();
    }
}

ProviderClient::ProviderClient(int threads) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int i = 0; i < std::max(threads, 1); ++i)
        m_lanes.push_back(std::make_unique<Lane>(i));
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
    auto transfer = std::make_unique<Transfer>();
    transfer->id = m_nextSerial.fetch_add(1, std::memory_order_relaxed) * lanes + chosen;
    transfer->request = std::move(request);
    transfer->handlers = std::move(handlers);
    const std::uint64_t id = transfer->id;
    m_lanes[chosen]->start(std::move(transfer));
    return id;
}

void ProviderClient::cancel(std::uint64_t id) {
    m_lanes[id % m_lanes.size()]->cancel(id);
}

} // namespace pindle
