// A voice recording turned into text by the provider, charged as the prompt it becomes.
#include "api/Handlers.h"
#include "api/JsonReplies.h"
#include "api/ProviderReplies.h"
#include "http/HttpForms.h"

namespace pindle {

using nlohmann::json;

namespace {

// The transcript in a provider's 200: the "text" of a JSON object, or the whole body when it is
// not one (a plain-text reply, or a bare JSON string), trimmed.
std::optional<std::string> transcriptOf(const std::string &body) {
    if (const auto reply = parseObject(body))
        return stringMember(*reply, "text");
    const json document = json::parse(body, nullptr, false);
    std::string text = document.is_string() ? document.get<std::string>() : body;
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::nullopt;
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    text.erase(0, first);
    return text;
}

// Passes the provider's transcript on, or why there is none, and charges for it.
ProviderHandlers transcriptRelay(Billing &billing, const std::shared_ptr<Responder> &responder,
                                 std::int64_t userId) {
    struct Progress {
        ProviderHead head;
        std::string body;
    };
    auto progress = std::make_shared<Progress>();
    ProviderHandlers handlers;
    handlers.onStatus = [progress](const ProviderHead &head) { progress->head = head; };
    handlers.onData = [progress](std::string_view bytes) {
        if (progress->body.size() + bytes.size() <= maxProviderReply)
            progress->body.append(bytes);
        return true;
    };
    handlers.onDone = [&billing, progress, responder, userId](const std::string &error) {
        if (error == "cancelled")
            return;
        if (const auto failure =
                providerFailure("transcription", error, progress->head, progress->body))
            return responder->reply(*failure);
        const auto text = transcriptOf(progress->body);
        if (!text)
            return responder->reply(errorResponse(502, std::string(providerTranscriptMissing)));
        // A transcript costs what reading it as a prompt would.
        billing.charge(userId, Billing::estimatedTokens(text->size()), "transcription");
        responder->reply(jsonResponse(200, json{{"transcript", *text}}));
    };
    return handlers;
}

} // namespace

void transcribe(ApiContext &context, const HttpRequest &request,
                const std::shared_ptr<Responder> &responder) {
    const Config &config = context.config;
    const std::optional<User> user = context.authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    if (std::int64_t(request.body.size()) > config.maxUploadBytes)
        return responder->reply(errorResponse(
            413, "The recording is too large (the limit is " +
                     std::to_string(config.maxUploadBytes / (1024 * 1024)) + " MiB)."));
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
    if (!config.providerConfigured())
        return responder->reply(noProviderResponse());
    if (user->tokenBalance <= 0)
        return responder->reply(errorResponse(403, "Your token balance is used up."));

    ProviderRequest call = providerCall(config, "/audio/transcriptions");
    call.form.push_back({"file", audio->data, "audio.m4a", "audio/mp4"});
    call.form.push_back({"model", config.transcriptionModel, {}, {}});
    call.form.push_back({"response_format", "json", {}, {}});
    if (!language.empty() && language.size() <= 16)
        call.form.push_back({"language", language, {}, {}});

    const std::uint64_t transfer = context.provider.start(
        std::move(call), transcriptRelay(context.billing, responder, user->id));
    responder->onDisconnect(
        [&provider = context.provider, transfer] { provider.cancel(transfer); });
}

} // namespace pindle
