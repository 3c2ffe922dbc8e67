#pragma once

#include <string>
#include <vector>

// The simulated chronographs: what each sends for a live shot and how each answers the
// program's commands. A device never blocks; replies are returned for the caller to send.
namespace sim {

using Strings = std::vector<std::vector<double>>;

// "800,810;790" -> two strings; an empty text gives no strings.
Strings parseStrings(const std::string& text);

class Device {
public:
    virtual ~Device() = default;
    // Bytes the program sent; returns the device's answer (possibly empty).
    virtual std::string received(const std::string& bytes) = 0;
    // A live shot as the device reports it (a line, or a change of its status).
    virtual std::string shot(double fps) = 0;
    // Starts a new, empty string and makes it the current one.
    virtual void newString() {}
};

// Shooting Chrony: live lines "<n>,Vf<fps>" CR LF; memory commands SYSX, X.QRY, X.INC, X.DEC,
// X.CPY, X.GRM, X.GEE and X.END, each a plain text with no terminator. Replies:
//   SYSX   -> "SYSX" CR LF ">"
//   X.QRY  -> "nf Strings, <count>" CR LF "nf Current, <current>" CR LF "}ok!" CR LF ">"
//   X.INC / X.DEC -> the pointer moves, no reply
//   X.CPY / X.GRM -> the current string's shots as live lines
//   X.GEE  -> every string cleared, "}ok!" CR LF ">"
//   X.END  -> no reply
class ChronyDevice : public Device {
public:
    ChronyDevice(Strings strings, int current);
    std::string received(const std::string& bytes) override;
    std::string shot(double fps) override;

private:
    std::string command(const std::string& name);
    Strings m_strings;
    int m_current;
    int m_liveNumber = 0;
    std::string m_pending;
};

// Combro CB-625: live timer counts of 4, 6 or 7 characters; it answers nothing.
class CombroDevice : public Device {
public:
    explicit CombroDevice(int length) : m_length(length) {}
    std::string received(const std::string&) override { return {}; }
    std::string shot(double fps) override;

private:
    int m_length;
};

// ProChrono: frames ":" + ten hexadecimal digits. Live shots are added to the current string
// and show in the status. Replies:
//   ":000000037D" status -> ":" 00 SS NN 00 LL HH CK (15 characters): string, shot count, the
//                 last velocity low and high byte, CK = two's complement of the byte sum
//   ":000000057B" change string -> the next stored string becomes current, no reply
//   ":0000000779" delete string -> the current string is emptied, no reply
//   ":00" SS AA "01" CC read block -> SS the string as two decimal digits (as the program sends
//                 it), AA the first shot's address (1, 6, 11, ...); answered only when CC is the
//                 check byte the program computes for that address:
//                 ":" 00 SS AA 0A then five shots low/high (0000 for none) and CK (31 characters)
class ProChronoDevice : public Device {
public:
    ProChronoDevice(Strings strings, int current);
    std::string received(const std::string& bytes) override;
    std::string shot(double fps) override;
    void newString() override;
    // The check byte expected in a read-block frame for string s at a block address.
    static int expectedCheck(int stringNumber, int address);

private:
    std::string frame(const std::string& text);
    std::string status() const;
    std::string block(int stringNumber, int address) const;
    Strings m_strings;
    int m_current;
    std::string m_pending;
};

} // namespace sim
