#pragma once

#include "storage/pellet_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The documents of the online database exchange: requests built with their texts escaped, and
// answers read with XPath.
namespace online {

QByteArray updateListRequest();
QByteArray submitGunRequest(const QString& gunType, const QString& make, const QString& model);
QByteArray submitProjectileRequest(const QString& caliber, const QString& make, const QString& gramsText);

struct Answer {
    bool wellFormed = false;
    bool hasStatus = false; // "//Response/status" is there
    QString status;
    QList<PelletStore::Projectile> pellets; // "//Response/pellets/pellet"
    QList<PelletStore::Gun> guns;           // "//Response/guns/gun"
    QString invalid; // the first list entry whose numbers could not be read, if any
};
Answer readAnswer(const QByteArray& body);

} // namespace online
