#pragma once

#include <QByteArray>
#include <QString>

#include <QCoroTask>

#include <optional>

/// A store that keeps one secret per (service, account) pair across launches: the desktop's
/// keychain. Failures are quiet by design: a secret that cannot be read is simply absent, and a
/// write or removal that fails leaves the caller's in-memory copy as the only one.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    /// The stored bytes, or nothing when there is no item or it cannot be read.
    virtual QCoro::Task<std::optional<QByteArray>> readSecret(QString service, QString account) = 0;
    /// Replaces the item with `secret`; there is never more than one per pair.
    virtual QCoro::Task<> writeSecret(QString service, QString account, QByteArray secret) = 0;
    /// Removes the item if there is one.
    virtual QCoro::Task<> deleteSecret(QString service, QString account) = 0;
};
