#include "api/ChatRequest.h"

#include "api/Billing.h"
#include "api/JsonReplies.h"
#include "api/SystemPrompt.h"

namespace pindle {

using nlohmann::json;

namespace {

// The string member `key` of `object`, in place so that it can be moved out; nullptr when
// there is none.
std::string *stringIn(json &object, const char *key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return nullptr;
    return &found->get_ref<std::string &>();
}

// Puts the content of one message in `checked` with only the parts a provider should see;
// returns why it is unusable, if it is. What passes is moved out of `content`: a picture may
// be megabytes.
std::optional<std::string> readContent(json &content, ChatRequest &request, json &checked) {
    if (content.is_string()) {
        request.textCharacters += content.get_ref<const std::string &>().size();
        checked = std::move(content);
        return std::nullopt;
    }
    if (!content.is_array() || content.empty() || content.size() > 16)
        return "a message's \"content\" must be text or a list of parts";
    json parts = json::array();
    for (json &part : content) {
        const auto type = part.is_object() ? stringMember(part, "type") : std::nullopt;
        if (std::string *text = type == "text" ? stringIn(part, "text") : nullptr) {
            request.textCharacters += text->size();
            parts.push_back({{"type", "text"}, {"text", std::move(*text)}});
            continue;
        }
        const auto image = part.is_object() ? part.find("image_url") : part.end();
        if (type == "image_url" && image != part.end() && image->is_object()) {
            // Only inline pictures: a provider must not be sent off to fetch addresses.
            std::string *url = stringIn(*image, "url");
            if (!url || url->rfind("data:image/", 0) != 0 ||
                url->find(";base64,") == std::string::npos)
                return "an image must be a data:image/...;base64, URL";
            json picture{{"url", std::move(*url)}};
            if (const auto detail = stringMember(*image, "detail"))
                picture["detail"] = *detail;
            ++request.images;
            parts.push_back({{"type", "image_url"}, {"image_url", std::move(picture)}});
            continue;
        }
        return "each content part must be text or an image_url";
    }
    checked = std::move(parts);
    return std::nullopt;
}

} // namespace

std::variant<ChatRequest, std::string> ChatRequest::read(json body) {
    ChatRequest request;
    const auto model = stringMember(body, "model");
    if (!model || model->empty() || model->size() > 200)
        return "\"model\" must be a non-empty string";
    request.model = *model;
    const auto category = stringMember(body, "category");
    if (!category)
        return "\"category\" must be a string";
    request.category = *category;
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
    if (const auto prompt = body.find("system_prompt"); prompt != body.end()) {
        if (!prompt->is_string())
            return "\"system_prompt\" must be text";
        request.systemPrompt = std::move(prompt->get_ref<std::string &>());
        if (request.systemPrompt.size() > SystemPrompt::maxBytes)
            return "The system prompt is longer than 16 KiB.";
    }
    const auto messages = body.find("messages");
    if (messages == body.end() || !messages->is_array() || messages->empty() ||
        messages->size() > 1000)
        return "\"messages\" must be a list of 1 to 1000 messages";
    for (json &message : *messages) {
        if (!message.is_object())
            return "each message must be an object";
        const auto role = stringMember(message, "role");
        if (!role || (*role != "user" && *role != "assistant" && *role != "system"))
            return "each message needs a \"role\" of user, assistant or system";
        const auto content = message.find("content");
        if (content == message.end())
            return "each message needs a \"content\"";
        json checked;
        if (auto problem = readContent(*content, request, checked))
            return std::move(*problem);
        request.messages.push_back({{"role", *role}, {"content", std::move(checked)}});
    }
    return request;
}

void ChatRequest::addSystemMessages(const Config &config) {
    const std::string &userPrompt = systemPrompt;
    json leading = json::array();
    const auto instruction = config.categoryInstructions.find(category);
    for (const std::string *text :
         {instruction == config.categoryInstructions.end() ? nullptr : &instruction->second,
          userPrompt.empty() ? nullptr : &userPrompt}) {
        if (!text)
            continue;
        textCharacters += text->size();
        leading.push_back({{"role", "system"}, {"content", *text}});
    }
    messages.insert(messages.begin(), leading.begin(), leading.end());
}

std::int64_t ChatRequest::promptEstimate() const {
    // Pictures are priced by the provider, not by their Base64 size.
    return Billing::estimatedTokens(textCharacters) + std::int64_t(images) * 1000;
}

json ChatRequest::upstreamBody(const Config &config, const std::string &providerModel,
                               std::int64_t answerTokens) && {
    json body{{"model", providerModel},
              {"messages", std::move(messages)},
              {"stream", stream},
              {"temperature", temperature},
              {"max_tokens", answerTokens}};
    if (stream && config.providerStreamUsage)
        body["stream_options"] = json{{"include_usage", true}};
    return body;
}

} // namespace pindle
