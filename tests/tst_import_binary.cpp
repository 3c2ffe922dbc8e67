// Reading the exports that are not text: the Xero C1 Pro's FIT files (header, definitions,
// compressed timestamps, developer fields, CRC) and the ShotView workbooks (XLSX and XLS, one
// sheet per session); what is refused, always in one sentence, and that no damaged file crashes.
#include "history/frm_history.h"
#include "history/history_model.h"
#include "history/string_archive.h"
#include "history/string_history.h"
#include "import/binary_export.h"
#include "import/fit_file.h"
#include "import/import_command.h"
#include "import/import_formats.h"
#include "import/string_importer.h"
#include "import/xls_reader.h"
#include "import/xlsx_reader.h"
#include "main_window/frm_main.h"
#include "test_app.h"

#include <QBuffer>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QtEndian>
#include <cstring>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

namespace {

QByteArray sample(const QString& name)
{
    QFile f(QStringLiteral(VELMORA_IMPORT_FILES "/real/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing sample %s", qPrintable(name));
    return f.readAll();
}

bool oneSentence(const QString& text)
{
    return !text.isEmpty() && text.endsWith(u'.') && !text.chopped(1).contains(QLatin1String(". ")) &&
           !text.contains(u'\n');
}

binary_export::Sessions sessionsOf(const QByteArray& bytes)
{
    const auto read = binary_export::read(bytes);
    if (!read)
        qFatal("not taken for a binary export");
    if (!read->refusal.isEmpty())
        qWarning("refused: %s", qPrintable(read->refusal));
    return *read;
}

// Builds FIT files: little- or big-endian definitions, normal or compressed-timestamp headers.
class FitWriter {
public:
    struct FieldDef {
        quint8 number, size, type;
    };
    void define(int local, int global, const std::vector<FieldDef>& fields, const std::vector<FieldDef>& developer = {},
                bool bigEndian = false)
    {
        m_data.append(char(0x40 | (developer.empty() ? 0 : 0x20) | local));
        m_data.append('\0');
        m_data.append(char(bigEndian ? 1 : 0));
        quint16 g = bigEndian ? qToBigEndian(quint16(global)) : qToLittleEndian(quint16(global));
        m_data.append(reinterpret_cast<const char*>(&g), 2);
        m_data.append(char(fields.size()));
        for (const FieldDef& f : fields)
            appendDefinition(f);
        if (!developer.empty()) {
            m_data.append(char(developer.size()));
            for (const FieldDef& f : developer)
                appendDefinition(f);
        }
    }
    // Values in the definition's order, each written in `size` bytes of the given byte order.
    void data(int local, const std::vector<std::pair<quint64, int>>& values, bool bigEndian = false)
    {
        m_data.append(char(local));
        put(values, bigEndian);
    }
    void compressed(int local, int timeOffset, const std::vector<std::pair<quint64, int>>& values)
    {
        m_data.append(char(0x80 | (local << 5) | (timeOffset & 0x1F)));
        put(values, false);
    }
    QByteArray bytes() const
    {
        QByteArray out(14, '\0');
        out[0] = 14;
        out[1] = 0x20;
        qToLittleEndian(quint16(2132), out.data() + 2);
        qToLittleEndian(quint32(m_data.size()), out.data() + 4);
        out.replace(8, 4, ".FIT");
        qToLittleEndian(fit_file::crc16(out.constData(), 12), out.data() + 12);
        out += m_data;
        const quint16 crc = fit_file::crc16(out.constData(), out.size());
        out.append(char(crc & 0xFF));
        out.append(char(crc >> 8));
        return out;
    }

private:
    void appendDefinition(const FieldDef& f)
    {
        m_data.append(char(f.number));
        m_data.append(char(f.size));
        m_data.append(char(f.type));
    }
    void put(const std::vector<std::pair<quint64, int>>& values, bool bigEndian)
    {
        for (const auto& [value, size] : values)
            for (int i = 0; i < size; ++i)
                m_data.append(char(value >> (8 * (bigEndian ? size - 1 - i : i))));
    }
    QByteArray m_data;
};

constexpr quint8 kUint8 = 0x02, kUint16 = 0x84, kUint32 = 0x86, kEnum = 0x00;
// 2024-05-01 10:00:00 UTC in FIT seconds.
constexpr quint32 kMayFirst = 1714557600 - 631065600;

// A file_id of type 54 and one chrono session of the given speeds (mm/s), the shots sent with
// compressed timestamps 3 s apart and a developer field in each; deviation in mm/s when given.
QByteArray chronoFit(const std::vector<quint32>& speeds, std::optional<quint32> deviation)
{
    FitWriter w;
    w.define(0, 0, {{0, 1, kEnum}, {1, 2, kUint16}});
    w.data(0, {{54, 1}, {1, 2}});
    std::vector<FitWriter::FieldDef> session = {{253, 4, kUint32}, {0, 4, kUint32}, {1, 4, kUint32},
                                                {2, 4, kUint32},   {3, 2, kUint16}, {5, 4, kUint32}};
    if (deviation)
        session.push_back({6, 4, kUint32});
    w.define(1, 387, session);
    const quint32 low = *std::min_element(speeds.begin(), speeds.end());
    const quint32 high = *std::max_element(speeds.begin(), speeds.end());
    double sum = 0;
    for (quint32 s : speeds)
        sum += s;
    std::vector<std::pair<quint64, int>> values = {
        {kMayFirst, 4},     {low, 4}, {high, 4}, {quint64(std::lround(sum / double(speeds.size()))), 4},
        {speeds.size(), 2}, {1750, 4}};
    if (deviation)
        values.push_back({*deviation, 4});
    w.data(1, values);
    // A full timestamp first, so that the compressed ones have something to count from.
    w.define(2, 388, {{253, 4, kUint32}, {0, 4, kUint32}, {1, 2, kUint16}});
    w.data(2, {{kMayFirst + 30, 4}, {speeds[0], 4}, {1, 2}});
    w.define(3, 388, {{0, 4, kUint32}, {1, 2, kUint16}}, {{0, 2, 0}});
    for (size_t i = 1; i < speeds.size(); ++i)
        w.compressed(3, int((kMayFirst + 30 + 3 * i) & 0x1F), {{speeds[i], 4}, {i + 1, 2}, {0xBEEF, 2}});
    return w.bytes();
}

QByteArray refit(QByteArray fit)
{
    // A damaged body with its checksum made right again, to reach the decoder's own checks.
    const quint16 crc = fit_file::crc16(fit.constData(), fit.size() - 2);
    fit[fit.size() - 2] = char(crc & 0xFF);
    fit[fit.size() - 1] = char(crc >> 8);
    return fit;
}

// Builds XLSX files: each sheet's rows, cells as shared strings; a cell "=n:..." is written as
// a number cell and "=i:..." as an inline string.
QByteArray xlsx(const std::vector<std::pair<QString, std::vector<QStringList>>>& sheets,
                const QByteArray& extraSheetXml = {})
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    auto add = [&](const QString& name, const QByteArray& content) {
        QuaZipFile f(&zip);
        f.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
        f.write(content);
        f.close();
    };
    auto escaped = [](const QString& s) { return s.toHtmlEscaped().toUtf8(); };
    QStringList shared;
    QByteArray workbook = "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                          "2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                          "<sheets>";
    QByteArray rels = "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\"><Relationship Id=\"rS\" Type=\"http://schemas.openxmlformats.org/"
                      "officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    for (size_t i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(qulonglong(i + 1));
        workbook += "<sheet name=\"" + escaped(sheets[i].first) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n +
                "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/worksheet\" Target=\"worksheets/sheet" +
                n + ".xml\"/>";
        QByteArray xml = "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                         "2006/main\"><sheetData>";
        for (size_t r = 0; r < sheets[i].second.size(); ++r) {
            xml += "<row r=\"" + QByteArray::number(qulonglong(r + 1)) + "\">";
            const QStringList& cells = sheets[i].second[r];
            for (qsizetype c = 0; c < cells.size(); ++c) {
                if (cells[c].isEmpty())
                    continue;
                const QByteArray ref = QByteArray(1, char('A' + c)) + QByteArray::number(qulonglong(r + 1));
                if (cells[c].startsWith(QLatin1String("=n:"))) {
                    xml += "<c r=\"" + ref + "\"><v>" + escaped(cells[c].mid(3)) + "</v></c>";
                } else if (cells[c].startsWith(QLatin1String("=i:"))) {
                    xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + escaped(cells[c].mid(3)) + "</t></is></c>";
                } else {
                    qsizetype index = shared.indexOf(cells[c]);
                    if (index < 0) {
                        index = shared.size();
                        shared.append(cells[c]);
                    }
                    xml += "<c r=\"" + ref + "\" t=\"s\"><v>" + QByteArray::number(index) + "</v></c>";
                }
            }
            xml += "</row>";
        }
        xml += "</sheetData></worksheet>";
        add(QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1),
            i == 0 && !extraSheetXml.isEmpty() ? extraSheetXml : xml);
    }
    // The workbook under another name than the usual, found through the package's relationships.
    add(QStringLiteral("_rels/.rels"),
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "relationships/officeDocument\" Target=\"xl/book.xml\"/></Relationships>");
    add(QStringLiteral("xl/book.xml"), workbook + "</sheets></workbook>");
    add(QStringLiteral("xl/_rels/book.xml.rels"), rels + "</Relationships>");
    QByteArray sst = "<?xml version=\"1.0\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (const QString& s : shared) {
        // Rich text: the text in two runs, as an app that styles part of a cell writes it.
        if (s.size() > 3)
            sst += "<si><r><t>" + escaped(s.left(2)) + "</t></r><r><t xml:space=\"preserve\">" + escaped(s.mid(2)) +
                   "</t></r></si>";
        else
            sst += "<si><t>" + escaped(s) + "</t></si>";
    }
    add(QStringLiteral("xl/sharedStrings.xml"), sst + "</sst>");
    zip.close();
    return bytes;
}

