#include "relay_protocol.h"

#include "relay_number.h"
#include "relay_text.h"

#include <pugixml.hpp>
#include <sstream>

namespace relay {

namespace {

std::string serialise(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return out.str();
}

// The one element of that name under `parent`, holding text only; nothing when it is missing,
// given more than once, or holds elements.
std::optional<std::string> onlyText(const pugi::xml_node& parent, const char* name)
{
    pugi::xml_node found;
    for (const pugi::xml_node& child : parent.children(name)) {
        if (found)
            return std::nullopt;
        found = child;
    }
    if (!found)
        return std::nullopt;
    int parts = 0;
    for (const pugi::xml_node& part : found.children()) {
        if (part.type() != pugi::node_pcdata && part.type() != pugi::node_cdata)
            return std::nullopt;
        ++parts;
    }
    if (parts > 1)
        return std::nullopt;
    return std::string(found.text().get());
}

const std::map<std::string, std::vector<std::string>>& fieldsOf()
{
    static const std::map<std::string, std::vector<std::string>> kFields{
        {"updatelist", {}},
        {"submitgun", {"guntype", "gunmake", "gunmodel"}},
        {"submitprojectile", {"pelcaliber", "pelmake", "pelweight"}},
    };
    return kFields;
}

} // namespace

std::optional<Request> parseRequest(const std::string& body)
{
    if (body.empty() || body.size() > kMaxRequestBytes)
        return std::nullopt;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.data(), body.size(), pugi::parse_default, pugi::encoding_utf8))
        return std::nullopt;
    // One document element, the query, and nothing else beside it.
    const pugi::xml_node query = doc.first_child();
    if (!query || query.next_sibling() || query.type() != pugi::node_element || std::string(query.name()) != "query")
        return std::nullopt;
    const auto type = onlyText(query, "type");
    if (!type)
        return std::nullopt;
    const auto known = fieldsOf().find(*type);
    if (known == fieldsOf().end())
        return std::nullopt;
    Request r;
    r.type = *type;
    for (const std::string& name : known->second) {
        auto value = onlyText(query, name.c_str());
        if (!value || value->size() > kMaxFieldChars || !isCleanText(*value))
            return std::nullopt;
        r.fields[name] = *value;
    }
    if (r.type == "submitgun" && (r.fields["gunmake"].empty() || r.fields["gunmodel"].empty()))
        return std::nullopt;
    if (r.type == "submitprojectile") {
        const auto calibre = submittedNumber(r.fields["pelcaliber"]);
        const auto weight = submittedNumber(r.fields["pelweight"]);
        if (r.fields["pelmake"].empty() || !calibre || !weight)
            return std::nullopt;
        r.fields["pelcaliber"] = calibre->text;
        r.fields["pelweight"] = weight->text;
    }
    return r;
}

std::string statusAnswer(const char* status, const char* reason)
{
    pugi::xml_document doc;
    pugi::xml_node response = doc.append_child("Response");
    response.append_child("status").text().set(status);
    if (reason)
        response.append_child("reason").text().set(reason);
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
