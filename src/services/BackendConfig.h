#pragma once

#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

/// Where the backend lives and how long a request may stay silent. The product has one built-in
/// address, fixed when it is built; tests hand the services another one.
class BackendConfig final {
public:
    /// `baseUrl` holds a scheme, a host and optionally a port; any path is ignored.
    explicit BackendConfig(QUrl baseUrl,
                           std::chrono::milliseconds requestTimeout = std::chrono::seconds(60));

    /// The address this build was configured with.
    [[nodiscard]] static BackendConfig builtIn();

    [[nodiscard]] const QUrl &baseUrl() const { return m_baseUrl; }
    /// The base URL followed by `path` (which starts with a slash).
    [[nodiscard]] QUrl endpoint(const QString &path) const;
    /// The product's public web address as people type it: host, and the port if not the usual.
    [[nodiscard]] QString webDomain() const;
    /// The web page where a new account is made.
    [[nodiscard]] QUrl signUpUrl() const;
    /// Longest wait for the next bytes of a reply.
    [[nodiscard]] std::chrono::milliseconds requestTimeout() const { return m_requestTimeout; }

    /// A request for `path` that follows no redirect, since one would carry credentials to an
    /// address nobody configured. Its idle timeout is left to ReplyWatcher.
    [[nodiscard]] QNetworkRequest request(const QString &path) const;

    /// Whether a token can travel in a header: no control characters that could end the line.
    [[nodiscard]] static bool isHeaderSafe(const QString &token);

    /// Why credentials must not go to `url`, or nothing when they may: a token or password only
    /// ever travels over HTTPS, or over plain HTTP to this machine's own loopback address.
    [[nodiscard]] static std::optional<QString> credentialTransportRefusal(const QUrl &url);

private:
    QUrl m_baseUrl;
    std::chrono::milliseconds m_requestTimeout;
};
