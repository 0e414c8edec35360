#pragma once

#include "Store.h"

#include <memory>
#include <optional>
#include <string>

namespace pindle {

/// Opens the store a `database` setting names: a PostgreSQL connection string, "sqlite:PATH", a
/// bare path, or nothing for the default SQLite file. PostgreSQL gets up to `connections`
/// connections, one per thread that may use it at once.
[[nodiscard]] std::unique_ptr<Store> openStore(const std::string &database, int connections = 4);

/// Why an e-mail address or password cannot be used for an account, if it cannot.
[[nodiscard]] std::optional<std::string> emailProblem(const std::string &email);
[[nodiscard]] std::optional<std::string> passwordProblem(const std::string &password);

} // namespace pindle
