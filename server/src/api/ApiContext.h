#pragma once

#include "AttemptLimits.h"
#include "Config.h"
#include "Credentials.h"
#include "ModelProvider.h"
#include "Store.h"
#include "WorkerPool.h"
#include "api/Billing.h"
#include "api/HttpExchange.h"
#include "api/ModelDirectory.h"

#include <memory>
#include <optional>
#include <string>

namespace pindle {

/// What the API's handlers share: the settings, the store and the threads it is used on, the
/// model provider, the balance keeping, and the counts that slow down guessing and bulk sign-ups.
/// One lives as long as the server; handlers may run on several workers at once.
struct ApiContext final {
    ApiContext(Config config, Store &store, WorkerPool &workers, WorkerPool &hashing,
               ModelProvider &provider, Ledger &ledger);

    /// The signed-in user a request's bearer token names, if its session is still valid. Blocks.
    [[nodiscard]] std::optional<User> authenticate(const HttpRequest &request);
    /// Ends the session a request's bearer token names, if any; false when it carries none.
    /// Blocks.
    bool endSession(const HttpRequest &request);
    /// A new session for `user`; returns its bearer token. Blocks.
    [[nodiscard]] std::string sessionFor(const User &user);

    const Config config;
    Store &store;
    WorkerPool &workers;
    WorkerPool &hashing;
    ModelProvider &provider;
    /// What clients may choose from.
    ModelDirectory models;
    Billing billing;
    PasswordHasher hasher;
    /// Checked against when the e-mail address is unknown, so that costs a wrong password's time.
    const std::string decoyHash;
    /// Shared with the other servers on the same database, where there are any.
    const std::unique_ptr<AttemptLimits> limits;
};

} // namespace pindle
