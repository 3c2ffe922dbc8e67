#include "relay_store.h"

#include "relay_number.h"
#include "relay_text.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace relay {

namespace {

// A prepared statement with bound values, finalised on scope exit. A statement that could not be
// prepared or bound never runs: step() reports the error instead.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement& bind(int i, const std::string& text)
    {
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_text(m_stmt, i, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, long long value)
    {
        if (m_rc == SQLITE_OK)
            m_rc = sqlite3_bind_int64(m_stmt, i, value);
        return *this;
    }
    int step() { return m_stmt && m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    std::string text(int column) const
    {
        const unsigned char* t = sqlite3_column_text(m_stmt, column);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    long long integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

} // namespace

int pistolFor(const std::string& gunType)
{
    return gunType == "Air Pistol" || gunType == "Pistol" ? 1 : 0;
}

Store::Store(const std::string& path, Open open, int busyMs) : m_path(path), m_busyMs(busyMs)
{
    const int flags = open == Open::ReadOnly ? SQLITE_OPEN_READONLY
                                              : SQLITE_OPEN_READWRITE |
                                                    (open == Open::CreateWhenMissing ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    // The file as it was opened, to notice later when its path leads elsewhere.
    struct stat info {};
    if (!path.empty() && path != ":memory:" && stat(path.c_str(), &info) == 0) {
        m_identified = true;
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
    sqlite3_busy_handler(m_db, &Store::onBusy, this);
    if (open == Open::ReadOnly)
        return;
    // Readers never wait for a writer in this mode, and a moderator's commit never waits for an
    // update being read. Where it cannot be set (another program holds the file, or a file system
    // without shared memory) the old journal stays: slower to share, still correct.
    (void)exec("PRAGMA journal_mode = WAL");
    const bool created =
        exec("CREATE TABLE IF NOT EXISTS projectiles (name TEXT, caliber TEXT, metric TEXT)") &&
        exec("CREATE TABLE IF NOT EXISTS guns (make TEXT, model TEXT, pistol INTEGER)") &&
        exec("CREATE TABLE IF NOT EXISTS submissions (id INTEGER PRIMARY KEY AUTOINCREMENT, kind "
             "TEXT, a TEXT, b TEXT, c TEXT, state TEXT DEFAULT 'pending', received TEXT DEFAULT "
             "CURRENT_TIMESTAMP)");
    if (!created) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

Store::~Store()
{
    sqlite3_close(m_db);
}

int Store::onBusy(void* store, int count)
{
    Store& self = *static_cast<Store*>(store);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0)
        self.m_busySince = now;
    const auto until = std::min(self.m_busySince + std::chrono::milliseconds(self.m_busyMs), self.m_deadline);
    if (now >= until || (self.m_wanted && !self.m_wanted()))
        return 0;
    const auto pause = std::chrono::milliseconds(count < 10 ? 1 : 10);
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, until - now));
    return 1;
}

namespace {

Store::Failure failureOf(int code)
{
    switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return Store::Failure::None;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Store::Failure::Busy;
    case SQLITE_FULL:
        return Store::Failure::DiskFull;
    default:
        return Store::Failure::Other;
    }
}

} // namespace

bool Store::exec(const char* sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        return true;
    m_failure = failureOf(rc);
    m_error = message ? message : "failed";
    sqlite3_free(message);
    return false;
}

bool Store::failed(const char* what)
{
    m_failure = failureOf(sqlite3_extended_errcode(m_db));
    if (m_failure == Failure::None)
        m_failure = Failure::Other;
    m_error = std::string(what) + ": " + sqlite3_errmsg(m_db);
    return false;
}

bool Store::stillAtPath()
{
    if (!m_identified)
        return true;
    struct stat info {};
    if (stat(m_path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        return true;
    m_failure = Failure::Gone;
    m_error = "the database file " + escaped(m_path) + " has been deleted or replaced since it was opened";
    return false;
}

void Store::capPages(long long pages)
{
    Statement(m_db, ("PRAGMA max_page_count = " + std::to_string(pages)).c_str()).step();
}

template <typename Change> bool Store::transaction(Change change)
{
    // IMMEDIATE takes the write lock first (waiting for the busy time-out), so that nothing read
    // inside can be changed by another writer before the commit.
    if (!exec("BEGIN IMMEDIATE")) {
        m_error = "the database is busy or cannot be changed: " + m_error;
        return false;
    }
    if (change() && exec("COMMIT"))
        return true;
    const std::string why = m_error;
    if (!sqlite3_get_autocommit(m_db))
        (void)exec("ROLLBACK");
    m_error = why;
    return false;
}

std::optional<std::vector<Projectile>> Store::projectiles()
{
    std::vector<Projectile> result;
    Statement s(m_db, "SELECT name, caliber, metric FROM projectiles ORDER BY rowid");
    int rc = SQLITE_ERROR;
    while ((rc = s.step()) == SQLITE_ROW)
        result.push_back({s.text(0), s.text(1), s.text(2)});
    if (rc != SQLITE_DONE) {
        failed("the projectiles cannot be read");
        return std::nullopt;
    }
    return result;
}

std::optional<std::vector<Gun>> Store::guns()
{
    std::vector<Gun> result;
    Statement s(m_db, "SELECT make, model, pistol FROM guns ORDER BY rowid");
    int rc = SQLITE_ERROR;
    while ((rc = s.step()) == SQLITE_ROW)
        result.push_back({s.text(0), s.text(1), int(s.integer(2))});
    if (rc != SQLITE_DONE) {
        failed("the guns cannot be read");
        return std::nullopt;
    }
    return result;
}

bool Store::beginRead()
{
    return exec("BEGIN") || failed("the database cannot be read");
}

void Store::endRead()
{
    if (!sqlite3_get_autocommit(m_db))
        (void)exec("COMMIT");
}

bool Store::publishProjectile(const Projectile& p)
{
    return Statement(m_db, "INSERT INTO projectiles VALUES (?, ?, ?)")
                   .bind(1, p.name)
                   .bind(2, p.caliber)
                   .bind(3, p.metric)
                   .step() == SQLITE_DONE ||
           failed("the projectile cannot be published");
}

bool Store::publishGun(const Gun& g)
{
    return Statement(m_db, "INSERT INTO guns VALUES (?, ?, ?)")
                   .bind(1, g.make)
                   .bind(2, g.model)
                   .bind(3, g.pistol)
                   .step() == SQLITE_DONE ||
           failed("the gun cannot be published");
}

bool Store::importSeed(const std::string& folder)
{
    // Every row must be one the relay would accept from a submission; one bad row refuses all.
    using Rows = std::vector<std::pair<int, std::vector<std::string>>>;
    auto read = [this](const std::string& file, Rows& rows) {
        std::ifstream in(file);
        if (!in) {
            m_error = "cannot read " + file;
            return false;
        }
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty() || line[0] == '#')
                continue;
            std::vector<std::string> fields;
            std::stringstream cells(line);
            std::string cell;
            while (std::getline(cells, cell, '\t'))
                fields.push_back(cell);
            rows.push_back({number, fields});
        }
        return true;
    };
    auto refuse = [this](const std::string& file, int line, const char* why) {
        m_error = file + " line " + std::to_string(line) + ": " + why;
        return false;
    };
    const std::string projectileFile = folder + "/projectiles.tsv";
    const std::string gunFile = folder + "/guns.tsv";
    Rows projectileRows, gunRows;
    if (!read(projectileFile, projectileRows) || !read(gunFile, gunRows))
        return false;
    std::vector<Projectile> projectiles;
    for (const auto& [line, r] : projectileRows) {
        if (r.size() < 3 || r[0].empty() || !isCleanText(r[0]) || r[0].size() > kMaxFieldChars)
            return refuse(projectileFile, line, "a name, a calibre and a weight are needed");
        const auto calibre = submittedNumber(r[1]);
        const auto weight = submittedNumber(r[2]);
        if (!calibre || !weight)
            return refuse(projectileFile, line, "the calibre or weight is not a number Velmora reads");
        projectiles.push_back({r[0], calibre->text, weight->text});
    }
    std::vector<Gun> guns;
    for (const auto& [line, r] : gunRows) {
        const bool texts = r.size() >= 3 && !r[0].empty() && !r[1].empty() && isCleanText(r[0]) && isCleanText(r[1]) &&
                           r[0].size() <= kMaxFieldChars && r[1].size() <= kMaxFieldChars;
        const auto pistol = texts ? clientNumber(r[2]) : std::nullopt;
        if (!pistol || (pistol->value != 0 && pistol->value != 1))
            return refuse(gunFile, line, "a make, a model and a pistol flag of 0 or 1 are needed");
        guns.push_back({r[0], r[1], int(pistol->value)});
    }
    return transaction([&] {
        bool ok = true;
        for (const Projectile& p : projectiles)
            ok = ok && publishProjectile(p);
        for (const Gun& g : guns)
            ok = ok && publishGun(g);
        return ok;
    });
}

bool Store::submit(const Request& r, const std::function<bool()>& stillWanted)
{
    const bool gun = r.type == "submitgun";
    const auto field = [&r](const char* name) {
        const auto it = r.fields.find(name);
        return it == r.fields.end() ? std::string() : it->second;
    };
    return transaction([&] {
        // Asked with the lock held: nothing can be written between the answer and the insert.
        if (stillWanted && !stillWanted()) {
            m_failure = Failure::Other;
            m_error = "no longer awaited";
            return false;
        }
        Statement s(m_db, "INSERT INTO submissions (kind, a, b, c) VALUES (?, ?, ?, ?)");
        s.bind(1, std::string(gun ? "gun" : "projectile"));
        s.bind(2, field(gun ? "guntype" : "pelcaliber"));
        s.bind(3, field(gun ? "gunmake" : "pelmake"));
        s.bind(4, field(gun ? "gunmodel" : "pelweight"));
        return s.step() == SQLITE_DONE || failed("the submission cannot be kept");
    });
}

std::optional<std::vector<Submission>> Store::submissions(const std::string& state)
{
    std::vector<Submission> result;
    Statement s(m_db,
                "SELECT id, kind, a, b, c, state, received FROM submissions WHERE state = ? OR ? = '' ORDER BY id");
    s.bind(1, state).bind(2, state);
    int rc = SQLITE_ERROR;
    while ((rc = s.step()) == SQLITE_ROW)
        result.push_back({s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6)});
    if (rc != SQLITE_DONE) {
        failed("the submissions cannot be read");
        return std::nullopt;
    }
    return result;
}

long long Store::pendingCount()
{
    Statement s(m_db, "SELECT count(*) FROM submissions WHERE state = 'pending'");
    if (s.step() == SQLITE_ROW)
        return s.integer(0);
    failed("the queue cannot be counted");
    return -1;
}

bool Store::submission(long long id, std::optional<Submission>& found)
{
    Statement s(m_db, "SELECT id, kind, a, b, c, state, received FROM submissions WHERE id = ?");
    s.bind(1, id);
    const int rc = s.step();
    if (rc == SQLITE_ROW)
        found = Submission{s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6)};
    else if (rc == SQLITE_DONE)
        found.reset();
    else
        return failed("the submission cannot be read");
    return true;
}

