#pragma once

#include <QString>

// Where an installed program finds the files it ships with. Paths are taken relative to the
// program's own folder, so a tree installed under any prefix (or a DESTDIR) finds its own files
// and never a build folder's.
namespace install_paths {

// The program's folder: where the running executable lies.
QString programFolder();
// The installed read-only data: shotok.wav and the seed ("<prefix>/share/velmora").
QString dataFolder(const QString& programFolder = install_paths::programFolder());
// The installed libraries: Devlink and Devcore ("<prefix>/lib" or its multiarch folder).
QString libraryFolder(const QString& programFolder = install_paths::programFolder());
// The first of: beside the program, in the installed data folder. Empty when neither holds it.
QString findDataFile(const QString& name, const QString& programFolder = install_paths::programFolder());

} // namespace install_paths
