#include "string_archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace {

// Letters, digits and spaces of a text, spaces run together; at most `limit` characters.
QString safePart(const QString& text, int limit)
{
    QString kept;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || u == u'-')
            kept += c;
        else if (!kept.isEmpty() && !kept.endsWith(u' '))
            kept += u' ';
    }
    return kept.left(limit).trimmed();
}

const QString kMarkName = QStringLiteral(".cache-mark");

} // namespace

StringArchive::StringArchive(QString folder) : m_folder(std::move(folder)) {}

QString StringArchive::defaultFolder()
{
    // Named here rather than by the application's name, so that every build and tool agrees.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Velmora/Velmora/History"));
}

QString StringArchive::fileName(const QDateTime& when, const QString& gun, const QString& projectile)
{
    QString name = when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
    const QString g = safePart(gun, 60);
    const QString p = safePart(projectile, 60);
    if (!g.isEmpty())
        name += u' ' + g;
    if (!p.isEmpty())
        name += QStringLiteral(" - ") + p;
    return name + QStringLiteral(".csv");
}

StringArchive::Written StringArchive::write(const QByteArray& bytes, const QDateTime& when, const QString& gun,
                                            const QString& projectile)
{
    QDir dir(m_folder);
    if (!dir.mkpath(QStringLiteral(".")))
        return {{}, QStringLiteral("the folder \"%1\" cannot be created").arg(QDir::toNativeSeparators(m_folder))};
    const QString base = fileName(when, gun, projectile).chopped(4);
    QString path = dir.filePath(base + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = dir.filePath(base + QStringLiteral(" (%1).csv").arg(n));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {{}, file.errorString()};
    return {path, {}};
}

QString StringArchive::markPath() const
{
    return QDir(m_folder).filePath(kMarkName);
}

bool StringArchive::writeMark(const CacheMark& mark) const
{
    if (!QDir(m_folder).mkpath(QStringLiteral(".")))
        return false;
    QSaveFile file(markPath());
    const QByteArray text = (mark.database + u'\n' + QString::number(mark.rowid) + u'\n' + mark.row + u'\n').toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

std::optional<StringArchive::CacheMark> StringArchive::readMark() const
{
    QFile file(markPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(file.read(64 * 1024)).split(u'\n');
    bool ok = false;
    CacheMark mark;
    mark.database = lines.value(0);
    mark.rowid = lines.value(1).toLongLong(&ok);
    mark.row = lines.value(2);
    if (!ok || lines.size() < 3)
        return std::nullopt;
    return mark;
}

void StringArchive::removeMark() const
{
    QFile::remove(markPath());
}

namespace {
const QString kIndexName = QStringLiteral(".strings-index");
} // namespace

std::map<QString, StringArchive::Kind> StringArchive::readKinds(const QString& folder)
{
    std::map<QString, Kind> kinds;
    QFile file(QDir(folder).filePath(kIndexName));
    if (!file.open(QIODevice::ReadOnly))
        return kinds;
    // Read as a stream, a line at a time, whatever its size; a line too long for a file name is
    // passed over whole.
    constexpr qint64 kLongestLine = 4096;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(kLongestLine);
        if (!line.endsWith('\n') && !file.atEnd()) {
            while (!file.atEnd() && !line.endsWith('\n'))
                line = file.readLine(kLongestLine);
            continue;
        }
        const QStringList f = QString::fromUtf8(line).trimmed().split(u'\t');
        bool ok = false;
        const int gunType = f.value(1).toInt(&ok);
        if (f.size() == 3 && ok)
            kinds[f[0]] = {gunType, f[2]};
    }
    return kinds;
}

void StringArchive::recordKind(const QString& folder, const QString& fileName, int gunType, const QString& weightUnit)
{
    std::map<QString, Kind> kinds = readKinds(folder);
    kinds[fileName] = {gunType, weightUnit};
    QByteArray text;
    for (const auto& [name, kind] : kinds)
        if (QFileInfo::exists(QDir(folder).filePath(name)))
            text += (name + u'\t' + QString::number(kind.gunType) + u'\t' + kind.weightUnit + u'\n').toUtf8();
    QSaveFile file(QDir(folder).filePath(kIndexName));
    // The index only adds to what the files say: a failure leaves the strings read without it.
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        (void)file.commit();
}
