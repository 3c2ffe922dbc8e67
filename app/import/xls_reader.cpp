#include "xls_reader.h"
#include "compound_file.h"

#include <QLocale>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace xls_reader {

namespace {

enum Record : quint16 {
    Bof = 0x0809,
    Eof = 0x000A,
    Continue = 0x003C,
    BoundSheet = 0x0085,
    Sst = 0x00FC,
    LabelSst = 0x00FD,
    Label = 0x0204,
    Number = 0x0203,
    Rk = 0x027E,
    MulRk = 0x00BD,
};

const QString kDamaged = QStringLiteral("The Excel workbook's records are damaged: it cannot be read.");

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}

quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}

// One record of the workbook stream; CONTINUE records that follow it are its further pieces.
struct RecordView {
    quint16 type = 0;
    std::vector<QByteArrayView> pieces;
    QByteArrayView body() const { return pieces.empty() ? QByteArrayView() : pieces.front(); }
};

// The records from `at` to the next EOF (or the stream's end), CONTINUEs joined to theirs.
bool records(const QByteArray& stream, qsizetype at, qsizetype end, std::vector<RecordView>& out)
{
    out.clear();
    while (at + 4 <= end) {
        const quint16 type = u16(stream.constData() + at);
        const quint16 length = u16(stream.constData() + at + 2);
        at += 4;
        if (at + length > end)
            return false;
        const QByteArrayView body(stream.constData() + at, length);
        at += length;
        if (type == Continue && !out.empty())
            out.back().pieces.push_back(body);
        else
            out.push_back({type, {body}});
        if (type == Eof)
            return true;
    }
    return true;
}

// Reads strings that may run on from one record piece into the next, as the SST's do: a
// string's characters continue after a fresh option byte.
class PieceReader {
public:
    explicit PieceReader(const std::vector<QByteArrayView>& pieces) : m_pieces(pieces) {}

    bool bytes(qsizetype n, QByteArray* out = nullptr)
    {
        while (n > 0) {
            if (!nextPieceIfEnded())
                return false;
            const qsizetype take = std::min(n, m_pieces[m_piece].size() - m_at);
            if (out)
                out->append(m_pieces[m_piece].data() + m_at, take);
            m_at += take;
            n -= take;
        }
        return true;
    }
    bool u8(quint8& v)
    {
        QByteArray b;
        if (!bytes(1, &b))
            return false;
        v = quint8(b[0]);
        return true;
    }
    bool u16v(quint16& v)
    {
        QByteArray b;
        if (!bytes(2, &b))
            return false;
        v = u16(b.constData());
        return true;
    }
    bool u32v(quint32& v)
    {
        QByteArray b;
        if (!bytes(4, &b))
            return false;
        v = u32(b.constData());
        return true;
    }

    // XLUnicodeRichExtendedString: count, options, runs, extension, characters.
    bool richString(QString& text)
    {
        quint16 count = 0;
        quint8 options = 0;
        if (!u16v(count) || !u8(options))
            return false;
        quint16 runs = 0;
        quint32 extension = 0;
        if ((options & 0x08) && !u16v(runs))
            return false;
        if ((options & 0x04) && !u32v(extension))
            return false;
        if (!characters(count, options & 0x01, text))
            return false;
        return bytes(qsizetype(runs) * 4) && bytes(qsizetype(extension));
    }

    bool characters(quint16 count, bool wide, QString& text)
    {
        text.clear();
        while (text.size() < count) {
            if (m_at == m_pieces[m_piece].size()) {
                // The characters go on in the next piece, which starts with its own option byte.
                if (m_piece + 1 >= m_pieces.size())
                    return false;
                ++m_piece;
                m_at = 0;
                quint8 options = 0;
                if (!u8(options))
                    return false;
                wide = options & 0x01;
            }
            const qsizetype left = count - text.size();
            const qsizetype available = (m_pieces[m_piece].size() - m_at) / (wide ? 2 : 1);
            const qsizetype take = std::min(left, available);
            if (take == 0)
                return false;
            const char* p = m_pieces[m_piece].data() + m_at;
            if (wide)
                text += QString::fromUtf16(reinterpret_cast<const char16_t*>(p), take);
            else
                text += QString::fromLatin1(p, take);
            m_at += take * (wide ? 2 : 1);
        }
        return true;
    }

private:
    bool nextPieceIfEnded()
    {
        while (m_at == m_pieces[m_piece].size()) {
            if (m_piece + 1 >= m_pieces.size())
                return false;
            ++m_piece;
            m_at = 0;
        }
        return true;
    }

    const std::vector<QByteArrayView>& m_pieces;
    size_t m_piece = 0;
    qsizetype m_at = 0;
};

// A short string in a record: 8- or 16-bit count, options, characters.
bool shortString(QByteArrayView body, qsizetype at, bool wideCount, QString& text)
{
    const qsizetype head = wideCount ? 3 : 2;
    if (at + head > body.size())
        return false;
    const quint16 count = wideCount ? u16(body.data() + at) : quint8(body[at]);
    const bool wide = quint8(body[at + head - 1]) & 0x01;
    const qsizetype start = at + head;
    if (start + qsizetype(count) * (wide ? 2 : 1) > body.size())
        return false;
    text = wide ? QString::fromUtf16(reinterpret_cast<const char16_t*>(body.data() + start), count)
                : QString::fromLatin1(body.data() + start, count);
    return true;
}

// An RK number: a double's top 30 bits or a 30-bit integer, perhaps divided by 100.
double rkValue(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

QString numberText(double value)
{
    return std::isfinite(value) ? QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest) : QString();
}

