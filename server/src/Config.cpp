#include "Config.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pindle {

namespace {

using nlohmann::json;

std::optional<std::string> environment(const char *name) {
    const char *value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
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
        else if constexpr (std::is_integral_v<T>)
            return "a whole number";
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
    if (std::filesystem::exists(path))
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
    Config config;
    std::vector<std::string> errors;
    if (path) {
        std::ifstream file(*path);
        if (!file)
            throw ConfigError("cannot read the configuration file " + *path);
        std::stringstream text;
        text << file.rdbuf();
        json document;
        try {
            document = json::parse(text.str());
        } catch (const json::parse_error &error) {
            throw ConfigError("the configuration file " + *path +
                              " is not valid JSON: " + error.what());
        }
        if (!document.is_object())
            throw ConfigError("the configuration file " + *path + " must hold a JSON object");

        Reader reader(document);
        int port = config.port;
        reader.read("listen_address", config.listenAddress);
        reader.read("port", port);
        reader.read("database", config.database);
        reader.read("tls_certificate", config.tlsCertificate);
        reader.read("tls_private_key", config.tlsPrivateKey);
        reader.read("provider_url", config.providerUrl);
        reader.read("provider_api_key", config.providerApiKey);
        reader.read("allowed_models", config.allowedModels);
        reader.read("model_map", config.modelMap);
        reader.read("transcription_model", config.transcriptionModel);
        reader.read("provider_stream_usage", config.providerStreamUsage);
        std::map<std::string, std::string> instructions;
        reader.read("category_instructions", instructions);
        instructions.merge(config.categoryInstructions); // keeps the file's where both have one
        config.categoryInstructions = std::move(instructions);
        reader.read("trusted_proxies", config.trustedProxies);
        reader.read("session_days", config.sessionDays);
        reader.read("signup_balance", config.signupBalance);
        reader.read("signup_open", config.signupOpen);
        reader.read("max_upload_bytes", config.maxUploadBytes);
        reader.read("worker_threads", config.workerThreads);
        reader.read("io_threads", config.ioThreads);
        reader.rejectUnknown({"listen_address", "port", "database", "tls_certificate",
                              "tls_private_key", "provider_url", "provider_api_key",
                              "allowed_models", "model_map", "transcription_model",
                              "provider_stream_usage", "category_instructions", "trusted_proxies",
                              "session_days", "signup_balance", "signup_open", "max_upload_bytes",
                              "worker_threads", "io_threads"});
        if (port < 1 || port > 65535)
            reader.errors().push_back("\"port\" must lie between 1 and 65535");
        else
            config.port = std::uint16_t(port);
        errors = std::move(reader.errors());
    }

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

    for (const std::string &problem : config.problems())
        errors.push_back(problem);
    if (!errors.empty())
        throw ConfigError(joined(errors));
    return config;
}

std::vector<std::string> Config::problems() const {
    std::vector<std::string> problems;
    if (tlsCertificate.empty() != tlsPrivateKey.empty())
        problems.push_back("\"tls_certificate\" and \"tls_private_key\" must be given together");
    for (const auto *file : {&tlsCertificate, &tlsPrivateKey}) {
        if (!file->empty() && !std::filesystem::exists(*file))
            problems.push_back("TLS file not found: " + *file);
    }
    if (!providerUrl.empty() && providerUrl.rfind("http://", 0) != 0 &&
        providerUrl.rfind("https://", 0) != 0)
        problems.push_back("\"provider_url\" must start with http:// or https://");
    for (const auto &[category, instruction] : categoryInstructions) {
        if (instruction.empty())
            problems.push_back("\"category_instructions\": the instruction for \"" + category +
                               "\" must not be empty");
    }
    if (sessionDays < 1)
        problems.push_back("\"session_days\" must be at least 1");
    if (signupBalance < 0)
        problems.push_back("\"signup_balance\" must not be negative");
    if (maxUploadBytes < 1024)
        problems.push_back("\"max_upload_bytes\" must be at least 1024");
    if (workerThreads < 1 || workerThreads > 256)
        problems.push_back("\"worker_threads\" must lie between 1 and 256");
    if (ioThreads < 1 || ioThreads > 64)
        problems.push_back("\"io_threads\" must lie between 1 and 64");
    return problems;
}

} // namespace pindle
