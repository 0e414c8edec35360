#include "ProviderClient.h"

#include "http/HttpForms.h"

#include <curl/curl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace pindle {

namespace {

using Clock = std::chrono::steady_clock;

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
        head.fields.clear();
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
    }
};

ProviderClient::ProviderClient() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wakeup = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wakeup < 0)
        throw std::runtime_error("cannot create the provider client's event loop");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = m_wakeup;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wakeup, &event);
    auto *multi = static_cast<CURLM *>(m_multi);
    curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &ProviderClient::onSocket);
    curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &ProviderClient::onTimer);
    curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
    m_thread = std::thread([this] { run(); });
}

int ProviderClient::onSocket(void *, int socket, int what, void *self, void *socketData) {
    auto &client = *static_cast<ProviderClient *>(self);
    if (what == CURL_POLL_REMOVE) {
        epoll_ctl(client.m_epoll, EPOLL_CTL_DEL, socket, nullptr);
        curl_multi_assign(static_cast<CURLM *>(client.m_multi), socket, nullptr);
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
        epoll_ctl(client.m_epoll, EPOLL_CTL_MOD, socket, &event);
    } else {
        epoll_ctl(client.m_epoll, EPOLL_CTL_ADD, socket, &event);
        curl_multi_assign(static_cast<CURLM *>(client.m_multi), socket, &client);
    }
    return 0;
}

int ProviderClient::onTimer(void *, long timeoutMs, void *self) {
    auto &deadline = static_cast<ProviderClient *>(self)->m_deadline;
    if (timeoutMs < 0)
        deadline.reset();
    else
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void ProviderClient::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wakeup, &one, sizeof one);
}

ProviderClient::~ProviderClient() {
    stop();
    curl_multi_cleanup(static_cast<CURLM *>(m_multi));
    close(m_wakeup);
    close(m_epoll);
}

void ProviderClient::stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    wake();
    m_thread.join();
    // Every transfer hears how it ended, those not yet started too: their answers and their
    // reservations are settled by it.
    for (auto &[id, transfer] : m_active) {
        curl_multi_remove_handle(static_cast<CURLM *>(m_multi), transfer->easy);
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

std::uint64_t ProviderClient::start(ProviderRequest request, ProviderHandlers handlers) {
    auto transfer = std::make_unique<Transfer>();
    transfer->request = std::move(request);
    transfer->handlers = std::move(handlers);
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = transfer->id = m_nextId++;
        if (!m_stopping) {
            m_pending.push_back(std::move(transfer)); // leaves it empty
        }
    }
    if (transfer) // too late: the server is stopping
        finish(*transfer, std::string(providerStopped));
    else
        wake();
    return id;
}

void ProviderClient::cancel(std::uint64_t id) {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled.push_back(id);
    }
    wake();
}

void ProviderClient::addPending() {
    std::vector<std::unique_ptr<Transfer>> pending;
    std::vector<std::uint64_t> cancelled;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        cancelled.swap(m_cancelled);
    }
    auto *multi = static_cast<CURLM *>(m_multi);
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

void ProviderClient::finish(Transfer &transfer, const std::string &error) {
    if (error.empty())
        transfer.reportStatus();
    if (transfer.handlers.onDone)
        transfer.handlers.onDone(transfer.abandoned ? std::string(providerAbandoned) : error);
}

void ProviderClient::schedule(Transfer &transfer) {
    std::optional<Clock::time_point> due = transfer.quietDue;
    if (transfer.request.silenceLimit.count() > 0) {
        const auto silent = transfer.lastHeard + transfer.request.silenceLimit;
        due = due ? std::min(*due, silent) : silent;
    }
    if (due)
        m_due.emplace(*due, transfer.id);
}

void ProviderClient::runDueChecks() {
    auto *multi = static_cast<CURLM *>(m_multi);
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

void ProviderClient::collectFinished() {
    auto *multi = static_cast<CURLM *>(m_multi);
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

void ProviderClient::run() {
    auto *multi = static_cast<CURLM *>(m_multi);
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
        if (m_deadline && *m_deadline <= std::chrono::steady_clock::now()) {
            m_deadline.reset();
            curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
        }
        collectFinished();
        runDueChecks();
    }
}

} // namespace pindle
