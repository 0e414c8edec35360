#include "ModelOffer.h"

#include <algorithm>
#include <array>

namespace pindle {

using nlohmann::json;

namespace {

struct CatalogueEntry {
    const char *id;
    const char *name;
    const char *description;
};

// The desktop client's own list, in its order: what an installation that names no models offers.
constexpr std::array<CatalogueEntry, 14> catalogueEntries{{
    {"gpt-5.5", "GPT-5.5", "Current flagship GPT-5 family model for complex reasoning and coding."},
    {"gpt-5.4", "GPT-5.4", "High-capability GPT-5 family model with lower cost than GPT-5.5."},
    {"gpt-5.4-mini", "GPT-5.4 mini", "Faster, cheaper GPT-5 family model for everyday work."},
    {"gpt-4.1", "GPT-4.1", "Best overall for quality, coding, and instruction following."},
    {"o3", "o3", "Best for deep reasoning and harder multi-step tasks."},
    {"o4-mini", "o4-mini", "Strong reasoning with lower cost and faster responses."},
    {"gpt-4o", "GPT-4o", "Reliable multimodal general-purpose model for text, images, and voice."},
    {"gpt-4.1-mini", "GPT-4.1 mini", "Balanced speed and quality for everyday use."},
    {"gpt-4o-mini", "GPT-4o mini", "Fast and inexpensive for lightweight prompts."},
    {"o3-mini", "o3-mini", "Compact reasoning model for quick analytical tasks."},
    {"gpt-4.1-nano", "GPT-4.1 nano", "Smallest, fastest option for simple low-latency requests."},
    {"gpt-4-turbo", "GPT-4 Turbo",
     "Older high-capability GPT-4 generation kept for compatibility."},
    {"gpt-4", "GPT-4", "Legacy GPT-4 model kept for older workflows."},
    {"gpt-3.5-turbo", "GPT-3.5 Turbo", "Legacy budget model kept for backward compatibility."},
}};

constexpr auto catalogueDefault = "gpt-4.1";

// The most models a provider's list may bring: past this it is not a list for people to pick from.
constexpr size_t maxProviderModels = 200;
constexpr size_t maxModelIdLength = 200;

} // namespace

bool ModelOffer::catalogueVision(std::string_view id) {
    return std::ranges::any_of(std::array<std::string_view, 4>{"gpt-5", "gpt-4o", "gpt-4.1", "o4"},
                               [id](std::string_view prefix) { return id.starts_with(prefix); });
}

ModelOffer ModelOffer::catalogue() {
    ModelOffer offer;
    for (const CatalogueEntry &entry : catalogueEntries)
        offer.models.push_back(
            {entry.id, entry.name, entry.description, catalogueVision(entry.id)});
    offer.defaultId = catalogueDefault;
    offer.acceptsOthers = true;
    return offer;
}

const OfferedModel *ModelOffer::find(std::string_view id) const {
    const auto found =
        std::ranges::find_if(models, [id](const OfferedModel &model) { return model.id == id; });
    return found == models.end() ? nullptr : &*found;
}

std::optional<std::string> ModelOffer::providerModelFor(const std::string &id) const {
    if (const OfferedModel *model = find(id))
        return model->providerModel.empty() ? model->id : model->providerModel;
    if (acceptsOthers)
        return id;
    return std::nullopt;
}

json ModelOffer::toJson() const {
    json list = json::array();
    for (const OfferedModel &model : models)
        list.push_back({{"id", model.id},
                        {"name", model.name},
                        {"description", model.description},
                        {"vision", model.vision}});
    return {{"models", std::move(list)}, {"default", defaultId}, {"anyModel", acceptsOthers}};
}

std::optional<ModelOffer> ModelOffer::fromProviderList(std::string_view body,
                                                       const std::vector<std::string> &vision,
                                                       const std::string &preferredDefault,
                                                       std::string &problem) {
    const json reply = json::parse(body, nullptr, false);
    const auto data = reply.is_object() ? reply.find("data") : reply.end();
    if (!reply.is_object() || data == reply.end() || !data->is_array()) {
        problem = "its reply is not a list of models ({\"data\": [...]})";
        return std::nullopt;
    }
    const ModelOffer known = catalogue();
    ModelOffer offer;
    for (const json &entry : *data) {
        const auto id = entry.is_object() ? entry.find("id") : entry.end();
        if (!entry.is_object() || id == entry.end() || !id->is_string())
            continue;
        const std::string name = id->get<std::string>();
        if (name.empty() || name.size() > maxModelIdLength || offer.find(name))
            continue;
        OfferedModel model{name, name, {}, false};
        if (const OfferedModel *listed = known.find(name))
            model = *listed;
        model.vision = model.vision || std::ranges::find(vision, name) != vision.end();
        offer.models.push_back(std::move(model));
        if (offer.models.size() == maxProviderModels)
            break;
    }
    if (offer.models.empty()) {
        problem = "it lists no models";
        return std::nullopt;
    }
    offer.defaultId = offer.find(preferredDefault) ? preferredDefault : offer.models.front().id;
    return offer;
}

} // namespace pindle
