#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pindle {

struct FormPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string data;
};

/// The parts of a multipart/form-data body, or nothing when it is malformed.
[[nodiscard]] std::optional<std::vector<FormPart>> parseMultipart(std::string_view contentType,
                                                                  std::string_view body);
/// The fields of an application/x-www-form-urlencoded body.
[[nodiscard]] std::map<std::string, std::string> parseUrlEncoded(std::string_view body);
/// Text made safe to place inside HTML.
[[nodiscard]] std::string escapeHtml(std::string_view text);

} // namespace pindle
