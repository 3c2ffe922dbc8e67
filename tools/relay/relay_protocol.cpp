#include "relay_protocol.h"

#include <cstdlib>
#include <pugixml.hpp>
#include <sstream>

namespace relay {

namespace {

bool positiveNumber(const std::string& text)
{
    if (text.empty() || text.size() > 32)
        return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && value > 0 && value < 1e6;
}

std::string serialise(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

} // namespace

std::optional<Request> parseRequest(const std::string& body)
{
    if (body.empty() || body.size() > kMaxRequestBytes)
        return std::nullopt;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8))
        return std::nullopt;
    const pugi::xml_node query = doc.child("query");
    if (!query)
        return std::nullopt;
    Request r;
    r.type = query.child("type").text().get();
    static const std::map<std::string, std::vector<std::string>> kFields{
        {"updatelist", {}},
        {"submitgun", {"guntype", "gunmake", "gunmodel"}},
        {"submitprojectile", {"pelcaliber", "pelmake", "pelweight"}},
    };
    const auto known = kFields.find(r.type);
    if (known == kFields.end())
        return std::nullopt;
    for (const std::string& name : known->second) {
        const pugi::xml_node field = query.child(name.c_str());
        if (!field)
            return std::nullopt;
        std::string value = field.text().get();
        if (value.size() > kMaxFieldChars)
            return std::nullopt;
        r.fields[name] = value;
    }
    if (r.type == "submitgun" && (r.fields["gunmake"].empty() || r.fields["gunmodel"].empty()))
        return std::nullopt;
    if (r.type == "submitprojectile") {
        const std::string& calibre = r.fields["pelcaliber"];
        const bool calibreOk = !calibre.empty() && positiveNumber(calibre[0] == '.' ? "0" + calibre : calibre);
        if (r.fields["pelmake"].empty() || !positiveNumber(r.fields["pelweight"]) || !calibreOk)
            return std::nullopt;
    }
    return r;
}

std::string statusAnswer(const char* status)
{
    pugi::xml_document doc;
    doc.append_child("Response").append_child("status").text().set(status);
    return serialise(doc);
}

std::string listAnswer(const std::vector<Projectile>& projectiles, const std::vector<Gun>& guns)
{
    pugi::xml_document doc;
    pugi::xml_node response = doc.append_child("Response");
    response.append_child("status").text().set("OK");
    pugi::xml_node pellets = response.append_child("pellets");
    for (const Projectile& p : projectiles) {
        pugi::xml_node pellet = pellets.append_child("pellet");
        pellet.append_child("name").text().set(p.name.c_str());
        pellet.append_child("caliber").text().set(p.caliber.c_str());
        pellet.append_child("metric").text().set(p.metric.c_str());
    }
    pugi::xml_node gunList = response.append_child("guns");
    for (const Gun& g : guns) {
        pugi::xml_node gun = gunList.append_child("gun");
        gun.append_child("make").text().set(g.make.c_str());
        gun.append_child("model").text().set(g.model.c_str());
        gun.append_child("pistol").text().set(g.pistol);
    }
    return serialise(doc);
}

} // namespace relay
