#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

/// What onDone says of a transfer the server stopped before it ended.
inline constexpr std::string_view providerStopped = "the server is shutting down";

/// What a transfer reports, always on the provider thread and in this order: the status once the
/// head has arrived, then the body in pieces as they come, then the end.
struct ProviderHandlers {
    std::function<void(long status)> onStatus;
    std::function<void(std::string_view bytes)> onData;
    /// Empty on success, else why the transfer failed ("cancelled" after cancel()).
    std::function<void(const std::string &error)> onDone;
};

/// Where the API sends its chat and transcription requests: the real client over HTTP, or a fake
/// that tests drive by hand.
class ModelProvider {
public:
    virtual ~ModelProvider() = default;
    /// Starts a transfer; returns its id for cancel().
    virtual std::uint64_t start(ProviderRequest request, ProviderHandlers handlers) = 0;
    /// Stops a transfer (the client went away). Its onDone is called with "cancelled".
    virtual void cancel(std::uint64_t id) = 0;
};

} // namespace pindle
