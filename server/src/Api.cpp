#include "Api.h"

#include "HttpForms.h"
#include "Log.h"
#include "OpenStore.h"
#include "SignupPage.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <variant>

namespace pindle {

namespace {

using nlohmann::json;

constexpr size_t maxProviderReply = 8 * 1024 * 1024;
constexpr size_t maxProviderError = 16 * 1024;

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

HttpResponse jsonResponse(int status, const json &body) {
    return {status, "application/json", body.dump()};
}

HttpResponse errorResponse(int status, const std::string &message) {
    return jsonResponse(status, json{{"error", message}});
}

json userJson(const User &user) {
    json result{{"id", std::to_string(user.id)},
                {"email", user.email},
                {"name", user.name},
                {"subscriptionStatus", user.subscriptionStatus}};
    if (user.subscriptionEnd)
        result["subscriptionEnd"] = *user.subscriptionEnd;
    return result;
}

// Requests are shallow; refusing deep nesting keeps recursive work on them bounded.
constexpr int maxJsonDepth = 16;

std::optional<json> parseObject(const std::string &body) {
    json document;
    try {
        document = json::parse(body, [](int depth, json::parse_event_t, json &) {
            if (depth > maxJsonDepth)
                throw std::length_error("nested too deeply");
            return true;
        });
    } catch (const std::exception &) {
        return std::nullopt;
    }
    if (!document.is_object())
        return std::nullopt;
    return document;
}

std::optional<std::string> stringMember(const json &object, const char *key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

// A chat request as the provider will get it: rebuilt from the checked fields only.
struct ChatRequest {
    std::string model;
    bool stream = false;
    json temperature;
    std::int64_t maxTokens = 0;
    json messages = json::array();
    size_t textCharacters = 0;
    size_t images = 0;
};

// The checked request, or why the body is unusable.
std::variant<ChatRequest, std::string> readChatRequest(const json &body) {
    ChatRequest request;
    const auto model = stringMember(body, "model");
    if (!model || model->empty() || model->size() > 200)
        return "\"model\" must be a non-empty string";
    request.model = *model;
    if (!stringMember(body, "category"))
        return "\"category\" must be a string";
    const auto stream = body.find("stream");
    if (stream == body.end() || !stream->is_boolean())
        return "\"stream\" must be true or false";
    request.stream = stream->get<bool>();
    const auto temperature = body.find("temperature");
    if (temperature == body.end() || !temperature->is_number() || temperature->get<double>() < 0 ||
        temperature->get<double>() > 2)
        return "\"temperature\" must be a number from 0 to 2";
    request.temperature = *temperature;
    const auto maxTokens = body.find("max_tokens");
    if (maxTokens == body.end() || !maxTokens->is_number_integer() ||
        maxTokens->get<std::int64_t>() < 1 || maxTokens->get<std::int64_t>() > 100000)
        return "\"max_tokens\" must be a whole number from 1 to 100000";
    request.maxTokens = maxTokens->get<std::int64_t>();
    const auto messages = body.find("messages");
    if (messages == body.end() || !messages->is_array() || messages->empty() ||
        messages->size() > 1000)
        return "\"messages\" must be a list of 1 to 1000 messages";
    for (const json &message : *messages) {
        if (!message.is_object())
            return "each message must be an object";
        const auto role = stringMember(message, "role");
        if (!role || (*role != "user" && *role != "assistant" && *role != "system"))
            return "each message needs a \"role\" of user, assistant or system";
        const auto content = message.find("content");
        if (content == message.end())
            return "each message needs a \"content\"";
        if (content->is_string()) {
            request.textCharacters += content->get_ref<const std::string &>().size();
            request.messages.push_back({{"role", *role}, {"content", *content}});
            continue;
        }
        if (!content->is_array() || content->empty() || content->size() > 16)
            return "a message's \"content\" must be text or a list of parts";
        json parts = json::array();
        for (const json &part : *content) {
            const auto type = part.is_object() ? stringMember(part, "type") : std::nullopt;
            if (type == "text" && stringMember(part, "text")) {
                const std::string text = *stringMember(part, "text");
                request.textCharacters += text.size();
                parts.push_back({{"type", "text"}, {"text", text}});
                continue;
            }
            const auto image = part.is_object() ? part.find("image_url") : part.end();
            if (type == "image_url" && image != part.end() && image->is_object()) {
                // Only inline pictures: a provider must not be sent off to fetch addresses.
                const auto url = stringMember(*image, "url");
                if (!url || url->rfind("data:image/", 0) != 0 ||
                    url->find(";base64,") == std::string::npos)
                    return "an image must be a data:image/...;base64, URL";
                json picture{{"url", *url}};
                if (const auto detail = stringMember(*image, "detail"))
                    picture["detail"] = *detail;
                ++request.images;
                parts.push_back({{"type", "image_url"}, {"image_url", picture}});
                continue;
            }
            return "each content part must be text or an image_url";
        }
        request.messages.push_back({{"role", *role}, {"content", parts}});
    }
    return request;
}

// Rough token count of text, for providers that do not report their usage.
std::int64_t estimatedTokens(size_t characters) {
    return std::int64_t(characters / 4 + 1);
}

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

// The answer for a provider transfer that failed or was refused, if it did not succeed.
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

} // namespace

Api::Api(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
         ProviderClient &provider)
    : m_config(std::move(config))
    , m_store(store)
    , m_workers(workers)
    , m_hashing(hashing)
    , m_provider(provider)
    , m_decoyHash(m_hasher.hash("decoy password for unknown accounts")) {}

void Api::handle(HttpRequest request, std::shared_ptr<Responder> responder) {
    request.clientAddress = addressKey(
        clientAddressOf(request.clientAddress, request.forwardedFor, m_config.trustedProxies));
    // Handlers that block (the store, password hashing) run on the worker pool; a failure there
    // still gets an answer.
    const auto guarded = [&responder](auto work) {
        return [responder, work = std::move(work)] {
            try {
                work();
            } catch (const std::exception &error) {
                logLine(std::string("request failed: ") + error.what());
                responder->reply(errorResponse(
                    500, "The server could not complete the request. Try again later."));
            }
        };
    };
    const auto later = [&](auto work) { m_workers.post(guarded(std::move(work))); };
    // Password hashing has a queue of its own, and a short one: past it, say so at once.
    const auto hashing = [&](auto work) {
        if (!m_hashing.tryPost(guarded(std::move(work)), 64))
            responder->reply(
                errorResponse(503, "The server is busy signing people in. Try again in a moment."));
    };
    const std::string &path = request.path;
    const std::string &method = request.method;
    const auto only = [&](const char *allowed) {
        if (method == allowed)
            return true;
        responder->reply(errorResponse(405, "Use " + std::string(allowed) + " for " + path + "."));
        return false;
    };

    if (path == "/healthz") {
        if (only("GET"))
            responder->reply(jsonResponse(200, json{{"status", "ok"}}));
    } else if (path == "/signup") {
        if (method == "GET")
            responder->reply({200, "text/html; charset=utf-8", signupPage({}, {})});
        else if (only("POST"))
            hashing([this, request = std::move(request), responder] {
                signUp(request, responder, true);
            });
    } else if (path == "/api/auth/signup") {
        if (only("POST"))
            hashing([this, request = std::move(request), responder] {
                signUp(request, responder, false);
            });
    } else if (path == "/api/auth/login") {
        if (only("POST"))
            hashing([this, request = std::move(request), responder] { login(request, responder); });
    } else if (path == "/api/auth/me") {
        if (only("GET"))
            later([this, request = std::move(request), responder] { me(request, responder); });
    } else if (path == "/api/chat") {
        if (only("POST"))
            later([this, request = std::move(request), responder] { chat(request, responder); });
    } else if (path == "/api/chat/transcribe") {
        if (only("POST"))
            later([this, request = std::move(request), responder] {
                transcribe(request, responder);
            });
    } else {
        responder->reply(errorResponse(404, "There is nothing at " + path + "."));
    }
}

std::optional<User> Api::authenticate(const HttpRequest &request) {
    constexpr std::string_view scheme = "Bearer ";
    if (request.authorization.rfind(scheme, 0) != 0)
        return std::nullopt;
    const std::string_view token = std::string_view(request.authorization).substr(scheme.size());
    if (token.empty() || token.size() > 256)
        return std::nullopt;
    return m_store.findSessionUser(hashSessionToken(token), nowSeconds());
}

std::string Api::sessionFor(const User &user) {
    std::string token = newSessionToken();
    m_store.createSession(hashSessionToken(token), user.id,
                          nowSeconds() + m_config.sessionDays * 24 * 3600);
    return token;
}

void Api::login(const HttpRequest &request, const std::shared_ptr<Responder> &responder) {
    const auto body = parseObject(request.body);
    const auto email = body ? stringMember(*body, "email") : std::nullopt;
    const auto password = body ? stringMember(*body, "password") : std::nullopt;
    if (!email || !password || email->size() > 254 || password->size() > 1024) {
        responder->reply(errorResponse(400, "Send a JSON object with \"email\" and \"password\"."));
        return;
    }
    const std::string account = normalizedEmail(*email);
    const std::string accountHere = account + " " + request.clientAddress;
    if (m_failuresByAccountAndAddress.blocked(accountHere) ||
        m_failuresByAccount.blocked(account) ||
        m_failuresByAddress.blocked(request.clientAddress)) {
        responder->reply(errorResponse(429, "Too many failed sign-ins. Try again in 15 minutes."));
        return;
    }
    const std::optional<User> user = m_store.findUserByEmail(*email);
    // An unknown address costs as much time as a wrong password, so neither gives the other away.
    const bool matches =
        m_hasher.verify(*password, user ? user->passwordHash : m_decoyHash) && user.has_value();
    if (!matches) {
        m_failuresByAccountAndAddress.record(accountHere);
        m_failuresByAccount.record(account);
        m_failuresByAddress.record(request.clientAddress);
        responder->reply(errorResponse(401, "Invalid e-mail or password."));
        return;
    }
    m_failuresByAccountAndAddress.clear(accountHere);
    responder->reply(
        jsonResponse(200, json{{"token", sessionFor(*user)}, {"user", userJson(*user)}}));
}

void Api::signUp(const HttpRequest &request, const std::shared_ptr<Responder> &responder,
                 bool form) {
    std::string email, name, password;
    if (form) {
        auto fields = parseUrlEncoded(request.body);
        email = fields["email"];
        name = fields["name"];
        password = fields["password"];
    } else if (const auto body = parseObject(request.body)) {
        email = stringMember(*body, "email").value_or("");
        name = stringMember(*body, "name").value_or("");
        password = stringMember(*body, "password").value_or("");
    }
    const auto fail = [&](int status, const std::string &message) {
        if (form)
            responder->reply(
                {status, "text/html; charset=utf-8", signupPage(message, {}, name, email)});
        else
            responder->reply(errorResponse(status, message));
    };
    if (!m_config.signupOpen)
        return fail(403, "Sign-up is closed on this server. Ask its operator for an account.");
    if (m_signupsByAddress.blocked(request.clientAddress))
        return fail(429, "Too many new accounts from here. Try again in an hour.");
    m_signupsByAddress.record(request.clientAddress);
    if (name.empty() || name.size() > 200)
        return fail(400, "Please enter your name.");
    if (const auto problem = emailProblem(email))
        return fail(400, *problem);
    if (const auto problem = passwordProblem(password))
        return fail(400, *problem);

    NewUser user;
    user.email = email;
    user.name = name;
    user.passwordHash = m_hasher.hash(password);
    user.tokenBalance = m_config.signupBalance;
    const std::optional<User> created = m_store.createUser(user);
    if (!created)
        return fail(409, "An account with this e-mail address already exists.");
    if (form)
        responder->reply({201, "text/html; charset=utf-8", signupPage({}, created->email)});
    else
        responder->reply(
            jsonResponse(201, json{{"token", sessionFor(*created)}, {"user", userJson(*created)}}));
}

void Api::me(const HttpRequest &request, const std::shared_ptr<Responder> &responder) {
    const std::optional<User> user = authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    responder->reply(jsonResponse(200, userJson(*user)));
}

void Api::debitLater(std::int64_t userId, std::int64_t tokens, const std::string &model,
                     std::int64_t reserved) {
    m_workers.post([this, userId, tokens, model, reserved] {
        try {
            m_store.debit(userId, tokens, model, reserved);
        } catch (const std::exception &error) {
            // The answer has been delivered; a failed debit only loses this one charge.
            logLine("could not debit " + std::to_string(tokens) + " tokens from account " +
                    std::to_string(userId) + ": " + error.what());
        }
    });
}

void Api::chat(const HttpRequest &request, const std::shared_ptr<Responder> &responder) {
    const std::optional<User> user = authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    const auto body = parseObject(request.body);
    if (!body)
        return responder->reply(errorResponse(400, "The request body must be a JSON object."));
    auto checked = readChatRequest(*body);
    if (const auto *problem = std::get_if<std::string>(&checked))
        return responder->reply(errorResponse(400, *problem));
    ChatRequest &chat = std::get<ChatRequest>(checked);
    const std::string model = chat.model;
    if (!m_config.allowedModels.empty() &&
        std::find(m_config.allowedModels.begin(), m_config.allowedModels.end(), model) ==
            m_config.allowedModels.end())
        return responder->reply(
            errorResponse(400, "The model \"" + model + "\" is not offered by this server."));
    if (!m_config.providerConfigured())
        return responder->reply(errorResponse(
            503, "No model provider is configured on this server: set \"provider_url\" in its "
                 "configuration file (or PINDLE_PROVIDER_URL)."));
    // Pictures are priced by the provider, not by their Base64 size.
    const std::int64_t promptEstimate =
        estimatedTokens(chat.textCharacters) + std::int64_t(chat.images) * 1000;
    // Hold what this answer may cost, so answers running side by side cannot spend the same
    // tokens; a small balance shortens the answer instead of going unpaid.
    const std::int64_t userId = user->id;
    const std::int64_t reserved = m_store.reserve(userId, promptEstimate + chat.maxTokens);
    const std::int64_t answerTokens = std::min(chat.maxTokens, reserved - promptEstimate);
    if (answerTokens < 1) {
        if (reserved > 0)
            m_store.debit(userId, 0, model, reserved);
        return responder->reply(errorResponse(403, "Your token balance is used up."));
    }

    const auto mapped = m_config.modelMap.find(model);
    const bool stream = chat.stream;
    json upstream{{"model", mapped == m_config.modelMap.end() ? model : mapped->second},
                  {"messages", std::move(chat.messages)},
                  {"stream", stream},
                  {"temperature", chat.temperature},
                  {"max_tokens", answerTokens}};
    if (stream && m_config.providerStreamUsage)
        upstream["stream_options"] = json{{"include_usage", true}};

    ProviderRequest call{m_config.providerUrl + "/chat/completions", {}, upstream.dump(), {}};
    if (!m_config.providerApiKey.empty())
        call.headers.push_back("Authorization: Bearer " + m_config.providerApiKey);

    // State of one transfer, touched only on the provider thread.
    struct Progress {
        long status = 0;
        bool streaming = false;
        std::string pending; // an unfinished line, or the whole body when not streaming
        std::int64_t reportedTokens = -1;
        std::int64_t forwardedLines = 0;
        bool tooLarge = false;
    };
    auto progress = std::make_shared<Progress>();

    const auto noteUsage = [progress](const json &object) {
        const auto usage = object.find("usage");
        if (usage != object.end() && usage->is_object() && usage->contains("total_tokens") &&
            (*usage)["total_tokens"].is_number_integer())
            progress->reportedTokens = (*usage)["total_tokens"].get<std::int64_t>();
    };

    ProviderHandlers handlers;
    handlers.onStatus = [progress, responder, stream](long status) {
        progress->status = status;
        if (status == 200 && stream) {
            progress->streaming = true;
            responder->beginStream(200, "text/event-stream");
        }
    };
    handlers.onData = [progress, responder, noteUsage](std::string_view bytes) {
        if (!progress->streaming) {
            const size_t cap = progress->status == 200 ? maxProviderReply : maxProviderError;
            if (progress->pending.size() + bytes.size() > cap)
                progress->tooLarge = true;
            else
                progress->pending.append(bytes);
            return;
        }
        // Pass whole lines on as they complete; keep the [DONE] marker for the very end.
        progress->pending.append(bytes);
        std::string out;
        size_t start = 0;
        for (size_t end; (end = progress->pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            std::string_view line(progress->pending.data() + start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.rfind("data: ", 0) == 0) {
                const std::string_view payload = line.substr(6);
                if (payload == "[DONE]")
                    continue;
                ++progress->forwardedLines;
                if (payload.find("\"usage\"") != std::string_view::npos) {
                    const json chunk = json::parse(payload, nullptr, false);
                    if (chunk.is_object())
                        noteUsage(chunk);
                }
            }
            out.append(line).append("\n");
        }
        progress->pending.erase(0, start);
        if (progress->pending.size() > 1024 * 1024)
            progress->pending.clear(); // one endless line: drop it rather than hold it
        if (!out.empty())
            responder->streamChunk(std::move(out));
    };
    handlers.onDone = [this, progress, responder, noteUsage, userId, model, promptEstimate,
                       reserved](const std::string &error) {
        const std::int64_t estimate = promptEstimate + progress->forwardedLines;
        const auto used = [&] {
            return progress->reportedTokens >= 0 ? progress->reportedTokens : estimate;
        };
        if (progress->streaming) {
            if (!error.empty() && error != "cancelled") {
                const json notice{
                    {"choices",
                     json::array(
                         {json{{"delta", json{{"content", "\n\n[The answer was cut off: the model "
                                                          "provider stopped responding.]"}}}}})}};
                responder->streamChunk("data: " + notice.dump() + "\n\n");
            }
            if (error != "cancelled") {
                responder->streamChunk("data: [DONE]\n\n");
                responder->endStream();
            }
            debitLater(userId, used(), model, reserved);
            return;
        }
        if (error == "cancelled") // the provider may have answered: the prompt was spent
            return debitLater(userId, promptEstimate, model, reserved);
        if (!error.empty() || progress->status != 200 || progress->tooLarge)
            debitLater(userId, 0, model, reserved);
        if (const auto failure =
                providerFailure("chat", error, progress->status, progress->pending))
            return responder->reply(*failure);
        if (progress->tooLarge)
            return responder->reply(
                errorResponse(502, "The model provider's reply was too large."));
        const auto reply = parseObject(progress->pending);
        if (!reply) {
            debitLater(userId, promptEstimate, model, reserved);
            return responder->reply(
                errorResponse(502, "The model provider's reply was not a JSON object."));
        }
        noteUsage(*reply);
        debitLater(userId, used(), model, reserved);
        responder->reply({200, "application/json", std::move(progress->pending)});
    };

    const std::uint64_t transfer = m_provider.start(std::move(call), std::move(handlers));
    responder->onDisconnect([this, transfer] { m_provider.cancel(transfer); });
}

void Api::transcribe(const HttpRequest &request, const std::shared_ptr<Responder> &responder) {
    const std::optional<User> user = authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    if (std::int64_t(request.body.size()) > m_config.maxUploadBytes)
        return responder->reply(errorResponse(
            413, "The recording is too large (the limit is " +
                     std::to_string(m_config.maxUploadBytes / (1024 * 1024)) + " MiB)."));
    const auto parts = parseMultipart(request.contentType, request.body);
    if (!parts)
        return responder->reply(errorResponse(400, "Send the recording as multipart/form-data."));
    const FormPart *audio = nullptr;
    std::string language;
    for (const FormPart &part : *parts) {
        if (part.name == "audio")
            audio = &part;
        else if (part.name == "language")
            language = part.data;
    }
    if (!audio || audio->data.empty())
        return responder->reply(errorResponse(400, "The form has no \"audio\" recording."));
    if (!m_config.providerConfigured())
        return responder->reply(errorResponse(
            503, "No model provider is configured on this server: set \"provider_url\" in its "
                 "configuration file (or PINDLE_PROVIDER_URL)."));
    if (user->tokenBalance <= 0)
        return responder->reply(errorResponse(403, "Your token balance is used up."));

    ProviderRequest call;
    call.url = m_config.providerUrl + "/audio/transcriptions";
    if (!m_config.providerApiKey.empty())
        call.headers.push_back("Authorization: Bearer " + m_config.providerApiKey);
    call.form.push_back({"file", audio->data, "audio.m4a", "audio/mp4"});
    call.form.push_back({"model", m_config.transcriptionModel, {}, {}});
    call.form.push_back({"response_format", "json", {}, {}});
    if (!language.empty() && language.size() <= 16)
        call.form.push_back({"language", language, {}, {}});

    struct Progress {
        long status = 0;
        std::string body;
    };
    auto progress = std::make_shared<Progress>();
    ProviderHandlers handlers;
    handlers.onStatus = [progress](long status) { progress->status = status; };
    handlers.onData = [progress](std::string_view bytes) {
        if (progress->body.size() + bytes.size() <= maxProviderReply)
            progress->body.append(bytes);
    };
    const std::int64_t userId = user->id;
    handlers.onDone = [this, progress, responder, userId](const std::string &error) {
        if (error == "cancelled")
            return;
        if (const auto failure =
                providerFailure("transcription", error, progress->status, progress->body))
            return responder->reply(*failure);
        const auto reply = parseObject(progress->body);
        const auto text = reply ? stringMember(*reply, "text") : std::nullopt;
        if (!text)
            return responder->reply(
                errorResponse(502, "The model provider's transcription had no text."));
        // A transcript costs what reading it as a prompt would.
        debitLater(userId, estimatedTokens(text->size()), "transcription", 0);
        responder->reply(jsonResponse(200, json{{"transcript", *text}}));
    };
    const std::uint64_t transfer = m_provider.start(std::move(call), std::move(handlers));
    responder->onDisconnect([this, transfer] { m_provider.cancel(transfer); });
}

} // namespace pindle
