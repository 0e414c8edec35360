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

std::optional<std::string> emailProblem(const std::string &email) {
    const auto at = email.find('@');
    if (email.size() > 254 || at == std::string::npos || at == 0 || at + 1 >= email.size() ||
        email.find('@', at + 1) != std::string::npos ||
        email.find_first_of(" \t\r\n<>\"") != std::string::npos)
        return "Please enter a valid e-mail address.";
    return std::nullopt;
}

std::optional<std::string> passwordProblem(const std::string &password) {
    if (password.size() < 8)
        return "The password must be at least 8 characters long.";
    if (password.size() > 1024)
        return "The password must be at most 1024 characters long.";
    return std::nullopt;
}

} // namespace pindle
