#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// The Shooting Chrony's memory replies as the status window reads them.
namespace chrony_memory {

inline const QString kOk = QStringLiteral("}ok!");

// One understood line of a reply, in order.
struct ReplyLine {
    enum Kind { Strings, Current } kind;
    int number = 0;
};

// The "Strings," and "Current," lines of a reply text (lines split at CR LF); the number is
// what remains after removing "nf" and the marker, read from its start; nothing gives 0.
std::vector<ReplyLine> parseReply(const QString& text);

// The commands: "X.DEC" or "X.INC" as many times as it takes from one string to another.
QStringList pointerMoves(int from, int to);

} // namespace chrony_memory
