// A question to the model: checked, paid for in advance, and relayed back as the provider answers.
#include "Log.h"
#include "api/ChatRelay.h"
#include "api/ChatRequest.h"
#include "api/Handlers.h"
#include "api/JsonReplies.h"
#include "api/ProviderReplies.h"
#include "api/SystemPrompt.h"

#include <algorithm>

namespace pindle {

void chat(ApiContext &context, const HttpRequest &request,
          const std::shared_ptr<Responder> &responder) {
    const Config &config = context.config;
    const std::optional<User> user = context.authenticate(request);
    if (!user)
        return responder->reply(errorResponse(401, "Session expired. Please sign in again."));
    auto body = parseObject(request.body);
    if (!body)
        return responder->reply(errorResponse(400, "The request body must be a JSON object."));
    auto checked = ChatRequest::read(std::move(*body));
    if (const auto *problem = std::get_if<std::string>(&checked))
        return responder->reply(errorResponse(400, *problem));
    ChatRequest &question = std::get<ChatRequest>(checked);
    // Clients before the body member sent the prompt in a header.
    if (question.systemPrompt.empty() && !request.systemPrompt.empty()) {
        SystemPrompt prompt = SystemPrompt::decode(request.systemPrompt);
        if (!prompt.problem.empty())
            return responder->reply(errorResponse(400, prompt.problem));
        question.systemPrompt = std::move(prompt.text);
    }
    // While the provider's list has not been read, the model is passed on as asked.
    const std::shared_ptr<const ModelOffer> offer = context.models.current();
    const std::optional<std::string> providerModel =
        offer->models.empty() ? question.model : offer->providerModelFor(question.model);
    if (!providerModel)
        return responder->reply(errorResponse(400, "The model \"" + question.model +
                                                       "\" is not offered by this server."));
    if (const OfferedModel *model = offer->find(question.model);
        model && question.images > 0 && !model->vision)
        return responder->reply(errorResponse(
            400, model->name + " cannot read pictures. Choose a model that can in Settings."));
    if (!config.providerConfigured())
        return responder->reply(noProviderResponse());
    question.addSystemMessages(config);

    // Hold what this answer may cost, so answers running side by side cannot spend the same
    // tokens; a small balance shortens the answer instead of going unpaid.
    const std::int64_t promptEstimate = question.promptEstimate();
    Reservation reservation =
        context.billing.reserve(user->id, question.model, promptEstimate + question.maxTokens);
    const std::int64_t answerTokens =
        std::min(question.maxTokens, reservation.tokens - promptEstimate);
    if (answerTokens < 1) {
        context.billing.release(reservation);
        logLine("a question of " + user->email + " needs about " +
                std::to_string(promptEstimate + 1) + " tokens, more than the " +
                std::to_string(reservation.tokens) +
                " left; to top up: pindle-server user add-balance " + user->email + " TOKENS");
        return responder->reply(errorResponse(
            403, "Your token balance (" + std::to_string(reservation.tokens) +
                     " tokens left) cannot pay for this question. Ask the operator of this "
                     "server for more tokens."));
    }

    const bool stream = question.stream;
    ProviderRequest call = providerCall(config, "/chat/completions");
    call.body = std::move(question).upstreamBody(config, *providerModel, answerTokens).dump();
    const ChatRelay::Timing timing;
    if (stream)
        call.firstQuiet = timing.grace;
    auto relay = std::make_shared<ChatRelay>(responder, stream, context.billing,
                                             std::move(reservation), promptEstimate, timing);
    const std::uint64_t transfer =
        context.provider.start(std::move(call), ChatRelay::handlers(relay));
    responder->onDisconnect(
        [&provider = context.provider, transfer] { provider.cancel(transfer); });
}

} // namespace pindle