// A ShotView sheet as the iOS app writes it: speeds as text, an empty row before the summary.
std::vector<QStringList> shotViewSheet(const QString& title, const QStringList& speeds, const QStringList& summary,
                                       const QString& unit = QStringLiteral("FPS"))
{
    std::vector<QStringList> rows = {{title},
                                     {QStringLiteral("#"), QStringLiteral("Speed (%1)").arg(unit),
                                      QStringLiteral("Δ AVG"), QStringLiteral("KE"), QStringLiteral("PF"),
                                      QStringLiteral("Time")}};
    for (qsizetype i = 0; i < speeds.size(); ++i)
        rows.push_back({QString::number(i + 1), speeds[i], {}, {}, {}, QStringLiteral("1:%1:00\u202FPM").arg(10 + i)});
    rows.push_back({});
    for (const QString& line : summary)
        rows.push_back(line.split(u'|'));
    return rows;
}

// Builds a compound file holding one stream "Workbook" in regular sectors (padded to the
// 4096 bytes below which a stream would live in the mini stream).
QByteArray compoundFile(QByteArray stream)
{
    const qsizetype size = std::max<qsizetype>(stream.size(), 4096);
    stream.append(QByteArray(size - stream.size(), '\0'));
    stream.append(QByteArray((512 - stream.size() % 512) % 512, '\0'));
    const quint32 sectors = quint32(stream.size() / 512);
    QByteArray header(512, '\xFF');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    header.replace(8, 16, QByteArray(16, '\0'));
    qToLittleEndian(quint16(0x3E), header.data() + 24);
    qToLittleEndian(quint16(3), header.data() + 26);
    qToLittleEndian(quint16(0xFFFE), header.data() + 28);
    qToLittleEndian(quint16(9), header.data() + 30);
    qToLittleEndian(quint16(6), header.data() + 32);
    header.replace(34, 10, QByteArray(10, '\0'));
    qToLittleEndian(quint32(1), header.data() + 44); // one FAT sector, sector 0
    qToLittleEndian(quint32(1), header.data() + 48); // the directory in sector 1
    qToLittleEndian(quint32(0), header.data() + 52);
    qToLittleEndian(quint32(4096), header.data() + 56);
    qToLittleEndian(quint32(0xFFFFFFFE), header.data() + 60);
    qToLittleEndian(quint32(0), header.data() + 64);
    qToLittleEndian(quint32(0xFFFFFFFE), header.data() + 68);
    qToLittleEndian(quint32(0), header.data() + 72);
    qToLittleEndian(quint32(0), header.data() + 76);
    QByteArray fat(512, '\xFF');
    qToLittleEndian(quint32(0xFFFFFFFD), fat.data());
    qToLittleEndian(quint32(0xFFFFFFFE), fat.data() + 4);
    for (quint32 i = 0; i < sectors; ++i)
        qToLittleEndian(i + 1 == sectors ? quint32(0xFFFFFFFE) : quint32(i + 3), fat.data() + 4 * (2 + i));
    QByteArray directory(512, '\0');
    auto entry = [&](int index, const QString& name, int type, quint32 start, quint64 bytes) {
        char* e = directory.data() + 128 * index;
        std::memcpy(e, name.utf16(), size_t(name.size()) * 2);
        qToLittleEndian(quint16((name.size() + 1) * 2), e + 64);
        e[66] = char(type);
        std::memset(e + 68, 0xFF, 12);
        qToLittleEndian(start, e + 116);
        qToLittleEndian(bytes, e + 120);
    };
    entry(0, QStringLiteral("Root Entry"), 5, 0xFFFFFFFE, 0);
    entry(1, QStringLiteral("Workbook"), 2, 2, quint64(size));
    return header + fat + directory + stream;
}

