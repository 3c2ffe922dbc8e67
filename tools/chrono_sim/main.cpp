// velmora-chrono-sim: a chronograph on a pseudo-terminal, for demos and end-to-end tests.
//
// It opens a pseudo-terminal pair, prints "PTY <device path>" on its first output line and
// sends live shot lines of a Shooting Chrony or a Combro CB-625 to whoever opens that path.
// See --help for the options and the commands it reads with --stdin.
#include "sim_lines.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sstream>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* kUsage = R"(usage: velmora-chrono-sim [options]
  --family chrony|combro   the chronograph to emulate (default chrony)
  --link PATH              also make PATH a symbolic link to the device
  --shots V1,V2,...        velocities in fps to send, one per pace
  --random N               send N random velocities (with --seed, --min, --max)
  --seed S --min A --max B random generator seed (1) and range in fps (750, 850)
  --pace-ms MS             time between shots (1000)
  --start-delay-ms MS      wait before the first shot (0)
  --combro-length 4|6|7    Combro firmware: characters of its count (4)
  --stdin                  read commands from standard input, one a line:
                             shot FPS     send one shot line
                             raw TEXT     send TEXT with \r \n \t \xHH escapes
                             sleep MS     wait
                             quit         end
  --exit-when-done         end after the last shot instead of keeping the device open
)";

volatile std::sig_atomic_t g_stop = 0;

struct Options {
    std::string family = "chrony";
    std::string link;
    std::vector<double> shots;
    int random = 0;
    unsigned seed = 1;
    double min = 750, max = 850;
    int paceMs = 1000;
    int startDelayMs = 0;
    int combroLength = 4;
    bool fromStdin = false;
    bool exitWhenDone = false;
};

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--family")
            o.family = next();
        else if (a == "--link")
            o.link = next();
        else if (a == "--shots") {
            std::stringstream list(next());
            std::string item;
            while (std::getline(list, item, ','))
                o.shots.push_back(std::stod(item));
        } else if (a == "--random")
            o.random = std::stoi(next());
        else if (a == "--seed")
            o.seed = static_cast<unsigned>(std::stoul(next()));
        else if (a == "--min")
            o.min = std::stod(next());
        else if (a == "--max")
            o.max = std::stod(next());
        else if (a == "--pace-ms")
            o.paceMs = std::stoi(next());
        else if (a == "--start-delay-ms")
            o.startDelayMs = std::stoi(next());
        else if (a == "--combro-length")
            o.combroLength = std::stoi(next());
        else if (a == "--stdin")
            o.fromStdin = true;
        else if (a == "--exit-when-done")
            o.exitWhenDone = true;
        else
            return false;
    }
    return (o.family == "chrony" || o.family == "combro") &&
           (o.combroLength == 4 || o.combroLength == 6 || o.combroLength == 7);
}

class Device {
public:
    bool open()
    {
        termios raw{};
        cfmakeraw(&raw);
        // Raw from the start, so that lines sent before the program opens the port arrive intact.
        if (openpty(&m_master, &m_slave, m_name, &raw, nullptr) != 0)
            return false;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        return true;
    }
    ~Device()
    {
        if (m_master >= 0)
            close(m_master);
        if (m_slave >= 0)
            close(m_slave);
    }
    const char* name() const { return m_name; }

    void send(const std::string& text)
    {
        drain();
        size_t done = 0;
        while (done < text.size() && !g_stop) {
            const ssize_t n = write(m_master, text.data() + done, text.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Reads and drops what the program sends; these devices answer nothing in live mode.
    void drain()
    {
        char buffer[256];
        while (read(m_master, buffer, sizeof buffer) > 0) {
        }
    }
    void wait(int ms)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!g_stop && std::chrono::steady_clock::now() < end) {
            drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 20)));
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    char m_name[256] = {};
};

} // namespace

int main(int argc, char** argv)
{
    Options o;
    try {
        if (!parse(argc, argv, o)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
    } catch (const std::exception&) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });

    Device device;
    if (!device.open()) {
        std::perror("openpty");
        return 1;
    }
    if (!o.link.empty()) {
        unlink(o.link.c_str());
        if (symlink(device.name(), o.link.c_str()) != 0)
            std::perror("symlink");
    }
    std::printf("PTY %s\n", device.name());
    std::fflush(stdout);

    int shotNumber = 0;
    auto shoot = [&](double fps) {
        ++shotNumber;
        device.send(o.family == "chrony" ? sim::chronyLine(shotNumber, fps) : sim::combroLine(fps, o.combroLength));
    };

    device.wait(o.startDelayMs);
    if (o.fromStdin) {
        std::string line;
        while (!g_stop && std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string command;
            words >> command;
            if (command == "shot") {
                double fps = 0;
                words >> fps;
                shoot(fps);
            } else if (command == "raw") {
                device.send(sim::unescape(line.size() > 4 ? line.substr(4) : std::string()));
            } else if (command == "sleep") {
                int ms = 0;
                words >> ms;
                device.wait(ms);
            } else if (command == "quit") {
                break;
            }
            std::printf("OK\n");
            std::fflush(stdout);
        }
    } else {
        std::mt19937 generator(o.seed);
        std::uniform_real_distribution<double> velocity(o.min, o.max);
        std::vector<double> shots = o.shots;
        for (int i = 0; i < o.random; ++i)
            shots.push_back(velocity(generator));
        for (double fps : shots) {
            if (g_stop)
                break;
            shoot(fps);
            device.wait(o.paceMs);
        }
        while (!o.exitWhenDone && !g_stop)
            device.wait(200);
    }
    if (!o.link.empty())
        unlink(o.link.c_str());
    return 0;
}
