// Pindle's entry point. Until the overlay arrives this is a small terminal front end over the
// same services the desktop client uses: it shows the configuration and the account, signs in
// and out, and asks one question.

#include "models/ChatMessage.h"
#include "platform/keychain/KeychainSecretStore.h"
#include "services/AuthService.h"
#include "services/BackendConfig.h"
#include "services/ChatGPTService.h"
#include "services/SettingsManager.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTextStream>

#include <QCoroTask>

#include <termios.h>
#include <unistd.h>

namespace {

QTextStream &out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err() {
    static QTextStream stream(stderr);
    return stream;
}

struct Services {
    QNetworkAccessManager network;
    KeychainSecretStore secrets;
    SettingsManager settings{SettingsManager::defaultFilePath()};
    BackendConfig backend = BackendConfig::builtIn();
    AuthService auth{network, secrets, backend};
    ChatGPTService chat{network, auth, settings, backend};
};

QCoro::Task<int> showStatus(Services &services) {
    QString account = QStringLiteral("no");
    try {
        const AuthService::UserInfo user = co_await services.auth.verifyToken();
        account = QStringLiteral("%1 <%2>, %3").arg(user.name, user.email, user.subscriptionStatus);
    } catch (const PindleError &error) {
        if (error.message() != QLatin1String("Not logged in"))
            account = QStringLiteral("unknown (%1)").arg(error.message());
    }
    out() << "Pindle " << QCoreApplication::applicationVersion() << '\n'
          << "  backend:   " << services.backend.baseUrl().toString() << '\n'
          << "  settings:  " << services.settings.filePath() << '\n'
          << "  model:     " << services.settings.model() << '\n'
          << "  category:  " << services.settings.selectedCategory() << '\n'
          << "  signed in: " << account << '\n'
          << "\nCreate an account: " << services.backend.signUpUrl().toString() << '\n'
          << "Sign in:           pindle login you@example.org\n"
          << "Ask a question:    pindle ask \"What is the capital of France?\"\n";
    if (!services.settings.storageError().isEmpty())
        err() << services.settings.storageError() << '\n';
    co_return 0;
}

// The password, typed without echo when it comes from a terminal.
QString readPassword() {
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        err() << "Password: ";
        err().flush();
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QTextStream in(stdin);
    const QString password = in.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err() << '\n';
    }
    return password;
}

QCoro::Task<int> login(Services &services, QString email) {
    try {
        QString password = readPassword();
        const AuthService::UserInfo user = co_await services.auth.login(email, std::move(password));
        out() << "Signed in as " << user.name << " <" << user.email << ">.\n";
        co_return 0;
    } catch (const PindleError &error) {
        err() << error.message() << '\n';
        co_return 1;
    }
}

QCoro::Task<int> logout(Services &services) {
    co_await services.auth.logout();
    out() << "Signed out.\n";
    co_return 0;
}

QCoro::Task<int> ask(Services &services, QString question) {
    const QList<ChatMessage> messages{ChatMessage(QUuid::createUuid(), ChatMessage::Role::User,
                                                  question, QDateTime::currentDateTime())};
    const auto print = [](const QString &token) {
        out() << token;
        out().flush();
    };
    try {
        QString category = services.settings.selectedCategory();
        co_await services.chat.streamChatCompletion(messages, std::move(category), print);
        out() << '\n';
        co_return 0;
    } catch (const PindleError &error) {
        out().flush();
        err() << error.message() << '\n';
        co_return 1;
    }
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pindle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PINDLE_VERSION));

    Services services;
    const QStringList args = QCoreApplication::arguments().mid(1);
    QCoro::Task<int> task;
    if (args.isEmpty()) {
        task = showStatus(services);
    } else if (args.first() == QLatin1String("ask") && args.size() > 1) {
        task = ask(services, args.mid(1).join(u' '));
    } else if (args.first() == QLatin1String("login") && args.size() == 2) {
        task = login(services, args.at(1));
    } else if (args.first() == QLatin1String("logout") && args.size() == 1) {
        task = logout(services);
    } else {
        err() << "Usage: pindle [ask QUESTION | login EMAIL | logout]\n";
        return 2;
    }
    int exitCode = 0;
    QCoro::connect(std::move(task), &app, [&](int code) {
        exitCode = code;
        QCoreApplication::quit();
    });
    app.exec();
    return exitCode;
}