QByteArray record(quint16 type, const QByteArray& body)
{
    QByteArray r(4, '\0');
    qToLittleEndian(type, r.data());
    qToLittleEndian(quint16(body.size()), r.data() + 2);
    return r + body;
}

QByteArray le16(quint16 v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray cellHead(quint16 row, quint16 column)
{
    return le16(row) + le16(column) + le16(15);
}

} // namespace

class TestImportBinary : public QObject {
    Q_OBJECT

private slots:
    void fitRealFiles_data();
    void fitRealFiles();
    void fitCompressedTimesDeveloperFieldsAndDeviation();
    void fitByteOrderSummaryPlaceAndChainedFiles();
    void fitRefusals_data();
    void fitRefusals();
    void fitDamageNeverCrashes();
    void workbookRealXlsx();
    void workbookRealXlsxGerman();
    void workbookRealXlsWithDecimalCommas();
    void workbookXlsRecordsOfEveryKind();
    void workbookSessionWrittenTwiceIsOneString();
    void workbookCellsAndLabels();
    void workbookRefusals_data();
    void workbookRefusals();
    void workbookDamageNeverCrashes();
    void importEachSessionOnce();
    void droppedOnTheHistoryAndFromTheShell();
};

void TestImportBinary::fitRealFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("shots");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("grains");
    QTest::addColumn<QDateTime>("when");
    // The file names are the phone's local time (the suite runs in Europe/Berlin, as it was).
    QTest::newRow("10 shots") << "06-18-2024_15-47-11.fit" << 10 << 265.391 << 180.0
                              << QDateTime(QDate(2024, 6, 18), QTime(15, 47, 11));
    QTest::newRow("15 shots") << "06-18-2024_15-50-06.fit" << 15 << 286.795 << 158.0
                              << QDateTime(QDate(2024, 6, 18), QTime(15, 50, 6));
    QTest::newRow("22 shots") << "06-18-2024_15-56-35.fit" << 22 << 384.820 << 158.0
                              << QDateTime(QDate(2024, 6, 18), QTime(15, 56, 35));
}

void TestImportBinary::fitRealFiles()
{
    QFETCH(QString, file);
    QFETCH(int, shots);
    QFETCH(double, first);
    QFETCH(double, grains);
    QFETCH(QDateTime, when);
    const auto read = sessionsOf(sample(QStringLiteral("xero-fit/") + file));
    QCOMPARE(read.strings.size(), size_t(1));
    const ImportedString& s = read.strings.front();
    QCOMPARE(int(s.velocities.size()), shots);
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities.front(), first);
    QCOMPARE(s.grains, grains);
    QCOMPARE(s.when, when);
    QCOMPARE(s.numbers.front(), QStringLiteral("1"));
    QCOMPARE(s.numbers.back(), QString::number(shots));
    // Firmware 3.23 gives no deviation; its average and spread agree with the shots.
    QVERIFY(!s.summary.deviation);
    QVERIFY(s.summary.average && s.summary.spread);
    QCOMPARE(import_formats::summaryDisagreement(s), QString());
    QCOMPARE(s.problem, QString());
}

