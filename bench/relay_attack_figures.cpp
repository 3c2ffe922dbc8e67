// Figures of the relay under hostile clients, each attack with an honest client updating beside
// it: the honest update's latency (median, 90th percentile, worst), the service's CPU per hostile
// request and its memory. VELMORA_BIN may name another build's folder to compare with it.
#include "figures.h"
#include "raw_http.h"
#include "relay_process.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <sys/resource.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const std::string kUpdate = "<query><type>updatelist</type></query>";

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}


// User and system CPU time of a process, in milliseconds.
double cpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

// An honest client updating one request after another (Velmora waits 10 s) until stopped.
class HonestClient {
public:
    HonestClient(int port, std::string from) : m_thread([this, port, from] { run(port, from); }) {}
    ~HonestClient() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    // "median, p90, worst (n answered, m failed)"
    std::string summary()
    {
        stop();
        std::sort(m_times.begin(), m_times.end());
        const auto at = [this](double q) { return m_times.empty() ? 0.0 : m_times[size_t(q * double(m_times.size() - 1))]; };
        char text[160];
        std::snprintf(text, sizeof text, "%.1f, %.1f, %.1f ms (%zu answered, %d failed or over 10 s)", at(0.5), at(0.9),
                      m_times.empty() ? 0.0 : m_times.back(), m_times.size(), m_failed);
        return text;
    }

private:
    void run(int port, const std::string& from)
    {
        while (!m_stop) {
            const Clock::time_point start = Clock::now();
            RawConnection c(port, from);
            const std::string answer = c.send(relayPost(kUpdate)) ? c.readAnswer(10000) : std::string();
            if (bodyOf(answer).find("<status>OK</status>") != std::string::npos)
                m_times.push_back(msSince(start));
            else
                ++m_failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::atomic<bool> m_stop{false};
    std::vector<double> m_times;
    int m_failed = 0;
    std::thread m_thread;
};

std::string manyAttributes()
{
    std::string text = "<query";
    const std::string tail = "><type>updatelist</type></query>";
    for (int i = 0; text.size() + tail.size() + 16 < 65536; ++i)
        text += " a" + std::to_string(i) + "=''";
    return text + tail;
}

// Updates of 64 KiB whose element carries thousands of distinct attributes, sent for 5 s on the
// eight connections one address may hold, each answered before the next is sent.
void parsingAttack()
{
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR));
    if (!relay.isRunning())
        return (void)std::printf("| relay attack: quadratic parsing | did not start | |\n");
    const std::string request = relayPost(manyAttributes());
    HonestClient honest(relay.port(), "127.0.20.1");
    const double cpuBefore = cpuMs(relay.processId());
    int answered = 0;
    const Clock::time_point start = Clock::now();
    while (msSince(start) < 5000) {
        std::vector<std::unique_ptr<RawConnection>> hostile;
        for (int i = 0; i < 8; ++i) {
            hostile.push_back(std::make_unique<RawConnection>(relay.port(), "127.0.21.1"));
            hostile.back()->send(request);
        }
        for (const auto& c : hostile)
            answered += statusOf(c->readAnswer(10000)) == 200;
    }
    const double cpu = cpuMs(relay.processId()) - cpuBefore;
    std::printf("| relay attack: 64 KiB updates of ~7400 attributes on 8 connections for 5 s (%d answered): honest "
                "update median, p90, worst | %s | < 1000 ms |\n",
                answered, honest.summary().c_str());
    std::printf("| relay attack: CPU per such request (honest updates included) | %.2f ms | reported |\n",
                answered ? cpu / answered : 0.0);
}

