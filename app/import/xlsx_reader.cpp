#include "xlsx_reader.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <pugixml.hpp>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/unzip.h>

#include <cstring>
#include <map>

namespace xlsx_reader {

namespace {

// A part larger than this when unpacked is refused: a small file cannot unpack into gigabytes.
constexpr qint64 kMaxPartBytes = 32 * 1024 * 1024;

const QString kDamaged = QStringLiteral("The workbook's zip archive is damaged: it cannot be read.");

// Element names without their namespace prefix ("x:row" is "row").
const char* localName(const pugi::xml_node& node)
{
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(const pugi::xml_node& node, const char* name)
{
    return std::strcmp(localName(node), name) == 0;
}

pugi::xml_node child(const pugi::xml_node& parent, const char* name)
{
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        if (is(n, name))
            return n;
    return {};
}

QString utf8(const char* text)
{
    return QString::fromUtf8(text);
}

class Archive {
public:
    explicit Archive(const QByteArray& bytes) : m_zip(&m_buffer)
    {
        m_buffer.setData(bytes); // shared, not copied
        m_buffer.open(QIODevice::ReadOnly);
        m_open = m_zip.open(QuaZip::mdUnzip);
    }
    bool isOpen() const { return m_open; }
    bool has(const QString& name) { return m_zip.setCurrentFile(name, QuaZip::csInsensitive); }

    // The part unpacked, or a refusal.
    bool read(const QString& name, QByteArray& out, QString& refusal)
    {
        if (!m_zip.setCurrentFile(name, QuaZip::csInsensitive)) {
            refusal = QStringLiteral("The workbook has no part \"%1\": it is not a complete workbook.").arg(name);
            return false;
        }
        QuaZipFile file(&m_zip);
        if (!file.open(QIODevice::ReadOnly)) {
            refusal = kDamaged;
            return false;
        }
        out.clear();
        char chunk[65536];
        for (;;) {
            const qint64 n = file.read(chunk, sizeof chunk);
            if (n < 0) {
                refusal = kDamaged;
                return false;
            }
            if (n == 0)
                break;
            if (out.size() + n > kMaxPartBytes) {
                refusal = QStringLiteral("The workbook's part \"%1\" unpacks to more than 32 MB: no chronograph "
                                         "writes that much.")
                              .arg(name);
                return false;
            }
            out.append(chunk, n);
        }
        file.close();
        if (file.getZipError() != UNZ_OK) {
            refusal = kDamaged;
            return false;
        }
        return true;
    }

private:
    QBuffer m_buffer;
    QuaZip m_zip;
    bool m_open = false;
};

bool parse(pugi::xml_document& doc, const QByteArray& xml, const QString& name, QString& refusal)
{
    if (doc.load_buffer(xml.constData(), size_t(xml.size()), pugi::parse_default | pugi::parse_ws_pcdata))
        return true;
    refusal = QStringLiteral("The workbook's part \"%1\" is not well-formed XML.").arg(name);
    return false;
}

// The relationships of a part ("" for the package's own): id → (target's path in the archive, type).
std::map<QString, std::pair<QString, QString>> relationships(Archive& zip, const QString& part)
{
    const QString dir = part.isEmpty() ? QStringLiteral(".") : QFileInfo(part).path();
    const QString relsName = (dir == QLatin1String(".") ? QString() : dir + u'/') + QStringLiteral("_rels/") +
                             QFileInfo(part).fileName() + QStringLiteral(".rels");
    std::map<QString, std::pair<QString, QString>> out;
    QByteArray xml;
    QString ignored;
    pugi::xml_document doc;
    if (!zip.has(relsName) || !zip.read(relsName, xml, ignored) || !parse(doc, xml, relsName, ignored))
        return out;
    for (pugi::xml_node r = child(doc, "Relationships").first_child(); r; r = r.next_sibling()) {
        QString target = utf8(r.attribute("Target").value());
        if (target.startsWith(u'/'))
            target = target.mid(1);
        else if (dir != QLatin1String("."))
            target = dir + u'/' + target;
        out[utf8(r.attribute("Id").value())] = {QDir::cleanPath(target), utf8(r.attribute("Type").value())};
    }
    return out;
}

// The text of a string item: its <t>, or its rich runs' <t>s, without phonetic hints.
QString itemText(const pugi::xml_node& item)
{
    QString text;
    for (pugi::xml_node n = item.first_child(); n; n = n.next_sibling()) {
        if (is(n, "t"))
            text += utf8(n.text().get());
        else if (is(n, "r"))
            text += utf8(child(n, "t").text().get());
    }
    return text;
}

// "BC12" → column 54 (0-based); -1 when it is no cell reference.
qsizetype columnOf(const char* ref)
{
    qsizetype column = 0;
    int letters = 0;
    for (; *ref >= 'A' && *ref <= 'Z'; ++ref, ++letters) {
        if (letters == 3)
            return -1;
        column = column * 26 + (*ref - 'A' + 1);
    }
    return letters == 0 || column > 16384 ? -1 : column - 1;
}

bool readSheet(const pugi::xml_document& doc, const std::vector<QString>& shared, workbook::Sheet& sheet,
               qsizetype& budget, QString& refusal)
{
    const pugi::xml_node data = child(child(doc, "worksheet"), "sheetData");
    size_t nextRow = 0;
    for (pugi::xml_node row = data.first_child(); row; row = row.next_sibling()) {
        if (!is(row, "row"))
            continue;
        const unsigned long long r = row.attribute("r").as_ullong(nextRow + 1);
        if (r < 1 || r > 1048576) {
            refusal = QStringLiteral("The workbook's sheet \"%1\" numbers a row %2, which no spreadsheet has.")
                          .arg(sheet.name)
                          .arg(r);
            return false;
        }
        const size_t rowIndex = size_t(r - 1);
        nextRow = rowIndex + 1;
        qsizetype nextColumn = 0;
        for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
            if (!is(c, "c"))
                continue;
            qsizetype column = nextColumn;
            if (const pugi::xml_attribute ref = c.attribute("r")) {
                column = columnOf(ref.value());
                if (column < 0) {
                    refusal =
                        QStringLiteral("The workbook's sheet \"%1\" names a cell \"%2\", which no spreadsheet has.")
                            .arg(sheet.name, utf8(ref.value()));
                    return false;
                }
            }
            nextColumn = column + 1;
            const QString type = utf8(c.attribute("t").value());
            QString text;
            if (type == QLatin1String("s")) {
                const pugi::xml_node v = child(c, "v");
                bool ok = false;
                const qsizetype index = utf8(v.text().get()).trimmed().toLongLong(&ok);
                if (!ok || index < 0 || size_t(index) >= shared.size()) {
                    refusal = QStringLiteral("The workbook's sheet \"%1\" refers to a shared string that it does not "
                                             "hold.")
                                  .arg(sheet.name);
                    return false;
                }
                text = shared[size_t(index)];
            } else if (type == QLatin1String("inlineStr")) {
                text = itemText(child(c, "is"));
            } else {
                text = utf8(child(c, "v").text().get());
            }
            if (text.isEmpty())
                continue;
            if (!workbook::putCell(sheet, rowIndex, column, text, budget)) {
                refusal = QStringLiteral("The workbook holds more cells than any chronograph's export.");
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool looksLikeXlsx(const QByteArray& bytes)
{
    return bytes.startsWith(QByteArrayLiteral("PK\x03\x04"));
}

workbook::Workbook read(const QByteArray& bytes)
{
    workbook::Workbook book;
    Archive zip(bytes);
    if (!zip.isOpen()) {
        book.refusal = kDamaged;
        return book;
    }
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    for (const auto& [id, rel] : relationships(zip, QString()))
        if (rel.second.endsWith(QLatin1String("/officeDocument")))
            workbookPart = rel.first;
    QByteArray xml;
    pugi::xml_document doc;
    if (!zip.has(workbookPart)) {
        book.refusal = QStringLiteral("The zip archive holds no workbook: it is not an Excel file.");
        return book;
    }
    if (!zip.read(workbookPart, xml, book.refusal) || !parse(doc, xml, workbookPart, book.refusal))
        return book;
    const auto rels = relationships(zip, workbookPart);

    std::vector<QString> shared;
    for (const auto& [id, rel] : rels) {
        if (!rel.second.endsWith(QLatin1String("/sharedStrings")))
            continue;
        QByteArray sstXml;
        pugi::xml_document sst;
        if (!zip.read(rel.first, sstXml, book.refusal) || !parse(sst, sstXml, rel.first, book.refusal))
            return book;
        for (pugi::xml_node si = child(sst, "sst").first_child(); si; si = si.next_sibling())
            if (is(si, "si") && qsizetype(shared.size()) < workbook::kMaxCells)
                shared.push_back(itemText(si));
    }

    qsizetype budget = workbook::kMaxCells;
    const pugi::xml_node sheets = child(child(doc, "workbook"), "sheets");
    for (pugi::xml_node s = sheets.first_child(); s; s = s.next_sibling()) {
        if (!is(s, "sheet"))
            continue;
        workbook::Sheet sheet;
        sheet.name = utf8(s.attribute("name").value());
        QString id;
        for (pugi::xml_attribute a = s.first_attribute(); a; a = a.next_attribute())
            if (std::strcmp(a.name(), "r:id") == 0 || QByteArray(a.name()).endsWith(":id"))
                id = utf8(a.value());
        const auto rel = rels.find(id);
        if (rel == rels.end()) {
            book.refusal = QStringLiteral("The workbook lists a sheet \"%1\" that it does not hold.").arg(sheet.name);
            return book;
        }
        QByteArray sheetXml;
        pugi::xml_document sheetDoc;
        if (!zip.read(rel->second.first, sheetXml, book.refusal) ||
            !parse(sheetDoc, sheetXml, rel->second.first, book.refusal) ||
            !readSheet(sheetDoc, shared, sheet, budget, book.refusal))
            return book;
        book.sheets.push_back(std::move(sheet));
    }
    if (book.sheets.empty())
        book.refusal = QStringLiteral("The workbook holds no sheets.");
    return book;
}

} // namespace xlsx_reader
