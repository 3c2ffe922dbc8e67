#pragma once

#include <QByteArray>
#include <QString>

// The compound file (OLE2 structured storage) that holds an Excel 97–2003 workbook: a small
// file system of sectors. Only reading one stream by name is needed.
namespace compound_file {

bool looksLikeCompoundFile(const QByteArray& bytes);

struct Stream {
    QByteArray bytes;
    QString refusal; // one sentence when the stream cannot be read
};

// The first stream named one of `names` (case-insensitive), or a refusal.
Stream readStream(const QByteArray& file, const QStringList& names);

} // namespace compound_file
