#pragma once

#include "ModelOffer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pindle {

/// The operator's settings: a JSON file, with environment variables taking precedence. Secrets
/// (the provider's API key, a database password) are best given through the environment.
struct Config {
    std::string listenAddress = "127.0.0.1";
    std::uint16_t port = 8787;
    /// "sqlite:PATH", a bare path, or a PostgreSQL connection string ("postgresql://...").
    std::string database;
    std::string tlsCertificate;
    std::string tlsPrivateKey;

    /// OpenAI-compatible API root, e.g. https://api.openai.com/v1 or http://127.0.0.1:8080/v1.
    std::string providerUrl;
    std::string providerApiKey;
    /// The models clients may choose from: the file's "models" (a list, or "provider"), else
    /// the desktop client's catalogue narrowed by "allowed_models" and renamed at the provider by
    /// "model_map" (client name to the provider's, e.g. "gpt-4.1" -> "llama3").
    ModelOffer models = ModelOffer::catalogue();
    /// Offer what the provider's own GET /models lists, read at start ("models": "provider").
    bool modelsFromProvider = false;
    /// Models of the provider's list that read pictures ("vision_models").
    std::vector<std::string> visionModels;
    std::string transcriptionModel = "whisper-1";
    /// How long the model provider may send nothing at all (a reasoning model thinking before
    /// its first word included) before the server gives up on it.
    std::int64_t providerTimeoutSeconds = 600;
    /// Ask the provider for a usage report at the end of each stream (stream_options); turn off
    /// for providers that refuse unknown request fields.
    bool providerStreamUsage = true;
    /// The system message put ahead of each chat in a category; the file's
    /// "category_instructions" replaces or adds entries, and a category without one gets none.
    std::map<std::string, std::string> categoryInstructions = defaultCategoryInstructions();
    /// Reverse proxies whose X-Forwarded-For names the real client.
    std::vector<std::string> trustedProxies;

    std::int64_t sessionDays = 30;
    std::int64_t signupBalance = 20000;
    /// The plan a new account starts on, as the client shows it ("active" reads "Active").
    /// Operators who sell plans set "free" and move accounts on with `user set-plan`.
    std::string defaultPlan = "active";
    bool signupOpen = true;
    std::int64_t maxUploadBytes = 10 * 1024 * 1024;
    int workerThreads = 4;
    int ioThreads = 2;
    /// Open connections allowed at once, in total and from one client address; 0 derives them
    /// from the open-file limit (half of what is left of it after 64, since each stream also holds
    /// a connection to the provider; at most 4096) and 256 per address.
    std::int64_t maxConnections = 0;
    std::int64_t maxConnectionsPerAddress = 0;
    /// How long tokens set aside for an answer stay set aside unless the server holding them
    /// renews them (it does while it runs); past that, any server gives them back.
    std::int64_t reservationSeconds = 300;
    /// Where charges wait while the database is unreachable, until it is back (also across a
    /// restart); empty for pindle/ in the XDG state folder ($XDG_STATE_HOME, else
    /// ~/.local/state).
    std::string journalDirectory;

    [[nodiscard]] static std::map<std::string, std::string> defaultCategoryInstructions();

    [[nodiscard]] bool providerConfigured() const { return !providerUrl.empty(); }
    [[nodiscard]] bool tlsEnabled() const { return !tlsCertificate.empty(); }

    /// When a session started at `now` ends; saturates rather than wraps, whatever sessionDays is.
    [[nodiscard]] std::int64_t sessionExpiry(std::int64_t now) const;

    /// Reads `path` (when given) and the environment. Throws ConfigError naming every bad setting.
    [[nodiscard]] static Config load(const std::optional<std::string> &path);
    /// Like load(), but adds every problem to `problems` and hands back what could be read.
    [[nodiscard]] static Config read(const std::optional<std::string> &path,
                                     std::vector<std::string> &problems);
    /// Problems that would stop the server or a feature, each on its own line; empty when sound.
    [[nodiscard]] std::vector<std::string> problems() const;
    /// Settings that work but are risky, such as listening beyond this computer without TLS.
    [[nodiscard]] std::vector<std::string> warnings() const;
};

class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The default configuration file: pindle/server.json in the XDG config folder, if it exists.
[[nodiscard]] std::optional<std::string> defaultConfigPath();

} // namespace pindle
