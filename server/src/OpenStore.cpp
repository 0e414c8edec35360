#include "OpenStore.h"

#include "PostgresStore.h"
#include "SqliteStore.h"

namespace pindle {

namespace {

bool startsWith(const std::string &text, std::string_view prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::unique_ptr<Store> openStore(const std::string &database, int connections) {
    if (startsWith(database, "postgresql://") || startsWith(database, "postgres://") ||
        database.find("host=") != std::string::npos ||
        database.find("dbname=") != std::string::npos)
        return std::make_unique<PostgresStore>(database, connections);
    if (database.empty())
        return std::make_unique<SqliteStore>(SqliteStore::defaultPath());
    if (startsWith(database, "sqlite:"))
        return std::make_unique<SqliteStore>(database.substr(7));
    return std::make_unique<SqliteStore>(database);
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
