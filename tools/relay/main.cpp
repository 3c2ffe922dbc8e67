// velmora-relay: the web service a club can run for Velmora's online projectile and gun database.
// It answers "/relay.php" (XML over POST), serves "/tips.php" and "/graphme.php", and keeps
// submissions in a moderation queue until someone approves them.
#include "relay_http.h"
#include "relay_service.h"
#include "relay_store.h"
#include "relay_text.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const char* kUsage = R"(usage: velmora-relay [--db FILE] COMMAND
  serve [--listen ADDRESS] [--port N] [--seed FOLDER] [--max-pending N] [--per-minute N]
        [--connections-per-address N] [--body-memory MIB]
        answer Velmora on ADDRESS (127.0.0.1) and port N (8080; 0 picks a free one, printed as
        "LISTENING <port>"); --seed fills an empty list from data/seed; submissions are refused
        while N (1000) wait for a moderator, and beyond N (20; 0 takes none) a minute from one
        address; at most N (8; 0 for no cap) connections at once from one address; request
        bodies held together in at most MIB (32) MiB of memory, more answered 503
  init                                create the database file
  list [pending|approved|rejected|unpublished]
                                      the moderation queue (every entry by default), one line
                                      each, tab-separated, control characters escaped
  approve ID                          publish a pending submission in the next list update
  reject ID|FIRST-LAST                refuse a pending submission, or every one from FIRST to LAST
  unpublish ID                        take an approved submission out of the published list
The database file is relay.db in the current folder unless --db names another; only serve and
init create it. An IPv6 address counts with its whole /64 network.
)";

// A moderator's command waits this long for a busy database (the server's updates never block
// it; another moderator's command may) before it gives up and says so.
constexpr int kModeratorBusyMs = 5000;

int usageError(const std::string& why)
{
    std::fprintf(stderr, "velmora-relay: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return 2;
}

// A whole number from 0 to INT_MAX, or -1.
int count(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && value >= 0 && value <= INT_MAX ? int(value) : -1;
}

// An entry's ID: digits only, 1 or more; 0 otherwise.
long long entryId(const std::string& text)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::atoll(text.c_str());
}

bool exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// Idle and slow clients each hold a descriptor: take every one the system allows.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int serve(relay::Store& store, const std::string& db, int argc, char** argv, int i)
{
    std::string address = "127.0.0.1";
    int port = 8080;
    relay::Limits limits;
    relay::HttpLimits httpLimits;
    std::string seed;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        const int value = i + 1 < argc ? count(argv[i + 1]) : -1;
        if (a == "--listen" && i + 1 < argc)
            address = argv[++i];
        else if (a == "--port" && value >= 0 && value <= 65535)
            port = value, ++i;
        else if (a == "--max-pending" && value >= 0)
            limits.maxPending = value, ++i;
        else if (a == "--per-minute" && value >= 0)
            limits.perAddressPerMinute = value, ++i;
        else if (a == "--connections-per-address" && value >= 0)
            httpLimits.connectionsPerClient = value, ++i;
        else if (a == "--body-memory" && value >= 1 && value <= 4096)
            httpLimits.maxBodyBytes = size_t(value) * 1024 * 1024, ++i;
        else if (a == "--seed" && i + 1 < argc)
            seed = argv[++i];
        else
            return usageError("serve does not take \"" + relay::escaped(a) + "\" here");
    }
    if (!seed.empty()) {
        const auto projectiles = store.projectiles();
        const auto guns = store.guns();
        if (!projectiles || !guns) {
            std::fprintf(stderr, "velmora-relay: %s\n", store.error().c_str());
            return 1;
        }
        if (projectiles->empty() && guns->empty() && !store.importSeed(seed)) {
            std::fprintf(stderr, "velmora-relay: seed not imported: %s\n", store.error().c_str());
            return 1;
        }
    }
    // Updates read through a connection of their own, never behind a submission being written.
    relay::Store reader(db, relay::Store::Open::ReadOnly, 3000);
    if (!reader.ok()) {
        std::fprintf(stderr, "velmora-relay: %s: %s\n", relay::escaped(db).c_str(), reader.error().c_str());
        return 1;
    }
    relay::Service service(store, limits, &reader);
    const auto unreadable = service.unreadablePublished();
    if (!unreadable) {
        std::fprintf(stderr, "velmora-relay: %s\n", store.error().c_str());
        return 1;
    }
    for (const std::string& line : *unreadable)
        std::fprintf(stderr, "velmora-relay: left out of updates, numbers Velmora cannot read: %s\n", line.c_str());
    raiseDescriptorLimit();
    // Large request bodies each get pages of their own, returned to the system when the body
    // goes, instead of holes in the heap that an attack would leave behind.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024);
    relay::HttpServer server(relay::handlerFor(service), httpLimits);
    const auto bound = server.listen(address, port);
    if (!bound) {
        std::fprintf(stderr, "velmora-relay: cannot listen on %s:%d: %s\n", address.c_str(), port,
                     server.error().c_str());
        return 1;
    }
    std::printf("LISTENING %d\n", *bound);
    std::fflush(stdout);
    server.run();
    return 0;
}

