// velmora-relay: the web service a club can run for Velmora's online projectile and gun
// database. It answers "/relay.php" (XML over POST), serves "/tips.php" and "/graphme.php",
// and keeps submissions in a moderation queue until someone approves them.
//
//   velmora-relay [--db FILE] serve [--listen ADDRESS] [--port N] [--seed FOLDER] [--max-pending N]
//                                   [--per-minute N]
//   velmora-relay [--db FILE] list [pending|approved|rejected|unpublished]
//   velmora-relay [--db FILE] approve ID
//   velmora-relay [--db FILE] reject ID
//   velmora-relay [--db FILE] unpublish ID
#include "relay_protocol.h"
#include "relay_service.h"
#include "relay_store.h"
#include "relay_text.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <httplib.h>
#include <string>
#include <sys/socket.h>

namespace {

const char* kUsage = R"(usage: velmora-relay [--db FILE] COMMAND
  serve [--listen ADDRESS] [--port N] [--seed FOLDER] [--max-pending N] [--per-minute N]
        answer Velmora on ADDRESS (127.0.0.1) and port N (8080; 0 picks a free one, printed as
        "LISTENING <port>"); --seed fills an empty list from data/seed; submissions are refused
        while N (1000) wait for a moderator, and beyond N (20) a minute from one address
  list [pending|approved|rejected|unpublished]
                                      the moderation queue (every entry by default), one line
                                      each, tab-separated, control characters escaped
  approve ID                          publish a pending submission in the next list update
  reject ID                           refuse a pending submission
  unpublish ID                        take an approved submission out of the published list
The database file is relay.db in the current folder unless --db names another.
)";

// Connections waiting to be accepted, and the threads answering them.
constexpr int kBacklog = SOMAXCONN;
constexpr size_t kWorkers = 16;

httplib::Server* g_server = nullptr;

const char* kTipsPage = "<!DOCTYPE html><html><head><title>Velmora tips</title></head><body><h1>Submit a tip</h1>"
                        "<p>Send your tip of the day for Velmora to the people who run this service.</p></body></html>";
const char* kGraphPage = "<!DOCTYPE html><html><head><title>Velmora - Graph Me</title></head><body><h1>Graph Me</h1>"
                         "<p>Upload a Velmora CSV here to get a graph of your string.</p></body></html>";

int serve(relay::Service& service, const std::string& address, int port)
{
    httplib::Server server;
    server.set_payload_max_length(relay::kMaxRequestBytes);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    // One request per connection: an idle kept-alive connection would hold a worker for seconds.
    server.set_keep_alive_max_count(1);
    server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
    int listening = -1;
    server.set_socket_options([&listening](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listening = socket;
    });
    server.Post("/relay.php", [&service](const httplib::Request& request, httplib::Response& response) {
        response.set_content(service.answer(request.body, request.remote_addr, relay::Service::Clock::now()),
                             "text/xml");
    });
    // A body over the limit is refused as any other malformed request, not with an HTTP error.
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request& request, httplib::Response& response) {
            if (response.status != 413 || request.path != "/relay.php")
                return httplib::Server::HandlerResponse::Unhandled;
            response.status = 200;
            response.set_content(relay::statusAnswer("BAD"), "text/xml");
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.Get("/tips.php",
               [](const httplib::Request&, httplib::Response& r) { r.set_content(kTipsPage, "text/html"); });
    server.Get("/graphme.php",
               [](const httplib::Request&, httplib::Response& r) { r.set_content(kGraphPage, "text/html"); });
    const int bound = port == 0 ? server.bind_to_any_port(address) : (server.bind_to_port(address, port) ? port : -1);
    if (bound < 0) {
        std::fprintf(stderr, "velmora-relay: cannot listen on %s:%d\n", address.c_str(), port);
        return 1;
    }
    // The library listens with a backlog of 5, so a burst of clients overflows it and their
    // connections are dropped; listening again on the same socket raises it.
    if (listening < 0 || listen(listening, kBacklog) != 0)
        std::fprintf(stderr, "velmora-relay: cannot raise the listen backlog\n");
    for (const std::string& line : service.unreadablePublished())
        std::fprintf(stderr, "velmora-relay: left out of updates, numbers Velmora cannot read: %s\n", line.c_str());
    std::printf("LISTENING %d\n", bound);
    std::fflush(stdout);
    g_server = &server;
    std::signal(SIGTERM, [](int) {
        if (g_server)
            g_server->stop();
    });
    std::signal(SIGINT, [](int) {
        if (g_server)
            g_server->stop();
    });
    server.listen_after_bind();
    g_server = nullptr;
    return 0;
}

// A whole number from 0 to INT_MAX, or -1.
int count(const char* text)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text && *end == '\0' && value >= 0 && value <= INT_MAX ? int(value) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string db = "relay.db";
    int i = 1;
    if (i + 1 < argc && std::string(argv[i]) == "--db") {
        db = argv[i + 1];
        i += 2;
    }
    if (i >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[i++];
    relay::Store store(db);
    if (!store.ok()) {
        std::fprintf(stderr, "velmora-relay: %s: %s\n", db.c_str(), store.error().c_str());
        return 1;
    }
    if (command == "serve") {
        std::string address = "127.0.0.1";
        int port = 8080;
        relay::Limits limits;
        for (; i < argc; ++i) {
            const std::string a = argv[i];
            const bool valued = i + 1 < argc;
            if (a == "--listen" && valued) {
                address = argv[++i];
            } else if (a == "--port" && valued && count(argv[i + 1]) >= 0 && count(argv[i + 1]) <= 65535) {
                port = count(argv[++i]);
            } else if (a == "--max-pending" && valued && count(argv[i + 1]) >= 0) {
                limits.maxPending = count(argv[++i]);
            } else if (a == "--per-minute" && valued && count(argv[i + 1]) >= 0) {
                limits.perAddressPerMinute = count(argv[++i]);
            } else if (a == "--seed" && valued) {
                const std::string folder = argv[++i];
                if (store.projectiles().empty() && store.guns().empty() && !store.importSeed(folder)) {
                    std::fprintf(stderr, "velmora-relay: seed not imported: %s\n", store.error().c_str());
                    return 1;
                }
            } else {
                std::fputs(kUsage, stderr);
                return 2;
            }
        }
        relay::Service service(store, limits);
        return serve(service, address, port);
    }
    if (command == "list") {
        const std::string state = i < argc ? argv[i] : "";
        for (const relay::Submission& s : store.submissions(state))
            std::printf("%lld\t%s\t%s\t%s\t%s\t%s\t%s\n", s.id, relay::escaped(s.kind).c_str(),
                        relay::escaped(s.a).c_str(), relay::escaped(s.b).c_str(), relay::escaped(s.c).c_str(),
                        relay::escaped(s.state).c_str(), relay::escaped(s.received).c_str());
        return 0;
    }
    if ((command == "approve" || command == "reject" || command == "unpublish") && i < argc) {
        const long long id = std::atoll(argv[i]);
        const bool done = command == "approve"  ? store.approve(id)
                          : command == "reject" ? store.reject(id)
                                                : store.unpublish(id);
        if (!done)
            std::fprintf(stderr, "velmora-relay: %s\n", store.error().c_str());
        return done ? 0 : 1;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
