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

// Imports export files into the history folder. Each string becomes an archived string like a
// captured one (the CSV every archived string is), its source is kept beside it, and the
// original file is copied byte for byte under "Imported/", named by its content's hash. The
// original is only read. The steps, in order: the copy is kept, the source is written, the
// string is archived; an import stopped between them leaves no entry, and is done whole when
// the file is imported again.
class StringImporter {
public:
    explicit StringImporter(QString historyFolder);

    // Asked when a file does not say its velocities' unit; Unknown refuses the file.
    using UnitQuestion = std::function<VelocityUnit(const QString& fileName, const ImportedString& s)>;

    struct Outcome {
        enum class Kind { Added, AlreadyThere, Refused, Failed };
        QString path;
        Kind kind = Kind::Failed;
        QString message;  // one sentence for the user
        QString archived; // the new entry's CSV, when added
    };
    Outcome importFile(const QString& path, const UnitQuestion& askUnit, const QDateTime& now);
    std::vector<Outcome> importFiles(const QStringList& paths, const UnitQuestion& askUnit, const QDateTime& now);

    // "3 strings imported, 1 already in the history, 1 refused."
    static QString summary(const std::vector<Outcome>& outcomes);

    static QString importedFolderName() { return QStringLiteral("Imported"); }

    // Where an import may be interrupted; a test stops it there to see what is left.
    enum class Step { OriginalKept, SourceWritten };
    std::function<bool(Step)> stopAfter;

    // The archive CSV of an imported string.
    static QByteArray archiveBytes(const ImportedString& s);

private:
    void loadIndex();

    QString m_folder;
    bool m_indexed = false;
    QHash<QString, QString> m_bySha; // the hash of each imported original → its entry's CSV
};
