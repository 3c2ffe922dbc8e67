#pragma once

#include "relay_store.h"

#include <chrono>
#include <cstddef>
#include <deque>
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
    // Submissions accepted from one client (an IPv4 address, or an IPv6 /64) within any minute.
    int perAddressPerMinute = 20;
};

inline constexpr const char* kQueueFull = "the moderation queue is full, try again later";
inline constexpr const char* kTooMany = "too many submissions from this address, try again in a minute";
inline constexpr const char* kBusy = "the database is busy, try again later";

class Service {
public:
    using Clock = std::chrono::steady_clock;
    Service(Store& store, Limits limits);

    // The XML answer to `body` sent from the client `address` at `now` (see clientKey()); safe to
    // call from several threads. An update that cannot read the whole published list, or a
    // submission that cannot be kept, is answered BAD.
    std::string answer(const std::string& body, const std::string& address, Clock::time_point now);

    // Published entries an update leaves out because Velmora could not read their numbers
    // (stored by an older relay), one line each; nothing when the lists cannot be read.
    std::optional<std::vector<std::string>> unreadablePublished();

private:
    bool admit(const std::string& address, Clock::time_point now);
    std::string updateList();

    Store& m_store;
    Limits m_limits;
    std::mutex m_lock;
    std::map<std::string, std::deque<Clock::time_point>> m_recent; // accepted submissions by address
};

} // namespace relay
