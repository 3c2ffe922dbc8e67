// velmora-chrono-sim: a chronograph on a pseudo-terminal, for demos and end-to-end tests.
//
// It opens a pseudo-terminal pair, prints "PTY <device path>" on its first output line and
// behaves as a Shooting Chrony, a Combro CB-625 or a ProChrono towards whoever opens that
// path: live shots at a pace or on command, and the memory commands of the Chrony and the
// ProChrono answered from a memory of strings (devices.h documents the reply formats).
#include "devices.h"
#include "sim_lines.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

const char* kUsage = R"(usage: velmora-chrono-sim [options]
  --family chrony|combro|prochrono   the chronograph to emulate (default chrony)
  --link PATH              also make PATH a symbolic link to the device
  --shots V1,V2,...        live shots to fire, in fps, one per pace
  --random N               fire N random live shots (with --seed, --min, --max)
  --seed S --min A --max B random generator seed (1) and range in fps (750, 850)
  --pace-ms MS             time between live shots (1000)
  --start-delay-ms MS      wait before the first live shot (0)
  --combro-length 4|6|7    Combro firmware: characters of its count (4)
  --strings "V,V;V,V"      strings stored in the device's memory (Chrony, ProChrono)
  --current N              the device's current string (1)
  --stdin                  read commands from standard input, one a line, answering OK:
                             shot FPS     fire one live shot
                             raw TEXT     send TEXT with \r \n \t \xHH escapes
                             newstring    start a new string (ProChrono)
                             sleep MS     wait, still answering the program
                             unplug       close the device side and remove the --link, as a
                                          pulled adapter does
                             plug         a new device appears under the --link
                             mute on|off  take commands but answer none (a silent device)
                             quit         end
  --exit-when-done         end after the last live shot instead of keeping the device open
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
    std::string strings;
    int current = 1;
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
            for (const auto& s : sim::parseStrings(next()))
                o.shots.insert(o.shots.end(), s.begin(), s.end());
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
        else if (a == "--strings")
            o.strings = next();
        else if (a == "--current")
            o.current = std::stoi(next());
        else if (a == "--stdin")
            o.fromStdin = true;
        else if (a == "--exit-when-done")
            o.exitWhenDone = true;
        else
            return false;
    }
    return (o.family == "chrony" || o.family == "combro" || o.family == "prochrono") &&
           (o.combroLength == 4 || o.combroLength == 6 || o.combroLength == 7) && o.paceMs >= 0;
}

using Clock = std::chrono::steady_clock;

class Simulator {
public:
    Simulator(std::unique_ptr<sim::Device> device) : m_device(std::move(device)) {}
    ~Simulator()
    {
        if (m_master >= 0)
            close(m_master);
        if (m_slave >= 0)
            close(m_slave);
    }

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
    const char* name() const { return m_name; }
    sim::Device& device() { return *m_device; }