int list(relay::Store& store, const std::string& state)
{
    if (!state.empty() && state != "pending" && state != "approved" && state != "rejected" && state != "unpublished")
        return usageError("no state \"" + relay::escaped(state) + "\" (pending, approved, rejected or unpublished)");
    const auto entries = store.submissions(state);
    if (!entries) {
        std::fprintf(stderr, "velmora-relay: %s\n", store.error().c_str());
        return 1;
    }
    for (const relay::Submission& s : *entries)
        std::printf("%lld\t%s\t%s\t%s\t%s\t%s\t%s\n", s.id, relay::escaped(s.kind).c_str(),
                    relay::escaped(s.a).c_str(), relay::escaped(s.b).c_str(), relay::escaped(s.c).c_str(),
                    relay::escaped(s.state).c_str(), relay::escaped(s.received).c_str());
    if (entries->empty())
        std::fprintf(stderr, "velmora-relay: no %ssubmissions\n", state.empty() ? "" : (state + " ").c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// "reject FIRST-LAST": every pending submission in the range, in one transaction.
int rejectRange(relay::Store& store, const std::string& range)
{
    const size_t dash = range.find('-');
    const long long first = entryId(range.substr(0, dash));
    const long long last = entryId(range.substr(dash + 1));
    if (first <= 0 || last < first)
        return usageError("not a range of entry IDs: \"" + relay::escaped(range) + "\"");
    const long long rejected = store.rejectRange(first, last);
    if (rejected < 0) {
        std::fprintf(stderr, "velmora-relay: %s not rejected: %s\n", range.c_str(), store.error().c_str());
        return 1;
    }
    std::printf("rejected %lld pending submission%s from %lld to %lld\n", rejected, rejected == 1 ? "" : "s", first,
                last);
    return 0;
}

int moderate(relay::Store& store, const std::string& command, const std::string& idText)
{
    if (command == "reject" && idText.find('-') != std::string::npos)
        return rejectRange(store, idText);
    const long long id = entryId(idText);
    if (id <= 0)
        return usageError("not an entry ID: \"" + relay::escaped(idText) + "\"");
    const std::string entry = store.describe(id);
    const bool done = command == "approve"  ? store.approve(id)
                      : command == "reject" ? store.reject(id)
                                            : store.unpublish(id);
    if (!done) {
        std::fprintf(stderr, "velmora-relay: %s not %s: %s\n", entry.c_str(),
                     command == "approve"  ? "approved"
                     : command == "reject" ? "rejected"
                                           : "unpublished",
                     store.error().c_str());
        return 1;
    }
    std::printf(command == "approve"  ? "approved %s: published in the next update\n"
                : command == "reject" ? "rejected %s\n"
                                      : "unpublished %s: out of the published list from the next update\n",
                entry.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string db = "relay.db";
    int i = 1;
    for (int k = 1; k < argc; ++k)
        if (std::string(argv[k]) == "--help" || std::string(argv[k]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    if (i < argc && std::string(argv[i]) == "--db") {
        if (i + 1 >= argc)
            return usageError("--db needs a file name");
        db = argv[i + 1];
        i += 2;
    }
    if (i >= argc)
        return usageError("no command given");
    const std::string command = argv[i++];
    const bool moderation = command == "approve" || command == "reject" || command == "unpublish";
    if (command != "serve" && command != "init" && command != "list" && !moderation)
        return usageError("unknown command \"" + relay::escaped(command) + "\"");
    if (moderation && argc - i != 1)
        return usageError(command + " takes one entry ID");
    if ((command == "list" && argc - i > 1) || (command == "init" && argc - i != 0))
        return usageError(command + " takes " + (command == "list" ? "at most one state" : "nothing more"));
    // A mistyped --db must not quietly start an empty queue somewhere else.
    const bool creates = command == "serve" || command == "init";
    const bool existed = exists(db);
    if (!creates && !existed) {
        std::fprintf(stderr, "velmora-relay: no database %s (\"velmora-relay --db %s init\" creates one)\n",
                     relay::escaped(db).c_str(), relay::escaped(db).c_str());
        return 1;
    }
    relay::Store store(db, creates ? relay::Store::Open::CreateWhenMissing : relay::Store::Open::ExistingOnly,
                       command == "serve" ? 3000 : kModeratorBusyMs);
    if (!store.ok()) {
        std::fprintf(stderr, "velmora-relay: %s: %s\n", relay::escaped(db).c_str(), store.error().c_str());
        return 1;
    }
    // A database that went missing while it was served is made anew here: say so.
    if (command == "serve" && !existed)
        std::fprintf(stderr, "velmora-relay: created a new, empty database %s\n", relay::escaped(db).c_str());
    if (command == "serve")
        return serve(store, db, argc, argv, i);
    if (command == "init") {
        std::printf(existed ? "%s already exists; its tables are in place\n" : "created %s\n",
                    relay::escaped(db).c_str());
        return 0;
    }
    if (command == "list")
        return list(store, i < argc ? argv[i] : "");
    return moderate(store, command, argv[i]);
}