// A writer holds the database for 4 s while 50 addresses send 8 submissions each and give up
// after 1 s; an honest client updates meanwhile. Afterwards: what was stored of the abandoned.
void abandonedWorkAttack()
{
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR), {QStringLiteral("--per-minute"), QStringLiteral("1000")});
    if (!relay.isRunning())
        return (void)std::printf("| relay attack: abandoned work | did not start | |\n");
    sqlite3* writer = nullptr;
    sqlite3_open(relay.databasePath().toUtf8().constData(), &writer);
    sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    HonestClient honest(relay.port(), "127.0.22.1");
    const Clock::time_point start = Clock::now();
    {
        std::vector<std::unique_ptr<RawConnection>> hostile;
        for (int i = 0; i < 400; ++i) {
            hostile.push_back(std::make_unique<RawConnection>(relay.port(), "127.0.23." + std::to_string(1 + i / 8)));
            hostile.back()->send(relayPost("<query><type>submitgun</type><guntype>Rifle</guntype><gunmake>Flood" +
                                           std::to_string(i) + "</gunmake><gunmodel>X</gunmodel></query>"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    }
    while (msSince(start) < 4000)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    sqlite3_exec(writer, "COMMIT", nullptr, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const std::string during = honest.summary();
    // The address of a hostile client, once its clients have gone.
    const Clock::time_point back = Clock::now();
    RawConnection again(relay.port(), "127.0.23.1");
    const int status = again.send(relayPost(kUpdate)) ? statusOf(again.readAnswer(10000)) : 0;
    const double backMs = msSince(back);
    sqlite3_stmt* count = nullptr;
    sqlite3_prepare_v2(writer, "SELECT count(*) FROM submissions", -1, &count, nullptr);
    const long long stored = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int64(count, 0) : -1;
    sqlite3_finalize(count);
    sqlite3_close(writer);
    std::printf("| relay attack: writer holds the database 4 s, 400 submissions from 50 addresses abandoned after 1 s: "
                "honest update median, p90, worst | %s | < 1000 ms |\n",
                during.c_str());
    std::printf("| relay attack: abandoned submissions stored anyway; a flooding address answered again | %lld of 400; "
                "HTTP %d in %.0f ms | 0; 200 at once |\n",
                stored, status, backMs);
}

// 5000 connections (8 from each of 625 addresses) each send 65535 bytes of a 65536-byte body and
// stall; an honest client updates meanwhile. Peak and after-attack memory of the service.
void memoryAttack()
{
    RelayProcess relay(QStringLiteral(VELMORA_SEED_DIR));
    if (!relay.isRunning())
        return (void)std::printf("| relay attack: memory | did not start | |\n");
    const double before = relay.memoryMiB("VmRSS");
    HonestClient honest(relay.port(), "127.0.30.1");
    const std::string part = "POST /relay.php HTTP/1.1\r\nHost: h\r\nContent-Length: 65536\r\n\r\n" + std::string(65535, ' ');
    std::vector<std::unique_ptr<RawConnection>> hostile;
    int open = 0;
    for (int i = 0; i < 5000; ++i) {
        hostile.push_back(std::make_unique<RawConnection>(relay.port(),
                                                          "127.0." + std::to_string(40 + i / 2000) + "." +
                                                              std::to_string(1 + (i % 2000) / 8)));
        open += hostile.back()->isOpen() && hostile.back()->send(part);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    int refused = 0;
    for (const auto& c : hostile)
        refused += statusOf(c->readAnswer(0)) == 503;
    const double peak = relay.memoryMiB("VmHWM");
    const double held = relay.memoryMiB("VmRSS");
    const std::string during = honest.summary();
    hostile.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const double after = relay.memoryMiB("VmRSS");
    std::printf("| relay attack: 5000 connections each sending 65535 of 65536 bytes (%d sent, %d answered 503): honest "
                "update median, p90, worst | %s | < 1000 ms |\n",
                open, refused, during.c_str());
    std::printf("| relay attack: memory before, held, peak, 3 s after they close | %.1f, %.1f, %.1f, %.1f MiB | peak "
                "well under the unit's MemoryMax=256M |\n",
                before, held, peak, after);
}

} // namespace

void relayAttackFigures()
{
    if (qEnvironmentVariableIsEmpty("VELMORA_BIN"))
        qputenv("VELMORA_BIN", QCoreApplication::applicationDirPath().toLocal8Bit());
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    parsingAttack();
    abandonedWorkAttack();
    memoryAttack();
}
