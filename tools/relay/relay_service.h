#pragma once

#include "relay_http.h"
#include "relay_store.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What the relay answers to one POST of "/relay.php", whatever the HTTP server around it.
namespace relay {

struct Limits {
    // Submissions waiting for a moderator; more are refused until some are approved or rejected.
    long long maxPending = 1000;
    // Submissions accepted from one client (an IPv4 address, or an IPv6 /64) within any minute;
    // 0 takes none.
    int perAddressPerMinute = 20;
};

inline constexpr const char* kQueueFull = "the moderation queue is full, try again later";
inline constexpr const char* kTooMany = "too many submissions from this address, try again in a minute";
inline constexpr const char* kBusy = "the database is busy, try again later";
inline constexpr const char* kDiskFull = "the service's disk is full, try again later";
inline constexpr const char* kNoDatabase = "the service has lost its database, try again later";

class Service {
public:
    using Clock = std::chrono::steady_clock;
    // Updates read through `reader` (a read-only connection to the same file) when there is one,
    // so that they never wait behind a submission being written; otherwise through `store`.
    Service(Store& store, Limits limits, Store* reader = nullptr);

    // The XML answer to `body` sent from the client `address` at `now` (see clientKey()); safe to
    // call from several threads. An update that cannot read the whole published list, or a
    // submission that cannot be kept, is answered BAD. Nothing ("") when the client stops
    // waiting first: past `deadline` (on the steady clock) or once `wanted` says so, nothing is
    // stored, so that a submission its client saw fail is never kept.
    std::string answer(const std::string& body, const std::string& address, Clock::time_point now,
                       Clock::time_point deadline = Clock::time_point::max(),
                       const std::function<bool()>& wanted = {});

    // Problems a person must see (a lost database, a full disk) go here once each time they
    // begin; standard error by default.
    std::function<void(const std::string&)> report;

    // Published entries an update leaves out because Velmora could not read their numbers
    // (stored by an older relay), one line each; nothing when the lists cannot be read.
    std::optional<std::vector<std::string>> unreadablePublished();

private:
    bool admit(const std::string& address, Clock::time_point now);
    std::string updateList(Store& store);
    // The answer for a store that failed, reported when the trouble is new.
    std::string troubleAnswer(Store& store);

    Store& m_store;
    Store* m_reader;
    Limits m_limits;
    std::mutex m_lock;       // the writer's connection
    std::mutex m_readLock;   // the reader's
    std::mutex m_reportLock;
    std::string m_reported;
    std::map<std::string, std::deque<Clock::time_point>> m_recent; // accepted submissions by address
};

// The HTTP server's handler for `service`: refused requests answered at once, updates on the
// readers' lane, submissions on the writer's.
RelayHandler handlerFor(Service& service);

} // namespace relay
