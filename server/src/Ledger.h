#pragma once

#include "Store.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace pindle {

/// Keeps the books of the answers under way so that every token is accounted for: what an
/// answer may cost is set aside as a reservation row this process owns; its settlement closes
/// the row and charges the use in one step. A settlement the store cannot take now waits in a
/// journal file and is applied when the store is back, in this process or the next one. This
/// process renews its open reservations while it runs; any process gives back (charging what
/// was recorded as streamed) those whose owner stopped renewing them.
class Ledger {
public:
    struct Options {
        /// This process, as its reservation rows name it.
        std::string owner;
        /// How long a reservation lasts when its owner stops renewing it.
        std::chrono::seconds lifetime{300};
        /// Where settlements wait for the store; empty keeps them in memory only.
        std::string journalDirectory;
        /// No other server uses the store (an SQLite file this process holds), so reservations
        /// open at start were left by the process this one replaces and are released at once.
        bool soleServer = false;
    };

    /// Applies the settlements earlier processes journaled, then (as soleServer) releases what
    /// they left open. Throws only when the journal directory cannot be used.
    Ledger(Store &store, Options options);
    ~Ledger();
    Ledger(const Ledger &) = delete;
    Ledger &operator=(const Ledger &) = delete;

    /// Sets aside up to `tokens` for an answer (id 0 when the balance is used up). Blocks;
    /// throws StoreError.
    [[nodiscard]] HeldTokens reserve(std::int64_t userId, std::int64_t tokens,
                                     const std::string &model);
    /// Notes how much of an open reservation has been used so far, for a release after a crash.
    void progress(std::int64_t reservationId, std::int64_t streamed);
    /// Charges `settlement` soon, on the ledger's thread; never blocks, never fails.
    void settle(Settlement settlement);
    /// A key no other settlement has, for a charge without a reservation.
    [[nodiscard]] std::string chargeKey();

    /// Applies what waits, trying for up to `patience` while the store is away (what is left
    /// stays journaled for the next start), then ends the thread. Later settlements are applied
    /// at once on the caller's thread.
    void stop(std::chrono::milliseconds patience);
    /// Ends the process at once with `status`: journals every settlement not yet applied, and
    /// for each answer still under way one that charges what it has streamed, for the next
    /// start to apply, and logs what it wrote. Nothing else touches the journal meanwhile.
    [[noreturn]] void journalAndEnd(int status);
    /// Settlements not yet applied.
    [[nodiscard]] std::size_t waiting();

    /// hostname:pid:random, unique among the processes sharing a store.
    [[nodiscard]] static std::string newOwner();
    /// pindle/ in $XDG_STATE_HOME, else ~/.local/state.
    [[nodiscard]] static std::string defaultJournalDirectory();

private:
    struct Entry {
        Settlement settlement;
        bool journaled = false;
    };
    // A reservation this process holds, and how much of it its answer has used so far.
    struct Open {
        std::int64_t userId = 0;
        std::string model;
        std::int64_t streamed = 0;
    };
    void run();
    bool applyWaiting(std::unique_lock<std::mutex> &lock);
    bool applyBatches(std::unique_lock<std::mutex> &lock);
    void renew();
    void sweep();
    void journalUnwritten();
    // The journal lines of the settlements not yet journaled.
    [[nodiscard]] std::string unwrittenLines() const;
    bool appendToJournal(const std::string &lines);
    void adoptJournals();

    Store &m_store;
    const Options m_options;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Entry> m_waiting;
    std::unordered_map<std::int64_t, Open> m_open; // by reservation id
    std::uint64_t m_nextCharge = 0;
    bool m_stopping = false;
    bool m_stopped = false;
    bool m_storeAway = false;
    bool m_applying = false;
    int m_journal = -1;
    std::string m_journalPath;
    std::thread m_thread;
};

} // namespace pindle
