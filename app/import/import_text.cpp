#include "import_text.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <array>
#include <cmath>
#include <utility>

namespace import_text {

Decoded decode(const QByteArray& raw, bool dropNul)
{
    QByteArray bytes = raw;
    if (dropNul)
        bytes.replace('\0', QByteArray());
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        // Tabs, line ends and form feeds are text; other control characters are not.
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f')
            return {{}, QStringLiteral("The file is not text (it holds control characters such as a byte %1).")
                            .arg(u, 2, 16, QLatin1Char('0'))};
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        QStringDecoder latin(QStringDecoder::Latin1);
        text = latin.decode(bytes);
    }
    return {text, {}};
}

QStringList lines(const QString& text)
{
    static const QRegularExpression ends(QStringLiteral("\r\n|\r|\n"));
    QStringList all = text.split(ends);
    while (!all.isEmpty() && all.last().trimmed().isEmpty())
        all.removeLast();
    return all;
}

QStringList fields(const QString& line, QChar separator)
{
    QStringList out;
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
        } else if (c == u'"') {
            quoted = true;
        } else if (c == separator) {
            out.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    out.append(field);
    return out;
}

std::optional<FileNumber> number(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^([-+]?\\d+)(?:[.,](\\d+))?$"));
    const QString t = text.trimmed();
    const QRegularExpressionMatch m = pattern.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    const QString decimals = m.captured(2);
    bool ok = false;
    const double value =
        QLocale::c().toDouble(decimals.isEmpty() ? m.captured(1) : m.captured(1) + u'.' + decimals, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return FileNumber{value, int(decimals.size())};
}

namespace {

// Accents a phone may write in a month's name, folded so that one table serves.
QString folded(const QString& word)
{
    QString out;
    for (QChar c : word.toLower().normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing && c != u'.')
            out += c;
    return out;
}

} // namespace

int monthNumber(const QString& word)
{
    // Prefixes of the names, longest first where two months share the start ("juin", "juil").
    static const std::array<std::pair<const char*, int>, 36> names = {{
        {"juin", 6}, {"juil", 7}, {"jan", 1}, {"gen", 1}, {"ene", 1}, {"fev", 2}, {"feb", 2}, {"maa", 3},
        {"mrt", 3},  {"mar", 3},  {"apr", 4}, {"avr", 4}, {"abr", 4}, {"mai", 5}, {"mag", 5}, {"mei", 5},
        {"may", 5},  {"maj", 5},  {"jun", 6}, {"giu", 6}, {"jul", 7}, {"lug", 7}, {"aug", 8}, {"aou", 8},
        {"ago", 8},  {"sep", 9},  {"set", 9}, {"okt", 10}, {"oct", 10}, {"ott", 10}, {"out", 10}, {"nov", 11},
        {"dez", 12}, {"dec", 12}, {"dic", 12}, {"des", 12},
    }};
    const QString w = folded(word);
    if (w.size() < 3)
        return 0;
    for (const auto& [prefix, month] : names) {
        if (w.startsWith(QLatin1String(prefix)))
            return month;
    }
    return 0;
}

QTime clockTime(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp]\\.?\\s?[Mm]\\.?)?"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return {};
    int hour = m.captured(1).toInt();
    const QString half = m.captured(4).toLower();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return {};
        hour = hour % 12 + (half.startsWith(u'p') ? 12 : 0);
    }
    return QTime(hour, m.captured(2).toInt(), m.captured(3).isEmpty() ? 0 : m.captured(3).toInt());
}

QDateTime namedMonthDate(const QString& text)
{
    static const QRegularExpression word(QStringLiteral("[^\\W\\d_]{3,}"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression numberToken(QStringLiteral("(?<![\\d:])(\\d{1,4})(?![\\d:])"));
    // The time first, so that its digits are not taken for the day.
    QString rest = text;
    static const QRegularExpression timePattern(QStringLiteral("\\d{1,2}:\\d{2}(?::\\d{2})?(\\s*[AaPp]\\.?\\s?[Mm]\\.?)?"));
    const QRegularExpressionMatch t = timePattern.match(rest);
    QTime time;
    if (t.hasMatch()) {
        time = clockTime(t.captured(0));
        rest.remove(t.capturedStart(0), t.capturedLength(0));
    }
    // The last name of a month: a weekday before the date may look like one ("mardi", "martes").
    int month = 0;
    for (auto it = word.globalMatch(rest); it.hasNext();)
        if (const int m = monthNumber(it.next().captured(0)))
            month = m;
    int day = 0;
    int year = 0;
    for (auto it = numberToken.globalMatch(rest); it.hasNext();) {
        const QString n = it.next().captured(1);
        if (n.size() == 4 && year == 0)
            year = n.toInt();
        else if (n.size() <= 2 && day == 0)
            day = n.toInt();
    }
    const QDate date(year, month, day);
    if (month == 0 || !date.isValid())
        return {};
    return QDateTime(date, time.isValid() ? time : QTime(0, 0));
}

} // namespace import_text