    void send(const std::string& text)
    {
        size_t done = 0;
        const auto giveUp = Clock::now() + std::chrono::seconds(2);
        while (m_master >= 0 && done < text.size() && !g_stop && Clock::now() < giveUp) {
            const ssize_t n = write(m_master, text.data() + done, text.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else
                service(5);
        }
    }

    // Answers the program for up to `ms` (and standard input when `input` is set).
    // Returns complete lines read from standard input.
    std::vector<std::string> service(int ms, bool input = false)
    {
        std::vector<std::string> lines;
        pollfd fds[2] = {{m_master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        // Unplugged: only standard input is looked at.
        if (m_master < 0) {
            fds[0].fd = -1;
            if (!input) {
                poll(nullptr, 0, ms);
                return lines;
            }
        }
        if (poll(fds, input ? 2 : 1, ms) <= 0)
            return lines;
        if (m_master >= 0 && (fds[0].revents & POLLIN)) {
            char buffer[512];
            ssize_t n;
            std::string bytes;
            while ((n = read(m_master, buffer, sizeof buffer)) > 0)
                bytes.append(buffer, static_cast<size_t>(n));
            const std::string reply = muted ? std::string() : m_device->received(bytes);
            if (!reply.empty())
                send(reply);
        }
        if (input && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buffer[512];
            const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                m_inputClosed = true;
            } else {
                m_input.append(buffer, static_cast<size_t>(n));
                size_t end;
                while ((end = m_input.find('\n')) != std::string::npos) {
                    lines.push_back(m_input.substr(0, end));
                    m_input.erase(0, end + 1);
                }
            }
        }
        return lines;
    }

    void wait(int ms)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!g_stop && Clock::now() < end)
            service(
                static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()) +
                1);
    }

    bool inputClosed() const { return m_inputClosed; }

    void unplug(const std::string& link)
    {
        if (m_master >= 0)
            close(m_master);
        if (m_slave >= 0)
            close(m_slave);
        m_master = m_slave = -1;
        if (!link.empty())
            unlink(link.c_str());
    }

    bool plug(const std::string& link)
    {
        if (m_master >= 0 || !open())
            return false;
        if (!link.empty()) {
            unlink(link.c_str());
            return symlink(m_name, link.c_str()) == 0;
        }
        return true;
    }

    bool muted = false;

private:
    std::unique_ptr<sim::Device> m_device;
    int m_master = -1;
    int m_slave = -1;
    char m_name[256] = {};
    std::string m_input;
    bool m_inputClosed = false;
};

// Returns false on "quit".
bool runCommand(Simulator& s, const std::string& line, const std::string& link)
{
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "shot") {
        double fps = 0;
        words >> fps;
        s.send(s.device().shot(fps));
    } else if (command == "raw") {
        s.send(sim::unescape(line.size() > 4 ? line.substr(4) : std::string()));
    } else if (command == "newstring") {
        s.device().newString();
    } else if (command == "sleep") {
        int ms = 0;
        words >> ms;
        s.wait(ms);
    } else if (command == "unplug") {
        s.unplug(link);
    } else if (command == "plug") {
        if (!s.plug(link)) {
            std::printf("FAILED\n");
            std::fflush(stdout);
            return true;
        }
    } else if (command == "mute") {
        std::string how;
        words >> how;
        s.muted = how != "off";
    } else if (command == "quit") {
        return false;
    }
    std::printf("OK\n");
    std::fflush(stdout);
    return true;
}

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
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<sim::Device> device;
    const sim::Strings strings = sim::parseStrings(o.strings);
    if (o.family == "chrony")
        device = std::make_unique<sim::ChronyDevice>(strings, o.current);
    else if (o.family == "combro")
        device = std::make_unique<sim::CombroDevice>(o.combroLength);
    else
        device = std::make_unique<sim::ProChronoDevice>(strings, o.current);

    Simulator s(std::move(device));
    if (!s.open()) {
        std::perror("openpty");
        return 1;
    }
    if (!o.link.empty()) {
        unlink(o.link.c_str());
        if (symlink(s.name(), o.link.c_str()) != 0)
            std::perror("symlink");
    }
    std::printf("PTY %s\n", s.name());
    std::fflush(stdout);

    if (o.fromStdin) {
        bool running = true;
        while (running && !g_stop && !s.inputClosed())
            for (const std::string& line : s.service(200, true))
                if (!(running = runCommand(s, line, o.link)))
                    break;
    } else {
        std::mt19937 generator(o.seed);
        std::uniform_real_distribution<double> velocity(o.min, o.max);
        std::vector<double> shots = o.shots;
        for (int i = 0; i < o.random; ++i)
            shots.push_back(velocity(generator));
        s.wait(o.startDelayMs);
        for (double fps : shots) {
            if (g_stop)
                break;
            s.send(s.device().shot(fps));
            s.wait(o.paceMs);
        }
        while (!o.exitWhenDone && !g_stop)
            s.wait(200);
    }
    if (!o.link.empty())
        unlink(o.link.c_str());
    return 0;
}
