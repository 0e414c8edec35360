// pindle-server: the backend Pindle's client talks to. Serves the HTTP API and offers the
// operator commands to manage accounts and check the configuration.

#include "Config.h"
#include "Credentials.h"
#include "OpenStore.h"
#include "Server.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace pindle;

constexpr auto usage = R"(Usage: pindle-server [--config FILE] [COMMAND]

Commands:
  serve                              run the server (the default)
  check-config                       read the configuration and report every problem
  user create EMAIL NAME [BALANCE]   make an account; the password is read from standard input
  user set-balance EMAIL TOKENS      set what an account may spend from now on
                                     (answers still running are paid out of it)
  user add-balance EMAIL TOKENS      add tokens to an account's balance
                                     (answers still running settle as usual)
  user set-plan EMAIL PLAN [--until DATE]
                                     put an account on a plan ("active", "free", ...), until
                                     DATE (YYYY-MM-DD) when given; the client shows both
  user list                          list the accounts and what each may still spend
  user sessions EMAIL                list an account's open sessions: when each started and ends
  user sign-out EMAIL                end every session of an account
  user delete EMAIL [--yes]          delete an account, its sessions and personal data; its
                                     usage records stay, without it. Asks for the e-mail
                                     address again on a terminal; --yes does not ask

  --version                          print the version
  --help                             print this help

The configuration file defaults to $XDG_CONFIG_HOME/pindle/server.json when it exists.
Environment variables override it: PINDLE_LISTEN_ADDRESS, PINDLE_PORT, PINDLE_DATABASE,
PINDLE_PROVIDER_URL, PINDLE_PROVIDER_API_KEY.
)";

std::string readPassword() {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::cerr << "Password: " << std::flush;
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << '\n';
    }
    return password;
}

