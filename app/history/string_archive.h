#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// The folder of archived strings: every string the program held is kept there as the CSV that
// "Save Capture" would have written at that moment, one file a string, written atomically.
class StringArchive {
public:
    explicit StringArchive(QString folder);

    // ~/.local/share/Velmora/Velmora/History (under the user's data folder).
    static QString defaultFolder();
    const QString& folder() const { return m_folder; }

    // "2026-12-06 01-30-00 Air Arms S400 - JSB Exact.csv": the time, the gun and the projectile,
    // with only letters, digits, spaces and dashes kept.
    static QString fileName(const QDateTime& when, const QString& gun, const QString& projectile);

    struct Written {
        QString path;  // empty on failure
        QString error; // why it failed
    };
    // Writes the bytes under a name no other file has (a number is added when needed).
    Written write(const QByteArray& bytes, const QDateTime& when, const QString& gun, const QString& projectile);

    // Where the shot cache stood when a string last ended: rows up to this one belong to strings
    // that were already cleared (and archived when archiving was on). A crash replays them with
    // the rest of the cache; they must not be archived a second time.
    struct CacheMark {
        QString database; // the cache's file
        qint64 rowid = 0; // the last of those rows
        QString row;      // its stored text, to recognise it
        bool operator==(const CacheMark&) const = default;
    };
    // The mark of older runs, read once into the ledger and then removed.
    [[nodiscard]] bool writeMark(const CacheMark& mark) const;
    std::optional<CacheMark> readMark() const;
    void removeMark() const;

    // What the CSV cannot say about a string without changing what "Save Capture" writes: the
    // gun type and the weight unit it was shot with, in an index beside the files.
    struct Kind {
        int gunType = 0;
        QString weightUnit;
    };
    static void recordKind(const QString& folder, const QString& fileName, int gunType, const QString& weightUnit);
    // By file name; entries of files no longer there are harmless.
    static std::map<QString, Kind> readKinds(const QString& folder);

private:
    QString markPath() const;
    QString m_folder;
};
