#pragma once

#include <string>
#include <string_view>

namespace pindle {

/// The frame of the server's own web pages (sign-up, account): one style sheet, no script and
/// nothing loaded from elsewhere, so one strict policy covers them all. `body` is the HTML inside
/// the page's card; a wide card has room for tables.
[[nodiscard]] std::string webPage(std::string_view title, std::string_view body, bool wide = false);

/// The Content-Security-Policy of those pages: their style sheet, by hash, and forms posting back
/// here; nothing else loads, runs or frames them.
[[nodiscard]] const std::string &webPagePolicy();

/// `<input type="hidden">` carrying the form token that guards a page's forms against other sites.
[[nodiscard]] std::string formTokenField(const std::string &token);

} // namespace pindle
