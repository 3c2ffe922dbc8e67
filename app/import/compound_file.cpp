#include "compound_file.h"

#include <QStringList>
#include <QtEndian>
#include <vector>

namespace compound_file {

namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kMaxRegular = 0xFFFFFFFA;
const QString kDamaged = QStringLiteral("The Excel file's structure is damaged: it cannot be read.");

quint32 u32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

class Reader {
public:
    explicit Reader(const QByteArray& file) : m_file(file) {}

    bool open()
    {
        const int shift = u16(m_file, 30);
        if (shift != 9 && shift != 12)
            return false;
        m_sectorSize = qsizetype(1) << shift;
        m_miniSectorSize = qsizetype(1) << 6;
        if (u16(m_file, 32) != 6)
            return false;
        m_sectorCount = (m_file.size() - 512 + m_sectorSize - 1) / m_sectorSize;
        m_miniCutoff = u32(m_file, 56);
        // The FAT's own sectors: 109 in the header, the rest in a chain of DIFAT sectors.
        std::vector<quint32> fatSectors;
        const quint32 fatCount = u32(m_file, 44);
        if (fatCount > quint32(m_sectorCount))
            return false;
        for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(u32(m_file, 76 + 4 * i));
        quint32 difat = u32(m_file, 68);
        for (qsizetype hops = 0; fatSectors.size() < fatCount; ++hops) {
            if (difat >= kMaxRegular || hops > m_sectorCount || !sectorInFile(difat))
                return false;
            const qsizetype at = offset(difat);
            const qsizetype perSector = m_sectorSize / 4 - 1;
            for (qsizetype i = 0; i < perSector && fatSectors.size() < fatCount; ++i)
                fatSectors.push_back(u32(m_file, at + 4 * i));
            difat = u32(m_file, at + 4 * perSector);
        }
        for (quint32 s : fatSectors) {
            if (!sectorInFile(s))
                return false;
            for (qsizetype i = 0; i < m_sectorSize / 4; ++i)
                m_fat.push_back(u32(m_file, offset(s) + 4 * i));
        }
        return true;
    }

    // A chain of regular sectors, `size` bytes of it; false where it leaves the file or loops.
    bool chain(quint32 start, qint64 size, QByteArray& out) const
    {
        out.clear();
        quint32 s = start;
        for (qsizetype hops = 0; out.size() < size; ++hops) {
            if (s >= kMaxRegular || s >= m_fat.size() || hops > m_sectorCount || !sectorInFile(s))
                return false;
            out.append(m_file.constData() + offset(s), qsizetype(std::min<qint64>(m_sectorSize, size - out.size())));
            s = m_fat[s];
        }
        return true;
    }

    // A whole chain, to its end, at most `limit` bytes.
    bool wholeChain(quint32 start, QByteArray& out) const
    {
        out.clear();
        quint32 s = start;
        for (qsizetype hops = 0; s != kEndOfChain; ++hops) {
            if (s >= kMaxRegular || s >= m_fat.size() || hops > m_sectorCount || !sectorInFile(s))
                return false;
            out.append(m_file.constData() + offset(s), m_sectorSize);
            s = m_fat[s];
        }
        return true;
    }

    Stream stream(const QStringList& names) const
    {
        QByteArray directory;
        if (!wholeChain(u32(m_file, 48), directory))
            return {{}, kDamaged};
        QByteArray miniStream;
        for (qsizetype at = 0; at + 128 <= directory.size(); at += 128) {
            const int nameBytes = u16(directory, at + 64);
            const int type = quint8(directory[at + 66]);
            if (type == 0 || nameBytes < 2 || nameBytes > 64)
                continue;
            const QString name =
                QString::fromUtf16(reinterpret_cast<const char16_t*>(directory.constData() + at), nameBytes / 2 - 1);
            const quint32 start = u32(directory, at + 116);
            const quint64 size = qFromLittleEndian<quint64>(directory.constData() + at + 120);
            if (type == 5) { // the root: its data is the mini stream
                if (start < kMaxRegular &&
                    !chain(start, qint64(std::min<quint64>(size, quint64(m_file.size()))), miniStream))
                    return {{}, kDamaged};
                continue;
            }
            if (type != 2 || !names.contains(name, Qt::CaseInsensitive))
                continue;
            if (size > quint64(m_file.size()) * 64 || size > quint64(256) * 1024 * 1024)
                return {{}, kDamaged};
            Stream out;
            const bool ok = size < m_miniCutoff ? miniChain(miniStream, start, qint64(size), out.bytes)
                                                : chain(start, qint64(size), out.bytes);
            if (!ok)
                return {{}, kDamaged};
            return out;
        }
        return {{}, QStringLiteral("The file is an Office compound file but holds no Excel workbook.")};
    }

private:
    bool sectorInFile(quint32 s) const
    {
        return qsizetype(s) < m_sectorCount && offset(s) + m_sectorSize <= m_file.size();
    }
    qsizetype offset(quint32 s) const { return 512 + qsizetype(s) * m_sectorSize; }

    bool miniChain(const QByteArray& miniStream, quint32 start, qint64 size, QByteArray& out) const
    {
        QByteArray miniFatBytes;
        const quint32 miniFatStart = u32(m_file, 60);
        if (size > 0 && !wholeChain(miniFatStart, miniFatBytes))
            return false;
        out.clear();
        quint32 s = start;
        const qsizetype miniCount = miniFatBytes.size() / 4;
        for (qsizetype hops = 0; out.size() < size; ++hops) {
            const qsizetype at = qsizetype(s) * m_miniSectorSize;
            if (s >= kMaxRegular || qsizetype(s) >= miniCount || hops > miniCount ||
                at + m_miniSectorSize > miniStream.size())
                return false;
            out.append(miniStream.constData() + at, qsizetype(std::min<qint64>(m_miniSectorSize, size - out.size())));
            s = u32(miniFatBytes, qsizetype(s) * 4);
        }
        return true;
    }

    const QByteArray& m_file;
    qsizetype m_sectorSize = 512;
    qsizetype m_miniSectorSize = 64;
    qsizetype m_sectorCount = 0;
    quint32 m_miniCutoff = 4096;
    std::vector<quint32> m_fat;
};

} // namespace

bool looksLikeCompoundFile(const QByteArray& bytes)
{
    return bytes.startsWith(QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
}

Stream readStream(const QByteArray& file, const QStringList& names)
{
    if (!looksLikeCompoundFile(file) || file.size() < 512)
        return {{}, QStringLiteral("The file is not an Office compound file.")};
    Reader reader(file);
    if (!reader.open())
        return {{}, kDamaged};
    return reader.stream(names);
}

} // namespace compound_file
