// Pindle's entry point. Until the overlay arrives this is a small terminal front end over the
// same services the desktop client uses: it shows the configuration and can ask one question.

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
    AuthService auth{secrets};
    BackendConfig backend = BackendConfig::builtIn();
    ChatGPTService chat{network, auth, settings, backend};
};

QCoro::Task<int> showStatus(Services &services) {
    const bool signedIn = (co_await services.auth.getToken()).has_value();
    out() << "Pindle " << QCoreApplication::applicationVersion() << '\n'
          << "  backend:   " << services.backend.baseUrl().toString() << '\n'
          << "  settings:  " << services.settings.filePath() << '\n'
          << "  model:     " << services.settings.model() << '\n'
          << "  category:  " << services.settings.selectedCategory() << '\n'
          << "  signed in: " << (signedIn ? "yes" : "no") << '\n'
          << "\nAsk a question: pindle ask \"What is the capital of France?\"\n";
    if (!services.settings.storageError().isEmpty())
        err() << services.settings.storageError() << '\n';
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
        co_await services.chat.streamChatCompletion(messages, services.settings.selectedCategory(),
                                                    print);
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
    } else {
        err() << "Usage: pindle [ask QUESTION]\n";
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
