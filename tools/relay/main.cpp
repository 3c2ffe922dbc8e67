// velmora-relay: the web service a club can run for Velmora's online projectile and gun
// database. It answers "/relay.php" (XML over POST), serves "/tips.php" and "/graphme.php",
// and keeps submissions in a moderation queue until someone approves them.
//
//   velmora-relay [--db FILE] serve [--listen ADDRESS] [--port N] [--seed FOLDER]
//   velmora-relay [--db FILE] list [pending|approved|rejected]
//   velmora-relay [--db FILE] approve ID
//   velmora-relay [--db FILE] reject ID
#include "relay_protocol.h"
#include "relay_store.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <httplib.h>
#include <mutex>
#include <string>

namespace {

const char* kUsage = R"(usage: velmora-relay [--db FILE] COMMAND
  serve [--listen ADDRESS] [--port N] [--seed FOLDER]
        answer Velmora on ADDRESS (127.0.0.1) and port N (8080; 0 picks a free one, printed as
        "LISTENING <port>"); --seed fills an empty list from data/seed
  list [pending|approved|rejected]    the moderation queue (every entry by default)
  approve ID                          publish a pending submission in the next list update
  reject ID                           refuse a pending submission
The database file is relay.db in the current folder unless --db names another.
)";

httplib::Server* g_server = nullptr;

const char* kTipsPage = "<!DOCTYPE html><html><head><title>Velmora tips</title></head><body><h1>Submit a tip</h1>"
                        "<p>Send your tip of the day for Velmora to the people who run this service.</p></body></html>";
const char* kGraphPage = "<!DOCTYPE html><html><head><title>Velmora - Graph Me</title></head><body><h1>Graph Me</h1>"
                         "<p>Upload a Velmora CSV here to get a graph of your string.</p></body></html>";

int serve(relay::Store& store, const std::string& address, int port)
{
    httplib::Server server;
    std::mutex lock;
    server.set_payload_max_length(relay::kMaxRequestBytes);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.Post("/relay.php", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard<std::mutex> guard(lock);
        const auto query = relay::parseRequest(request.body);
        std::string answer;
        if (!query)
            answer = relay::statusAnswer("BAD");
        else if (query->type == "updatelist")
            answer = relay::listAnswer(store.projectiles(), store.guns());
        else
            answer = relay::statusAnswer(store.submit(*query) ? "OK" : "BAD");
        response.set_content(answer, "text/xml");
    });
    server.Get("/tips.php", [](const httplib::Request&, httplib::Response& r) { r.set_content(kTipsPage, "text/html"); });
    server.Get("/graphme.php",
               [](const httplib::Request&, httplib::Response& r) { r.set_content(kGraphPage, "text/html"); });
    const int bound = port == 0 ? server.bind_to_any_port(address) : (server.bind_to_port(address, port) ? port : -1);
    if (bound < 0) {
        std::fprintf(stderr, "velmora-relay: cannot listen on %s:%d\n", address.c_str(), port);
        return 1;
    }
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
        for (; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--listen" && i + 1 < argc)
                address = argv[++i];
            else if (a == "--port" && i + 1 < argc)
                port = std::atoi(argv[++i]);
            else if (a == "--seed" && i + 1 < argc) {
                const std::string folder = argv[++i];
                if (store.projectiles().empty() && store.guns().empty() && !store.importSeed(folder))
                    std::fprintf(stderr, "velmora-relay: cannot read the seed in %s\n", folder.c_str());
            } else {
                std::fputs(kUsage, stderr);
                return 2;
            }
        }
        return serve(store, address, port);
    }
    if (command == "list") {
        const std::string state = i < argc ? argv[i] : "";
        for (const relay::Submission& s : store.submissions(state))
            std::printf("%lld\t%s\t%s\t%s\t%s\t%s\t%s\n", s.id, s.kind.c_str(), s.a.c_str(), s.b.c_str(), s.c.c_str(),
                        s.state.c_str(), s.received.c_str());
        return 0;
    }
    if ((command == "approve" || command == "reject") && i < argc) {
        const long long id = std::atoll(argv[i]);
        const bool done = command == "approve" ? store.approve(id) : store.reject(id);
        if (!done)
            std::fprintf(stderr, "velmora-relay: no pending submission %lld\n", id);
        return done ? 0 : 1;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
