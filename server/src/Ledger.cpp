#include "Ledger.h"

#include "Log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

namespace pindle {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto firstRetry = std::chrono::milliseconds(250);
constexpr auto longestRetry = std::chrono::seconds(5);
constexpr auto sweepEvery = std::chrono::seconds(60);

// One journal line. An `open` one was written for an answer still under way when the process
// had to end at once; a settlement of the same reservation written after it replaces it.
json toJson(const Settlement &settlement, bool open = false) {
    json line{{"key", settlement.key},
              {"user", settlement.userId},
              {"reservation", settlement.reservationId},
              {"used", settlement.used},
              {"model", settlement.model},
              {"owner", settlement.owner}};
    if (open)
        line["open"] = true;
    return line;
}

struct JournalLine {
    Settlement settlement;
    bool open = false;
};

std::optional<JournalLine> fromJson(const std::string &line) {
    const json entry = json::parse(line, nullptr, false);
    try {
        // Servers from before reservations were closed by owner wrote none.
        if (entry.is_object())
            return JournalLine{
                {entry.at("key").get<std::string>(), entry.at("user").get<std::int64_t>(),
                 entry.at("reservation").get<std::int64_t>(), entry.at("used").get<std::int64_t>(),
                 entry.at("model").get<std::string>(), entry.value("owner", std::string())},
                entry.value("open", false)};
    } catch (const json::exception &) {
    }
    return std::nullopt;
}

std::string closedReservations(const Released &released, const std::string &whose) {
    return "closed " + std::to_string(released.reservations) +
           (released.reservations == 1 ? " reservation " : " reservations ") + whose +
           ": charged " + std::to_string(released.charged) +
           " tokens for what was streamed, gave back " + std::to_string(released.returned);
}

bool writeAll(int fd, const std::string &text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += size_t(written);
    }
    return true;
}

} // namespace

Ledger::Ledger(Store &store, Options options)
    : m_store(store)
    , m_options(std::move(options)) {
    if (!m_options.journalDirectory.empty()) {
        std::filesystem::create_directories(m_options.journalDirectory);
        std::string owner = m_options.owner;
        std::replace_if(
            owner.begin(), owner.end(), [](char c) { return !std::isalnum((unsigned char)c); },
            '-');
        m_journalPath = m_options.journalDirectory + "/ledger-" + owner + ".journal";
        adoptJournals();
    }
    std::unique_lock lock(m_mutex);
    const bool applied = m_waiting.empty() || applyWaiting(lock);
    lock.unlock();
    // An answer a crashed server left open cannot finish any more: what it streamed is charged
    // and the rest given back. Only after its journal, which knows the exact use, has been read.
    if (m_options.soleServer && applied) {
        if (const Released released = m_store.releaseExpired(LLONG_MAX); released.reservations)
            logLine(closedReservations(released, "the previous server left open"));
    } else {
        sweep();
    }
    m_thread = std::thread([this] { run(); });
}

Ledger::~Ledger() {
    stop(std::chrono::seconds(0));
    if (m_journal >= 0)
        ::close(m_journal); // what it holds is for the next start
}

std::string Ledger::newOwner() {
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    std::random_device random;
    char tag[9];
    std::snprintf(tag, sizeof tag, "%08x", random());
    return std::string(host) + ':' + std::to_string(getpid()) + ':' + tag;
}

std::string Ledger::defaultJournalDirectory() {
    const char *state = std::getenv("XDG_STATE_HOME");
    if (state && *state)
        return std::string(state) + "/pindle";
    const char *home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.local/state/pindle";
}

HeldTokens Ledger::reserve(std::int64_t userId, std::int64_t tokens, const std::string &model) {
    const HeldTokens held = m_store.reserve(userId, tokens, model, m_options.owner,
                                            nowSeconds() + m_options.lifetime.count());
    if (held.id != 0) {
        std::lock_guard lock(m_mutex);
        m_open.emplace(held.id, Open{userId, model, 0});
    }
    return held;
}

void Ledger::progress(std::int64_t reservationId, std::int64_t streamed) {
    std::lock_guard lock(m_mutex);
    if (const auto found = m_open.find(reservationId); found != m_open.end())
        found->second.streamed = streamed;
}

