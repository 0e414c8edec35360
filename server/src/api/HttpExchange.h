#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pindle {

/// A request as the API sees it, whatever HTTP library carried it.
struct HttpRequest {
    std::string method;
    std::string path;
    std::string authorization;
    std::string contentType;
    /// X-Pindle-System-Prompt as sent: the user's own instruction, percent-encoded UTF-8, as
    /// earlier clients sent it (now it travels in the body).
    std::string systemPrompt;
    std::string body;
    std::string clientAddress;
    std::string forwardedFor;
    /// What a browser says of the page that sent the request (Origin, Referer), and the Host it
    /// was sent to: empty when absent.
    std::string origin;
    std::string referer;
    std::string host;
    /// The address the connection came from (clientAddress may be rewritten to the client a
    /// trusted proxy names), and what such a proxy says of the request as it reached it.
    std::string peerAddress;
    std::string forwardedProto;
    std::string forwardedHost;
    std::string cookie;
    /// Whether the connection itself is TLS.
    bool tls = false;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    /// Further header fields, such as Retry-After.
    std::vector<std::pair<std::string, std::string>> headers = {};
};

/// Where a handler sends its answer: once, whole or as a stream, from any thread.
class Responder {
public:
    virtual ~Responder() = default;
    virtual void reply(HttpResponse response) = 0;
    /// Starts a streamed answer; its head goes out with the first chunk (or the end).
    virtual void beginStream(int status, const std::string &contentType) = 0;
    virtual void streamChunk(std::string data) = 0;
    virtual void endStream() = 0;
    /// `cancel` runs once if the client goes away before the answer is complete (at once if it
    /// already has).
    virtual void onDisconnect(std::function<void()> cancel) = 0;
};

} // namespace pindle
