#include "api/PasswordCheck.h"

namespace pindle {

PasswordCheck checkPassword(ApiContext &context, const std::string &email,
                            const std::string &password, const std::string &clientAddress) {
    using Limits = AttemptLimits;
    AttemptLimits &limits = *context.limits;
    const std::string account = normalizedEmail(email);
    const std::string accountHere = account + " " + clientAddress;
    const std::int64_t now = nowSeconds();
    if (limits.blocked(Limits::failuresByAccountAndAddress, accountHere, now) ||
        limits.blocked(Limits::failuresByAddress, clientAddress, now) ||
        (limits.blocked(Limits::failuresByAccount, account, now) &&
         !limits.knows(account, clientAddress, now)))
        return {PasswordCheck::Outcome::TooManyFailures, std::nullopt};
    std::optional<User> user = context.store.findUserByEmail(email);
    // An unknown address costs as much time as a wrong password, so neither gives the other away.
    const bool matches =
        context.hasher.verify(password, user ? user->passwordHash : context.decoyHash) &&
        user.has_value();
    if (!matches) {
        const std::int64_t failedAt = nowSeconds();
        limits.record(Limits::failuresByAccountAndAddress, accountHere, failedAt);
        limits.record(Limits::failuresByAccount, account, failedAt);
        limits.record(Limits::failuresByAddress, clientAddress, failedAt);
        return {PasswordCheck::Outcome::Wrong, std::nullopt};
    }
    limits.clear(Limits::failuresByAccountAndAddress, accountHere);
    limits.remember(account, clientAddress, nowSeconds());
    return {PasswordCheck::Outcome::Matches, std::move(user)};
}

} // namespace pindle
