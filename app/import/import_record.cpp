#include "import_record.h"

#include "history/history_reader.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace import_record {

namespace {

// One "key=value" line; a value never spans lines.
QString line(const char* key, const QString& value)
{
    QString v = value;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    return QLatin1String(key) + u'=' + v + u'\n';
}

} // namespace

QString save(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

QString sourcePath(const QString& csvPath)
{
    return csvPath + QStringLiteral(".source");
}

QString labelPath(const QString& csvPath)
{
    return csvPath + QStringLiteral(".label");
}

QString writeSource(const QString& csvPath, const ImportSource& s)
{
    const QString text = line("format", s.format) + line("file", s.fileName) + line("original", s.original) +
                         line("sha256", s.sha256) + line("session", s.session) + line("unit", s.unit) +
                         line("title", s.title) + line("read", s.read) + line("problem", s.problem);
    return save(sourcePath(csvPath), text.toUtf8());
}

std::optional<ImportSource> readSource(const QString& csvPath)
{
    QFile file(sourcePath(csvPath));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    ImportSource s;
    for (const QString& l : QString::fromUtf8(file.read(256 * 1024)).split(u'\n')) {
        const qsizetype eq = l.indexOf(u'=');
        if (eq <= 0)
            continue;
        const QString key = l.left(eq);
        const QString value = l.mid(eq + 1);
        if (key == QLatin1String("format"))
            s.format = value;
        else if (key == QLatin1String("file"))
            s.fileName = value;
        else if (key == QLatin1String("original"))
            s.original = value;
        else if (key == QLatin1String("sha256"))
            s.sha256 = value;
        else if (key == QLatin1String("session"))
            s.session = value;
        else if (key == QLatin1String("unit"))
            s.unit = value;
        else if (key == QLatin1String("title"))
            s.title = value;
        else if (key == QLatin1String("read"))
            s.read = value;
        else if (key == QLatin1String("problem"))
            s.problem = value;
    }
    return s;
}

QString readLabel(const QString& csvPath)
{
    QFile file(labelPath(csvPath));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).split(u'\n').value(0).trimmed();
}

QString writeLabel(const QString& csvPath, const QString& label)
{
    QString text = label;
    text = text.replace(u'\r', u' ').replace(u'\n', u' ').trimmed();
    if (text.isEmpty()) {
        if (QFile::exists(labelPath(csvPath)) && !QFile::remove(labelPath(csvPath)))
            return QStringLiteral("the label's file cannot be removed");
        return {};
    }
    return save(labelPath(csvPath), (text + u'\n').toUtf8());
}

void attach(std::vector<ArchivedString>& strings)
{
    for (ArchivedString& s : strings) {
        s.label = readLabel(s.path);
        if (const auto source = readSource(s.path)) {
            s.source = source->format + QStringLiteral(", ") + source->fileName;
            if (!source->problem.isEmpty())
                s.problem = s.problem.isEmpty() ? source->problem : s.problem + QStringLiteral("; ") + source->problem;
        }
    }
}

std::vector<QString> companions(const QString& csvPath)
{
    std::vector<QString> out;
    for (const QString& p : {sourcePath(csvPath), labelPath(csvPath)})
        if (QFile::exists(p))
            out.push_back(p);
    return out;
}

} // namespace import_record
