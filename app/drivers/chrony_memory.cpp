#include "chrony_memory.h"

#include "services/regional.h"

namespace chrony_memory {

std::vector<ReplyLine> parseReply(const QString& text)
{
    std::vector<ReplyLine> lines;
    for (QString line : text.split(QStringLiteral("\r\n"))) {
        const bool strings = line.contains(QLatin1String("Strings,"));
        if (!strings && !line.contains(QLatin1String("Current,")))
            continue;
        line.remove(QStringLiteral("nf"));
        line.remove(strings ? QStringLiteral("Strings,") : QStringLiteral("Current,"));
        const double value = regional::leadingNumber(line);
        // A count that does not fit the 16-bit number it is kept in reads as nothing.
        const int number = value >= -32768 && value <= 32767 ? int(value) : 0;
        lines.push_back({strings ? ReplyLine::Strings : ReplyLine::Current, number});
    }
    return lines;
}

QStringList pointerMoves(int from, int to)
{
    QStringList moves;
    for (int i = 0; i < std::abs(to - from); ++i)
        moves.append(to < from ? QStringLiteral("X.DEC") : QStringLiteral("X.INC"));
    return moves;
}

} // namespace chrony_memory
