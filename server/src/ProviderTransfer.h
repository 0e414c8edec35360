#pragma once

#include "ModelProvider.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <optional>

namespace pindle {

/// One request to the provider on its way through a ProviderLane: the request, the handlers that
/// hear of it, the libcurl handle set up for it and what the lane's silence and quiet checks need.
/// Owned by one lane from its start to its end.
struct ProviderTransfer final {
    using Clock = std::chrono::steady_clock;

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

    ProviderTransfer() = default;
    ~ProviderTransfer();
    ProviderTransfer(const ProviderTransfer &) = delete;
    ProviderTransfer &operator=(const ProviderTransfer &) = delete;

    /// Makes `easy` for the request, set up to report to this transfer.
    void setUp();
    /// Hands the head to onStatus, once.
    void reportStatus();

private:
    static size_t header(char *data, size_t size, size_t count, void *self);
    static size_t write(char *data, size_t size, size_t count, void *self);
};

} // namespace pindle
