#pragma once

#include "relay_protocol.h"

#include <sqlite3.h>
#include <string>
#include <vector>

// The relay's SQLite file: the published projectiles and guns, and the moderation queue.
namespace relay {

struct Submission {
    long long id = 0;
    std::string kind; // "gun" or "projectile"
    std::string a, b, c; // gun: type, make, model; projectile: calibre, make, grammes
    std::string state;   // "pending", "approved" or "rejected"
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
    // Imports the tab-separated seed files of data/seed (projectiles.tsv, guns.tsv).
    bool importSeed(const std::string& folder);

    bool submit(const Request& request);
    std::vector<Submission> submissions(const std::string& state);
    // Publishes a pending submission; false when there is no such pending one.
    bool approve(long long id);
    bool reject(long long id);

private:
    bool exec(const char* sql);
    sqlite3* m_db = nullptr;
    std::string m_error;
};

// Air Pistol and Pistol are pistols; every other type is not.
int pistolFor(const std::string& gunType);

} // namespace relay
