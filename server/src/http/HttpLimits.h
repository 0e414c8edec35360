#pragma once

#include "api/SystemPrompt.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pindle {

/// How large a request's head may grow: its target (the URL), its header fields, one by one and
/// in all. Past a limit the request is answered 431. X-Pindle-System-Prompt, which may spell each
/// byte of the longest prompt as %XX, has a limit of its own and counts towards no other.
struct HeadSize {
    static constexpr std::size_t maxTarget = 8 * 1024;
    static constexpr std::size_t maxField = 8 * 1024;
    static constexpr std::size_t maxFields = 100;
    static constexpr std::size_t maxTotal = 32 * 1024;
    static constexpr std::size_t maxPrompt = 3 * SystemPrompt::maxBytes;
    static constexpr std::string_view promptField = "X-Pindle-System-Prompt";

    std::size_t target = 0;
    std::size_t fields = 0;
    /// The longest field line, name and value.
    std::size_t largestField = 0;
    std::size_t total = 0;
    /// The system prompt's value.
    std::size_t prompt = 0;

    [[nodiscard]] bool tooLarge() const {
        return target > maxTarget || fields > maxFields || largestField > maxField ||
               total > maxTotal || prompt > maxPrompt;
    }
};

/// The most a head may hold before http-parser gives up on it (HTTP_MAX_HEADER_SIZE, set at
/// start): room for every limit above at once.
constexpr std::uint32_t parserHeadLimit = 128 * 1024;

/// How many connections may be open at once when the setting leaves it open, under an open-file
/// limit of `fileLimit`: each stream holds two descriptors (its client's and the provider's), and
/// the database, logs and journal keep a few.
[[nodiscard]] std::size_t defaultConnectionCap(std::uint64_t fileLimit);

} // namespace pindle
