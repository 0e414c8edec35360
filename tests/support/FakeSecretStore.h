#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QTimer>

#include <QCoroTimer>

#include <chrono>

/// A keychain in memory. Each operation completes after `latency`, so tests can interleave them.
class FakeSecretStore final : public SecretStore {
public:
    using Key = std::pair<QString, QString>;
    /// The item the application keeps its sign-in token in.
    static inline const Key token{QStringLiteral("com.pindle.app"),
                                  QStringLiteral("pindle_auth_token")};

    QCoro::Task<std::optional<QByteArray>> readSecret(QString service, QString account) override {
        ++reads;
        co_await pause();
        const auto found = items.constFind({service, account});
        if (found == items.cend())
            co_return std::nullopt;
        co_return *found;
    }

    QCoro::Task<> writeSecret(QString service, QString account, QByteArray secret) override {
        co_await pause();
        items.insert({service, account}, secret);
    }

    QCoro::Task<> deleteSecret(QString service, QString account) override {
        co_await pause();
        items.remove({service, account});
    }

    QHash<Key, QByteArray> items;
    int reads = 0;
    std::chrono::milliseconds latency{0};

private:
    QCoro::Task<> pause() {
        QTimer timer;
        timer.setSingleShot(true);
        timer.start(latency);
        co_await timer;
    }
};
