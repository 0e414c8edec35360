#pragma once

#include "Config.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <variant>

namespace pindle {

/// A chat request as the provider will get it: rebuilt from the checked fields of the client's
/// body only, so nothing unchecked is passed on.
struct ChatRequest {
    std::string model;
    std::string category;
    bool stream = false;
    nlohmann::json temperature;
    std::int64_t maxTokens = 0;
    nlohmann::json messages = nlohmann::json::array();
    /// The user's own instruction ("system_prompt"); empty when none was sent.
    std::string systemPrompt;
    size_t textCharacters = 0;
    size_t images = 0;

    /// The checked request, or why the body is unusable. Takes the body rather than copy what
    /// may be megabytes of pictures.
    [[nodiscard]] static std::variant<ChatRequest, std::string> read(nlohmann::json body);

    /// Puts the operator's instruction for the category, then the user's own prompt, each when
    /// there is one, as system messages ahead of the client's.
    void addSystemMessages(const Config &config);
    /// A guess at the tokens the prompt will cost, for holding them before the answer starts.
    [[nodiscard]] std::int64_t promptEstimate() const;
    /// The body for the provider's /chat/completions, asking for `providerModel` with the answer
    /// held to `answerTokens`. Takes the messages rather than copy what may be megabytes of
    /// pictures.
    [[nodiscard]] nlohmann::json upstreamBody(const Config &config,
                                              const std::string &providerModel,
                                              std::int64_t answerTokens) &&;
};

} // namespace pindle
