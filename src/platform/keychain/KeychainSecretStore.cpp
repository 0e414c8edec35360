#include "platform/keychain/KeychainSecretStore.h"

#include <QCoroSignal>
#include <qt6keychain/keychain.h>

#include <memory>

// Holds one place in the queue for the duration of an operation; leaving hands the store on.
class KeychainSecretStore::Turn final {
public:
    explicit Turn(KeychainSecretStore *store)
        : m_store(store)
        , m_ticket(store->m_nextTicket++) {}
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;
    ~Turn() {
        ++m_store->m_serving;
        Q_EMIT m_store->turnFinished();
    }
    [[nodiscard]] quint64 ticket() const { return m_ticket; }

private:
    KeychainSecretStore *m_store;
    quint64 m_ticket;
};

namespace {

template <typename JobType> auto makeJob(const QString &service, const QString &account) {
    auto job = std::make_unique<JobType>(service);
    job->setAutoDelete(false);
    job->setKey(account);
    // Never fall back to a plain-text settings file when no Secret Service is running.
    job->setInsecureFallback(false);
    return job;
}

QCoro::Task<> run(QKeychain::Job &job) {
    auto finished = qCoro(&job, &QKeychain::Job::finished);
    job.start();
    co_await std::move(finished);
}

} // namespace

KeychainSecretStore::KeychainSecretStore(QObject *parent)
    : QObject(parent) {}

QCoro::Task<> KeychainSecretStore::waitForTurn(quint64 ticket) {
    while (m_serving != ticket)
        co_await qCoro(this, &KeychainSecretStore::turnFinished);
}

QCoro::Task<std::optional<QByteArray>> KeychainSecretStore::readSecret(QString service,
                                                                       QString account) {
    const Turn turn(this);
    co_await waitForTurn(turn.ticket());
    auto job = makeJob<QKeychain::ReadPasswordJob>(service, account);
    co_await run(*job);
    if (job->error() != QKeychain::NoError)
        co_return std::nullopt;
    co_return job->binaryData();
}

QCoro::Task<> KeychainSecretStore::writeSecret(QString service, QString account,
                                               QByteArray secret) {
    const Turn turn(this);
    co_await waitForTurn(turn.ticket());
    auto job = makeJob<QKeychain::WritePasswordJob>(service, account);
    // Stored as text so other Secret Service tools show the token as it is.
    job->setTextData(QString::fromUtf8(secret));
    co_await run(*job);
}

QCoro::Task<> KeychainSecretStore::deleteSecret(QString service, QString account) {
    const Turn turn(this);
    co_await waitForTurn(turn.ticket());
    auto job = makeJob<QKeychain::DeletePasswordJob>(service, account);
    co_await run(*job);
}
