#pragma once

#include "relay_protocol.h"

#include <optional>
#include <sqlite3.h>
#include <string>
#include <vector>

// The relay's SQLite file: the published projectiles and guns, and the moderation queue.
namespace relay {

struct Submission {
    long long id = 0;
    std::string kind;    // "gun" or "projectile"
    std::string a, b, c; // gun: type, make, model; projectile: calibre, make, grammes
    std::string state;   // "pending", "approved", "rejected" or "unpublished"
    std::string received;
};

class Store {
public:
    // Opens (creating when missing) the file; check ok() and error().
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool ok() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }

    std::vector<Projectile> projectiles();
    std::vector<Gun> guns();
    bool publishProjectile(const Projectile& p);
    bool publishGun(const Gun& g);
    // Imports the tab-separated seed files of data/seed (projectiles.tsv, guns.tsv), all or
    // nothing: every row must be one the relay would accept (error() names the first bad line).
    bool importSeed(const std::string& folder);

    bool submit(const Request& request);
    std::vector<Submission> submissions(const std::string& state);
    long long pendingCount();
    // Publishes a pending submission with its numbers written with a point; false (and error())
    // when there is no such pending one, or its numbers cannot be read.
    bool approve(long long id);
    bool reject(long long id);
    // Takes an approved submission out of the published list again (state "unpublished").
    bool unpublish(long long id);

private:
    bool exec(const char* sql);
    std::optional<Submission> submission(long long id);
    bool setState(long long id, const char* state);
    sqlite3* m_db = nullptr;
    std::string m_error;
};

// Air Pistol and Pistol are pistols; every other type is not.
int pistolFor(const std::string& gunType);

} // namespace relay
