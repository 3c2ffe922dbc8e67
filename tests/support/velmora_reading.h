#pragma once

#include "data_options/online_exchange.h"
#include "relay_protocol.h"

#include <optional>
#include <string>

// Velmora's reading of `text` sent by the relay as the calibre of a published projectile, or
// nothing when Velmora cannot read it (the update would then fail).
inline std::optional<double> velmoraReadsCalibre(const std::string& text)
{
    const online::Answer answer =
        online::readAnswer(QByteArray::fromStdString(relay::listAnswer({{"P", text, "1"}}, {})));
    if (answer.pellets.size() != 1 || !answer.invalid.isEmpty())
        return std::nullopt;
    return answer.pellets[0].caliber;
}
