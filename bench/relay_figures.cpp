// Figures of the relay service against the real program on loopback: bursts of clients at once,
// and an honest client among a thousand idle and sixty-four slow connections.
#include "figures.h"
#include "http_burst.h"
#include "raw_http.h"
#include "relay_process.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void row(const char* figure, const BurstOutcome& o, size_t clients)
{
    std::printf("| %s | %d of %zu answered, %d reset, %d timed out; slowest %.0f ms | all answered, none reset |\n",
                figure, o.answered, clients, o.reset, o.timedOut, o.slowestMs);
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}


// A thousand idle and sixty-four slow connections (header or body stalled half-way), eight from
// each loopback address as the per-address cap allows; then honest updates one after another.
void slowClientFigures()
{
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR));
    if (!relay.isRunning()) {
        std::printf("| relay with slow clients | did not start | |\n");
        return;
    }
    const double idleRss = relay.memoryMiB("VmRSS");
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 1064; ++i) {
        held.push_back(std::make_unique<RawConnection>(relay.port(), "127.0.8." + std::to_string(1 + i / 8)));
        if (i >= 1000 && i < 1032)
            held.back()->send("POST /relay.php HTTP/1.1\r\nHost: h\r\nCont");
        else if (i >= 1032)
            held.back()->send("POST /relay.php HTTP/1.1\r\nContent-Length: 1000\r\n\r\n<query>");
    }
    const long opened = std::count_if(held.begin(), held.end(), [](const auto& c) { return c->isOpen(); });
    std::vector<double> times;
    int failed = 0;
    const std::string update = relayPost("<query><type>updatelist</type></query>");
    for (int i = 0; i < 100 && failed < 5; ++i) {
        const Clock::time_point start = Clock::now();
        RawConnection honest(relay.port());
        // Velmora gives an update 10 s.
        const std::string answer = honest.send(update) ? honest.readAnswer(10000) : std::string();
        if (bodyOf(answer).find("<status>OK</status>") == std::string::npos)
            ++failed;
        else
            times.push_back(msSince(start));
    }
    const double rss = relay.memoryMiB("VmRSS");
    const long stillOpen = std::count_if(held.begin(), held.end(), [](const auto& c) { return !c->closedWithin(0); });
    std::sort(times.begin(), times.end());
    std::printf("| relay: honest update with %ld idle or slow connections open (median, worst of %zu) | %.1f ms, "
                "%.1f ms; %d failed | < 1000 ms |\n",
                opened, times.size(), times.empty() ? 0 : times[times.size() / 2], times.empty() ? 0 : times.back(),
                failed);
    std::printf("| relay: memory with them open (%ld still open) | %.1f MiB resident (%.1f MiB before them) | "
                "reported |\n",
                stillOpen, rss, idleRss);
    const Clock::time_point stop = Clock::now();
    kill(pid_t(relay.processId()), SIGTERM);
    const bool clean = relay.exitsCleanlyWithin(60000);
    std::printf("| relay: SIGTERM to exit with them open | %.0f ms%s | < 1000 ms |\n", msSince(stop),
                clean ? "" : " (not a clean exit)");
}

} // namespace

void relayFigures()
{
    if (qEnvironmentVariableIsEmpty("VELMORA_BIN"))
        qputenv("VELMORA_BIN", QCoreApplication::applicationDirPath().toLocal8Bit());
    // Every idle client holds a descriptor here too.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    slowClientFigures();
    // The bursts all come from one address: the per-address connection cap is lifted.
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR),
                       {QStringLiteral("--connections-per-address"), QStringLiteral("0")});
    if (!relay.isRunning()) {
        std::printf("| relay service | did not start | |\n");
        return;
    }
    const std::vector<std::string> updates(1000, "<query><type>updatelist</type></query>");
    row("relay: 1000 clients at once asking for the lists",
        httpBurst(relay.port(), "/relay.php", updates, false, 30000), updates.size());
    row("relay: the same, every client keeping its connection open",
        httpBurst(relay.port(), "/relay.php", updates, true, 30000), updates.size());
    std::vector<std::string> submissions;
    for (int i = 0; i < 300; ++i)
        submissions.push_back("<query><type>submitgun</type><guntype>Air Rifle</guntype><gunmake>M" +
                              std::to_string(i) + "</gunmake><gunmodel>X</gunmodel></query>");
    const BurstOutcome o = httpBurst(relay.port(), "/relay.php", submissions, false, 30000);
    const auto queued = std::count(o.bodies.begin(), o.bodies.end(), "<Response><status>OK</status></Response>");
    std::printf("| relay: 300 submissions at once from one address | %d answered, %ld queued, %ld refused | 20 a "
                "minute queued |\n",
                o.answered, long(queued), long(o.answered - queued));
}
