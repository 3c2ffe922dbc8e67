#pragma once

#include <QString>
#include <optional>
#include <vector>

struct ArchivedString;

// What is kept beside an archived string's CSV: where an imported string came from
// ("<name>.csv.source", written once) and the label the user gave a string ("<name>.csv.label").
// The CSV itself stays the format every archived string has.
struct ImportSource {
    QString format;   // the device or format
    QString fileName; // the original file's name
    QString original; // the kept copy, relative to the history folder
    QString sha256;   // of the original bytes
    QString session;  // the string's fingerprint: the same session is imported once
    QString unit;     // "fps, from the file" or "m/s, as the user said"
    QString title;
    QString read;    // what was read, as the user was told
    QString problem; // where the file disagrees with itself
};

namespace import_record {

// Writes the whole file or leaves what was there; the error says why not.
[[nodiscard]] QString save(const QString& path, const QByteArray& bytes);

QString sourcePath(const QString& csvPath);
QString labelPath(const QString& csvPath);

// Written atomically; the error says why not.
[[nodiscard]] QString writeSource(const QString& csvPath, const ImportSource& source);
std::optional<ImportSource> readSource(const QString& csvPath);

QString readLabel(const QString& csvPath);
// An empty label removes the file. The error says why it could not be kept.
[[nodiscard]] QString writeLabel(const QString& csvPath, const QString& label);

// Fills each string's source, label and the problems its source names.
void attach(std::vector<ArchivedString>& strings);

// The files that go with an archived string when it is deleted.
std::vector<QString> companions(const QString& csvPath);

} // namespace import_record