void Ledger::settle(Settlement settlement) {
    std::unique_lock lock(m_mutex);
    if (settlement.reservationId != 0) {
        m_open.erase(settlement.reservationId);
        if (settlement.owner.empty()) // a reservation of this process: its row names it so
            settlement.owner = m_options.owner;
    }
    m_waiting.push_back({std::move(settlement), false});
    if (m_stopped) {
        // Too late for the thread: try once here, and journal what the store does not take.
        if (!applyWaiting(lock))
            journalUnwritten();
        return;
    }
    m_wake.notify_one();
}

std::string Ledger::chargeKey() {
    std::lock_guard lock(m_mutex);
    return 'c' + m_options.owner + '#' + std::to_string(++m_nextCharge);
}

std::size_t Ledger::waiting() {
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

bool Ledger::applyWaiting(std::unique_lock<std::mutex> &lock) {
    // One caller at a time, since each removes from the front what it applied; after stop()
    // settle() may call from any thread.
    if (m_applying)
        return true; // that caller takes what was just added too
    m_applying = true;
    const bool applied = applyBatches(lock);
    m_applying = false;
    return applied;
}

bool Ledger::applyBatches(std::unique_lock<std::mutex> &lock) {
    while (!m_waiting.empty()) {
        // Only this caller removes entries, so the front stays put while the store works. Many
        // answers ending together are charged in one transaction.
        std::vector<Settlement> batch;
        for (auto it = m_waiting.begin(); it != m_waiting.end() && batch.size() < 128; ++it)
            batch.push_back(it->settlement);
        lock.unlock();
        try {
            m_store.settleAll(batch);
        } catch (const StoreError &error) {
            lock.lock();
            if (!m_storeAway)
                logLine(std::string("could not charge for answers: ") + error.what() + "; " +
                        std::to_string(m_waiting.size()) +
                        " charges wait until the database is back");
            m_storeAway = true;
            journalUnwritten();
            return false;
        }
        lock.lock();
        m_waiting.erase(m_waiting.begin(), m_waiting.begin() + std::ptrdiff_t(batch.size()));
    }
    if (m_storeAway)
        logLine("the database is back: every waiting charge has been applied");
    m_storeAway = false;
    if (m_journal >= 0) { // nothing waits: the journal goes until it is needed again
        std::error_code ignored;
        std::filesystem::remove(m_journalPath, ignored);
        ::close(m_journal);
        m_journal = -1;
    }
    return true;
}

std::string Ledger::unwrittenLines() const {
    std::string lines;
    for (const Entry &entry : m_waiting) {
        if (!entry.journaled)
            lines += toJson(entry.settlement).dump() + '\n';
    }
    return lines;
}

void Ledger::journalUnwritten() {
    if (!appendToJournal(unwrittenLines()))
        return;
    for (Entry &entry : m_waiting)
        entry.journaled = true;
}

bool Ledger::appendToJournal(const std::string &lines) {
    if (m_journalPath.empty())
        return false;
    if (m_journal < 0) {
        m_journal = ::open(m_journalPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (m_journal < 0 || flock(m_journal, LOCK_EX | LOCK_NB) != 0) {
            logLine("cannot write the journal " + m_journalPath + ": " + std::strerror(errno));
            if (m_journal >= 0)
                ::close(m_journal);
            m_journal = -1;
            return false;
        }
    }
    if (lines.empty())
        return true;
    if (!writeAll(m_journal, lines) || fdatasync(m_journal) != 0) {
        logLine("cannot write the journal " + m_journalPath + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

void Ledger::journalAndEnd(int status) {
    // Held until the process has ended: no other thread writes, applies or removes the journal
    // halfway.
    m_mutex.lock();
    std::string lines = unwrittenLines();
    for (const auto &[id, open] : m_open)
        lines += toJson({"r" + std::to_string(id), open.userId, id, open.streamed, open.model,
                         m_options.owner},
                        true)
                     .dump() +
                 '\n';
    const std::string counts = std::to_string(m_waiting.size()) + " charges and " +
                               std::to_string(m_open.size()) + " answers under way";
    if (m_waiting.empty() && m_open.empty()) {
        logLine("stopping at once: no charge is waiting");
    } else if (appendToJournal(lines)) {
        for (Entry &entry : m_waiting)
            entry.journaled = true;
        logLine("stopping at once: " + counts + " journaled in " + m_journalPath +
                " for the next start");
    } else {
        logLine("stopping at once: " + counts +
                " could not be journaled; their reservations are released when they expire");
    }
    std::_Exit(status);
}

void Ledger::adoptJournals() {
    // A journal whose lock can be taken belongs to a server that has ended.
    std::vector<std::string> adopted;
    std::vector<JournalLine> lines;
    std::error_code error;
    for (const auto &file :
         std::filesystem::directory_iterator(m_options.journalDirectory, error)) {
        const std::string name = file.path().filename();
        if (name.rfind("ledger-", 0) != 0 || !name.ends_with(".journal"))
            continue;
        const int fd = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::ifstream in(file.path());
            std::size_t read = 0;
            for (std::string line; std::getline(in, line);) {
                if (auto entry = fromJson(line)) {
                    lines.push_back(std::move(*entry));
                    ++read;
                } else if (!line.empty()) {
                    logLine("skipping an unreadable line in the journal " + file.path().string());
                }
            }
            if (read > 0)
                logLine("applying " + std::to_string(read) + " charges journaled in " +
                        file.path().string());
            adopted.push_back(file.path());
        }
        ::close(fd);
    }
    const auto replaced = [&](const JournalLine &open) {
        return std::any_of(lines.begin(), lines.end(), [&](const JournalLine &other) {
            return !other.open && other.settlement.reservationId == open.settlement.reservationId &&
                   other.settlement.owner == open.settlement.owner;
        });
    };
    // Ours now: written to this process's journal before the old ones go.
    std::lock_guard lock(m_mutex);
    for (JournalLine &line : lines) {
        if (!line.open || !replaced(line))
            m_waiting.push_back({std::move(line.settlement), false});
    }
    journalUnwritten();
    for (const std::string &path : adopted) {
        if (path != m_journalPath)
            std::filesystem::remove(path, error);
    }
}

void Ledger::renew() {
    std::vector<Progress> open;
    {
        std::lock_guard lock(m_mutex);
        open.reserve(m_open.size());
        for (const auto &[id, entry] : m_open)
            open.push_back({id, entry.streamed});
    }
    if (open.empty())
        return;
    try {
        m_store.renewReservations(open, nowSeconds() + m_options.lifetime.count());
    } catch (const StoreError &) {
        // Tried again at the next renewal; the reservations outlive a short outage.
    }
}

void Ledger::sweep() {
    try {
        if (const Released released = m_store.releaseExpired(nowSeconds()); released.reservations)
            logLine(closedReservations(released, "whose server stopped renewing them"));
    } catch (const StoreError &) {
    }
}

void Ledger::run() {
    const auto renewEvery =
        std::max<Clock::duration>(m_options.lifetime / 4, std::chrono::seconds(1));
    auto nextRenew = Clock::now() + renewEvery;
    const auto sweepInterval = std::min<Clock::duration>(sweepEvery, m_options.lifetime / 2);
    auto nextSweep = Clock::now() + sweepInterval;
    std::optional<Clock::time_point> retryAt;
    Clock::duration backoff = firstRetry;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (!m_waiting.empty() && (!retryAt || Clock::now() >= *retryAt)) {
            if (applyWaiting(lock)) {
                retryAt.reset();
                backoff = firstRetry;
            } else {
                retryAt = Clock::now() + backoff;
                backoff = std::min<Clock::duration>(backoff * 2, longestRetry);
            }
        }
        if (Clock::now() >= nextRenew) {
            lock.unlock();
            renew();
            lock.lock();
            nextRenew = Clock::now() + renewEvery;
        }
        if (Clock::now() >= nextSweep) {
            lock.unlock();
            sweep();
            lock.lock();
            nextSweep = Clock::now() + sweepInterval;
        }
        const auto until = std::min({nextRenew, nextSweep, retryAt.value_or(nextSweep)});
        m_wake.wait_until(lock, until,
                          [&] { return m_stopping || (!m_waiting.empty() && !retryAt); });
    }
}

void Ledger::stop(std::chrono::milliseconds patience) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    const auto deadline = Clock::now() + patience;
    std::unique_lock lock(m_mutex);
    while (!applyWaiting(lock) && Clock::now() < deadline) {
        lock.unlock();
        std::this_thread::sleep_for(firstRetry);
        lock.lock();
    }
    m_stopped = true;
    if (!m_waiting.empty())
        logLine(std::to_string(m_waiting.size()) + " charges stay in " + m_journalPath +
                " until the next start");
}

} // namespace pindle
