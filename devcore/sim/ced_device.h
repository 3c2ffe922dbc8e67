#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

// A simulated CED M2 chronograph: a memory of strings, the request/reply protocol (commands 1,
// 2 and 3 echoed in byte 0), and the misbehaviours a scenario asks for. Time is the steady
// clock; scenario events happen when their time has come, checked on every call.
class CedDevice {
public:
    using Clock = std::chrono::steady_clock;
    using Report = std::array<unsigned char, 8>;

    // Scenario text, one instruction a line ('#' starts a comment):
    //   string V V V ...      a stored string of velocities in fps (one line per string, in order)
    //   at MS shot V          MS milliseconds after the device was first opened, a new shot in
    //                         the current (last) string
    //   at MS newstring       a new, empty string becomes the current one
    //   at MS unplug          the device goes away; `at MS plug` brings it back
    //   echo-first CODE       every reply to command CODE comes after one that echoes another command
    //   delay MS              replies are ready MS milliseconds after their request
    //   absent                the device is not attached at start
    // Returns false (and keeps what was understood) at the first line it cannot read.
    bool loadScenario(const std::string& text);
    void reset();

    void opened();
    bool present();
    void addShot(double fps);
    void newString();
    void setPresent(bool present);
    void setEchoFirst(int code, bool on);
    void setDelayMs(int ms) { m_delayMs = ms; }
    // The next `requests` requests get no reply at all (a device that misses them).
    void setMuted(int requests) { m_muted = requests; }

    // A request of the host (at least one byte: the command code).
    void request(const unsigned char* bytes, int size);
    // The next reply if one is ready within the wait; nothing otherwise.
    std::optional<Report> reply(int waitMs);

    int requests() const { return m_requests; }
    const std::vector<std::vector<double>>& strings() const { return m_strings; }

private:
    struct Event {
        int atMs;
        std::string what;
        double value;
    };
    void advance();
    Report answer(int code, int string, int shot) const;

    std::vector<std::vector<double>> m_strings;
    std::vector<Event> m_events;
    std::set<int> m_echoFirst;
    std::deque<std::pair<Clock::time_point, Report>> m_replies;
    std::optional<Clock::time_point> m_openedAt;
    int m_delayMs = 0;
    int m_muted = 0;
    bool m_present = true;
    int m_requests = 0;
};
