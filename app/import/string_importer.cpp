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
#include <algorithm>

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

// A session with a date or times is known wherever it is met. One without either (a plain list, a
// load table's row) cannot be told from another string of the same shots: it is known within
// its own file only.
QString sessionOf(const ImportedString& s, const QString& fileSha)
{
    const bool timed = std::any_of(s.times.begin(), s.times.end(), [](const QString& t) { return !t.isEmpty(); });
    if (s.when.isValid() || timed)
        return s.fingerprint();
    return QString::fromLatin1(
        QCryptographicHash::hash((s.fingerprint() + u'/' + fileSha).toLatin1(), QCryptographicHash::Sha256).toHex());
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
        const auto source = import_record::readSource(csv);
        if (!source)
            continue;
        if (!source->session.isEmpty())
            m_bySession.insert(source->session, csv);
        else if (!source->sha256.isEmpty())
            m_byFileSha.insert(source->sha256, csv);
    }
}

QString StringImporter::entryName(const ImportedString& s, const QDateTime& now) const
{
    // A name neither an entry nor an interrupted import's source has.
    const QDir dir(m_folder);
    const QString title = s.label.isEmpty() ? s.title : s.title + QStringLiteral(" ") + s.label;
    const QString base = StringArchive::fileName(s.when.isValid() ? s.when : now, s.format, title).chopped(4);
    QString csv = dir.filePath(base + QStringLiteral(".csv"));
    for (int n = 2; QFileInfo::exists(csv) || QFileInfo::exists(import_record::sourcePath(csv)); ++n)
        csv = dir.filePath(base + QStringLiteral(" (%1).csv").arg(n));
    return csv;
}

std::vector<StringImporter::Outcome> StringImporter::importFile(const QString& path, const UnitQuestion& askUnit,
                                                                const QDateTime& now)
{
    return importRead(readFile(path), askUnit, now);
}

StringImporter::ReadFile StringImporter::readFile(const QString& path)
{
    ReadFile read;
    read.path = path;
    const QFileInfo info(path);
    if (info.isDir()) {
        read.refusal = QStringLiteral("it is a folder.");
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.refusal = QStringLiteral("it cannot be read (") + file.errorString() + QStringLiteral(").");
        return read;
    }
    if (file.size() > kMaxImportBytes) {
        read.refusal = QStringLiteral("the file is larger than 10 MB: no chronograph's export is that large.");
        return read;
    }
    read.bytes = file.read(kMaxImportBytes + 1);
    file.close();
    read.result = import_formats::readExport(read.bytes);
    if (read.result.strings.empty())
        read.refusal = read.result.refusal.left(1).toLower() + read.result.refusal.mid(1);
    return read;
}