// A number of tokens as typed: digits only, and no more than a balance may hold.
std::optional<std::int64_t> parseTokens(const std::string &text) {
    if (text.empty() || text.size() > 16 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const std::int64_t value = std::stoll(text);
    if (value > maxTokenBalance)
        return std::nullopt;
    return value;
}

// A time the store wrote, as the operator reads it.
std::string utcTime(std::int64_t seconds) {
    const std::time_t time = seconds;
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

void noAccount(const std::string &email) {
    std::cerr << "No account has the e-mail address " << email << ".\n";
}

// Deleting cannot be undone: the operator types the address again, or a script says --yes.
bool deletionConfirmed(const std::string &email, bool yes) {
    if (yes)
        return true;
    if (!isatty(STDIN_FILENO)) {
        std::cerr << "Deleting an account cannot be undone. Run this on a terminal to confirm, "
                     "or add --yes.\n";
        return false;
    }
    std::cerr << "Deleting " << email
              << " cannot be undone. Type the e-mail address again to confirm: " << std::flush;
    std::string typed;
    std::getline(std::cin, typed);
    if (normalizedEmail(typed) == normalizedEmail(email))
        return true;
    std::cerr << "That is not the same address; nothing was deleted.\n";
    return false;
}

int deleteCommand(Store &store, const std::string &email, bool yes) {
    if (!store.findUserByEmail(email)) {
        noAccount(email);
        return 1;
    }
    if (!deletionConfirmed(email, yes))
        return 2;
    const Deletion deletion = store.deleteUser(email);
    switch (deletion.outcome) {
    case Deletion::Outcome::NoAccount:
        noAccount(email);
        return 1;
    case Deletion::Outcome::AnswersUnderWay:
        std::cerr << email
                  << " has answers under way; nothing was deleted. Try again in a few minutes, "
                     "once they have been charged.\n";
        return 1;
    case Deletion::Outcome::Deleted:
        break;
    }
    std::cout << "Deleted " << email << ". Sessions ended: " << deletion.sessions
              << "; usage records kept without the account: " << deletion.usageRecords << ".\n";
    return 0;
}

const std::string badBalance = "The balance must be a whole number of tokens from 0 to " +
                               std::to_string(maxTokenBalance) + ".\n";

int listUsers(Store &store) {
    for (const User &user : store.listUsers())
        std::cout << user.id << '\t' << user.email << '\t' << user.name << '\t'
                  << user.subscriptionStatus << '\t' << std::max<std::int64_t>(user.tokenBalance, 0)
                  << '\n';
    return 0;
}

int listSessions(Store &store, const std::string &email) {
    const auto sessions = store.listSessions(email, nowSeconds());
    if (!sessions) {
        noAccount(email);
        return 1;
    }
    for (const SessionTimes &session : *sessions)
        std::cout << "started " << utcTime(session.createdAt) << ", ends "
                  << utcTime(session.expiresAt) << '\n';
    return 0;
}

int signOut(Store &store, const std::string &email) {
    const auto ended = store.deleteSessions(email);
    if (!ended) {
        noAccount(email);
        return 1;
    }
    std::cout << "Ended " << *ended << (*ended == 1 ? " session" : " sessions") << " of " << email
              << ".\n";
    return 0;
}

int setBalance(Store &store, const std::string &email, const std::string &tokens) {
    const auto balance = parseTokens(tokens);
    if (!balance) {
        std::cerr << badBalance;
        return 2;
    }
    if (!store.setTokenBalance(email, *balance)) {
        noAccount(email);
        return 1;
    }
    return 0;
}

int addBalance(Store &store, const std::string &email, const std::string &text) {
    const auto tokens = parseTokens(text);
    if (!tokens) {
        std::cerr << (text.starts_with('-') && parseTokens(text.substr(1))
                          ? "Only tokens can be added, not taken away: use set-balance to lower "
                            "a balance.\n"
                          : "The tokens to add must be a whole number from 0 to " +
                                std::to_string(maxTokenBalance) + ".\n");
        return 2;
    }
    switch (store.addTokens(email, *tokens)) {
    case BalanceChange::Made:
        return 0;
    case BalanceChange::NoAccount:
        noAccount(email);
        return 1;
    case BalanceChange::TooLarge:
        std::cerr << "The balance of " << email << " would pass " << maxTokenBalance
                  << " tokens, the most it may hold; nothing was added.\n";
        return 2;
    }
    return 2;
}

// Whether `text` is a date of the calendar as YYYY-MM-DD.
bool isIsoDate(const std::string &text) {
    std::tm date{};
    const char *end = strptime(text.c_str(), "%Y-%m-%d", &date);
    if (!end || *end || text.size() != 10)
        return false;
    std::tm normalised = date; // 2027-02-30 comes back as March the 2nd
    normalised.tm_isdst = -1;
    timegm(&normalised);
    return normalised.tm_mday == date.tm_mday && normalised.tm_mon == date.tm_mon;
}

// user set-plan EMAIL PLAN [--until DATE]
int setPlan(Store &store, const std::vector<std::string> &args) {
    const std::string &email = args[1];
    const std::string &plan = args[2];
    if (plan.empty() || plan.size() > 64 ||
        std::ranges::any_of(plan, [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        std::cerr << "The plan must be a name of 1 to 64 characters, such as active or free.\n";
        return 2;
    }
    std::optional<std::string> until;
    if (args.size() == 5) {
        if (args[3] != "--until" || !isIsoDate(args[4])) {
            std::cerr << "The plan's end must be given as --until YYYY-MM-DD.\n";
            return 2;
        }
        until = args[4];
    }
    if (!store.setPlan(email, plan, until)) {
        noAccount(email);
        return 1;
    }
    std::cout << email << " is on the plan " << plan << (until ? " until " + *until : "") << ".\n";
    return 0;
}

// user create EMAIL NAME [BALANCE]; the password comes from standard input.
int createUser(Store &store, const Config &config, const std::vector<std::string> &args) {
    const std::string &email = args[1];
    const auto balance = args.size() == 4 ? parseTokens(args[3]) : config.signupBalance;
    if (!balance) {
        std::cerr << badBalance;
        return 2;
    }
    const std::string password = readPassword();
    if (const auto problem = passwordProblem(password)) {
        std::cerr << *problem << '\n';
        return 2;
    }
    if (const auto problem = emailProblem(email)) {
        std::cerr << *problem << '\n';
        return 2;
    }
    PasswordHasher hasher;
    NewUser user;
    user.email = email;
    user.name = args[2];
    user.passwordHash = hasher.hash(password);
    user.subscriptionStatus = config.defaultPlan;
    user.tokenBalance = *balance;
    if (!store.createUser(user)) {
        std::cerr << "An account with the e-mail address " << email << " already exists.\n";
        return 1;
    }
    std::cout << "Created " << email << ".\n";
    return 0;
}

int userCommand(const Config &config, const std::vector<std::string> &args) {
    auto store = openStore(config.database);
    const std::string verb = args.empty() ? "" : args[0];
    const std::size_t count = args.size();
    if (verb == "list" && count == 1)
        return listUsers(*store);
    if (verb == "sessions" && count == 2)
        return listSessions(*store, args[1]);
    if (verb == "sign-out" && count == 2)
        return signOut(*store, args[1]);
    if (verb == "delete" && (count == 2 || (count == 3 && args[2] == "--yes")))
        return deleteCommand(*store, args[1], count == 3);
    if (verb == "set-balance" && count == 3)
        return setBalance(*store, args[1], args[2]);
    if (verb == "add-balance" && count == 3)
        return addBalance(*store, args[1], args[2]);
    if (verb == "set-plan" && (count == 3 || count == 5))
        return setPlan(*store, args);
    if (verb == "create" && (count == 3 || count == 4))
        return createUser(*store, config, args);
    std::cerr << usage;
    return 2;
}

// Prints every problem in one report, the database's included, then what is merely risky.
int checkConfig(const std::optional<std::string> &configPath) {
    std::vector<std::string> problems;
    const Config config = Config::read(configPath, problems);
    try {
        (void)openStore(config.database); // reports a bad database setting
    } catch (const std::exception &error) {
        problems.push_back(error.what());
    }
    std::ostream &out = problems.empty() ? std::cout : std::cerr;
    if (problems.empty())
        std::cout << "The configuration is sound"
                  << (configPath ? " (" + *configPath + ")" : std::string(" (defaults)")) << ".\n";
    else
        std::cerr << "Configuration problems:\n";
    for (const std::string &problem : problems)
        std::cerr << problem << '\n';
    for (const std::string &warning : config.warnings())
        out << "Warning: " << warning << '\n';
    if (!config.providerConfigured())
        out << "Note: no model provider is set (provider_url or PINDLE_PROVIDER_URL): chat and "
               "transcription will answer 503.\n";
    return problems.empty() ? 0 : 2;
}

} // namespace

int main(int argc, char *argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> configPath;
    if (args.size() >= 2 && args[0] == "--config") {
        configPath = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else {
        configPath = defaultConfigPath();
    }
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        std::cout << usage;
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::cout << "pindle-server " << PINDLE_VERSION << '\n';
        return 0;
    }

    try {
        initialiseCrypto();
        const std::string command = args.empty() ? "serve" : args[0];
        if (command == "check-config")
            return checkConfig(configPath);
        const Config config = Config::load(configPath);
        if (command == "user")
            return userCommand(config, {args.begin() + 1, args.end()});
        if (command == "serve" && args.size() <= 1)
            return runServer(config);
        std::cerr << usage;
        return 2;
    } catch (const ConfigError &error) {
        std::cerr << "Configuration problems:\n" << error.what() << '\n';
        return 2;
    } catch (const std::exception &error) {
        std::cerr << "pindle-server: " << error.what() << '\n';
        return 1;
    }
}