std::string Store::describe(long long id)
{
    std::optional<Submission> s;
    if (!submission(id, s) || !s)
        return std::to_string(id);
    return std::to_string(id) + " (" + escaped(s->kind) + " " + escaped(s->a) + " / " + escaped(s->b) + " / " +
           escaped(s->c) + ")";
}

bool Store::approve(long long id)
{
    return transaction([&] {
        std::optional<Submission> sub;
        if (!submission(id, sub))
            return false;
        if (!sub || sub->state != "pending") {
            m_error = "no pending submission " + std::to_string(id);
            return false;
        }
        const bool gun = sub->kind == "gun";
        if (!gun) {
            // Kept by an older relay that did not check: only numbers Velmora reads are published.
            const auto calibre = submittedNumber(sub->a);
            const auto weight = submittedNumber(sub->c);
            if (!calibre || !weight) {
                m_error =
                    "submission " + std::to_string(id) + " has a calibre or weight Velmora cannot read: reject it";
                return false;
            }
            sub->a = calibre->text;
            sub->c = weight->text;
        }
        const bool published =
            gun ? publishGun({sub->b, sub->c, pistolFor(sub->a)}) : publishProjectile({sub->b, sub->a, sub->c});
        return published && (Statement(m_db, "UPDATE submissions SET state = 'approved', a = ?, c = ? WHERE id = ?")
                                     .bind(1, sub->a)
                                     .bind(2, sub->c)
                                     .bind(3, id)
                                     .step() == SQLITE_DONE ||
                             failed("the submission cannot be marked approved"));
    });
}