bool readSheet(const QByteArray& stream, qsizetype at, qsizetype end, const std::vector<QString>& shared,
               workbook::Sheet& sheet, qsizetype& budget, QString& refusal)
{
    std::vector<RecordView> list;
    if (!records(stream, at, end, list) || list.empty() || list.front().type != Bof) {
        refusal = kDamaged;
        return false;
    }
    auto put = [&](quint16 row, quint16 column, const QString& text) {
        if (text.isEmpty())
            return true;
        if (workbook::putCell(sheet, row, column, text, budget))
            return true;
        refusal = QStringLiteral("The workbook holds more cells than any chronograph's export.");
        return false;
    };
    for (const RecordView& r : list) {
        const QByteArrayView b = r.body();
        if (r.type == LabelSst && b.size() >= 10) {
            const quint32 index = u32(b.data() + 6);
            if (index >= shared.size()) {
                refusal = QStringLiteral("The workbook's sheet \"%1\" refers to a shared string that it does not "
                                         "hold.")
                              .arg(sheet.name);
                return false;
            }
            if (!put(u16(b.data()), u16(b.data() + 2), shared[index]))
                return false;
        } else if (r.type == Label && b.size() >= 6) {
            QString text;
            if (!shortString(b, 6, true, text)) {
                refusal = kDamaged;
                return false;
            }
            if (!put(u16(b.data()), u16(b.data() + 2), text))
                return false;
        } else if (r.type == Number && b.size() >= 14) {
            double value;
            std::memcpy(&value, b.data() + 6, sizeof value);
            value = qFromLittleEndian(value);
            if (!put(u16(b.data()), u16(b.data() + 2), numberText(value)))
                return false;
        } else if (r.type == Rk && b.size() >= 10) {
            if (!put(u16(b.data()), u16(b.data() + 2), numberText(rkValue(u32(b.data() + 6)))))
                return false;
        } else if (r.type == MulRk && b.size() >= 6) {
            const quint16 row = u16(b.data());
            quint16 column = u16(b.data() + 2);
            for (qsizetype p = 4; p + 6 + 2 <= b.size(); p += 6, ++column)
                if (!put(row, column, numberText(rkValue(u32(b.data() + p + 2)))))
                    return false;
        }
    }
    return true;
}

} // namespace

bool looksLikeXls(const QByteArray& bytes)
{
    return compound_file::looksLikeCompoundFile(bytes);
}

workbook::Workbook read(const QByteArray& bytes)
{
    workbook::Workbook book;
    compound_file::Stream stream =
        compound_file::readStream(bytes, {QStringLiteral("Workbook"), QStringLiteral("Book")});
    if (!stream.refusal.isEmpty()) {
        book.refusal = stream.refusal;
        return book;
    }
    std::vector<RecordView> globals;
    if (!records(stream.bytes, 0, stream.bytes.size(), globals) || globals.empty() || globals.front().type != Bof ||
        globals.front().body().size() < 4) {
        book.refusal = kDamaged;
        return book;
    }
    if (u16(globals.front().body().data()) != 0x0600) {
        book.refusal = QStringLiteral("The workbook is in an Excel format older than Excel 97, which is not read.");
        return book;
    }
    std::vector<QString> shared;
    struct SheetEntry {
        QString name;
        quint32 at;
    };
    std::vector<SheetEntry> entries;
    for (const RecordView& r : globals) {
        if (r.type == 0x002F) {
            book.refusal = QStringLiteral("The workbook is protected by a password: it cannot be read.");
            return book;
        }
        if (r.type == BoundSheet && r.body().size() >= 8) {
            SheetEntry e{{}, u32(r.body().data())};
            // Worksheets only: charts and macro sheets hold no cells.
            if (quint8(r.body()[5]) != 0)
                continue;
            if (!shortString(r.body(), 6, false, e.name)) {
                book.refusal = kDamaged;
                return book;
            }
            entries.push_back(e);
        } else if (r.type == Sst) {
            PieceReader reader(r.pieces);
            quint32 total = 0, unique = 0;
            if (!reader.u32v(total) || !reader.u32v(unique)) {
                book.refusal = kDamaged;
                return book;
            }
            for (quint32 i = 0; i < unique; ++i) {
                QString text;
                if (!reader.richString(text)) {
                    book.refusal = kDamaged;
                    return book;
                }
                shared.push_back(text);
            }
        }
    }
    // Each sheet's records end where the next sheet's begin, so no record is read twice.
    std::vector<qsizetype> starts;
    for (const SheetEntry& e : entries)
        starts.push_back(qsizetype(e.at));
    std::sort(starts.begin(), starts.end());
    if (std::adjacent_find(starts.begin(), starts.end()) != starts.end()) {
        book.refusal = kDamaged;
        return book;
    }
    qsizetype budget = workbook::kMaxCells;
    for (const SheetEntry& e : entries) {
        workbook::Sheet sheet;
        sheet.name = e.name;
        const auto next = std::upper_bound(starts.begin(), starts.end(), qsizetype(e.at));
        const qsizetype end = next == starts.end() ? stream.bytes.size() : std::min(*next, stream.bytes.size());
        if (e.at >= quint32(stream.bytes.size()) ||
            !readSheet(stream.bytes, qsizetype(e.at), end, shared, sheet, budget, book.refusal)) {
            if (book.refusal.isEmpty())
                book.refusal = kDamaged;
            return book;
        }
        book.sheets.push_back(std::move(sheet));
    }
    if (book.sheets.empty())
        book.refusal = QStringLiteral("The workbook holds no sheets.");
    return book;
}

} // namespace xls_reader
