#include "install_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// Both are set by the build from the install layout (bin to lib, bin to share/velmora).
#ifndef VELMORA_BIN_TO_LIB
#define VELMORA_BIN_TO_LIB "../lib"
#endif
#ifndef VELMORA_BIN_TO_DATA
#define VELMORA_BIN_TO_DATA "../share/velmora"
#endif

namespace install_paths {

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString dataFolder(const QString& programFolder)
{
    return QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(VELMORA_BIN_TO_DATA)));
}

QString libraryFolder(const QString& programFolder)
{
    return QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral(VELMORA_BIN_TO_LIB)));
}

QString findDataFile(const QString& name, const QString& programFolder)
{
    for (const QString& folder : {programFolder, dataFolder(programFolder)}) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace install_paths
