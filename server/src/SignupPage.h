#pragma once

#include <string>

namespace pindle {

/// The sign-up page: the form, carrying `formToken` in a hidden field, with an error line above
/// it when `error` is set and the name and e-mail address filled back in, or a success message
/// for `createdEmail` instead of the form. Served under webPagePolicy().
[[nodiscard]] std::string signupPage(const std::string &formToken, const std::string &error,
                                     const std::string &createdEmail, const std::string &name = {},
                                     const std::string &email = {});

} // namespace pindle
