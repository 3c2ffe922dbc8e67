#include "relay_service.h"

#include "relay_number.h"
#include "relay_protocol.h"
#include "relay_text.h"

#include <cstdio>

namespace relay {

namespace {

// Bounds a store's waiting by one request's client, and no longer than that request.
class WaitingFor {
public:
    WaitingFor(Store& store, Service::Clock::time_point deadline, const std::function<bool()>& wanted)
        : m_store(store)
    {
        m_store.waitNoLongerThan(deadline, wanted);
    }
    ~WaitingFor() { m_store.waitNoLongerThan(Service::Clock::time_point::max()); }
    WaitingFor(const WaitingFor&) = delete;
    WaitingFor& operator=(const WaitingFor&) = delete;

private:
    Store& m_store;
};

// A projectile as an update publishes it: numbers with a point, or nothing when Velmora could not
// read them.
std::optional<Projectile> publishable(const Projectile& p)
{
    const auto calibre = submittedNumber(p.caliber);
    const auto weight = submittedNumber(p.metric);
    if (!calibre || !weight)
        return std::nullopt;
    return Projectile{p.name, calibre->text, weight->text};
}

} // namespace

Service::Service(Store& store, Limits limits, Store* reader)
    : report([](const std::string& line) { std::fprintf(stderr, "velmora-relay: %s\n", line.c_str()); }),
      m_store(store), m_reader(reader), m_limits(limits)
{
}

std::string Service::answer(const std::string& body, const std::string& address, Clock::time_point now,
                            Clock::time_point deadline, const std::function<bool()>& wanted)
{
    const auto request = parseRequest(body);
    if (!request)
        return statusAnswer("BAD");
    const auto waited = [&] { return Clock::now() < deadline && (!wanted || wanted()); };
    if (request->type == "updatelist") {
        Store& store = m_reader ? *m_reader : m_store;
        const std::lock_guard<std::mutex> guard(m_reader ? m_readLock : m_lock);
        if (!waited())
            return {};
        const WaitingFor bounded(store, deadline, wanted);
        return updateList(store);
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    // Another submission may have held the writer until this client stopped waiting.
    if (!waited())
        return {};
    if (!m_store.stillAtPath())
        return troubleAnswer(m_store);
    const WaitingFor bounded(m_store, deadline, wanted);
    const long long pending = m_store.pendingCount();
    if (pending < 0)
        return troubleAnswer(m_store);
    if (pending >= m_limits.maxPending)
        return statusAnswer("BAD", kQueueFull);
    if (!admit(address, now))
        return statusAnswer("BAD", kTooMany);
    if (!m_store.submit(*request, waited))
        return waited() ? troubleAnswer(m_store) : std::string();
    m_recent[address].push_back(now);
    {
        const std::lock_guard<std::mutex> guard(m_reportLock);
        m_reported.clear();
    }
    return statusAnswer("OK");
}

RelayHandler handlerFor(Service& service)
{
    RelayHandler handler;
    // A request refused without the database is answered at once; the rest go to their lane.
    handler.lane = [](const std::string& body) {
        const auto request = parseRequest(body);
        return !request ? Lane::Now : request->type == "updatelist" ? Lane::Read : Lane::Write;
    };
    handler.answer = [&service](const RelayJob& job) {
        return service.answer(job.body, job.key, Service::Clock::now(), job.deadline, job.wanted);
    };
    return handler;
}

std::string Service::troubleAnswer(Store& store)
{
    const Store::Failure failure = store.failure();
    const bool lost = failure == Store::Failure::Gone;
    const char* reason = failure == Store::Failure::DiskFull ? kDiskFull : lost ? kNoDatabase : kBusy;
    if (failure == Store::Failure::DiskFull || lost) {
        const std::lock_guard<std::mutex> guard(m_reportLock);
        if (m_reported != reason && report)
            report(std::string(failure == Store::Failure::DiskFull ? "the disk is full: " : "") + store.error());
        m_reported = reason;
    }
    return statusAnswer("BAD", reason);
}

bool Service::admit(const std::string& address, Clock::time_point now)
{
    // Forget what is older than a minute, and addresses with nothing left, so the map stays small.
    for (auto it = m_recent.begin(); it != m_recent.end();) {
        auto& times = it->second;
        while (!times.empty() && now - times.front() >= std::chrono::minutes(1))
            times.pop_front();
        it = times.empty() ? m_recent.erase(it) : std::next(it);
    }
    const auto found = m_recent.find(address);
    const size_t recent = found == m_recent.end() ? 0 : found->second.size();
    return m_limits.perAddressPerMinute > 0 && recent < size_t(m_limits.perAddressPerMinute);
}

std::string Service::updateList(Store& store)
{
    if (!store.stillAtPath())
        return troubleAnswer(store);
    // Both lists from one snapshot: a moderator's commit between them would mix two versions.
    if (!store.beginRead())
        return statusAnswer("BAD", kBusy);
    const auto stored = store.projectiles();
    const auto storedGuns = stored ? store.guns() : std::nullopt;
    store.endRead();
    // Velmora replaces its tables with what it receives: a short list would empty them.
    if (!stored || !storedGuns)
        return statusAnswer("BAD", kBusy);
    std::vector<Projectile> projectiles;
    for (const Projectile& p : *stored)
        if (const auto published = publishable(p))
            projectiles.push_back(*published);
    std::vector<Gun> guns;
    for (const Gun& g : *storedGuns)
        if (g.pistol == 0 || g.pistol == 1)
            guns.push_back(g);
    return listAnswer(projectiles, guns);
}

std::optional<std::vector<std::string>> Service::unreadablePublished()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto projectiles = m_store.projectiles();
    const auto guns = m_store.guns();
    if (!projectiles || !guns)
        return std::nullopt;
    std::vector<std::string> lines;
    for (const Projectile& p : *projectiles)
        if (!publishable(p))
            lines.push_back("projectile \"" + escaped(p.name) + "\" calibre \"" + escaped(p.caliber) + "\" weight \"" +
                            escaped(p.metric) + "\"");
    for (const Gun& g : *guns)
        if (g.pistol != 0 && g.pistol != 1)
            lines.push_back("gun \"" + escaped(g.make) + "\" \"" + escaped(g.model) + "\" pistol " +
                            std::to_string(g.pistol));
    return lines;
}

} // namespace relay