void TestImportBinary::fitCompressedTimesDeveloperFieldsAndDeviation()
{
    // Speeds whose deviation (÷ n) is 2 m/s exactly: 100 ± 2 m/s.
    const std::vector<quint32> speeds = {98000,  102000, 98000,  102000, 98000,  102000, 98000,
                                         102000, 98000,  102000, 98000,  102000, 98000,  102000};
    const QByteArray fit = chronoFit(speeds, 2000);
    const auto read = sessionsOf(fit);
    QCOMPARE(read.strings.size(), size_t(1));
    const ImportedString& s = read.strings.front();
    QCOMPARE(s.velocities.size(), speeds.size());
    QCOMPARE(s.velocities[1], 102.0);
    QCOMPARE(s.numbers.back(), QStringLiteral("14"));
    QCOMPARE(s.grains, 175.0);
    QCOMPARE(s.summary.deviation->value, 2.0);
    QCOMPARE(s.summary.convention, DeviationConvention::DividesByN);
    QCOMPARE(import_formats::summaryDisagreement(s), QString());
    // Shot 1 at 10:00:30 UTC, then each 3 s later by a five-bit offset that rolls over at 32.
    const QDateTime first = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 30), Qt::UTC).toLocalTime();
    for (size_t i = 0; i < speeds.size(); ++i)
        QCOMPARE(s.times[i], first.addSecs(qint64(3 * i)).time().toString(QStringLiteral("HH:mm:ss")));
    QCOMPARE(s.when, QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC).toLocalTime());

    // A deviation that is not the shots' is reported, not taken.
    const ImportResult wrong = import_formats::readExport(chronoFit(speeds, 3000));
    QCOMPARE(wrong.strings.size(), size_t(1));
    QVERIFY2(wrong.strings.front().problem.contains(QStringLiteral("deviation (÷ n) 3.000 m/s")),
             qPrintable(wrong.strings.front().problem));
}

void TestImportBinary::fitByteOrderSummaryPlaceAndChainedFiles()
{
    // Two sessions, each summary written after its shots, in big-endian definitions.
    FitWriter w;
    w.define(0, 388, {{253, 4, kUint32}, {0, 4, kUint32}, {1, 2, kUint16}}, {}, true);
    w.define(1, 387, {{253, 4, kUint32}, {2, 4, kUint32}, {3, 2, kUint16}, {4, 1, kUint8}}, {}, true);
    for (int session = 0; session < 2; ++session) {
        for (int i = 0; i < 3; ++i)
            w.data(0,
                   {{kMayFirst + 100 * session + i, 4}, {quint64(300000 + 1000 * session + i), 4}, {quint64(i + 1), 2}},
                   true);
        w.data(1, {{kMayFirst + 100 * session, 4}, {quint64(300001 + 1000 * session), 4}, {3, 2}, {0xFF, 1}}, true);
    }
    const auto read = sessionsOf(w.bytes());
    QCOMPARE(read.strings.size(), size_t(2));
    QCOMPARE(read.strings[0].velocities, (std::vector<double>{300.0, 300.001, 300.002}));
    QCOMPARE(read.strings[1].velocities, (std::vector<double>{301.0, 301.001, 301.002}));
    QCOMPARE(read.strings[1].summary.average->value, 301.001);
    QCOMPARE(read.strings[1].when, QDateTime(QDate(2024, 5, 1), QTime(10, 1, 40), Qt::UTC).toLocalTime());

    // FIT files chained one after another: each one's sessions.
    const auto chained = sessionsOf(sample(QStringLiteral("xero-fit/06-18-2024_15-47-11.fit")) +
                                    sample(QStringLiteral("xero-fit/06-18-2024_15-50-06.fit")));
    QCOMPARE(chained.strings.size(), size_t(2));
    QCOMPARE(chained.strings[1].velocities.size(), size_t(15));

    // A summary that counts more shots than the file holds says so.
    FitWriter short_;
    short_.define(0, 387, {{3, 2, kUint16}});
    short_.data(0, {{5, 2}});
    short_.define(1, 388, {{0, 4, kUint32}});
    short_.data(1, {{300000, 4}});
    const auto counted = sessionsOf(short_.bytes());
    QCOMPARE(counted.strings.front().problem, QStringLiteral("the session counts 5 shots but the file holds 1"));
}

void TestImportBinary::fitRefusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal");
    const QByteArray real = sample(QStringLiteral("xero-fit/06-18-2024_15-47-11.fit"));
    QByteArray flipped = real;
    flipped[100] = char(flipped[100] ^ 0x10);
    QTest::newRow("bad CRC") << flipped << "fails its checksum";
    QTest::newRow("cut short") << real.left(200) << "cut short";
    QByteArray badHeader = real;
    badHeader[5] = char(badHeader[5] ^ 0x01);
    QTest::newRow("bad header CRC") << badHeader << "header fails its checksum";

    FitWriter activity; // a FIT file of another kind: file_id type 4, a record
    activity.define(0, 0, {{0, 1, kEnum}});
    activity.data(0, {{4, 1}});
    activity.define(1, 20, {{253, 4, kUint32}, {6, 2, kUint16}});
    activity.data(1, {{kMayFirst, 4}, {3000, 2}});
    QTest::newRow("activity") << activity.bytes() << "no chronograph session";

    FitWriter undefined;
    undefined.data(3, {{1, 4}});
    QTest::newRow("no definition") << undefined.bytes() << "before its definition";

    FitWriter early;
    early.define(0, 388, {{0, 4, kUint32}});
    early.compressed(0, 4, {{300000, 4}});
    QTest::newRow("compressed time first") << early.bytes() << "compressed time before any full time";

    FitWriter noShots;
    noShots.define(0, 387, {{3, 2, kUint16}});
    noShots.data(0, {{0, 2}});
    QTest::newRow("session without shots") << noShots.bytes() << "hold no shots";

    FitWriter overrun; // a field that runs past the data
    overrun.define(0, 388, {{0, 200, kUint32}});
    overrun.data(0, {{1, 4}});
    QTest::newRow("field past the end") << overrun.bytes() << "cut short";
}

