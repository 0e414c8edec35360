#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pindle {

/// A model the server offers its clients.
struct OfferedModel {
    /// What clients ask for.
    std::string id;
    std::string name;
    std::string description;
    /// Whether it reads pictures: screenshot questions go to such a model.
    bool vision = false;
    /// What the provider is asked for; the id when empty.
    std::string providerModel = {};

    friend bool operator==(const OfferedModel &, const OfferedModel &) = default;
};

/// The models clients may choose from, with the one a new user starts on. Read from the
/// configuration, or from the provider's own list when the configuration says so.
struct ModelOffer {
    std::vector<OfferedModel> models;
    /// The id of the model offered first to new users; one of `models`.
    std::string defaultId;
    /// Whether a model outside the list is passed on as asked: so it is for an installation
    /// whose configuration never named its models.
    bool acceptsOthers = false;

    /// The list clients start from when the operator names none: the catalogue the desktop
    /// client has always offered, each model under its own name at the provider.
    [[nodiscard]] static ModelOffer catalogue();
    /// Whether a model of the catalogue's vendor reads pictures, by its name.
    [[nodiscard]] static bool catalogueVision(std::string_view id);

    [[nodiscard]] const OfferedModel *find(std::string_view id) const;
    /// What to ask the provider for when a client asks for `id`; nothing when it is not offered.
    [[nodiscard]] std::optional<std::string> providerModelFor(const std::string &id) const;
    /// {"models": [{"id", "name", "description", "vision"}], "default": id, "anyModel": bool}
    [[nodiscard]] nlohmann::json toJson() const;

    /// The models a provider's GET /models reply lists ({"data": [{"id": ...}]}), in its order,
    /// named as the catalogue names them where it knows them; those in `vision` (by id) read
    /// pictures, as do the catalogue's. `preferredDefault` stays the default when listed.
    /// Nothing, with the reason in `problem`, when the reply lists no model.
    [[nodiscard]] static std::optional<ModelOffer>
    fromProviderList(std::string_view body, const std::vector<std::string> &vision,
                     const std::string &preferredDefault, std::string &problem);
};

} // namespace pindle
