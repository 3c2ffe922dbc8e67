#include "history_reader.h"

#include "services/regional.h"
#include "shot/ballistics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

// The 13 fields of a data line; a user's extra commas are taken to be in the make and model.
constexpr int kFields = 13;

std::optional<double> csvNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
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

ArchivedString parseArchivedString(const QByteArray& bytes)
{
    ArchivedString s;
    Problems problems;
    QString text = QString::fromLocal8Bit(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    int first = 0;
    while (first < lines.size() && lines[first].trimmed().isEmpty())
        ++first;
    if (first >= lines.size() || !lines[first].trimmed().startsWith(QLatin1String("Shot,"))) {
        s.problem = QStringLiteral("not a Velmora CSV: the first line is not the heading \"Shot,Date/Time,...\"");
        return s;
    }
    const bool grammes = lines[first].split(u',').value(3).trimmed() == QLatin1String("Grammes");
    for (int i = first + 1; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            break; // the shots end at the first empty line; the summary follows
        const QStringList f = line.split(u',');
        const int lineNumber = i + 1;
        if (f.size() < kFields) {
            problems.add(QStringLiteral("line %1 has %2 fields instead of %3").arg(lineNumber).arg(f.size()).arg(kFields));
            continue;
        }
        const int extra = int(f.size()) - kFields;
        const auto fps = csvNumber(f[4 + extra]);
        const auto ftLbf = csvNumber(f[6 + extra]);
        const auto factor = csvNumber(f[8 + extra]);
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
            s.projectile = f[9 + extra].trimmed();
            s.gun = (f[11 + extra].trimmed() + u' ' + f[12 + extra].trimmed()).trimmed();
            if (const auto weight = csvNumber(f[3 + extra])) {
                try {
                    s.grains = ballistics::weightInGrains(regional::numberText(*weight), grammes);
                } catch (const std::exception&) {
                    s.grains = 0;
                }
            }
        }
        s.shots.push_back(shot);
    }
    if (s.shots.empty() && problems.count == 0)
        problems.add(QStringLiteral("it holds no shots"));
    s.problem = problems.text();
    return s;
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
        s = parseArchivedString(file.readAll());
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
    for (const QFileInfo& file : files)
        strings.push_back(readArchivedString(file.filePath()));
    std::stable_sort(strings.begin(), strings.end(),
                     [](const ArchivedString& a, const ArchivedString& b) { return a.when > b.when; });
    return strings;
}
