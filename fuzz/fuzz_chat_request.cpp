// A chat request body as a client sends it, checked and then turned into the provider's request
// the way the chat handler does.
#include "Config.h"
#include "api/ChatRequest.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const nlohmann::json body = nlohmann::json::parse(data, data + size, nullptr, false);
    // The handler turns away everything but an object before it gets here.
    if (!body.is_object())
        return 0;
    auto checked = pindle::ChatRequest::read(body);
    auto *request = std::get_if<pindle::ChatRequest>(&checked);
    if (!request)
        return 0;
    static const pindle::Config config;
    request->addSystemMessages(config);
    (void)request->promptEstimate();
    const std::int64_t answerTokens = request->maxTokens;
    const std::string model = config.models.providerModelFor(request->model).value_or("");
    (void)std::move(*request).upstreamBody(config, model, answerTokens).dump();
    return 0;
}
