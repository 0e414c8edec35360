#include "services/ModelDirectory.h"

#include "services/AuthService.h"
#include "services/SettingsManager.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QLoggingCategory>
#include <QPointer>

namespace {

Q_LOGGING_CATEGORY(lcModels, "pindle.models")

} // namespace

ModelDirectory::ModelDirectory(QNetworkAccessManager &network, AuthService &auth,
                               SettingsManager &settings, BackendConfig backend, QObject *parent)
    : QObject(parent)
    , m_api(network, std::move(backend))
    , m_auth(auth)
    , m_settings(settings) {}

QCoro::Task<> ModelDirectory::refresh() {
    QPointer self(this);
    const quint64 generation = ++m_generation;
    const QString path = QStringLiteral("/api/models");
    try {
        const std::optional<QString> token = co_await m_auth.getToken();
        if (!self || !token)
            co_return;
        if (const std::optional<QString> refusal = m_api.refusal(path, token)) {
            qCWarning(lcModels).noquote() << "The server's models were not asked for:" << *refusal;
            co_return;
        }
        const ReplyPtr reply = m_api.send(path, token);
        ReplyWatcher watcher(*reply, m_api.config().requestTimeout());
        const QByteArray body = co_await watcher.readAll(maxReplySize);
        if (!self || generation != m_generation)
            co_return;
        if (watcher.transportFailed()) {
            qCWarning(lcModels).noquote()
                << "The server's models could not be fetched:" << watcher.transportErrorText();
            co_return;
        }
        take(watcher.status(), body);
    } catch (const PindleError &error) {
        if (self)
            qCWarning(lcModels).noquote()
                << "The server's models could not be fetched:" << error.message();
    }
}

void ModelDirectory::take(int status, const QByteArray &body) {
    if (status == 404) { // a backend from before the list: the built-in catalogue stands
        m_settings.setOfferedModels(std::nullopt);
        return;
    }
    if (status == 401) // the session check signs the user out
        return;
    if (status != 200) {
        qCWarning(lcModels) << "The server's models could not be fetched: HTTP" << status;
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    QString problem = error.errorString();
    std::optional<OfferedModels> offered;
    if (error.error == QJsonParseError::NoError) {
        problem = QStringLiteral("not a JSON object");
        if (document.isObject())
            offered = OfferedModels::fromJson(document.object(), &problem);
    }
    if (!offered) {
        qCWarning(lcModels).noquote()
            << QStringLiteral("The server's list of models was set aside (%1); the last one "
                              "stands.")
                   .arg(problem);
        return;
    }
    m_settings.setOfferedModels(offered);
}
