#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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
    /// A GET without a body, such as the provider's list of models.
    bool get = false;
    /// When the transfer first goes to onQuiet, counted from its start; zero for never.
    std::chrono::milliseconds firstQuiet{0};
    /// How long the provider may send nothing at all (not a byte of head or body) before the
    /// transfer ends with providerSilence(silenceLimit).
    std::chrono::seconds silenceLimit{600};
};

/// What onDone says of a transfer the server stopped before it ended.
inline constexpr std::string_view providerStopped = "the server is shutting down";
/// What onDone says of a transfer that onData asked to stop.
inline constexpr std::string_view providerAbandoned = "abandoned by the server";
/// What onDone says of a transfer whose provider sent nothing for `limit`.
[[nodiscard]] inline std::string providerSilence(std::chrono::seconds limit) {
    const auto seconds = limit.count();
    return "the model provider sent nothing for " + std::to_string(seconds) +
           (seconds == 1 ? " second" : " seconds");
}
[[nodiscard]] inline bool isProviderSilence(std::string_view error) {
    return error.starts_with("the model provider sent nothing for ");
}

/// The provider's status line and header fields, once its head is complete.
struct ProviderHead {
    long status = 0;
    /// The header fields as received, names in lower case, values trimmed.
    std::vector<std::pair<std::string, std::string>> fields = {};

    /// The first field called `name` (in lower case), if any.
    [[nodiscard]] std::optional<std::string> field(std::string_view name) const {
        for (const auto &[key, value] : fields)
            if (key == name)
                return value;
        return std::nullopt;
    }
};

/// What a transfer reports, always on one provider thread (the same to its end) and in this order:
/// the head once it is complete (before any of the body), then the body in pieces as they come
/// (decoded, should the provider compress it), then the end. onQuiet may come at any time before
/// the end.
struct ProviderHandlers {
    std::function<void(const ProviderHead &head)> onStatus;
    /// Returns false to stop the transfer: onDone follows with providerAbandoned.
    std::function<bool(std::string_view bytes)> onData;
    /// Empty on success, else why the transfer failed ("cancelled" after cancel()).
    std::function<void(const std::string &error)> onDone;
    /// Called request.firstQuiet after the start, then again after as long as it returns (never
    /// again when it returns zero), whatever arrived meanwhile: the handler keeps its own account
    /// of what counts as quiet. Optional.
    std::function<std::chrono::milliseconds()> onQuiet;
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