void TestImportBinary::fitRefusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const auto read = binary_export::read(bytes);
    QVERIFY(read);
    QVERIFY(read->strings.empty());
    QVERIFY2(read->refusal.contains(refusal), qPrintable(read->refusal));
    QVERIFY2(oneSentence(read->refusal), qPrintable(read->refusal));
}

void TestImportBinary::fitDamageNeverCrashes()
{
    // Every cut and every changed byte (its checksum made right, so the decoder sees it): a
    // session or one sentence.
    const QByteArray real = sample(QStringLiteral("xero-fit/06-18-2024_15-50-06.fit"));
    int sessions = 0;
    for (qsizetype n = 0; n < real.size(); ++n) {
        const binary_export::Sessions cut = binary_export::readXeroFit(real.left(n));
        QVERIFY(cut.strings.empty() && oneSentence(cut.refusal));
        for (const char change : {char(0x01), char(0x80), char(0xFF)}) {
            QByteArray damaged = real;
            damaged[n] = char(damaged[n] ^ change);
            const binary_export::Sessions read =
                binary_export::readXeroFit(n < real.size() - 2 ? refit(damaged) : damaged);
            QVERIFY(read.strings.empty() == !read.refusal.isEmpty());
            QVERIFY(read.strings.empty() || !read.strings.front().velocities.empty());
            sessions += int(read.strings.size());
        }
    }
    QVERIFY(sessions > 0);
}

void TestImportBinary::workbookRealXlsx()
{
    const auto read = sessionsOf(sample(QStringLiteral("xero-workbook/Shotview_i.xlsx")));
    QCOMPARE(read.strings.size(), size_t(14));
    const ImportedString* hybrid = nullptr;
    for (const ImportedString& s : read.strings) {
        QCOMPARE(s.unit, VelocityUnit::Fps);
        QVERIFY2(import_formats::summaryDisagreement(s).isEmpty(), qPrintable(s.title));
        if (s.title == QLatin1String("105 hybrid 31.0gt"))
            hybrid = &s;
    }
    QVERIFY(hybrid);
    QCOMPARE(hybrid->velocities.size(), size_t(20));
    QCOMPARE(hybrid->velocities[1], 2808.2);
    QCOMPARE(hybrid->velocityDecimals, 1);
    // The narrow no-break space before PM, and the afternoon kept.
    QCOMPARE(hybrid->times[1], QStringLiteral("1:41:26 PM"));
    QCOMPARE(hybrid->when, QDateTime(QDate(2024, 4, 6), QTime(13, 41, 0)));
    QCOMPARE(hybrid->summary.deviation->value, 18.2);
    // "PROJECTILE WEIGHT(GRAINS" with its bracket left open.
    QCOMPARE(read.strings.back().title, QStringLiteral("Rifle Cartridge, 130.0 gr"));
    QCOMPARE(read.strings.back().grains, 130.0);
}

void TestImportBinary::workbookRealXlsxGerman()
{
    const auto read = sessionsOf(sample(QStringLiteral("xero-workbook/Shotview_i_de.xlsx")));
    QCOMPARE(read.strings.size(), size_t(2));
    const ImportedString& s = read.strings.front();
    QCOMPARE(s.title, QStringLiteral("55grs FOX - 24,20 D073.4"));
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities, (std::vector<double>{958.0, 937.2, 933.5, 940.0, 940.2}));
    QCOMPARE(s.summary.deviation->value, 8.5); // STANDARDABWEICHUNG
    QCOMPARE(s.summary.spread->value, 24.5);   // STREUUNG
    QCOMPARE(s.grains, 55.0);                  // GEWICHT DES PROJEKTILS(GRAN
    QCOMPARE(s.when, QDateTime(QDate(2025, 2, 8), QTime(10, 26, 39)));
    QCOMPARE(import_formats::summaryDisagreement(s), QString());
}

void TestImportBinary::workbookRealXlsWithDecimalCommas()
{
    const QByteArray bytes = sample(QStringLiteral("xero-workbook/Shotview_a.xls"));
    QVERIFY(xls_reader::looksLikeXls(bytes));
    const auto read = sessionsOf(bytes);
    QCOMPARE(read.strings.size(), size_t(7));
    const ImportedString& s = read.strings.front();
    QCOMPARE(s.format, QStringLiteral("Garmin Xero C1 (ShotView workbook)"));
    QCOMPARE(s.title, QStringLiteral("Gewehrpatrone, 40,0 gr"));
    QCOMPARE(s.velocities, (std::vector<double>{322.6, 321.5, 326.2}));
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.grains, 40.0); // "Gewicht des Projektils (GRAN)"
    QCOMPARE(s.summary.average->value, 323.4);
    QCOMPARE(s.when, QDateTime(QDate(2024, 7, 2), QTime(17, 25, 45)));
    for (const ImportedString& each : read.strings)
        QVERIFY2(import_formats::summaryDisagreement(each).isEmpty(), qPrintable(each.title));
    // A shot's notes in the later columns are not shots.
    QCOMPARE(read.strings[3].velocities.size(), size_t(9));
}

