#include "devices.h"

#include "sim_lines.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace sim {

namespace {

std::string hex2(int value)
{
    char buffer[3];
    std::snprintf(buffer, sizeof buffer, "%02X", value & 0xFF);
    return buffer;
}

// Two's complement of the byte sum, over the hexadecimal pairs of a frame body.
std::string checkByte(const std::string& body)
{
    int sum = 0;
    for (size_t i = 0; i + 1 < body.size(); i += 2)
        sum += std::stoi(body.substr(i, 2), nullptr, 16);
    return hex2(0x100 - (sum & 0xFF));
}

std::string velocityBytes(double fps)
{
    const int v = static_cast<int>(std::lround(fps)) & 0xFFFF;
    return hex2(v & 0xFF) + hex2(v >> 8);
}

} // namespace

Strings parseStrings(const std::string& text)
{
    Strings strings;
    std::stringstream all(text);
    std::string one;
    while (std::getline(all, one, ';')) {
        std::vector<double> shots;
        std::stringstream list(one);
        std::string item;
        while (std::getline(list, item, ','))
            if (!item.empty())
                shots.push_back(std::stod(item));
        strings.push_back(shots);
    }
    return strings;
}

ChronyDevice::ChronyDevice(Strings strings, int current) : m_strings(std::move(strings)), m_current(current) {}

std::string ChronyDevice::shot(double fps)
{
    return chronyLine(++m_liveNumber, fps);
}

std::string ChronyDevice::received(const std::string& bytes)
{
    static const char* const kCommands[] = {"SYSX", "X.QRY", "X.INC", "X.DEC", "X.CPY", "X.GRM", "X.GEE", "X.END"};
    m_pending += bytes;
    std::string reply;
    for (;;) {
        size_t best = std::string::npos;
        std::string found;
        for (const char* c : kCommands) {
            const size_t at = m_pending.find(c);
            if (at < best) {
                best = at;
                found = c;
            }
        }
        if (best == std::string::npos)
            break;
        m_pending.erase(0, best + found.size());
        reply += command(found);
    }
    if (m_pending.size() > 64)
        m_pending.erase(0, m_pending.size() - 8);
    return reply;
}

std::string ChronyDevice::command(const std::string& name)
{
    const int count = static_cast<int>(m_strings.size());
    if (name == "SYSX")
        return "SYSX\r\n>";
    if (name == "X.QRY")
        return "nf Strings, " + std::to_string(count) + "\r\nnf Current, " + std::to_string(m_current) + "\r\n}ok!\r\n>";
    if (name == "X.INC") {
        if (m_current < count)
            ++m_current;
        return {};
    }
    if (name == "X.DEC") {
        if (m_current > 1)
            --m_current;
        return {};
    }
    if (name == "X.CPY" || name == "X.GRM") {
        std::string lines;
        if (m_current >= 1 && m_current <= count) {
            int n = 0;
            for (double fps : m_strings[static_cast<size_t>(m_current - 1)])
                lines += chronyLine(++n, fps);
        }
        return lines;
    }
    if (name == "X.GEE") {
        m_strings.clear();
        m_current = 1;
        return "}ok!\r\n>";
    }
    return {};
}

std::string CombroDevice::shot(double fps)
{
    return combroLine(fps, m_length);
}

ProChronoDevice::ProChronoDevice(Strings strings, int current) : m_strings(std::move(strings)), m_current(current)
{
    if (m_strings.empty())
        m_strings.emplace_back();
    if (m_current < 1 || m_current > static_cast<int>(m_strings.size()))
        m_current = 1;
}

std::string ProChronoDevice::shot(double fps)
{
    m_strings[static_cast<size_t>(m_current - 1)].push_back(fps);
    return {}; // a ProChrono reports shots only when polled
}

void ProChronoDevice::newString()
{
    m_strings.emplace_back();
    m_current = static_cast<int>(m_strings.size());
}

std::string ProChronoDevice::received(const std::string& bytes)
{
    std::string reply;
    for (char c : bytes) {
        if (c == ':')
            m_pending = ":";
        else if (!m_pending.empty())
            m_pending += c;
        if (m_pending.size() == 11) {
            reply += frame(m_pending);
            m_pending.clear();
        }
    }
    return reply;
}

int ProChronoDevice::expectedCheck(int s, int address)
{
    const int c1 = 0x7E - s;
    const int checks[6] = {c1, c1 - 5, c1 - 17, c1 - 22, c1 - 5, c1 - 10};
    const int b = (address - 1) / 5; // block index from 0
    const int k = b < 6 ? b % 3 : 3 + (b - 6) % 3;
    return checks[k] & 0xFF;
}

std::string ProChronoDevice::frame(const std::string& text)
{
    if (text == ":000000037D")
        return status();
    if (text == ":000000057B") {
        m_current = m_current % static_cast<int>(m_strings.size()) + 1;
        return {};
    }
    if (text == ":0000000779") {
        m_strings[static_cast<size_t>(m_current - 1)].clear();
        return {};
    }
    if (text.compare(0, 3, ":00") == 0 && text.compare(7, 2, "01") == 0) {
        try {
            const int s = std::stoi(text.substr(3, 2), nullptr, 10);
            const int address = std::stoi(text.substr(5, 2), nullptr, 16);
            const int check = std::stoi(text.substr(9, 2), nullptr, 16);
            if (s >= 1 && s <= static_cast<int>(m_strings.size()) && address >= 1 &&
                check == expectedCheck(s, address))
                return block(s, address);
        } catch (const std::exception&) {
        }
    }
    return {};
}

std::string ProChronoDevice::status() const
{
    const auto& shots = m_strings[static_cast<size_t>(m_current - 1)];
    const std::string body = "00" + hex2(m_current) + hex2(static_cast<int>(shots.size())) + "00" +
                             velocityBytes(shots.empty() ? 0 : shots.back());
    return ":" + body + checkByte(body);
}

std::string ProChronoDevice::block(int s, int address) const
{
    const auto& shots = m_strings[static_cast<size_t>(s - 1)];
    std::string body = "00" + hex2(s) + hex2(address) + "0A";
    for (int i = 0; i < 5; ++i) {
        const size_t index = static_cast<size_t>(address - 1 + i);
        body += index < shots.size() ? velocityBytes(shots[index]) : "0000";
    }
    return ":" + body + checkByte(body);
}

} // namespace sim
