#include "history_reader.h"

#include "history/string_archive.h"
#include "services/regional.h"
#include "shot/ballistics.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// The 13 fields of a data line; a user's extra commas are taken to be in the make and model.
constexpr int kFields = 13;

std::optional<double> csvNumber(const QString& text)
{
    const QString t = text.trimmed();
    // Figures as the program writes them are read without a locale: a locale's reading was most
    // of the time the History window took to open on a full folder. Anything else goes the
    // locale's way.
    char ascii[32];
    double value = 0;
    bool read = false;
    if (t.size() < qsizetype(sizeof ascii)) {
        qsizetype n = 0;
        for (const QChar c : t) {
            if (c.unicode() > 0x7f)
                break;
            ascii[n++] = char(c.unicode());
        }
        if (n == t.size()) {
            const auto [end, error] = std::from_chars(ascii, ascii + n, value);
            read = error == std::errc() && end == ascii + n;
        }
    }
    if (!read)
        value = QLocale::c().toDouble(t, &read);
    if (!read || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// "06/12/2026 01:30:00" with any separators.
QDateTime shotTime(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,2})\\D(\\d{1,2})\\D(\\d{2,4})\\s+(\\d{1,2})\\D(\\d{1,2})\\D(\\d{1,2})"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += 2000;
    return QDateTime(QDate(year, m.captured(2).toInt(), m.captured(1).toInt()),
                     QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()));
}

struct Problems {
    QString first;
    int count = 0;
    void add(const QString& text)
    {
        if (count++ == 0)
            first = text;
    }
    QString text() const
    {
        if (count <= 1)
            return first;
        return first + QStringLiteral(" (and %1 more)").arg(count - 1);
    }
};

} // namespace

QString ArchivedString::title() const
{
    QString text = when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QFileInfo(path).fileName();
    if (!gun.trimmed().isEmpty())
        text += u' ' + gun.trimmed();
    if (!projectile.trimmed().isEmpty())
        text += QStringLiteral(" - ") + projectile.trimmed();
    return text;
}

namespace {

// The lines of a file read a chunk at a time: memory stays at one chunk and one line whatever
// the file holds, and runs of blank lines are passed over without making lines of them.
class LineReader {
public:
    static constexpr qsizetype kChunk = 64 * 1024;
    static constexpr qsizetype kLongestLine = 64 * 1024;

    explicit LineReader(QIODevice& in) : m_in(in) {}

    // Passes over spaces, tabs and line ends; counts the lines passed.
    void skipBlank()
    {
        while (fill()) {
            const char* data = m_buffer.constData();
            const qsizetype size = m_buffer.size();
            while (m_pos < size) {
                const char c = data[m_pos];
                if (c == '\n')
                    ++m_lines;
                else if (c != ' ' && c != '\t' && c != '\r')
                    return;
                ++m_pos;
            }
        }
    }

    // The next line without its end, cut at kLongestLine (`cut` then says so); false at the end.
    bool next(QByteArray& line, bool& cut)
    {
        line.clear();
        cut = false;
        bool any = false;
        while (fill()) {
            any = true;
            const char* data = m_buffer.constData() + m_pos;
            const qsizetype left = m_buffer.size() - m_pos;
            const char* end = static_cast<const char*>(std::memchr(data, '\n', size_t(left)));
            const qsizetype length = end ? end - data : left;
            const qsizetype room = kLongestLine - line.size();
            if (length > room)
                cut = true;
            line.append(data, std::min(length, std::max<qsizetype>(room, 0)));
            m_pos += end ? length + 1 : length;
            if (end)
                break;
        }
        if (!any)
            return false;
        ++m_lines;
        if (line.endsWith('\r'))
            line.chop(1);
        return true;
    }

    // The number of the line `next` gave last (1 for the first).
    int lineNumber() const { return m_lines; }

private:
    bool fill()
    {
        if (m_pos < m_buffer.size())
            return true;
        m_buffer = m_in.read(kChunk);
        m_pos = 0;
        return !m_buffer.isEmpty();
    }

    QIODevice& m_in;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    int m_lines = 0;
};

// Fields split at the separator; a field in double quotes (as a spreadsheet writes one) may hold
// the separator, and "" inside it is one quote.
QStringList splitFields(const QString& line, QChar separator)
{
    if (!line.contains(u'"'))
        return line.split(separator);
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            quoted = true;
            field.clear();
        } else if (c == separator) {
            fields.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field);
    return fields;
}

// No chronograph measures beyond this: a larger figure is an edit, not a shot.
constexpr double kAbsurd = 1e6;

} // namespace

namespace {

// The weight of a row in grains. Each row keeps the unit it was typed in while the heading has
// the unit at the string's end: of the two readings, the one its own energy agrees with.
double rowGrains(double weight, bool headingGrammes, double fps, double ftLbf)
{
    double asGrains = weight, asGrammes = 0;
    try {
        asGrammes = ballistics::weightInGrains(regional::numberText(weight), true);
    } catch (const std::exception&) {
        return headingGrammes ? 0 : weight;
    }
    const double energy = fps * fps / ballistics::kEnergyDivisor;
    if (!(energy > 0) || !std::isfinite(energy))
        return headingGrammes ? asGrammes : asGrains;
    const double offGrains = std::abs(asGrains * energy - ftLbf), offGrammes = std::abs(asGrammes * energy - ftLbf);
    if (offGrains == offGrammes)
        return headingGrammes ? asGrammes : asGrains;
    return offGrammes < offGrains ? asGrammes : asGrains;
}

} // namespace