void TestImportBinary::workbookXlsRecordsOfEveryKind()
{
    // Shared strings split over a CONTINUE in the middle of a title, whose rest is 16-bit;
    // numbers as RK, MULRK and NUMBER records; a label cell; speeds as text with decimal commas.
    const QString title = QStringLiteral("Ladung 24,2 Zündhütchen");
    const QStringList strings = {title, QStringLiteral("#"), QStringLiteral("Tempo (MPS)"), QStringLiteral("322,6"),
                                 QStringLiteral("4,6")};
    QByteArray sst = le32(quint32(strings.size())) + le32(quint32(strings.size()));
    QByteArray continued;
    for (const QString& text : strings) {
        if (text == title) {
            // "Ladung 24,2 " 8-bit here, "Zündhütchen" 16-bit in the CONTINUE after a fresh option byte.
            sst += le16(quint16(text.size())) + '\0' + text.left(12).toLatin1();
            continued += '\x01';
            continued.append(reinterpret_cast<const char*>(text.mid(12).utf16()), (text.size() - 12) * 2);
            continue;
        }
        continued += le16(quint16(text.size())) + '\0' + text.toLatin1();
    }
    const QByteArray bof = record(0x0809, le16(0x0600) + le16(0x0005) + QByteArray(12, '\0'));
    const QByteArray name = QByteArray("\x05\x00", 2) + "Blatt";
    QByteArray globals = bof + record(0x0085, le32(0) + QByteArray(2, '\0') + name) + record(0x00FC, sst) +
                         record(0x003C, continued) + record(0x000A, {});
    const quint32 sheetAt = quint32(globals.size());
    globals.replace(bof.size() + 4, 4, le32(sheetAt));
    auto rk = [](quint32 hundredths) { return le32((hundredths << 2) | 0x03); };
    auto labelSst = [](quint16 row, quint16 column, quint32 index) {
        return record(0x00FD, cellHead(row, column) + le32(index));
    };
    QByteArray sheet = record(0x0809, le16(0x0600) + le16(0x0010) + QByteArray(12, '\0'));
    sheet += labelSst(0, 0, 0) + labelSst(1, 0, 1) + labelSst(1, 1, 2);
    sheet += record(0x027E, cellHead(2, 0) + le32((1 << 2) | 0x02)) + labelSst(2, 1, 3);
    double number = 321.5;
    sheet += record(0x027E, cellHead(3, 0) + le32((2 << 2) | 0x02)) +
             record(0x0203, cellHead(3, 1) + QByteArray(reinterpret_cast<const char*>(&number), 8));
    sheet += record(0x00BD, le16(4) + le16(0) + le16(15) + rk(300) + le16(15) + rk(32620) + le16(1));
    const QByteArray streuung = QByteArray("\x08\x00\x00", 3) + "STREUUNG";
    sheet += record(0x0204, cellHead(6, 0) + streuung) + labelSst(6, 1, 4) + record(0x000A, {});

    const QByteArray file = compoundFile(globals + sheet);
    const workbook::Workbook book = xls_reader::read(file);
    QCOMPARE(book.refusal, QString());
    QCOMPARE(book.sheets.size(), size_t(1));
    QCOMPARE(book.sheets[0].name, QStringLiteral("Blatt"));
    QCOMPARE(book.sheets[0].cell(0, 0), title);
    QCOMPARE(book.sheets[0].rows[4], (QStringList{QStringLiteral("3"), QStringLiteral("326.2")}));

    const auto read = sessionsOf(file);
    QCOMPARE(read.strings.size(), size_t(1));
    const ImportedString& s = read.strings.front();
    QCOMPARE(s.title, title);
    QCOMPARE(s.unit, VelocityUnit::MetresPerSecond);
    QCOMPARE(s.velocities, (std::vector<double>{322.6, 321.5, 326.2}));
    QCOMPARE(s.summary.spread->value, 4.6);
    QCOMPARE(s.problem, QStringLiteral("the sheet gives no date"));

    // The same workbook cut inside its shared strings is refused, not read in part.
    QByteArray cut = globals.left(bof.size() + 30);
    QVERIFY(oneSentence(xls_reader::read(compoundFile(cut)).refusal));
}

void TestImportBinary::workbookSessionWrittenTwiceIsOneString()
{
    const QStringList speeds = {QStringLiteral("2801.5"), QStringLiteral("2795.0"), QStringLiteral("2810.2")};
    const QStringList summary = {QStringLiteral("AVERAGE SPEED|2802.2"),
                                 QStringLiteral("DATE|May 3, 2024 at 1:09\u202FPM")};
    const QByteArray book =
        xlsx({{QStringLiteral("Load 1 03_May@13-09"), shotViewSheet(QStringLiteral("Load 1"), speeds, summary)},
              {QStringLiteral("Other 03_May@13-20"), shotViewSheet(QStringLiteral("Other"), {QStringLiteral("2700.0")},
                                                                   {QStringLiteral("DATE|the day before")})},
              {QStringLiteral("Renamed 03_May@13-09"), shotViewSheet(QStringLiteral("Renamed"), speeds, summary)}});
    const auto read = sessionsOf(book);
    QCOMPARE(read.strings.size(), size_t(2));
    QCOMPARE(read.strings[0].title, QStringLiteral("Load 1"));
    QCOMPARE(read.strings[1].title, QStringLiteral("Other"));
    // A date that cannot be read keeps the shots, with a note.
    QCOMPARE(read.strings[1].problem, QStringLiteral("the date \"the day before\" cannot be read"));
    QVERIFY(!read.strings[1].when.isValid());
}