std::vector<StringImporter::Outcome> StringImporter::importRead(ReadFile read, const UnitQuestion& askUnit,
                                                                const QDateTime& now)
{
    const QString& path = read.path;
    const QByteArray& bytes = read.bytes;
    const QFileInfo info(path);
    auto whole = [&](Kind kind, const QString& message) {
        Outcome out;
        out.path = path;
        out.kind = kind;
        out.message = message;
        return std::vector<Outcome>{out};
    };
    if (!read.refusal.isEmpty() || read.result.strings.empty())
        return whole(Kind::Refused, quoted(path) + QStringLiteral(" was not imported: ") + read.refusal);

    const QString sha = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    loadIndex();
    if (const auto known = m_byFileSha.constFind(sha); known != m_byFileSha.constEnd()) {
        std::vector<Outcome> out =
            whole(Kind::AlreadyThere, quoted(path) + QStringLiteral(" is already in the history (as %1); nothing was "
                                                                    "added.")
                                                         .arg(quoted(*known)));
        out.front().archived = *known;
        return out;
    }

    const bool several = read.result.strings.size() > 1;
    std::optional<VelocityUnit> answered; // the user's unit, asked once a file
    QString original;                     // the kept copy, once a string is added
    QDir dir(m_folder);
    std::vector<Outcome> outcomes;
    for (ImportedString& s : read.result.strings) {
        Outcome out;
        out.path = path;
        // "loads.csv" (37.5 gr): which string of the file a line speaks of.
        const QString which = s.label.isEmpty() ? s.title.trimmed() : s.label;
        const QString name =
            several && !which.isEmpty() ? quoted(path) + QStringLiteral(" (%1)").arg(which) : quoted(path);
        auto stop = [&](Kind kind, const QString& message) {
            out.kind = kind;
            out.message = message;
            outcomes.push_back(out);
        };
        const QString session = sessionOf(s, sha);
        if (const auto known = m_bySession.constFind(session); known != m_bySession.constEnd()) {
            out.archived = *known;
            stop(Kind::AlreadyThere,
                 name + QStringLiteral(" is already in the history (as %1); nothing was added.").arg(quoted(*known)));
            continue;
        }
        QString unitNote = QStringLiteral("%1, from the file");
        if (s.unit == VelocityUnit::Unknown) {
            if (!answered)
                answered = askUnit ? askUnit(info.fileName(), s) : VelocityUnit::Unknown;
            s.unit = *answered;
            if (s.unit == VelocityUnit::Unknown) {
                out.unitMissing = true;
                stop(Kind::Refused, name + QStringLiteral(" was not imported: it does not say whether its velocities "
                                                          "are in fps or m/s, and no unit was given."));
                continue;
            }
            unitNote = QStringLiteral("%1, as the user said");
        }
        if (s.title.trimmed().isEmpty())
            s.title = info.completeBaseName().left(kMaxTitle);

        if (original.isEmpty()) {
            if (!dir.mkpath(importedFolderName())) {
                stop(Kind::Failed, name + QStringLiteral(" could not be imported: the folder \"%1\" cannot be created.")
                                              .arg(QDir::toNativeSeparators(dir.filePath(importedFolderName()))));
                break;
            }
            const QString kept = importedFolderName() + u'/' + sha.left(16) + u' ' + info.fileName();
            if (const QString error = import_record::save(dir.filePath(kept), bytes); !error.isEmpty()) {
                stop(Kind::Failed, name + QStringLiteral(" could not be imported: ") + error + u'.');
                break;
            }
            original = kept;
            if (stopAfter && stopAfter(Step::OriginalKept)) {
                stop(Kind::Failed, name + QStringLiteral(" could not be imported: stopped."));
                break;
            }
        }

        const QString csv = entryName(s, now);
        ImportSource source;
        source.format = s.format;
        source.fileName = info.fileName();
        source.original = original;
        source.sha256 = sha;
        source.session = session;
        source.unit = unitNote.arg(unitWord(s.unit));
        source.title = s.title;
        source.read = s.description();
        source.problem = s.problem;
        QString error = import_record::writeSource(csv, source);
        if (error.isEmpty())
            error = import_record::writeLabel(csv, s.label);
        if (!error.isEmpty()) {
            QFile::remove(import_record::sourcePath(csv));
            stop(Kind::Failed, name + QStringLiteral(" could not be imported: ") + error + u'.');
            break;
        }
        if (stopAfter && stopAfter(Step::SourceWritten)) {
            stop(Kind::Failed, name + QStringLiteral(" could not be imported: stopped."));
            break;
        }
        if (error = import_record::save(csv, archiveBytes(s)); !error.isEmpty()) {
            for (const QString& companion : import_record::companions(csv))
                QFile::remove(companion);
            stop(Kind::Failed, name + QStringLiteral(" could not be imported: ") + error + u'.');
            break;
        }
        m_bySession.insert(session, csv);
        out.archived = csv;
        QString message = name + QStringLiteral(": ") + source.read + u'.';
        if (!s.problem.isEmpty())
            message += QStringLiteral(" Note: ") + s.problem + u'.';
        stop(Kind::Added, message);
    }
    return outcomes;
}

std::vector<StringImporter::Outcome> StringImporter::importFiles(const QStringList& paths, const UnitQuestion& askUnit,
                                                                 const QDateTime& now)
{
    std::vector<Outcome> outcomes;
    outcomes.reserve(size_t(paths.size()));
    for (const QString& path : paths)
        for (Outcome& o : importFile(path, askUnit, now))
            outcomes.push_back(std::move(o));
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
