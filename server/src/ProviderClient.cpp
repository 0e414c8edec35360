#include "ProviderClient.h"

#include <curl/curl.h>

#include <algorithm>

namespace pindle {

struct ProviderClient::Transfer {
    std::uint64_t id = 0;
    ProviderRequest request;
    ProviderHandlers handlers;
    CURL *easy = nullptr;
    curl_slist *headers = nullptr;
    curl_mime *mime = nullptr;
    bool statusReported = false;

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
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (handlers.onStatus)
            handlers.onStatus(status);
    }

    static size_t write(char *data, size_t size, size_t count, void *self) {
        auto &transfer = *static_cast<Transfer *>(self);
        transfer.reportStatus();
        if (transfer.handlers.onData)
            transfer.handlers.onData(std::string_view(data, size * count));
        return size * count;
    }
};

ProviderClient::ProviderClient() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    m_thread = std::thread([this] { run(); });
}

ProviderClient::~ProviderClient() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(m_multi));
    m_thread.join();
    for (auto &[id, transfer] : m_active) {
        curl_multi_remove_handle(static_cast<CURLM *>(m_multi), transfer->easy);
        if (transfer->handlers.onDone)
            transfer->handlers.onDone("the server is shutting down");
    }
    m_active.clear();
    curl_multi_cleanup(static_cast<CURLM *>(m_multi));
}

std::uint64_t ProviderClient::start(ProviderRequest request, ProviderHandlers handlers) {
    auto transfer = std::make_unique<Transfer>();
    transfer->request = std::move(request);
    transfer->handlers = std::move(handlers);
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = transfer->id = m_nextId++;
        m_pending.push_back(std::move(transfer));
    }
    curl_multi_wakeup(static_cast<CURLM *>(m_multi));
    return id;
}

void ProviderClient::cancel(std::uint64_t id) {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled.push_back(id);
    }
    curl_multi_wakeup(static_cast<CURLM *>(m_multi));
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
        t.easy = curl_easy_init();
        curl_easy_setopt(t.easy, CURLOPT_URL, t.request.url.c_str());
        for (const std::string &header : t.request.headers)
            t.headers = curl_slist_append(t.headers, header.c_str());
        // A reverse proxy in between must not hold the stream back.
        t.headers = curl_slist_append(t.headers, "X-Accel-Buffering: no");
        t.headers = curl_slist_append(t.headers, "Expect:");
        if (!t.request.form.empty()) {
            t.mime = curl_mime_init(t.easy);
            for (const auto &part : t.request.form) {
                curl_mimepart *field = curl_mime_addpart(t.mime);
                curl_mime_name(field, part.name.c_str());
                curl_mime_data(field, part.value.data(), part.value.size());
                if (!part.fileName.empty())
                    curl_mime_filename(field, part.fileName.c_str());
                if (!part.contentType.empty())
                    curl_mime_type(field, part.contentType.c_str());
            }
            curl_easy_setopt(t.easy, CURLOPT_MIMEPOST, t.mime);
        } else {
            t.headers = curl_slist_append(t.headers, "Content-Type: application/json");
            curl_easy_setopt(t.easy, CURLOPT_POSTFIELDSIZE_LARGE,
                             curl_off_t(t.request.body.size()));
            curl_easy_setopt(t.easy, CURLOPT_POSTFIELDS, t.request.body.data());
        }
        curl_easy_setopt(t.easy, CURLOPT_HTTPHEADER, t.headers);
        curl_easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, &Transfer::write);
        curl_easy_setopt(t.easy, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(t.easy, CURLOPT_PRIVATE, &t);
        curl_easy_setopt(t.easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(t.easy, CURLOPT_CONNECTTIMEOUT, 15L);
        // Give up on a provider that sends nothing for two minutes.
        curl_easy_setopt(t.easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(t.easy, CURLOPT_LOW_SPEED_TIME, 120L);
        curl_easy_setopt(t.easy, CURLOPT_TCP_NODELAY, 1L);
        curl_multi_add_handle(multi, t.easy);
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
        transfer.handlers.onDone(error);
}

void ProviderClient::run() {
    auto *multi = static_cast<CURLM *>(m_multi);
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopping)
                return;
        }
        addPending();
        int running = 0;
        curl_multi_perform(multi, &running);
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
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
}

} // namespace pindle
