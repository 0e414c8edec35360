#include "platform/keychain/KeychainSecretStore.h"

#include <QCoroSignal>
#include <qt6keychain/keychain.h>

#include <chrono>
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

// A job can wait for ever: a locked keyring whose unlock prompt is ignored, a hung service.
// Past this the operation counts as failed so later ones are not held up behind it.
constexpr std::chrono::seconds jobTimeout{30};

// False when the job did not finish in time; it then deletes itself whenever it does.
QCoro::Task<bool> run(std::unique_ptr<QKeychain::Job> &job) {
    auto finished =
        qCoro(job.get(), &QKeychain::Job::finished, std::chrono::milliseconds(jobTimeout));
    job->start();
    if (!(co_await std::move(finished)).has_value()) {
        job.release()->setAutoDelete(true);
        co_return false;
    }
    co_return true;
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
    std::unique_ptr<QKeychain::Job> job = makeJob<QKeychain::ReadPasswordJob>(service, account);
    if (!co_await run(job) || job->error() != QKeychain::NoError)
        co_return std::nullopt;
    co_return static_cast<QKeychain::ReadPasswordJob &>(*job).binaryData();
}

QCoro::Task<> KeychainSecretStore::writeSecret(QString service, QString account,
                                               QByteArray secret) {
    const Turn turn(this);
    co_await waitForTurn(turn.ticket());
    auto writer = makeJob<QKeychain::WritePasswordJob>(service, account);
    // Stored as text so other Secret Service tools show the token as it is.
    writer->setTextData(QString::fromUtf8(secret));
    std::unique_ptr<QKeychain::Job> job = std::move(writer);
    co_await run(job);
}

QCoro::Task<> KeychainSecretStore::deleteSecret(QString service, QString account) {
    const Turn turn(this);
    co_await waitForTurn(turn.ticket());
    std::unique_ptr<QKeychain::Job> job = makeJob<QKeychain::DeletePasswordJob>(service, account);
    co_await run(job);
}
