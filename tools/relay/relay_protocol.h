#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// The relay's XML documents: requests "<query><type>...</type>...</query>" and answers
// "<Response><status>OK|BAD</status>...</Response>".
namespace relay {

inline constexpr size_t kMaxRequestBytes = 64 * 1024;
inline constexpr size_t kMaxFieldChars = 200;
// A submission holds the query and four fields; a few more are refused without being looked at.
inline constexpr int kMaxElements = 16;
// The query, and the fields in it.
inline constexpr int kMaxDepth = 2;

struct Request {
    std::string type; // "updatelist", "submitgun" or "submitprojectile"
    std::map<std::string, std::string> fields;
};

struct Projectile {
    std::string name, caliber, metric;
};
struct Gun {
    std::string make, model;
    int pistol = 0;
};

// A request the relay understands, or nothing for a malformed, oversized or unknown one: an
// attribute anywhere, more than kMaxElements elements or any below a field; a field missing, given twice or holding elements; a field over 200 bytes, not UTF-8 or with a
// control character; an empty make or model; a weight or calibre that is not a number Velmora
// reads (a decimal comma is accepted). Calibre and weight come back with a decimal point.
std::optional<Request> parseRequest(const std::string& body);

// "<Response><status>...</status></Response>", with a "reason" element when one is given
// (Velmora reads only the status).
std::string statusAnswer(const char* status, const char* reason = nullptr);
std::string listAnswer(const std::vector<Projectile>& projectiles, const std::vector<Gun>& guns);

} // namespace relay
