#include "fit_file.h"

#include <QtEndian>
#include <array>
#include <cstring>

namespace fit_file {

namespace {

struct FieldDefinition {
    quint8 number = 0;
    quint8 size = 0;
    quint8 baseType = 0;
};

struct Definition {
    bool defined = false;
    bool bigEndian = false;
    int global = 0;
    std::vector<FieldDefinition> fields;
    int developerBytes = 0; // developer fields are skipped: they are not the device's own readings
};

// A base type's size and its "invalid" value, as the protocol defines them.
struct BaseType {
    int size;
    bool isSigned;
    bool isFloat;
    quint64 invalid;
};

// clang-format off
std::optional<BaseType> baseType(quint8 code)
{
    switch (code & 0x1F) {
    case 0x00: return BaseType{1, false, false, 0xFF};               // enum
    case 0x01: return BaseType{1, true, false, 0x7F};                // sint8
    case 0x02: return BaseType{1, false, false, 0xFF};               // uint8
    case 0x03: return BaseType{2, true, false, 0x7FFF};              // sint16
    case 0x04: return BaseType{2, false, false, 0xFFFF};             // uint16
    case 0x05: return BaseType{4, true, false, 0x7FFFFFFF};          // sint32
    case 0x06: return BaseType{4, false, false, 0xFFFFFFFF};         // uint32
    case 0x08: return BaseType{4, false, true, 0xFFFFFFFF};          // float32
    case 0x09: return BaseType{8, false, true, 0xFFFFFFFFFFFFFFFF};  // float64
    case 0x0A: return BaseType{1, false, false, 0};                  // uint8z
    case 0x0B: return BaseType{2, false, false, 0};                  // uint16z
    case 0x0C: return BaseType{4, false, false, 0};                  // uint32z
    case 0x0D: return BaseType{1, false, false, 0xFF};               // byte
    case 0x0E: return BaseType{8, true, false, 0x7FFFFFFFFFFFFFFF};  // sint64
    case 0x0F: return BaseType{8, false, false, 0xFFFFFFFFFFFFFFFF}; // uint64
    case 0x10: return BaseType{8, false, false, 0};                  // uint64z
    default: return std::nullopt;                                    // string (0x07) and unknown types
    }
}
// clang-format on

std::vector<double> values(const char* p, int size, quint8 code, bool bigEndian)
{
    std::vector<double> out;
    const auto type = baseType(code);
    if (!type || size % type->size != 0)
        return out;
    for (int at = 0; at + type->size <= size; at += type->size) {
        quint64 raw = 0;
        for (int i = 0; i < type->size; ++i) {
            const quint8 byte = quint8(p[at + (bigEndian ? i : type->size - 1 - i)]);
            raw = (raw << 8) | byte;
        }
        if (raw == type->invalid)
            continue;
        double value;
        if (type->isFloat && type->size == 4) {
            float f;
            const quint32 bits = quint32(raw);
            std::memcpy(&f, &bits, sizeof f);
            value = f;
        } else if (type->isFloat) {
            std::memcpy(&value, &raw, sizeof value);
        } else if (type->isSigned) {
            const int shift = 64 - 8 * type->size;
            value = double(qint64(raw << shift) >> shift);
        } else {
            value = double(raw);
        }
        out.push_back(value);
    }
    return out;
}

const QString kCutShort = QStringLiteral("The FIT file ends in the middle of a message: it seems cut short.");

// One FIT file from `at`; sets `at` past its CRC.
QString decodeOne(const QByteArray& bytes, qsizetype& at, std::vector<Message>& out)
{
    const char* file = bytes.constData() + at;
    const qsizetype left = bytes.size() - at;
    const int headerSize = left > 0 ? quint8(file[0]) : 0;
    if (left < 12 || headerSize < 12 || left < headerSize || std::memcmp(file + 8, ".FIT", 4) != 0)
        return QStringLiteral("The file does not start with a FIT header.");
    if ((quint8(file[1]) >> 4) > 2)
        return QStringLiteral("The FIT file is written in protocol version %1, which is not read.")
            .arg(quint8(file[1]) >> 4);
    if (headerSize >= 14) {
        const quint16 stored = qFromLittleEndian<quint16>(file + 12);
        if (stored != 0 && stored != crc16(file, 12))
            return QStringLiteral("The FIT file's header fails its checksum: the file is damaged.");
    }
    const quint32 dataSize = qFromLittleEndian<quint32>(file + 4);
    if (dataSize == 0)
        return QStringLiteral("The FIT file's header gives no data: it was not finished.");
    if (qint64(headerSize) + dataSize + 2 > left)
        return QStringLiteral("The FIT file is shorter than its header says: it seems cut short.");
    const qsizetype end = headerSize + qsizetype(dataSize);
    if (crc16(file, end + 2) != 0)
        return QStringLiteral("The FIT file fails its checksum: the file is damaged.");

    std::array<Definition, 16> definitions;
    std::optional<quint32> lastTimestamp;
    qsizetype p = headerSize;
    while (p < end) {
        const quint8 header = quint8(file[p++]);
        int local;
        std::optional<quint32> compressedTime;
        if (header & 0x80) {
            // Compressed timestamp: five bits of offset from the last full timestamp.
            local = (header >> 5) & 0x03;
            if (!lastTimestamp)
                return QStringLiteral("The FIT file gives a compressed time before any full time: it cannot be read.");
            const quint32 offset = header & 0x1F;
            quint32 t = (*lastTimestamp & ~quint32(0x1F)) + offset;
            if (offset < (*lastTimestamp & 0x1F))
                t += 0x20;
            compressedTime = t;
            lastTimestamp = t;
        } else if (header & 0x40) {
            local = header & 0x0F;
            Definition d;
            d.defined = true;
            if (p + 5 > end)
                return kCutShort;
            const quint8 architecture = quint8(file[p + 1]);
            if (architecture > 1)
                return QStringLiteral("A FIT message definition names an unknown byte order: the file is damaged.");
            d.bigEndian = architecture == 1;
            d.global = d.bigEndian ? qFromBigEndian<quint16>(file + p + 2) : qFromLittleEndian<quint16>(file + p + 2);
            const int count = quint8(file[p + 4]);
            p += 5;
            if (p + 3 * count > end)
                return kCutShort;
            for (int i = 0; i < count; ++i, p += 3)
                d.fields.push_back({quint8(file[p]), quint8(file[p + 1]), quint8(file[p + 2])});
            if (header & 0x20) {
                if (p + 1 > end)
                    return kCutShort;
                const int developerCount = quint8(file[p++]);
                if (p + 3 * developerCount > end)
                    return kCutShort;
                for (int i = 0; i < developerCount; ++i, p += 3)
                    d.developerBytes += quint8(file[p + 1]);
            }
            definitions[size_t(local)] = std::move(d);
            continue;
        } else {
            local = header & 0x0F;
        }
        const Definition& d = definitions[size_t(local)];
        if (!d.defined)
            return QStringLiteral("The FIT file has a message before its definition: the file is damaged.");
        Message m;
        m.global = d.global;
        for (const FieldDefinition& f : d.fields) {
            if (p + f.size > end)
                return kCutShort;
            std::vector<double> v = values(file + p, f.size, f.baseType, d.bigEndian);
            p += f.size;
            if (f.number == kTimestampField && !v.empty() && v.front() >= 0 && v.front() < 4294967296.0)
                lastTimestamp = quint32(v.front());
            m.fields.push_back({f.number, std::move(v)});
        }
        if (p + d.developerBytes > end)
            return kCutShort;
        p += d.developerBytes;
        if (compressedTime)
            m.fields.push_back({kTimestampField, {double(*compressedTime)}});
        out.push_back(std::move(m));
    }
    at += end + 2;
    return {};
}

} // namespace

std::optional<double> Message::value(int field) const
{
    for (const Field& f : fields)
        if (f.number == field && !f.values.empty())
            return f.values.front();
    return std::nullopt;
}

bool looksLikeFit(const QByteArray& bytes)
{
    return bytes.size() >= 12 && quint8(bytes[0]) >= 12 && bytes.mid(8, 4) == ".FIT";
}

quint16 crc16(const char* data, qsizetype size, quint16 crc)
{
    for (qsizetype i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

File decode(const QByteArray& bytes)
{
    File out;
    qsizetype at = 0;
    do {
        out.refusal = decodeOne(bytes, at, out.messages);
        if (!out.refusal.isEmpty()) {
            out.messages.clear();
            return out;
        }
        // Files may be chained one after another; padding after the last is ignored.
    } while (at + 12 <= bytes.size() && bytes.mid(at + 8, 4) == ".FIT");
    return out;
}

} // namespace fit_file
