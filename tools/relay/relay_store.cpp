#include "relay_store.h"

#include <fstream>
#include <sstream>

namespace relay {

namespace {

// A prepared statement with bound texts, finalised on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement& bind(int i, const std::string& text)
    {
        sqlite3_bind_text(m_stmt, i, text.c_str(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, long long value)
    {
        sqlite3_bind_int64(m_stmt, i, value);
        return *this;
    }
    bool ok() const { return m_stmt != nullptr; }
    int step() { return m_stmt ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    std::string text(int column) const
    {
        const unsigned char* t = sqlite3_column_text(m_stmt, column);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    long long integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace

int pistolFor(const std::string& gunType)
{
    return gunType == "Air Pistol" || gunType == "Pistol" ? 1 : 0;
}

Store::Store(const std::string& path)
{
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 3000);
    const bool created = exec("CREATE TABLE IF NOT EXISTS projectiles (name TEXT, caliber TEXT, metric TEXT)") &&
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

bool Store::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = message ? message : "failed";
    sqlite3_free(message);
    return false;
}

std::vector<Projectile> Store::projectiles()
{
    std::vector<Projectile> result;
    Statement s(m_db, "SELECT name, caliber, metric FROM projectiles ORDER BY rowid");
    while (s.step() == SQLITE_ROW)
        result.push_back({s.text(0), s.text(1), s.text(2)});
    return result;
}

std::vector<Gun> Store::guns()
{
    std::vector<Gun> result;
    Statement s(m_db, "SELECT make, model, pistol FROM guns ORDER BY rowid");
    while (s.step() == SQLITE_ROW)
        result.push_back({s.text(0), s.text(1), int(s.integer(2))});
    return result;
}

bool Store::publishProjectile(const Projectile& p)
{
    return Statement(m_db, "INSERT INTO projectiles VALUES (?, ?, ?)").bind(1, p.name).bind(2, p.caliber).bind(3, p.metric).step() ==
           SQLITE_DONE;
}

bool Store::publishGun(const Gun& g)
{
    return Statement(m_db, "INSERT INTO guns VALUES (?, ?, ?)").bind(1, g.make).bind(2, g.model).bind(3, g.pistol).step() ==
           SQLITE_DONE;
}

bool Store::importSeed(const std::string& folder)
{
    auto rows = [](const std::string& file) {
        std::vector<std::vector<std::string>> result;
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#')
                continue;
            std::vector<std::string> fields;
            std::stringstream cells(line);
            std::string cell;
            while (std::getline(cells, cell, '\t'))
                fields.push_back(cell);
            result.push_back(fields);
        }
        return result;
    };
    exec("BEGIN");
    bool ok = true;
    for (const auto& r : rows(folder + "/projectiles.tsv"))
        ok = r.size() >= 3 && publishProjectile({r[0], r[1], r[2]}) && ok;
    for (const auto& r : rows(folder + "/guns.tsv"))
        ok = r.size() >= 3 && publishGun({r[0], r[1], std::atoi(r[2].c_str())}) && ok;
    exec(ok ? "COMMIT" : "ROLLBACK");
    return ok;
}

bool Store::submit(const Request& r)
{
    const bool gun = r.type == "submitgun";
    const auto field = [&r](const char* name) {
        const auto it = r.fields.find(name);
        return it == r.fields.end() ? std::string() : it->second;
    };
    Statement s(m_db, "INSERT INTO submissions (kind, a, b, c) VALUES (?, ?, ?, ?)");
    s.bind(1, std::string(gun ? "gun" : "projectile"));
    s.bind(2, field(gun ? "guntype" : "pelcaliber"));
    s.bind(3, field(gun ? "gunmake" : "pelmake"));
    s.bind(4, field(gun ? "gunmodel" : "pelweight"));
    return s.step() == SQLITE_DONE;
}

std::vector<Submission> Store::submissions(const std::string& state)
{
    std::vector<Submission> result;
    Statement s(m_db, "SELECT id, kind, a, b, c, state, received FROM submissions WHERE state = ? OR ? = '' ORDER BY id");
    s.bind(1, state).bind(2, state);
    while (s.step() == SQLITE_ROW)
        result.push_back({s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6)});
    return result;
}

bool Store::approve(long long id)
{
    for (const Submission& sub : submissions("pending")) {
        if (sub.id != id)
            continue;
        exec("BEGIN");
        const bool published = sub.kind == "gun" ? publishGun({sub.b, sub.c, pistolFor(sub.a)})
                                                 : publishProjectile({sub.b, sub.a, sub.c});
        const bool marked =
            Statement(m_db, "UPDATE submissions SET state = 'approved' WHERE id = ?").bind(1, id).step() == SQLITE_DONE;
        exec(published && marked ? "COMMIT" : "ROLLBACK");
        return published && marked;
    }
    return false;
}

bool Store::reject(long long id)
{
    Statement s(m_db, "UPDATE submissions SET state = 'rejected' WHERE id = ? AND state = 'pending'");
    s.bind(1, id);
    return s.step() == SQLITE_DONE && sqlite3_changes(m_db) == 1;
}

} // namespace relay
