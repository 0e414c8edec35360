#pragma once

#include "Store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pindle {

/// What the account page shows a signed-in visitor: who they are, their plan, balance and usage,
/// and the forms to change the password, sign out everywhere or delete the account, each
/// carrying `formToken`. A message goes above the form it concerns.
struct AccountView {
    enum class Section { Top, Password, Delete };

    User user;
    /// Tokens charged by day over the last 30 days, newest first.
    std::vector<DailyUsage> usage;
    std::string formToken;
    Section section = Section::Top;
    std::string error;
    std::string notice;
};

/// The account page; served under webPagePolicy().
[[nodiscard]] std::string accountPage(const AccountView &view);

/// The sign-in form of the account pages, with an error or a notice above it and the e-mail
/// address filled back in; offers sign-up when it is open.
[[nodiscard]] std::string signInPage(const std::string &formToken, const std::string &error,
                                     const std::string &notice, const std::string &email,
                                     bool signupOpen);

/// What is left once the account of `email` is deleted: a page saying so.
[[nodiscard]] std::string accountDeletedPage(const std::string &email, bool signupOpen);

/// `number` with its thousands grouped by commas: 1234567 as "1,234,567".
[[nodiscard]] std::string groupedThousands(std::int64_t number);

} // namespace pindle
