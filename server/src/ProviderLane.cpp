#include "ProviderLane.h"

#include "ProviderTransfer.h"

#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace pindle {

ProviderLane::ProviderLane(int index) {
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
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &ProviderLane::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &ProviderLane::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    m_thread = std::thread([this] { run(); });
    // Named so that top and perf tell the lanes apart.
    const std::string name = "provider-" + std::to_string(index);
    pthread_setname_np(m_thread.native_handle(), name.c_str());
}

ProviderLane::~ProviderLane() {
    stop();
    curl_multi_cleanup(m_multi);
    close(m_wakeup);
    close(m_epoll);
}

int ProviderLane::onSocket(void *, int socket, int what, void *self, void *socketData) {
    auto &lane = *static_cast<ProviderLane *>(self);
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

int ProviderLane::onTimer(void *, long timeoutMs, void *self) {
    auto &deadline = static_cast<ProviderLane *>(self)->m_deadline;
    if (timeoutMs < 0)
        deadline.reset();
    else
        deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    return 0;
}

void ProviderLane::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(m_wakeup, &one, sizeof one);
}

void ProviderLane::requestStop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    wake();
}

void ProviderLane::stop() {
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
    std::vector<std::unique_ptr<ProviderTransfer>> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    for (auto &transfer : pending)
        finish(*transfer, std::string(providerStopped));
}

void ProviderLane::start(std::uint64_t id, ProviderRequest request, ProviderHandlers handlers) {
    m_load.fetch_add(1, std::memory_order_relaxed);
    auto transfer = std::make_unique<ProviderTransfer>();
    transfer->id = id;
    transfer->request = std::move(request);
    transfer->handlers = std::move(handlers);
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

void ProviderLane::cancel(std::uint64_t id) {
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = m_pending.empty() && m_cancelled.empty();
        m_cancelled.push_back(id);
    }
    if (first)
        wake();
}

void ProviderLane::addPending() {
    std::vector<std::unique_ptr<ProviderTransfer>> pending;
    std::vector<std::uint64_t> cancelled;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
        cancelled.swap(m_cancelled);
    }
    CURLM *multi = m_multi;
    for (auto &transfer : pending) {
        ProviderTransfer &t = *transfer;
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

void ProviderLane::finish(ProviderTransfer &transfer, const std::string &error) {
    m_load.fetch_sub(1, std::memory_order_relaxed);
    if (error.empty())
        transfer.reportStatus();
    if (transfer.handlers.onDone)
        transfer.handlers.onDone(transfer.abandoned ? std::string(providerAbandoned) : error);
}

void ProviderLane::schedule(ProviderTransfer &transfer) {
    std::optional<Clock::time_point> due = transfer.quietDue;
    if (transfer.request.silenceLimit.count() > 0) {
        const auto silent = transfer.lastHeard + transfer.request.silenceLimit;
        due = due ? std::min(*due, silent) : silent;
    }
    if (due)
        m_due.emplace(*due, transfer.id);
}

void ProviderLane::runDueChecks() {
    CURLM *multi = m_multi;
    const auto now = Clock::now();
    while (!m_due.empty() && m_due.top().first <= now) {
        const std::uint64_t id = m_due.top().second;
        m_due.pop();
        const auto found = m_active.find(id);
        if (found == m_active.end())
            continue; // ended meanwhile
        ProviderTransfer &t = *found->second;
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

void ProviderLane::collectFinished() {
    CURLM *multi = m_multi;
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        ProviderTransfer *transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(multi, message->easy_handle);
        finish(*transfer, result == CURLE_OK ? std::string() : curl_easy_strerror(result));
        m_active.erase(transfer->id);
    }
}

void ProviderLane::run() {
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

} // namespace pindle
