#include "Config.h"

#include "Store.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

namespace pindle {

namespace {

using nlohmann::json;

std::optional<std::string> environment(const char *name) {
    const char *value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

// The values a whole-number setting may take. The upper bounds keep the sums made with them (an
// expiry time, an upload limit plus room for the headers) far from overflowing.
struct Bounds {
    std::int64_t min;
    std::int64_t max;
};
constexpr Bounds portBounds{1, 65535};
constexpr Bounds sessionDaysBounds{1, 3650};
constexpr Bounds signupBalanceBounds{0, maxTokenBalance};
constexpr Bounds maxUploadBytesBounds{1024, std::int64_t(1) << 40};
constexpr Bounds workerThreadsBounds{1, 256};
constexpr Bounds ioThreadsBounds{1, 64};
constexpr Bounds connectionsBounds{0, 1'000'000};
constexpr Bounds reservationSecondsBounds{10, 24 * 3600};
constexpr Bounds providerTimeoutSecondsBounds{10, 24 * 3600};
constexpr std::int64_t secondsPerDay = 24 * 3600;

std::string outOfBounds(const char *key, Bounds bounds) {
    return std::string("\"") + key + "\" must lie between " + std::to_string(bounds.min) + " and " +
           std::to_string(bounds.max);
}

// Reads one member with its expected type, collecting a clear message when it has another.
class Reader {
public:
    explicit Reader(const json &document)
        : m_document(document) {}

    template <typename T> void read(const char *key, T &target) {
        const auto found = m_document.find(key);
        if (found == m_document.end())
            return;
        try {
            target = found->get<T>();
        } catch (const json::exception &) {
            m_errors.push_back(std::string("\"") + key + "\" must be " + typeName<T>() + ", not " +
                               found->type_name());
        }
    }

    // A whole number within `bounds`. Every JSON number, integer or not, converts to a double
    // exactly enough for the check: the bounds lie far below 2^53.
    template <typename T> void readWhole(const char *key, T &target, Bounds bounds) {
        const auto found = m_document.find(key);
        if (found == m_document.end())
            return;
        if (!found->is_number()) {
            m_errors.push_back(std::string("\"") + key + "\" must be a whole number, not " +
                               found->type_name());
            return;
        }
        const double number = found->get<double>();
        if (std::trunc(number) != number)
            m_errors.push_back(std::string("\"") + key + "\" must be a whole number, not " +
                               found->dump());
        else if (!(number >= double(bounds.min) && number <= double(bounds.max)))
            m_errors.push_back(outOfBounds(key, bounds));
        else
            target = T(std::int64_t(number));
    }

    void rejectUnknown(std::initializer_list<const char *> known) {
        for (const auto &[key, value] : m_document.items()) {
            if (std::find_if(known.begin(), known.end(), [&](const char *k) { return key == k; }) ==
                known.end())
                m_errors.push_back("unknown setting \"" + key + "\"");
        }
    }

    std::vector<std::string> &errors() { return m_errors; }

private:
    template <typename T> static const char *typeName() {
        if constexpr (std::is_same_v<T, bool>)
            return "true or false";
        else if constexpr (std::is_same_v<T, std::string>)
            return "a string";
        else if constexpr (std::is_same_v<T, std::vector<std::string>>)
            return "a list of strings";
        else
            return "an object of strings";
    }

    const json &m_document;
    std::vector<std::string> m_errors;
};

// The text between the first pair of single quotes in `message`, if any.
std::string quoted(std::string_view message) {
    const auto open = message.find('\'');
    const auto close = open == message.npos ? open : message.find('\'', open + 1);
    return close == message.npos ? std::string()
                                 : std::string(message.substr(open + 1, close - open - 1));
}

// The JSON library's account of a syntax error in the words of the rest of the report: without
// its internal exception id ("[json.exception.parse_error.101] parse error"), and without the
// text it read last, which may be a secret cut off by a missing quote.
std::string plainParseError(std::string_view message) {
    if (const auto id = message.find("] ");
        message.starts_with("[json.exception.") && id != message.npos)
        message.remove_prefix(id + 2);
    if (message.starts_with("parse error"))
        message.remove_prefix(std::string_view("parse error").size());
    std::string plain(message);
    if (const auto read = plain.find("; last read: '"); read != plain.npos) {
        const auto expected = plain.find("'; expected ", read);
        plain.erase(read, expected == plain.npos ? plain.npos : expected + 1 - read);
    }
    plain.erase(0, plain.find_first_not_of(' '));
    if (plain.starts_with("at "))
        plain.erase(0, 3);
    return plain.empty() ? std::string() : " (" + plain + ")";
}

// The file's top-level object, or nothing with the reason added to `errors`.
std::optional<json> parseFile(const std::string &path, std::vector<std::string> &errors) {
    std::ifstream file(path);
    if (!file) {
        errors.push_back("cannot read the configuration file " + path);
        return std::nullopt;
    }
    std::stringstream text;
    text << file.rdbuf();
    // The member being parsed, to name it when a number is beyond what a double holds.
    std::string member;
    const auto track = [&member](int depth, json::parse_event_t event, json &parsed) {
        if (depth == 1 && event == json::parse_event_t::key)
            member = parsed.get<std::string>();
        return true;
    };
    try {
        json document = json::parse(text.str(), track);
        if (document.is_object())
            return document;
        errors.push_back("the configuration file " + path + " must hold a JSON object");
    } catch (const json::out_of_range &error) {
        // Beyond what a double holds: the parser stops there.
        const std::string number = quoted(error.what());
        errors.push_back(
            (member.empty() ? "the configuration file " + path : "\"" + member + "\"") +
            " holds a number too large to read" + (number.empty() ? "" : " (" + number + ")") +
            "; the rest of the file was not read");
    } catch (const json::exception &error) {
        errors.push_back("the configuration file " + path + " is not valid JSON" +
                         plainParseError(error.what()));
    }
    return std::nullopt;
}

// One entry of "models": {"id", "name", "description", "vision", "provider_model"}, all but the
// id optional.
std::optional<OfferedModel> readModelEntry(const json &entry, size_t index,
                                           std::vector<std::string> &errors) {
    const std::string where = "\"models\" entry " + std::to_string(index + 1);
    if (!entry.is_object()) {
        errors.push_back(where + " must be an object with an \"id\"");
        return std::nullopt;
    }
    Reader reader(entry);
    OfferedModel model;
    reader.read("id", model.id);
    model.name = model.id;
    reader.read("name", model.name);
    reader.read("description", model.description);
    reader.read("vision", model.vision);
    reader.read("provider_model", model.providerModel);
    reader.rejectUnknown({"id", "name", "description", "vision", "provider_model"});
    for (std::string &error : reader.errors())
        errors.push_back(where + ": " + error);
    if (model.id.empty() || model.id.size() > 200) {
        errors.push_back(where + " needs an \"id\" of 1 to 200 characters");
        return std::nullopt;
    }
    return model;
}

// "models" (a list, or "provider") with "default_model" and "vision_models"; or, in files that
// predate them, "allowed_models" and "model_map" applied to the catalogue.
void readModels(const json &document, Reader &reader, Config &config) {
    std::vector<std::string> allowed;
    std::map<std::string, std::string> renamed;
    reader.read("allowed_models", allowed);
    reader.read("model_map", renamed);
    reader.read("vision_models", config.visionModels);
    std::string defaultId;
    reader.read("default_model", defaultId);
    const auto listed = document.find("models");
    if (listed != document.end() && (!allowed.empty() || !renamed.empty()))
        reader.errors().push_back(
            "\"models\" replaces \"allowed_models\" and \"model_map\": give only \"models\"");
    ModelOffer &offer = config.models;
    if (listed == document.end()) {
        if (!allowed.empty()) {
            const ModelOffer catalogue = offer;
            offer.models.clear();
            offer.acceptsOthers = false;
            for (const std::string &id : allowed) {
                const OfferedModel *known = catalogue.find(id);
                if (!offer.find(id))
                    offer.models.push_back(known ? *known : OfferedModel{id, id, {}, false});
            }
        }
        for (const auto &[id, providerModel] : renamed) {
            if (!offer.find(id) && offer.acceptsOthers)
                offer.models.push_back({id, id, {}, false});
            // Another model stands behind the name: whether it reads pictures is not known
            // unless "vision_models" says so.
            for (OfferedModel &model : offer.models) {
                if (model.id == id) {
                    model.providerModel = providerModel;
                    model.vision = false;
                }
            }
        }
    } else if (listed->is_string() && listed->get<std::string>() == "provider") {
        config.modelsFromProvider = true;
        offer.models.clear();
        offer.acceptsOthers = false;
    } else if (listed->is_array() && !listed->empty()) {
        offer.models.clear();
        offer.acceptsOthers = false;
        for (size_t i = 0; i < listed->size(); ++i) {
            std::optional<OfferedModel> model = readModelEntry((*listed)[i], i, reader.errors());
            if (model && offer.find(model->id))
                reader.errors().push_back("\"models\" lists \"" + model->id + "\" twice");
            else if (model)
                offer.models.push_back(std::move(*model));
        }
    } else {
        reader.errors().push_back(
            "\"models\" must be a list of models ({\"id\": ...}) or \"provider\"");
    }
    for (OfferedModel &model : offer.models)
        if (std::ranges::find(config.visionModels, model.id) != config.visionModels.end())
            model.vision = true;
    if (!defaultId.empty())
        offer.defaultId = defaultId;
    else if (!offer.models.empty() && !offer.find(offer.defaultId))
        offer.defaultId = offer.models.front().id;
}

void readDocument(const json &document, Config &config, std::vector<std::string> &errors) {
    Reader reader(document);
    reader.read("listen_address", config.listenAddress);
    reader.readWhole("port", config.port, portBounds);
    reader.read("database", config.database);
    reader.read("tls_certificate", config.tlsCertificate);
    reader.read("tls_private_key", config.tlsPrivateKey);
    reader.read("provider_url", config.providerUrl);
    reader.read("provider_api_key", config.providerApiKey);
    readModels(document, reader, config);
    reader.read("transcription_model", config.transcriptionModel);
    reader.read("provider_stream_usage", config.providerStreamUsage);
    reader.readWhole("provider_timeout_seconds", config.providerTimeoutSeconds,
                     providerTimeoutSecondsBounds);
    std::map<std::string, std::string> instructions;
    reader.read("category_instructions", instructions);
    instructions.merge(config.categoryInstructions); // keeps the file's where both have one
    config.categoryInstructions = std::move(instructions);
    reader.read("trusted_proxies", config.trustedProxies);
    reader.readWhole("session_days", config.sessionDays, sessionDaysBounds);
    reader.readWhole("signup_balance", config.signupBalance, signupBalanceBounds);
    reader.read("signup_open", config.signupOpen);
    reader.read("default_plan", config.defaultPlan);
    reader.readWhole("max_upload_bytes", config.maxUploadBytes, maxUploadBytesBounds);
    reader.readWhole("worker_threads", config.workerThreads, workerThreadsBounds);
    reader.readWhole("io_threads", config.ioThreads, ioThreadsBounds);
    reader.readWhole("max_connections", config.maxConnections, connectionsBounds);
    reader.readWhole("max_connections_per_address", config.maxConnectionsPerAddress,
                     connectionsBounds);
    reader.readWhole("reservation_seconds", config.reservationSeconds, reservationSecondsBounds);
    reader.read("journal_directory", config.journalDirectory);
    reader.rejectUnknown({"listen_address",
                          "port",
                          "database",
                          "tls_certificate",
                          "tls_private_key",
                          "provider_url",
                          "provider_api_key",
                          "models",
                          "default_model",
                          "vision_models",
                          "allowed_models",
                          "model_map",
                          "transcription_model",
                          "provider_stream_usage",
                          "provider_timeout_seconds",
                          "category_instructions",
                          "trusted_proxies",
                          "session_days",
                          "signup_balance",
                          "signup_open",
                          "default_plan",
                          "max_upload_bytes",
                          "worker_threads",
                          "io_threads",
                          "max_connections",
                          "max_connections_per_address",
                          "reservation_seconds",
                          "journal_directory"});
    errors.insert(errors.end(), reader.errors().begin(), reader.errors().end());
}

void readEnvironment(Config &config, std::vector<std::string> &errors) {
    if (auto value = environment("PINDLE_LISTEN_ADDRESS"))
        config.listenAddress = *value;
    if (auto value = environment("PINDLE_PORT")) {
        char *end = nullptr;
        const long port = std::strtol(value->c_str(), &end, 10);
        if (*end || port < 1 || port > 65535)
            errors.push_back("PINDLE_PORT must be a port number between 1 and 65535");
        else
            config.port = std::uint16_t(port);
    }
    if (auto value = environment("PINDLE_DATABASE"))
        config.database = *value;
    if (auto value = environment("PINDLE_PROVIDER_URL"))
        config.providerUrl = *value;
    if (auto value = environment("PINDLE_PROVIDER_API_KEY"))
        config.providerApiKey = *value;
}

// Whether only this computer can reach `address`: a name for it, or 127.0.0.0/8, ::1 or
// ::ffff:127.0.0.0/104.
bool isLoopback(std::string address) {
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    if (address == "localhost")
        return true;
    in_addr ipv4{};
    if (inet_pton(AF_INET, address.c_str(), &ipv4) == 1)
        return (ntohl(ipv4.s_addr) >> 24) == 127;
    in6_addr ipv6{};
    if (inet_pton(AF_INET6, address.c_str(), &ipv6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&ipv6) ||
               (IN6_IS_ADDR_V4MAPPED(&ipv6) && ipv6.s6_addr[12] == 127);
    return false;
}

std::string joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

std::optional<std::string> defaultConfigPath() {
    const auto configHome = environment("XDG_CONFIG_HOME");
    const auto home = environment("HOME");
    const std::string folder = configHome ? *configHome : (home ? *home : ".") + "/.config";
    const std::string path = folder + "/pindle/server.json";
    // A path that cannot even be checked (too long, not searchable) is handed on, so that
    // reading it reports the problem.
    std::error_code error;
    if (std::filesystem::exists(path, error) || error)
        return path;
    return std::nullopt;
}

std::map<std::string, std::string> Config::defaultCategoryInstructions() {
    return {{"exams", "You are an expert exam and study assistant. Help the user with academic "
                      "questions, study tips, and exam preparation."},
            {"coding", "You are a helpful coding assistant. Help the user with programming, "
                       "debugging, and code explanations."},
            {"productivity", "You are a productivity coach. Help the user with organization, "
                             "workflow, and productivity tips."},
            {"writing", "You are a writing assistant. Help the user with writing, editing, and "
                        "content creation."},
            {"general", "You are a general-purpose AI assistant. Help the user with any question "
                        "they have."}};
}

Config Config::load(const std::optional<std::string> &path) {
    std::vector<std::string> problems;
    Config config = read(path, problems);
    if (!problems.empty())
        throw ConfigError(joined(problems));
    return config;
}

Config Config::read(const std::optional<std::string> &path, std::vector<std::string> &problems) {
    Config config;
    if (path) {
        if (const auto document = parseFile(*path, problems))
            readDocument(*document, config, problems);
    }
    readEnvironment(config, problems);
    for (std::string &problem : config.problems())
        problems.push_back(std::move(problem));
    return config;
}

std::int64_t Config::sessionExpiry(std::int64_t now) const {
    const std::int64_t days = std::clamp(sessionDays, sessionDaysBounds.min, sessionDaysBounds.max);
    const std::int64_t lifetime = days * secondsPerDay;
    if (now > std::numeric_limits<std::int64_t>::max() - lifetime)
        return std::numeric_limits<std::int64_t>::max();
    return now + lifetime;
}

std::vector<std::string> Config::problems() const {
    std::vector<std::string> problems;
    if (tlsCertificate.empty() != tlsPrivateKey.empty())
        problems.push_back("\"tls_certificate\" and \"tls_private_key\" must be given together");
    for (const auto &[key, file] : {std::pair{"tls_certificate", &tlsCertificate},
                                    std::pair{"tls_private_key", &tlsPrivateKey}}) {
        std::error_code error;
        if (file->empty())
            continue;
        if (file->find('\0') != std::string::npos)
            problems.push_back(std::string("\"") + key + "\" must not hold a NUL character");
        else if (!std::filesystem::exists(*file, error))
            problems.push_back(error ? std::string("\"") + key +
                                           "\" cannot be used: " + error.message()
                                     : "TLS file not found: " + *file);
    }
    if (!providerUrl.empty() && providerUrl.rfind("http://", 0) != 0 &&
        providerUrl.rfind("https://", 0) != 0)
        problems.push_back("\"provider_url\" must start with http:// or https://");
    for (const auto &[category, instruction] : categoryInstructions) {
        if (instruction.empty())
            problems.push_back("\"category_instructions\": the instruction for \"" + category +
                               "\" must not be empty");
    }
    if (defaultPlan.empty() || defaultPlan.size() > 64)
        problems.push_back("\"default_plan\" must be a plan's name of 1 to 64 characters, such as "
                           "\"active\" or \"free\"");
    if (!modelsFromProvider && models.models.empty())
        problems.push_back("\"models\" must list at least one model");
    if (!models.models.empty() && !models.find(models.defaultId))
        problems.push_back("\"default_model\" must be one of the models offered, not \"" +
                           models.defaultId + "\"");
    // The same bounds as the file's, for a configuration built in code.
    const auto check = [&problems](const char *key, std::int64_t value, Bounds bounds) {
        if (value < bounds.min || value > bounds.max)
            problems.push_back(outOfBounds(key, bounds));
    };
    check("port", port, portBounds);
    check("session_days", sessionDays, sessionDaysBounds);
    check("signup_balance", signupBalance, signupBalanceBounds);
    check("max_upload_bytes", maxUploadBytes, maxUploadBytesBounds);
    check("worker_threads", workerThreads, workerThreadsBounds);
    check("io_threads", ioThreads, ioThreadsBounds);
    check("max_connections", maxConnections, connectionsBounds);
    check("max_connections_per_address", maxConnectionsPerAddress, connectionsBounds);
    check("reservation_seconds", reservationSeconds, reservationSecondsBounds);
    check("provider_timeout_seconds", providerTimeoutSeconds, providerTimeoutSecondsBounds);
    return problems;
}

std::vector<std::string> Config::warnings() const {
    if (tlsEnabled() || isLoopback(listenAddress))
        return {};
    return {"listening on " + listenAddress +
            " without TLS: passwords and session tokens cross the network unencrypted. Set "
            "\"tls_certificate\" and \"tls_private_key\", or serve behind a TLS proxy."};
}

} // namespace pindle
