// Figures of reading the exports that are not text: the real ShotView workbooks, a workbook of
// 100 sessions of 100 shots, a FIT file of 30 000 shots, and the refusal of a zip part that
// unpacks to 40 MB (read only as far as the 32 MB limit).
#include "import/binary_export.h"
#include "import/fit_file.h"

#include "figures.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <vector>

namespace {

// The median of 5 readings, in ms, and what the last one gave.
double medianMs(const QByteArray& bytes, binary_export::Sessions& last)
{
    std::vector<double> ms;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        last = *binary_export::read(bytes);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[2];
}

size_t shots(const binary_export::Sessions& s)
{
    size_t n = 0;
    for (const ImportedString& each : s.strings)
        n += each.velocities.size();
    return n;
}

void add(QuaZip& zip, const QString& name, const QByteArray& content)
{
    QuaZipFile f(&zip);
    f.open(QIODevice::WriteOnly, QuaZipNewInfo(name));
    f.write(content);
    f.close();
}

QByteArray largeWorkbook()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    QByteArray book = "<workbook xmlns:r=\"r\"><sheets>";
    QByteArray rels = "<Relationships>";
    for (int s = 1; s <= 100; ++s) {
        const QByteArray n = QByteArray::number(s);
        book += "<sheet name=\"Load " + n + "\" r:id=\"r" + n + "\"/>";
        rels += "<Relationship Id=\"r" + n + "\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        QByteArray xml = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>Load " + n +
                         "</t></is></c></row><row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>#</t></is></c>"
                         "<c r=\"B2\" t=\"inlineStr\"><is><t>Speed (FPS)</t></is></c></row>";
        for (int i = 0; i < 100; ++i) {
            const QByteArray r = QByteArray::number(i + 3);
            xml += "<row r=\"" + r + "\"><c r=\"A" + r + "\"><v>" + QByteArray::number(i + 1) + "</v></c><c r=\"B" + r +
                   "\" t=\"inlineStr\"><is><t>" + QByteArray::number(2790 + ((i * 7 + s * 3) % 200) * 0.1, 'f', 1) +
                   "</t></is></c></row>";
        }
        add(zip, QStringLiteral("xl/worksheets/sheet%1.xml").arg(s), xml + "</sheetData></worksheet>");
    }
    add(zip, QStringLiteral("xl/workbook.xml"), book + "</sheets></workbook>");
    add(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), rels + "</Relationships>");
    zip.close();
    return bytes;
}

QByteArray largeFit()
{
    QByteArray data;
    data += QByteArray("\x40\x00\x00\x83\x01\x01\x03\x02\x84", 9); // session: its shot count
    data += QByteArray("\x00\x30\x75", 3);
    data += QByteArray("\x41\x00\x00\x84\x01\x03\xfd\x04\x86\x00\x04\x86\x01\x02\x84", 15); // shot: time, speed, number
    for (quint32 i = 0; i < 30000; ++i) {
        char m[11];
        m[0] = 0x01;
        qToLittleEndian(quint32(1'000'000'000 + i), m + 1);
        qToLittleEndian(quint32(300000 + (i * 37) % 5000), m + 5);
        qToLittleEndian(quint16(i + 1), m + 9);
        data += QByteArray(m, 11);
    }
    QByteArray out(12, '\0');
    out[0] = 12;
    out[1] = 0x20;
    qToLittleEndian(quint32(data.size()), out.data() + 4);
    out.replace(8, 4, ".FIT");
    out += data;
    const quint16 crc = fit_file::crc16(out.constData(), out.size());
    out.append(char(crc & 0xFF));
    out.append(char(crc >> 8));
    return out;
}

QByteArray zipBomb()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QuaZip zip(&buffer);
    zip.open(QuaZip::mdCreate);
    add(zip, QStringLiteral("xl/workbook.xml"), QByteArray(40 << 20, ' '));
    zip.close();
    return bytes;
}

} // namespace

void workbookFigures()
{
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    std::vector<Case> cases;
    for (const char* name : {"Shotview_i.xlsx", "Shotview_a.xls"}) {
        QFile f(QStringLiteral(VELMORA_IMPORT_FILES "/real/xero-workbook/") + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            cases.push_back({name, f.readAll()});
    }
    cases.push_back({"XLSX of 100 sessions x 100 shots", largeWorkbook()});
    cases.push_back({"FIT of 30 000 shots", largeFit()});
    cases.push_back({"zip part of 40 MB (refused)", zipBomb()});
    for (const Case& c : cases) {
        binary_export::Sessions last;
        const double ms = medianMs(c.bytes, last);
        std::printf("| reading %s (%.0f kB): %zu sessions, %zu shots | %.1f ms | |\n", c.what,
                    double(c.bytes.size()) / 1e3, last.strings.size(), shots(last), ms);
    }
}
