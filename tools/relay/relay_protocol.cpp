#include "relay_protocol.h"

#include "relay_number.h"
#include "relay_text.h"

#include <pugixml.hpp>
#include <sstream>
#include <string_view>

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

// A reference at `at` (on its "&"): one of the five predefined entities, or a character reference
// to a character that is neither a control nor outside Unicode; `at` moves past it.
bool acceptedReference(std::string_view text, size_t& at)
{
    const size_t end = text.find(';', at);
    if (end == std::string_view::npos || end - at > 12)
        return false;
    const std::string_view name = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (name == "lt" || name == "gt" || name == "amp" || name == "quot" || name == "apos")
        return true;
    if (name.size() < 2 || name[0] != '#')
        return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty())
        return false;
    long value = 0;
    for (char c : digits) {
        const int digit = c >= '0' && c <= '9'             ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        if (digit < 0)
            return false;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
            return false;
    }
    return !isControl(value) && !(value >= 0xD800 && value <= 0xDFFF) && value != 0xFFFE && value != 0xFFFF;
}

// What the XML parser lets through but a well-formed document may not hold: a "&" that starts no
// reference or an undeclared entity, a reference to a control character (the parser cuts a field
// at "&#0;"), a raw control character other than TAB, LF and CR, and a document type declaration
// (its entities are never expanded). Comments, processing instructions and CDATA are skipped.
bool wellFormedText(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return false;
        if (c == '&') {
            if (!acceptedReference(text, at))
                return false;
            continue;
        }
        if (c == '<' && text.substr(at, 2) == "<!" && text.substr(at, 4) != "<!--" &&
            text.substr(at, 9) != "<![CDATA[")
            return false;
        const std::pair<std::string_view, std::string_view> skipped[] = {
            {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
        bool skippedOne = false;
        for (const auto& [open, close] : skipped) {
            if (text.substr(at, open.size()) != open)
                continue;
            const size_t end = text.find(close, at + open.size());
            if (end == std::string_view::npos)
                return false;
            for (size_t i = at; i < end; ++i) {
                const unsigned char inside = static_cast<unsigned char>(text[i]);
                if (inside < 0x20 && inside != '\t' && inside != '\n' && inside != '\r')
                    return false;
            }
            at = end + close.size();
            skippedOne = true;
            break;
        }
        if (!skippedOne)
            ++at;
    }
    return true;
}

// The shape of every document Velmora sends: the query holding its fields, the fields holding
// text. No attribute (the protocol has none, and comparing them pairwise would make a request
// cost the square of its length), no element below a field, and only a few elements in all.
// The walk is iterative, so a deep document costs no stack.
bool plainShape(const pugi::xml_node& doc)
{
    int elements = 0;
    for (pugi::xml_node node = doc.first_child(); node;) {
        if (node.type() == pugi::node_element) {
            if (node.first_attribute() || ++elements > kMaxElements)
                return false;
            int depth = 0;
            for (pugi::xml_node up = node; up != doc; up = up.parent())
                if (++depth > kMaxDepth)
                    return false;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node != doc && !node.next_sibling())
            node = node.parent();
        if (node == doc)
            break;
        node = node.next_sibling();
    }
    return true;
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
    if (!wellFormedText(body))
        return std::nullopt;
    pugi::xml_document doc;
    // As a fragment, text beside the document element is kept (to be refused) instead of dropped.
    if (!doc.load_buffer(body.data(), body.size(), pugi::parse_default | pugi::parse_fragment,
                         pugi::encoding_utf8) ||
        !plainShape(doc))
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
