#include "online_exchange.h"

#include <pugixml.hpp>
#include <sstream>

namespace online {

namespace {

QByteArray serialise(const pugi::xml_document& doc)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

pugi::xml_node query(pugi::xml_document& doc, const char* type)
{
    pugi::xml_node q = doc.append_child("query");
    q.append_child("type").text().set(type);
    return q;
}

void field(pugi::xml_node parent, const char* name, const QString& value)
{
    parent.append_child(name).text().set(value.toUtf8().constData());
}

QString text(const pugi::xml_node& node, const char* child)
{
    return QString::fromUtf8(node.child(child).text().get());
}

bool number(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok;
}

} // namespace

QByteArray updateListRequest()
{
    pugi::xml_document doc;
    query(doc, "updatelist");
    return serialise(doc);
}

QByteArray submitGunRequest(const QString& gunType, const QString& make, const QString& model)
{
    pugi::xml_document doc;
    pugi::xml_node q = query(doc, "submitgun");
    field(q, "guntype", gunType);
    field(q, "gunmake", make);
    field(q, "gunmodel", model);
    return serialise(doc);
}

QByteArray submitProjectileRequest(const QString& caliber, const QString& make, const QString& gramsText)
{
    pugi::xml_document doc;
    pugi::xml_node q = query(doc, "submitprojectile");
    field(q, "pelcaliber", caliber);
    field(q, "pelmake", make);
    field(q, "pelweight", gramsText);
    return serialise(doc);
}

Answer readAnswer(const QByteArray& body)
{
    Answer answer;
    pugi::xml_document doc;
    if (!doc.load_buffer(body.constData(), size_t(body.size())))
        return answer;
    answer.wellFormed = true;
    try {
        const pugi::xpath_node status = doc.select_node("//Response/status");
        answer.hasStatus = bool(status);
        if (status)
            answer.status = QString::fromUtf8(status.node().text().get());
        for (const pugi::xpath_node& p : doc.select_nodes("//Response/pellets/pellet")) {
            PelletStore::Projectile projectile;
            projectile.name = text(p.node(), "name");
            if ((!number(text(p.node(), "caliber"), projectile.caliber) ||
                 !number(text(p.node(), "metric"), projectile.metric)) &&
                answer.invalid.isEmpty())
                answer.invalid = projectile.name;
            answer.pellets.append(projectile);
        }
        for (const pugi::xpath_node& g : doc.select_nodes("//Response/guns/gun")) {
            PelletStore::Gun gun;
            gun.make = text(g.node(), "make");
            gun.model = text(g.node(), "model");
            double pistol = 0;
            const bool flag = number(text(g.node(), "pistol"), pistol) && (pistol == 0 || pistol == 1);
            if (!flag && answer.invalid.isEmpty())
                answer.invalid = gun.make + u' ' + gun.model;
            gun.pistol = flag ? int(pistol) : 0;
            answer.guns.append(gun);
        }
    } catch (const pugi::xpath_exception&) {
        answer.wellFormed = false;
    }
    return answer;
}

} // namespace online
