#include "capture_files.h"

#include "services/regional.h"
#include "services/timestamps.h"
#include "shot/ballistics.h"

namespace capture_files {

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
} // namespace

QString proposedName(const QString& gunMake, const QString& gunModel, const QString& projectile,
                     const QDateTime& now)
{
    const QString t = gunMake + u' ' + gunModel + u' ' + projectile + u' ';
    QString kept;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u' ')
            kept += c;
    }
    return kept + u'-' + now.toString(QStringLiteral("ddMMyy-")) + now.toString(QStringLiteral("hhmmss"));
}

QString csvSummary(const QStringList& headerCells, const QStringList& valueCells, const QString& extraInfo,
                   const QString& separator)
{
    QString text = kLineEnd + kLineEnd;
    for (const QStringList* row : {&headerCells, &valueCells}) {
        for (const QString& cell : *row)
            text += cell + separator;
        text += kLineEnd;
    }
    // The box ends its lines in LF; the file's lines all end in CR LF.
    QString extra = extraInfo;
    extra.replace(kLineEnd, QStringLiteral("\n")).replace(u'\r', u'\n').replace(QStringLiteral("\n"), kLineEnd);
    return text + kLineEnd + kLineEnd + extra + kLineEnd;
}

QString toCsv(QString listText)
{
    listText.replace(u',', u'.');
    listText.replace(u'\t', u',');
    return listText;
}

QByteArray fileBytes(const QString& text)
{
    return (text + kLineEnd).toLocal8Bit();
}

QString stampText(qint64 unixTime)
{
    return regional::shotDateTime(timestamps::unixToDate(unixTime), true);
}

QString dataCollectorText(const std::vector<PelletStore::CachedShot>& shots, const QString& currentGrains,
                          const QDateTime& now)
{
    const QString start = shots.empty() ? regional::shotDateTime(now, true) : stampText(shots.front().timestamp);
    const QString end = shots.empty() ? start : stampText(shots.back().timestamp);
    QString text = QStringLiteral("2.236068,true,true,true,false,false,false,false,915,") + kLineEnd;
    text += QStringLiteral("Start ") + start + kLineEnd;
    text += QStringLiteral("Total Strings = 1") + kLineEnd;
    text += QStringLiteral("Bullet Weight = ") + (shots.empty() ? currentGrains : shots.front().grains) + kLineEnd;
    text += QStringLiteral("Feet Per Second") + kLineEnd + kLineEnd;
    text += QStringLiteral("String 1") + kLineEnd;
    int i = 0;
    for (const PelletStore::CachedShot& shot : shots)
        text += u' ' + QString::number(++i) + u'\t' + u' ' + regional::format1(shot.fps) + kLineEnd;
    return text + QStringLiteral("End ") + end;
}

QString pelletLogText(const std::vector<PelletStore::CachedShot>& shots, double grains, const QString& weightText)
{
    QString text;
    if (shots.empty())
        return text;
    const QString weight = regional::format2(regional::toNumberOrFail(weightText));
    for (const PelletStore::CachedShot& shot : shots) {
        const double energy = regional::checked(shot.fps * shot.fps * grains / ballistics::kEnergyDivisor);
        text += regional::format2(shot.fps) + u',' + regional::format2(energy) + u',' + weight + kLineEnd;
    }
    return text;
}

} // namespace capture_files
