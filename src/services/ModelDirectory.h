#pragma once

#include "services/BackendApi.h"

#include <QObject>

#include <QCoroTask>

class AuthService;
class QNetworkAccessManager;
class SettingsManager;

/// Asks the backend which models it offers (GET /api/models) and keeps its answer in the
/// settings. A backend without the route (404) has no list: the built-in catalogue is used. Any
/// other failure keeps what was stored and is only logged, since the picker still works with it.
class ModelDirectory final : public QObject {
    Q_OBJECT

public:
    /// The list is a small document; more than this is not one.
    static constexpr qsizetype maxReplySize = 1024 * 1024;

    ModelDirectory(QNetworkAccessManager &network, AuthService &auth, SettingsManager &settings,
                   BackendConfig backend, QObject *parent = nullptr);

    /// Asks again; signed out, nothing is asked. Done when the answer is in the settings (or was
    /// set aside); a refresh started later wins over this one.
    QCoro::Task<> refresh();

private:
    void take(int status, const QByteArray &body);

    BackendApi m_api;
    AuthService &m_auth;
    SettingsManager &m_settings;
    quint64 m_generation = 0;
};
