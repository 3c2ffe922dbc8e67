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
    enum class Open { CreateWhenMissing, ExistingOnly };
    // Opens the file in write-ahead-log mode, so that moderators and the server can use it
    // together; check ok() and error(). A busy database is retried for `busyMs` before a
    // statement fails.
    explicit Store(const std::string& path, Open open = Open::CreateWhenMissing, int busyMs = 3000);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool ok() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }

    // The whole published lists, or nothing (and error()) when they cannot be read whole.
    std::optional<std::vector<Projectile>> projectiles();
    std::optional<std::vector<Gun>> guns();
    // A read transaction around several reads, so that they see one version of the file.
    [[nodiscard]] bool beginRead();
    void endRead();
    [[nodiscard]] bool publishProjectile(const Projectile& p);
    [[nodiscard]] bool publishGun(const Gun& g);
    // Imports the tab-separated seed files of data/seed (projectiles.tsv, guns.tsv), all or
    // nothing: every row must be one the relay would accept (error() names the first bad line).
    [[nodiscard]] bool importSeed(const std::string& folder);

    [[nodiscard]] bool submit(const Request& request);
    // The queue in one state ("" for all), or nothing (and error()) when it cannot be read whole.
    std::optional<std::vector<Submission>> submissions(const std::string& state);
    // Waiting submissions, or -1 (and error()) when they cannot be counted.
    long long pendingCount();
    // Each changes the file in one transaction, or not at all: false (and error()) when there is
    // no such submission in the right state, its numbers cannot be read, or the database failed.
    // Publishes a pending submission with its numbers written with a point.
    [[nodiscard]] bool approve(long long id);
    [[nodiscard]] bool reject(long long id);
    // Takes an approved submission out of the published list again (state "unpublished").
    [[nodiscard]] bool unpublish(long long id);
    // The submission as a moderator reads it: "gun Air Rifle / Make / Model".
    std::string describe(long long id);

private:
    [[nodiscard]] bool exec(const char* sql);
    bool failed(const char* what);
    // Runs `change` inside BEGIN IMMEDIATE ... COMMIT; rolls back when it or the commit fails.
    template <typename Change> bool transaction(Change change);
    // Fills `found`; false only when the database failed (not when there is no such entry).
    bool submission(long long id, std::optional<Submission>& found);
    sqlite3* m_db = nullptr;
    std::string m_error;
};

// Air Pistol and Pistol are pistols; every other type is not.
int pistolFor(const std::string& gunType);

} // namespace relay
