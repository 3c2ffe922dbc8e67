#include "relay_service.h"

#include "relay_number.h"
#include "relay_protocol.h"
#include "relay_text.h"

namespace relay {

namespace {

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

Service::Service(Store& store, Limits limits) : m_store(store), m_limits(limits) {}

std::string Service::answer(const std::string& body, const std::string& address, Clock::time_point now)
{
    const auto request = parseRequest(body);
    if (!request)
        return statusAnswer("BAD");
    const std::lock_guard<std::mutex> guard(m_lock);
    if (request->type == "updatelist")
        return updateList();
    const long long pending = m_store.pendingCount();
    if (pending < 0)
        return statusAnswer("BAD", kBusy);
    if (pending >= m_limits.maxPending)
        return statusAnswer("BAD", kQueueFull);
    if (!admit(address, now))
        return statusAnswer("BAD", kTooMany);
    if (!m_store.submit(*request))
        return statusAnswer("BAD", kBusy);
    m_recent[address].push_back(now);
    return statusAnswer("OK");
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
    return found == m_recent.end() || int(found->second.size()) < m_limits.perAddressPerMinute;
}

std::string Service::updateList()
{
    // Both lists from one snapshot: a moderator's commit between them would mix two versions.
    if (!m_store.beginRead())
        return statusAnswer("BAD", kBusy);
    const auto stored = m_store.projectiles();
    const auto storedGuns = stored ? m_store.guns() : std::nullopt;
    m_store.endRead();
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
