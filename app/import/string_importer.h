#pragma once

#include "import/import_record.h"
#include "import/imported_string.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Imports export files into the history folder. Each string of a file becomes an archived string
// like a captured one (the CSV every archived string is), its source is kept beside it with its
// label, and the original file is copied byte for byte under "Imported/", named by its content's
// hash. The original is only read. A session is imported once, however many times it is met, in
// one file or several (one without a date or times: within its file). The steps, in order: the
// copy is kept, then for each string the source is written and the string archived; an import
// stopped between them leaves no entry for that string, and the strings not yet there are added
// when the file is imported again. Nothing here shows a window: the unit question is the
// caller's.
class StringImporter {
public:
    explicit StringImporter(QString historyFolder);

    // Asked when a file does not say its velocities' unit, once a file; Unknown refuses the file.
    using UnitQuestion = std::function<VelocityUnit(const QString& fileName, const ImportedString& s)>;

    struct Outcome {
        enum class Kind { Added, AlreadyThere, Refused, Failed };
        QString path;
        Kind kind = Kind::Failed;
        QString message;  // one sentence for the user
        QString archived; // the entry's CSV, when added or already there
        bool unitMissing = false; // refused because no unit was given
    };
    // One outcome a string of the file, or one for the whole file when it is refused.
    std::vector<Outcome> importFile(const QString& path, const UnitQuestion& askUnit, const QDateTime& now);

    // A file read and parsed, which needs neither the history nor the user: safe on any thread,
    // so that a window can read the next files while it archives this one.
    struct ReadFile {
        QString path;
        QByteArray bytes;
        ImportResult result;
        QString refusal; // the end of "... was not imported: ", when refused before parsing
    };
    static ReadFile readFile(const QString& path);
    // The rest of importFile: asks the unit, keeps the original and archives each string.
    std::vector<Outcome> importRead(ReadFile read, const UnitQuestion& askUnit, const QDateTime& now);
    std::vector<Outcome> importFiles(const QStringList& paths, const UnitQuestion& askUnit, const QDateTime& now);

    // "3 strings imported, 1 already in the history, 1 refused." Counted in strings.
    static QString summary(const std::vector<Outcome>& outcomes);

    static QString importedFolderName() { return QStringLiteral("Imported"); }

    // Where an import may be interrupted; a test stops it there to see what is left.
    enum class Step { OriginalKept, SourceWritten };
    std::function<bool(Step)> stopAfter;

    // The archive CSV of an imported string.
    static QByteArray archiveBytes(const ImportedString& s);

private:
    void loadIndex();
    QString entryName(const ImportedString& s, const QDateTime& now) const;

    QString m_folder;
    bool m_indexed = false;
    QHash<QString, QString> m_bySession; // each imported session's fingerprint → its entry's CSV
    // Entries imported before sessions had fingerprints: one string a file, known by the file's hash.
    QHash<QString, QString> m_byFileSha;
};
