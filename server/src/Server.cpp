// The whole server: what it is built from, in the order each part needs the others, and the order
// it stops in.
#include "Server.h"

#include "Ledger.h"
#include "OpenStore.h"
#include "ProviderClient.h"
#include "WorkerPool.h"
#include "api/Api.h"
#include "http/RestinioServer.h"

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace pindle {

namespace {

// Each open stream holds two sockets (client and provider): allow as many as the system does.
// Returns the limit now in force.
std::uint64_t raiseOpenFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 1024;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    return files.rlim_cur;
}

Ledger::Options ledgerOptions(const Config &config, Store &store) {
    Ledger::Options books;
    books.owner = Ledger::newOwner();
    books.lifetime = std::chrono::seconds(config.reservationSeconds);
    books.journalDirectory = config.journalDirectory.empty() ? Ledger::defaultJournalDirectory()
                                                             : config.journalDirectory;
    books.soleServer = store.claimSoleServer();
    return books;
}

// Ended sessions and attempt counts whose window has passed are useless; clears them out now and
// every hour until stopped.
std::jthread startHousekeeping(Store &store) {
    return std::jthread([&store](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any tick;
        std::unique_lock lock(mutex);
        const std::unique_ptr<AttemptLimits> limits = store.attemptLimits();
        while (!stop.stop_requested()) {
            try {
                store.deleteExpiredSessions(nowSeconds());
                limits->prune(nowSeconds());
            } catch (const StoreError &) {
                // The database is unreachable for now; the next round tries again.
            }
            tick.wait_for(lock, stop, std::chrono::hours(1), [] { return false; });
        }
    });
}

// The operator will not wait for the drain: what the ledger holds goes to the journal for the
// next start and the process ends, cutting the open streams, with the status a shell gives a
// process the signal ended. The work under way may be stuck in the database, so nothing is waited
// for.
[[noreturn]] void endAtOnce(Ledger &ledger, int signal) {
    // A third signal, should writing the journal hang, ends the process as it would anyway.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    ledger.journalAndEnd(128 + signal);
}

} // namespace

int runServer(const Config &config) {
    const std::uint64_t fileLimit = raiseOpenFileLimit();
    // The workers, the ledger and the housekeeping may each use the database at once.
    const std::unique_ptr<Store> store = openStore(config.database, config.workerThreads + 2);
    Ledger ledger(*store, ledgerOptions(config, *store));
    const std::jthread housekeeping = startHousekeeping(*store);
    WorkerPool workers(config.workerThreads);
    WorkerPool hashing(2);
    ProviderClient provider;
    Api api(config, *store, workers, hashing, provider, ledger);
    RestinioServer http(config, api, fileLimit);

    // In dependency order: new requests are refused, provider transfers end (their streams get
    // their last lines and settle), the workers drain, the ledger applies every charge (or
    // journals it), and the answers are written. Each step is idempotent.
    const std::function<void()> finishWork = [&] {
        api.refuseNewRequests();
        provider.stop();
        hashing.stop();
        workers.stop();
        ledger.stop(std::chrono::seconds(10));
        if (!http.waitUntilAnswered(std::chrono::seconds(5)))
            std::cerr << "pindle-server: closing with answers still being written" << std::endl;
    };
    const std::function<void(int)> stopAtOnce = [&](int signal) { endAtOnce(ledger, signal); };
    const std::exception_ptr failure = http.serve(finishWork, stopAtOnce);
    finishWork(); // when the server failed to start, nothing ran: this is then immediate
    if (failure)
        std::rethrow_exception(failure);
    return 0;
}

} // namespace pindle
