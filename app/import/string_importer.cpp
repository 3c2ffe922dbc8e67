#include "string_importer.h"

#include "history/string_archive.h"
#include "import/import_formats.h"
#include "import/import_record.h"
#include "import/import_text.h"
#include "shot/ballistics.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

using Kind = StringImporter::Outcome::Kind;

QString quoted(const QString& path)
{
    return u'"' + QFileInfo(path).fileName() + u'"';
}

// A field of the archive CSV: its reader splits on every comma.
QString field(const QString& text)
{
    QString t = text;
    return t.replace(u',', u' ').replace(u'\n', u' ').replace(u'\r', u' ').trimmed();
}

QString fixed(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

} // namespace

StringImporter::StringImporter(QString historyFolder) : m_folder(std::move(historyFolder)) {}

QByteArray StringImporter::archiveBytes(const ImportedString& s)
{
    QString text = QStringLiteral(
        "Shot,Date/Time,Make/Model,Grains,fps,m/s,Ft.Lbf,Joules,IPSC-F,Pellet Name,Caliber,Gun Make,Gun Model\r\n");
    const QString title = field(s.title);
    for (size_t i = 0; i < s.velocities.size(); ++i) {
        const double fps = toFps(s.velocities[i], s.unit);
        const double ftLbf = fps * fps * s.grains / ballistics::kEnergyDivisor;
        QDateTime at;
        if (s.when.isValid()) {
            const QTime own = import_text::clockTime(s.times[i]);
            at = QDateTime(s.when.date(), own.isValid() ? own : s.when.time());
        }
        const QStringList cells{
            field(s.numbers[i]),
            at.isValid() ? at.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString(),
            title,
            fixed(s.grains, 2),
            fixed(fps, 3),
            fixed(fps * ballistics::kMetresPerFoot, 3),
            fixed(ftLbf, 2),
            fixed(ftLbf * ballistics::kJoulesPerFtLbf, 2),
            fixed(fps * s.grains / 1000, 1),
            title,
            QString(),
            QString(),
            QString(),
        };
        text += cells.join(u',') + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

void StringImporter::loadIndex()
{
    if (m_indexed)
        return;
    m_indexed = true;
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.csv.source")}, QDir::Files)) {
        const QString csv = dir.filePath(name.chopped(int(QStringLiteral(".source").size())));
        // A source without its string is what an interrupted import leaves: not an entry.
        if (!QFileInfo::exists(csv))
            continue;
        if (const auto source = import_record::readSource(csv); source && !source->sha256.isEmpty())
            m_bySha.insert(source->sha256, csv);
    }
}

StringImporter::Outcome StringImporter::importFile(const QString& path, const UnitQuestion& askUnit,
                                                   const QDateTime& now)
{
    Outcome out;
    out.path = path;
    auto refused = [&](const QString& why) {
        out.kind = Kind::Refused;
        out.message = quoted(path) + QStringLiteral(" was not imported: ") + why;
        return out;
    };
    auto failed = [&](const QString& why) {
        out.kind = Kind::Failed;
        out.message = quoted(path) + QStringLiteral(" could not be imported: ") + why;
        return out;
    };
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir())
        return refused(QStringLiteral("it is a folder."));
    if (!file.open(QIODevice::ReadOnly))
        return refused(QStringLiteral("it cannot be read (") + file.errorString() + QStringLiteral(")."));
    if (file.size() > kMaxImportBytes)
        return refused(QStringLiteral("the file is larger than 10 MB: no chronograph's export is that large."));
    const QByteArray bytes = file.read(kMaxImportBytes + 1);
    file.close();
    ImportResult read = import_formats::readExport(bytes);
    if (!read.string)
        return refused(read.refusal.left(1).toLower() + read.refusal.mid(1));
    ImportedString& s = *read.string;

    const QString sha = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    loadIndex();
    if (const auto known = m_bySha.constFind(sha); known != m_bySha.constEnd()) {
        out.kind = Kind::AlreadyThere;
        out.archived = *known;
        out.message = quoted(path) + QStringLiteral(" is already in the history (as %1); nothing was added.")
                                         .arg(quoted(*known));
        return out;
    }

    QString unitNote = QStringLiteral("%1, from the file");
    if (s.unit == VelocityUnit::Unknown) {
        s.unit = askUnit ? askUnit(info.fileName(), s) : VelocityUnit::Unknown;
        if (s.unit == VelocityUnit::Unknown)
            return refused(QStringLiteral("it does not say whether its velocities are in fps or m/s, and no unit was "
                                          "given."));
        unitNote = QStringLiteral("%1, as the user said");
    }
    if (s.title.trimmed().isEmpty())
        s.title = info.completeBaseName();

    QDir dir(m_folder);
    if (!dir.mkpath(importedFolderName()))
        return failed(QStringLiteral("the folder \"%1\" cannot be created.")
                          .arg(QDir::toNativeSeparators(dir.filePath(importedFolderName()))));
    const QString original = importedFolderName() + u'/' + sha.left(16) + u' ' + info.fileName();
    if (const QString error = import_record::save(dir.filePath(original), bytes); !error.isEmpty())
        return failed(error + u'.');
    if (stopAfter && stopAfter(Step::OriginalKept))
        return failed(QStringLiteral("stopped."));

    // A name neither an entry nor an interrupted import's source has.
    const QString base = StringArchive::fileName(s.when.isValid() ? s.when : now, s.format, s.title).chopped(4);
    QString csv = dir.filePath(base + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(csv) || QFileInfo::exists(import_record::sourcePath(csv)); ++n)
        csv = dir.filePath(base + QStringLiteral(" (%1).csv").arg(n));

    ImportSource source;
    source.format = s.format;
    source.fileName = info.fileName();
    source.original = original;
    source.sha256 = sha;
    source.unit = unitNote.arg(unitWord(s.unit));
    source.title = s.title;
    source.read = s.description();
    source.problem = s.problem;
    if (const QString error = import_record::writeSource(csv, source); !error.isEmpty())
        return failed(error + u'.');
    if (stopAfter && stopAfter(Step::SourceWritten))
        return failed(QStringLiteral("stopped."));
    if (const QString error = import_record::save(csv, archiveBytes(s)); !error.isEmpty()) {
        QFile::remove(import_record::sourcePath(csv));
        return failed(error + u'.');
    }
    m_bySha.insert(sha, csv);
    out.kind = Kind::Added;
    out.archived = csv;
    out.message = quoted(path) + QStringLiteral(": ") + source.read + u'.';
    if (!s.problem.isEmpty())
        out.message += QStringLiteral(" Note: ") + s.problem + u'.';
    return out;
}