ArchivedString parseArchivedString(QIODevice& in)
{
    ArchivedString s;
    Problems problems;
    LineReader reader(in);
    reader.skipBlank();
    QByteArray bytes;
    bool cut = false;
    if (!reader.next(bytes, cut)) {
        s.problem = QStringLiteral("not a Velmora CSV: the first line is not the heading \"Shot,Date/Time,...\"");
        return s;
    }
    QString heading = QString::fromLocal8Bit(bytes);
    if (heading.startsWith(QChar(0xFEFF)))
        heading.remove(0, 1);
    heading = heading.trimmed();
    // A spreadsheet in a comma locale saves with ";" between fields and decimal commas.
    const bool semicolons = heading.startsWith(QLatin1String("Shot;"));
    if (!heading.startsWith(QLatin1String("Shot,")) && !semicolons) {
        s.problem = QStringLiteral("not a Velmora CSV: the first line is not the heading \"Shot,Date/Time,...\"");
        return s;
    }
    const QChar separator = semicolons ? u';' : u',';
    auto number = [&](const QString& text) -> std::optional<double> {
        QString t = text.trimmed();
        if (semicolons)
            t.replace(u',', u'.');
        const auto value = csvNumber(t);
        if (!value || std::abs(*value) > kAbsurd)
            return std::nullopt;
        return value;
    };
    const bool grammes = splitFields(heading, separator).value(3).trimmed() == QLatin1String("Grammes");
    while (reader.next(bytes, cut)) {
        const int lineNumber = reader.lineNumber();
        if (cut) {
            problems.add(QStringLiteral("line %1 is too long").arg(lineNumber));
            continue;
        }
        const QString line = QString::fromLocal8Bit(bytes);
        if (line.trimmed().isEmpty())
            break; // the shots end at the first empty line; the summary follows
        const QStringList f = splitFields(line, separator);
        if (f.size() < kFields) {
            problems.add(QStringLiteral("line %1 has %2 fields instead of %3").arg(lineNumber).arg(f.size()).arg(kFields));
            continue;
        }
        // Extra separators are in the texts: the make and model before the six figures, or the
        // names after them. The figures are where all six read as numbers.
        const int extra = int(f.size()) - kFields;
        std::array<std::optional<double>, 6> figures; // weight, fps, m/s, ft.lbf, joules, factor
        int k = -1;
        for (int at = 0; at <= extra && k < 0; ++at) {
            bool all = true;
            for (int i = 0; i < 6 && all; ++i)
                all = (figures[size_t(i)] = number(f[3 + i + at])).has_value();
            if (all)
                k = at;
        }
        if (k < 0) {
            k = extra;
            for (int i = 0; i < 6; ++i)
                figures[size_t(i)] = number(f[3 + i + k]);
        }
        const auto fps = figures[1];
        const auto ftLbf = figures[3];
        const auto factor = figures[5];
        if (!fps || !ftLbf || !factor) {
            problems.add(QStringLiteral("line %1: a velocity or energy is not a number").arg(lineNumber));
            continue;
        }
        ChartShot shot;
        shot.number = f[0].trimmed();
        shot.time = f[1].trimmed();
        shot.fps = *fps;
        shot.ftLbf = *ftLbf;
        shot.ipscFactor = *factor;
        if (s.shots.empty()) {
            s.when = shotTime(shot.time);
            s.projectile = f[9 + k].trimmed();
            // The gun make and model are the last two fields, whatever came in between.
            s.gun = (f[f.size() - 2].trimmed() + u' ' + f[f.size() - 1].trimmed()).trimmed();
            s.weightUnit = grammes ? QStringLiteral("Grammes") : QStringLiteral("Grains");
            if (const auto weight = figures[0])
                s.grains = rowGrains(*weight, grammes, *fps, *ftLbf);
        }
        s.shots.push_back(shot);
    }
    if (s.shots.empty() && problems.count == 0)
        problems.add(QStringLiteral("it holds no shots"));
    s.problem = problems.text();
    return s;
}

ArchivedString parseArchivedString(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return parseArchivedString(buffer);
}

ArchivedString readArchivedString(const QString& path)
{
    ArchivedString s;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        s.problem = QStringLiteral("cannot be read: ") + file.errorString();
    } else if (file.size() > 64 * 1024 * 1024) {
        s.problem = QStringLiteral("too large to be a string (%1 bytes)").arg(file.size());
    } else {
        s = parseArchivedString(file);
    }
    s.path = path;
    if (!s.when.isValid())
        s.when = QFileInfo(path).lastModified();
    return s;
}

std::vector<ArchivedString> readHistoryFolder(const QString& folder)
{
    std::vector<ArchivedString> strings;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.csv"), QStringLiteral("*.CSV")}, QDir::Files |
                                                                                          QDir::NoDotAndDotDot);
    strings.reserve(size_t(files.size()));
    const std::map<QString, StringArchive::Kind> kinds = StringArchive::readKinds(folder);
    for (const QFileInfo& file : files) {
        strings.push_back(readArchivedString(file.filePath()));
        if (const auto kind = kinds.find(file.fileName()); kind != kinds.end()) {
            strings.back().gunType = kind->second.gunType;
            strings.back().weightUnit = kind->second.weightUnit;
        }
    }
    std::stable_sort(strings.begin(), strings.end(),
                     [](const ArchivedString& a, const ArchivedString& b) { return a.when > b.when; });
    return strings;
}