bool Store::unpublish(long long id)
{
    return transaction([&] {
        std::optional<Submission> sub;
        if (!submission(id, sub))
            return false;
        if (!sub || sub->state != "approved") {
            m_error = "no approved submission " + std::to_string(id);
            return false;
        }
        // The published row it became (the latest of equal ones: they cannot be told apart).
        const bool gun = sub->kind == "gun";
        Statement remove(m_db, gun ? "DELETE FROM guns WHERE rowid = (SELECT max(rowid) FROM guns WHERE make = ? "
                                     "AND model = ? AND pistol = ?)"
                                   : "DELETE FROM projectiles WHERE rowid = (SELECT max(rowid) FROM projectiles "
                                     "WHERE name = ? AND caliber = ? AND metric = ?)");
        if (gun)
            remove.bind(1, sub->b).bind(2, sub->c).bind(3, static_cast<long long>(pistolFor(sub->a)));
        else
            remove.bind(1, sub->b).bind(2, sub->a).bind(3, sub->c);
        if (remove.step() != SQLITE_DONE)
            return failed("the published entry cannot be removed");
        if (sqlite3_changes(m_db) != 1) {
            m_error = "submission " + std::to_string(id) + " is no longer in the published list";
            return false;
        }
        Statement mark(m_db, "UPDATE submissions SET state = 'unpublished' WHERE id = ?");
        mark.bind(1, id);
        return mark.step() == SQLITE_DONE || failed("the submission cannot be marked unpublished");
    });
}

long long Store::rejectRange(long long first, long long last)
{
    long long rejected = -1;
    const bool done = transaction([&] {
        Statement s(m_db, "UPDATE submissions SET state = 'rejected' WHERE id BETWEEN ? AND ? AND state = 'pending'");
        s.bind(1, first).bind(2, last);
        if (s.step() != SQLITE_DONE)
            return failed("the submissions cannot be marked rejected");
        rejected = sqlite3_changes64(m_db);
        return true;
    });
    return done ? rejected : -1;
}

bool Store::reject(long long id)
{
    return transaction([&] {
        Statement s(m_db, "UPDATE submissions SET state = 'rejected' WHERE id = ? AND state = 'pending'");
        s.bind(1, id);
        if (s.step() != SQLITE_DONE)
            return failed("the submission cannot be marked rejected");
        if (sqlite3_changes(m_db) == 1)
            return true;
        m_error = "no pending submission " + std::to_string(id);
        return false;
    });
}

} // namespace relay
