#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pindle {

/// The user's own system prompt, as earlier clients sent it in X-Pindle-System-Prompt: UTF-8 with
/// every byte outside the URI unreserved characters written as %XX. Clients now send it in the
/// body's "system_prompt", where no proxy's header limit stands in its way.
struct SystemPrompt {
    /// The most the decoded prompt may hold.
    static constexpr std::size_t maxBytes = 16 * 1024;

    /// The decoded prompt; empty when none was sent.
    std::string text;
    /// Why the header cannot be used (one sentence for the client), or empty.
    std::string problem;

    /// Decodes a header value. Printable ASCII other than '%' is taken as it is, since encoders
    /// differ on which reserved characters they escape.
    [[nodiscard]] static SystemPrompt decode(std::string_view header);
};

} // namespace pindle