std::vector<StringImporter::Outcome> StringImporter::importFiles(const QStringList& paths, const UnitQuestion& askUnit,
                                                                 const QDateTime& now)
{
    std::vector<Outcome> outcomes;
    outcomes.reserve(size_t(paths.size()));
    for (const QString& path : paths)
        outcomes.push_back(importFile(path, askUnit, now));
    return outcomes;
}

QString StringImporter::summary(const std::vector<Outcome>& outcomes)
{
    int added = 0, there = 0, refused = 0, failed = 0;
    for (const Outcome& o : outcomes) {
        switch (o.kind) {
        case Kind::Added:
            ++added;
            break;
        case Kind::AlreadyThere:
            ++there;
            break;
        case Kind::Refused:
            ++refused;
            break;
        case Kind::Failed:
            ++failed;
            break;
        }
    }
    QStringList parts{added == 1 ? QStringLiteral("1 string imported") : QStringLiteral("%1 strings imported").arg(added)};
    if (there > 0)
        parts.append(QStringLiteral("%1 already in the history").arg(there));
    if (refused > 0)
        parts.append(QStringLiteral("%1 refused").arg(refused));
    if (failed > 0)
        parts.append(QStringLiteral("%1 could not be written").arg(failed));
    return parts.join(QStringLiteral(", ")) + u'.';
}