void TestImportBinary::workbookCellsAndLabels()
{
    // Numbers written as number cells and as inline strings, a grouping comma, an unknown
    // label whose figure must not be checked, and the summary in another order.
    std::vector<QStringList> rows = {
        {QStringLiteral("=i:Fast load")},
        {QStringLiteral("#"), QStringLiteral("Speed (FPS)")},
        {QStringLiteral("=n:1"), QStringLiteral("=n:1369.8")},
        {QStringLiteral("=n:2"), QStringLiteral("1,371.2")},
        {QStringLiteral("4"), QStringLiteral("=i:1370.0"), {}, {}, {}, QStringLiteral("18.19.39")},
        {QStringLiteral("x"), QStringLiteral("gone")},
        {},
        {QStringLiteral("SPREAD"), QStringLiteral("1.4")},
        {QStringLiteral("MITTLERE GESCHWINDIGKEIT"), QStringLiteral("999.9")},
        {QStringLiteral("AVERAGE SPEED"), QStringLiteral("1370.3")},
        {QStringLiteral("PROJECTILE WEIGHT(GRAMS"), QStringLiteral("10.0")},
    };
    const auto read = sessionsOf(xlsx({{QStringLiteral("Fast"), rows}}));
    QCOMPARE(read.strings.size(), size_t(1));
    const ImportedString& s = read.strings.front();
    QCOMPARE(s.title, QStringLiteral("Fast load"));
    QCOMPARE(s.velocities, (std::vector<double>{1369.8, 1371.2, 1370.0}));
    QCOMPARE(s.numbers, (std::vector<QString>{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")}));
    QCOMPARE(s.problem, QStringLiteral("row 6 is not a shot; the sheet gives no date"));
    QCOMPARE(s.summary.average->value, 1370.3);
    QCOMPARE(s.summary.spread->value, 1.4);
    QVERIFY(!s.summary.deviation);
    QCOMPARE(s.grains, 154.323584); // grams, in grains
    QCOMPARE(import_formats::summaryDisagreement(s), QString());

    // A writer that prefixes every element with its namespace, and leaves out cell references.
    auto inl = [](const char* text) {
        return QByteArray("<x:c t=\"inlineStr\"><x:is><x:t>") + text + "</x:t></x:is></x:c>";
    };
    const QByteArray prefixed = "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                "<x:sheetData><x:row>" +
                                inl("Prefixed") + "</x:row><x:row>" + inl("#") + inl("Speed (M/S)") +
                                "</x:row><x:row>" + inl("1") + inl("301.5") + "</x:row><x:row>" + inl("2") +
                                inl("302.5") + "</x:row></x:sheetData></x:worksheet>";
    const auto other = sessionsOf(xlsx({{QStringLiteral("P"), {{QStringLiteral("unused")}}}}, prefixed));
    QCOMPARE(other.strings.size(), size_t(1));
    QCOMPARE(other.strings.front().title, QStringLiteral("Prefixed"));
    QCOMPARE(other.strings.front().velocities, (std::vector<double>{301.5, 302.5}));
    QCOMPARE(other.strings.front().unit, VelocityUnit::MetresPerSecond);
}

void TestImportBinary::workbookRefusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal");
    const QByteArray sheet = "<?xml version=\"1.0\"?><worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v>"
                             "</c></row></sheetData></worksheet>";
    const std::vector<QStringList> one = {{QStringLiteral("t")}};
    QTest::newRow("shared string missing") << xlsx({{QStringLiteral("S"), one}}, sheet) << "shared string";
    QTest::newRow("not XML") << xlsx({{QStringLiteral("S"), one}}, "<worksheet><sheetData><row>") << "not well-formed";
    QTest::newRow("far cell") << xlsx({{QStringLiteral("S"), one}},
                                      "<worksheet><sheetData><row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c>"
                                      "</row></sheetData></worksheet>")
                              << "more cells";
    QTest::newRow("no such column") << xlsx({{QStringLiteral("S"), one}},
                                            "<worksheet><sheetData><row><c r=\"ZZZZ1\"><v>1</v></c></row></sheetData>"
                                            "</worksheet>")
                                    << "names a cell";
    QTest::newRow("no session") << xlsx({{QStringLiteral("S"), {{QStringLiteral("Budget")}, {QStringLiteral("1")}}}})
                                << "No sheet of the workbook";

    QByteArray zipOnly;
    {
        QBuffer buffer(&zipOnly);
        QuaZip zip(&buffer);
        zip.open(QuaZip::mdCreate);
        QuaZipFile f(&zip);
        f.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("readme.txt")));
        f.write("hello");
        f.close();
        zip.close();
    }
    QTest::newRow("zip of something else") << zipOnly << "holds no workbook";
    QTest::newRow("damaged zip") << QByteArray("PK\x03\x04 not really a zip at all") << "damaged";

    // A part that unpacks to far more than any workbook: refused before it is all read.
    QByteArray bomb;
    {
        QBuffer buffer(&bomb);
        QuaZip zip(&buffer);
        zip.open(QuaZip::mdCreate);
        QuaZipFile f(&zip);
        f.open(QIODevice::WriteOnly, QuaZipNewInfo(QStringLiteral("xl/workbook.xml")));
        const QByteArray blank(1 << 20, ' ');
        for (int i = 0; i < 40; ++i)
            f.write(blank);
        f.close();
        zip.close();
    }
    QTest::newRow("zip bomb") << bomb << "more than 32 MB";

    const QByteArray xls = sample(QStringLiteral("xero-workbook/Shotview_a.xls"));
    QTest::newRow("xls cut short") << xls.left(9000) << "damaged";
    QByteArray loop = xls;
    // The workbook stream's first sector (2) made to point to itself in the allocation table.
    const quint32 fatSector = qFromLittleEndian<quint32>(xls.constData() + 76);
    qToLittleEndian(quint32(2), loop.data() + 512 + 512 * qsizetype(fatSector) + 4 * 2);
    QTest::newRow("xls sector loop") << loop << "damaged";
    QTest::newRow("compound file without workbook")
        << QByteArray(xls).replace(QByteArray("W\0o\0r\0k\0b\0o\0o\0k\0", 16),
                                   QByteArray("N\0o\0t\0h\0i\0n\0g\0s\0", 16))
        << "holds no Excel workbook";
}

void TestImportBinary::workbookRefusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const auto read = binary_export::read(bytes);
    QVERIFY(read);
    QVERIFY(read->strings.empty());
    QVERIFY2(read->refusal.contains(refusal), qPrintable(read->refusal));
    QVERIFY2(oneSentence(read->refusal), qPrintable(read->refusal));
}

