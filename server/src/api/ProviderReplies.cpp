#include "api/ProviderReplies.h"

#include "Log.h"
#include "api/JsonReplies.h"

namespace pindle {

namespace {

std::string providerErrorText(long status, const std::string &body) {
    if (status == 401 || status == 403) {
        // The provider's words may quote part of the server's key: keep them in the log.
        logLine("the model provider refused the server's credentials (HTTP " +
                std::to_string(status) + "): " + body.substr(0, 300));
        return "The model provider refused this server's credentials. Tell the server's "
               "operator.";
    }
    std::string detail;
    if (const auto object = parseObject(body)) {
        const auto error = object->find("error");
        if (error != object->end() && error->is_object())
            detail = stringMember(*error, "message").value_or("");
        else if (error != object->end() && error->is_string())
            detail = error->get<std::string>();
    }
    std::string text =
        "The model provider refused the request (HTTP " + std::to_string(status) + ")";
    return detail.empty() ? text + "." : text + ": " + detail.substr(0, 500);
}

} // namespace

ProviderRequest providerCall(const Config &config, const std::string &path) {
    ProviderRequest request;
    request.url = config.providerUrl + path;
    if (!config.providerApiKey.empty())
        request.headers.push_back("Authorization: Bearer " + config.providerApiKey);
    return request;
}

HttpResponse noProviderResponse() {
    return errorResponse(
        503, "No model provider is configured on this server: set \"provider_url\" in its "
             "configuration file (or PINDLE_PROVIDER_URL).");
}

std::optional<HttpResponse> providerFailure(const char *what, const std::string &error, long status,
                                            const std::string &body) {
    if (!error.empty()) {
        logLine(std::string(what) + ": the model provider could not be reached: " + error);
        return errorResponse(502, "The model provider could not be reached: " + error);
    }
    if (status != 200)
        return errorResponse(502, providerErrorText(status, body));
    return std::nullopt;
}

} // namespace pindle
