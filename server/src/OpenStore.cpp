#include "OpenStore.h"

#include "Log.h"
#include "PostgresStore.h"
#include "SqliteStore.h"

namespace pindle {

namespace {

bool startsWith(const std::string &text, std::string_view prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::unique_ptr<Store> openStore(const std::string &database, int connections) {
    std::unique_ptr<Store> store;
    if (startsWith(database, "postgresql://") || startsWith(database, "postgres://") ||
        database.find("host=") != std::string::npos ||
        database.find("dbname=") != std::string::npos)
        store = std::make_unique<PostgresStore>(database, connections);
    else if (database.empty())
        store = std::make_unique<SqliteStore>(SqliteStore::defaultPath());
    else if (startsWith(database, "sqlite:"))
        store = std::make_unique<SqliteStore>(database.substr(7));
    else
        store = std::make_unique<SqliteStore>(database);
    if (const Released repaired = store->repairedOnOpen(); repaired.reservations > 0)
        logLine("gave back " + std::to_string(repaired.returned) + " tokens held by " +
                std::to_string(repaired.reservations) +
                " reservations that could never be settled: an earlier one had the same id");
    return store;
}

} // namespace pindle
