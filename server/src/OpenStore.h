#pragma once

#include "Store.h"

#include <memory>
#include <string>

namespace pindle {

/// Opens the store a `database` setting names: a PostgreSQL connection string, "sqlite:PATH", a
/// bare path, or nothing for the default SQLite file. PostgreSQL gets up to `connections`
/// connections, one per thread that may use it at once.
[[nodiscard]] std::unique_ptr<Store> openStore(const std::string &database, int connections = 4);

} // namespace pindle