void TestImportBinary::workbookDamageNeverCrashes()
{
    // Cuts and changed bytes through both real workbooks: sessions or one sentence, never more
    // sessions than sheets.
    for (const QString& name :
         {QStringLiteral("xero-workbook/Shotview_a.xls"), QStringLiteral("xero-workbook/Shotview_i_de.xlsx")}) {
        const QByteArray real = sample(name);
        for (qsizetype n = 0; n < real.size(); n += 97) {
            const binary_export::Sessions cut = binary_export::readXeroWorkbook(real.left(n));
            QVERIFY2(cut.strings.empty() == !cut.refusal.isEmpty(), qPrintable(name));
            QByteArray damaged = real;
            damaged[n] = char(damaged[n] ^ 0x5A);
            const binary_export::Sessions read = binary_export::readXeroWorkbook(damaged);
            QVERIFY(read.strings.empty() == !read.refusal.isEmpty());
            QVERIFY(read.strings.size() <= 7);
            if (!read.refusal.isEmpty())
                QVERIFY2(oneSentence(read.refusal), qPrintable(read.refusal));
        }
    }
}

void TestImportBinary::importEachSessionOnce()
{
    // Two workbooks that overlap by one session (under another title in the second), then a
    // FIT file: each session becomes one entry once, whatever file brings it again.
    QTemporaryDir dir;
    auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return f.fileName();
    };
    const QStringList summary = {QStringLiteral("DATE|May 3, 2024 at 1:09\u202FPM")};
    const auto load = [&](const QString& title, double base) {
        QStringList speeds;
        for (int i = 0; i < 5; ++i)
            speeds.append(QString::number(base + i * 1.5, 'f', 1));
        return shotViewSheet(title, speeds, summary);
    };
    const QString first =
        write(QStringLiteral("monday.xlsx"), xlsx({{QStringLiteral("24.0"), load(QStringLiteral("24.0 gr"), 2700)},
                                                   {QStringLiteral("24.4"), load(QStringLiteral("24.4 gr"), 2750)}}));
    const QString second = write(QStringLiteral("monday again.xlsx"),
                                 xlsx({{QStringLiteral("Copy"), load(QStringLiteral("24.4 again"), 2750)},
                                       {QStringLiteral("24.8"), load(QStringLiteral("24.8 gr"), 2800)}}));
    const QString fit =
        write(QStringLiteral("06-18-2024_15-47-11.fit"), sample(QStringLiteral("xero-fit/06-18-2024_15-47-11.fit")));

    StringImporter importer(dir.filePath(QStringLiteral("History")));
    const auto noUnit = [](const QString&, const ImportedString&) { return VelocityUnit::Unknown; };
    const QDateTime now = QDateTime::currentDateTime();
    auto kinds = [](const std::vector<StringImporter::Outcome>& outcomes) {
        QStringList out;
        for (const auto& o : outcomes)
            out.append(o.kind == StringImporter::Outcome::Kind::Added          ? QStringLiteral("added")
                       : o.kind == StringImporter::Outcome::Kind::AlreadyThere ? QStringLiteral("there")
                                                                               : o.message);
        return out;
    };
    QCOMPARE(kinds(importer.importFile(first, noUnit, now)), (QStringList{"added", "added"}));
    QCOMPARE(kinds(importer.importFile(second, noUnit, now)), (QStringList{"there", "added"}));
    QCOMPARE(kinds(importer.importFile(first, noUnit, now)), (QStringList{"there", "there"}));
    const auto fitOutcome = importer.importFile(fit, noUnit, now);
    QCOMPARE(kinds(fitOutcome), (QStringList{"added"}));
    // A FIT file has no title: the entry is named by the file.
    QVERIFY2(fitOutcome.front().archived.endsWith(QLatin1String(" - 06-18-2024 15-47-11.csv")),
             qPrintable(fitOutcome.front().archived));
    QCOMPARE(QDir(dir.filePath(QStringLiteral("History"))).entryList({QStringLiteral("*.csv")}, QDir::Files).size(), 4);
}

void TestImportBinary::droppedOnTheHistoryAndFromTheShell()
{
    TestApp::clearSettings();
    QDir(StringArchive::defaultFolder()).removeRecursively();
    QTemporaryDir dir;
    auto copy = [&](const QString& name) {
        const QString to = dir.filePath(QFileInfo(name).fileName());
        QFile::copy(QStringLiteral(VELMORA_IMPORT_FILES "/real/") + name, to);
        return to;
    };
    const QString german = copy(QStringLiteral("xero-workbook/Shotview_i_de.xlsx"));
    const QString fit = copy(QStringLiteral("xero-fit/06-18-2024_15-56-35.fit"));
    const QString android = copy(QStringLiteral("xero-workbook/Shotview_a.xls"));
    {
        TestApp app;
        frmMain& m = app.start();
        frmHistory& h = m.history().showHistory();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(german), QUrl::fromLocalFile(fit)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&h, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&h, &drop);
        QTRY_COMPARE(h.model().rowCount(), 3);
        QVERIFY2(app.prompt.texts().last().startsWith(QStringLiteral("3 strings imported.")),
                 qPrintable(app.prompt.texts().last()));
        h.close();
    }
    // From a shell: the German workbook again adds nothing, the Android one its seven sessions.
    QString out, err;
    QTextStream o(&out), e(&err);
    QCOMPARE(runImportCommand({QStringLiteral("--import"), german, android}, StringArchive::defaultFolder(),
                              QDateTime::currentDateTime(), o, e),
             0);
    QVERIFY2(out.endsWith(QStringLiteral("velmora: 7 strings imported, 2 already in the history.\n")), qPrintable(out));
}

QTEST_MAIN(TestImportBinary)
#include "tst_import_binary.moc"
