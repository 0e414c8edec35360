#pragma once

#include "platform/SecretStore.h"

#include <QObject>

/// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain.
///
/// Operations run strictly one after another in the order they were asked for, so a read never
/// sees a write half done; one that hangs is given up after 30 seconds. Secrets are UTF-8 text
/// (they are stored as text, so other Secret Service tools show them as they are). Without a Secret
/// Service nothing is stored and reads find nothing; the secret is never written anywhere in plain
/// text instead.
class KeychainSecretStore final : public QObject, public SecretStore {
    Q_OBJECT

public:
    explicit KeychainSecretStore(QObject *parent = nullptr);

    QCoro::Task<std::optional<QByteArray>> readSecret(QString service, QString account) override;
    QCoro::Task<> writeSecret(QString service, QString account, QByteArray secret) override;
    QCoro::Task<> deleteSecret(QString service, QString account) override;

Q_SIGNALS:
    void turnFinished();

private:
    class Turn;
    QCoro::Task<> waitForTurn(quint64 ticket);

    quint64 m_nextTicket = 0;
    quint64 m_serving = 0;
};
