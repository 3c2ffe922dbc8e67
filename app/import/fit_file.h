#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The FIT protocol's container: a header, definition and data messages (normal or with a
// compressed timestamp), developer fields, and a CRC. Messages come out as numbers; what they
// mean is read elsewhere.
namespace fit_file {

// The message field that holds a timestamp in every message that has one.
inline constexpr int kTimestampField = 253;
// FIT times count seconds from 1989-12-31 00:00 UTC.
inline constexpr qint64 kEpochOffset = 631065600;

struct Field {
    int number = 0;
    std::vector<double> values; // the valid values, in order (one for a single value)
};

struct Message {
    int global = 0; // the global message number
    std::vector<Field> fields;
    // The field's first valid value, none when absent or marked invalid.
    std::optional<double> value(int field) const;
};

struct File {
    std::vector<Message> messages;
    QString refusal; // one sentence when the file cannot be read
};

// Whether the bytes begin with a FIT header.
bool looksLikeFit(const QByteArray& bytes);

// The CRC-16 the protocol uses, continued from `crc`.
quint16 crc16(const char* data, qsizetype size, quint16 crc = 0);

// All messages of the file (of every FIT file, when several are chained), or a refusal.
File decode(const QByteArray& bytes);

} // namespace fit_file
