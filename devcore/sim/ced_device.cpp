#include "ced_device.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <thread>

bool CedDevice::loadScenario(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string word;
        if (!(words >> word))
            continue;
        if (word == "string") {
            std::vector<double> shots;
            double v;
            while (words >> v)
                shots.push_back(v);
            m_strings.push_back(shots);
        } else if (word == "at") {
            Event e{0, {}, 0};
            if (!(words >> e.atMs >> e.what))
                return false;
            if (e.what == "shot" && !(words >> e.value))
                return false;
            if (e.what != "shot" && e.what != "newstring" && e.what != "unplug" && e.what != "plug")
                return false;
            m_events.push_back(e);
        } else if (word == "echo-first") {
            int code;
            if (!(words >> code))
                return false;
            m_echoFirst.insert(code);
        } else if (word == "delay") {
            if (!(words >> m_delayMs))
                return false;
        } else if (word == "absent") {
            m_present = false;
        } else {
            return false;
        }
    }
    std::stable_sort(m_events.begin(), m_events.end(), [](const Event& a, const Event& b) { return a.atMs < b.atMs; });
    return true;
}

void CedDevice::reset()
{
    *this = CedDevice();
}

void CedDevice::opened()
{
    if (!m_openedAt)
        m_openedAt = Clock::now();
}

void CedDevice::advance()
{
    if (!m_openedAt)
        return;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *m_openedAt).count();
    while (!m_events.empty() && m_events.front().atMs <= elapsed) {
        const Event e = m_events.front();
        m_events.erase(m_events.begin());
        if (e.what == "shot")
            addShot(e.value);
        else if (e.what == "newstring")
            newString();
        else
            m_present = e.what == "plug";
    }
}

bool CedDevice::present()
{
    advance();
    return m_present;
}

void CedDevice::addShot(double fps)
{
    if (m_strings.empty())
        m_strings.emplace_back();
    m_strings.back().push_back(fps);
}

void CedDevice::newString()
{
    m_strings.emplace_back();
}

void CedDevice::setPresent(bool present)
{
    m_present = present;
    if (!present)
        m_replies.clear();
}

void CedDevice::setEchoFirst(int code, bool on)
{
    if (on)
        m_echoFirst.insert(code);
    else
        m_echoFirst.erase(code);
}

CedDevice::Report CedDevice::answer(int code, int string, int shot) const
{
    Report r{};
    r[0] = static_cast<unsigned char>(code);
    r[2] = static_cast<unsigned char>(string);
    if (code == 1) {
        r[2] = static_cast<unsigned char>(std::min<size_t>(m_strings.size(), 255));
    } else if (code == 2) {
        if (string >= 1 && static_cast<size_t>(string) <= m_strings.size())
            r[4] = static_cast<unsigned char>(std::min<size_t>(m_strings[static_cast<size_t>(string - 1)].size(), 255));
    } else if (code == 3) {
        r[4] = static_cast<unsigned char>(shot);
        if (string >= 1 && static_cast<size_t>(string) <= m_strings.size()) {
            const auto& shots = m_strings[static_cast<size_t>(string - 1)];
            if (shot >= 1 && static_cast<size_t>(shot) <= shots.size()) {
                const double v = shots[static_cast<size_t>(shot - 1)];
                const int whole = static_cast<int>(std::floor(v)) & 0xFFFF;
                r[4] = static_cast<unsigned char>(whole & 0xFF);
                r[5] = static_cast<unsigned char>(whole >> 8);
                r[6] = static_cast<unsigned char>(std::lround((v - std::floor(v)) * 10) % 10);
            }
        }
    }
    return r;
}

void CedDevice::request(const unsigned char* bytes, int size)
{
    advance();
    ++m_requests;
    if (!m_present || size < 1)
        return;
    const int code = bytes[0];
    if (code < 1 || code > 3)
        return;
    if (m_muted > 0) {
        --m_muted;
        return;
    }
    const int string = size > 2 ? bytes[2] : 0;
    const int shot = size > 4 ? bytes[4] : 0;
    const auto ready = Clock::now() + std::chrono::milliseconds(m_delayMs);
    if (m_echoFirst.count(code))
        m_replies.emplace_back(ready, answer(code % 3 + 1, string, shot));
    m_replies.emplace_back(ready, answer(code, string, shot));
}

std::optional<CedDevice::Report> CedDevice::reply(int waitMs)
{
    advance();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, waitMs));
    if (!m_present || m_replies.empty()) {
        // Nothing will come: the read waits its whole time-out, as on a real bus.
        std::this_thread::sleep_until(deadline);
        return std::nullopt;
    }
    const auto ready = m_replies.front().first;
    if (ready > deadline) {
        std::this_thread::sleep_until(deadline);
        return std::nullopt;
    }
    std::this_thread::sleep_until(ready);
    const Report r = m_replies.front().second;
    m_replies.pop_front();
    return r;
}
