#pragma once

#include "relay_protocol.h"

#include <chrono>
#include <functional>
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
    enum class Open { CreateWhenMissing, ExistingOnly, ReadOnly };
    // Opens the file in write-ahead-log mode, so that moderators and the server can use it
    // together; check ok() and error(). A busy database is retried for `busyMs` before a
    // statement fails. ReadOnly opens an existing file for reading only, as it stands.
    explicit Store(const std::string& path, Open open = Open::CreateWhenMissing, int busyMs = 3000);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool ok() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }

    // Why the last statement failed, as far as its caller can act on it.
    enum class Failure { None, Busy, DiskFull, Gone, Other };
    Failure failure() const { return m_failure; }
    // Whether the file opened is still the one at its path: false (and error()) once it has been
    // deleted, renamed or replaced, when whatever is written would be lost with it.
    [[nodiscard]] bool stillAtPath();
    // Waiting for a busy database also ends at `deadline`, or once `wanted` says the answer is no
    // longer awaited (until the next call).
    void waitNoLongerThan(std::chrono::steady_clock::time_point deadline, std::function<bool()> wanted = {})
    {
        m_deadline = deadline;
        m_wanted = std::move(wanted);
    }
    // Caps the file at `pages` pages: past it a change fails as on a full disk.
    void capPages(long long pages);

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

    // Keeps a submission, in a transaction that first takes the write lock and then asks
    // `stillWanted` (when given): false, keeping nothing, when it says no.
    [[nodiscard]] bool submit(const Request& request, const std::function<bool()>& stillWanted = {});
    // The queue in one state ("" for all), or nothing (and error()) when it cannot be read whole.
    std::optional<std::vector<Submission>> submissions(const std::string& state);
    // Waiting submissions, or -1 (and error()) when they cannot be counted.
    long long pendingCount();
    // Each changes the file in one transaction, or not at all: false (and error()) when there is
    // no such submission in the right state, its numbers cannot be read, or the database failed.
    // Publishes a pending submission with its numbers written with a point.
    [[nodiscard]] bool approve(long long id);
    [[nodiscard]] bool reject(long long id);
    // Rejects every pending submission from `first` to `last` in one transaction; how many, or
    // -1 (and error()) when the database failed.
    long long rejectRange(long long first, long long last);
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
    static int onBusy(void* store, int count);
    sqlite3* m_db = nullptr;
    std::string m_error;
    std::string m_path;
    bool m_identified = false;
    unsigned long long m_device = 0, m_inode = 0;
    int m_busyMs = 0;
    std::chrono::steady_clock::time_point m_busySince;
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    std::function<bool()> m_wanted;
    Failure m_failure = Failure::None;
};

// Air Pistol and Pistol are pistols; every other type is not.
int pistolFor(const std::string& gunType);

} // namespace relay
