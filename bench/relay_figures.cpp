// Figures of the relay service: bursts of clients at once on loopback, against the real program.
#include "figures.h"
#include "http_burst.h"
#include "relay_process.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>

namespace {

void row(const char* figure, const BurstOutcome& o, size_t clients)
{
    std::printf("| %s | %d of %zu answered, %d reset, %d timed out; slowest %.0f ms | all answered, none reset |\n",
                figure, o.answered, clients, o.reset, o.timedOut, o.slowestMs);
}

} // namespace

void relayFigures()
{
    if (qEnvironmentVariableIsEmpty("VELMORA_BIN"))
        qputenv("VELMORA_BIN", QCoreApplication::applicationDirPath().toLocal8Bit());
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR));
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
