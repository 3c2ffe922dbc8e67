#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

class QTextStream;

// `velmora --import [--unit fps|m/s] FILE...`: imports the files into the history folder without
// a window, prints what each gave and a summary line, and returns the exit status: 0 when every
// file was imported or already there, 1 when one was refused or could not be written, 2 when
// the command itself is wrong. A file that does not say its unit is refused unless --unit gives it.
int runImportCommand(const QStringList& arguments, const QString& historyFolder, const QDateTime& now,
                     QTextStream& out, QTextStream& err);

// Whether the program's arguments ask for something a shell is answered with (--import, --help,
// -h, --version) rather than the window.
bool isShellCommand(int argc, char* argv[]);

// `velmora --help` and `velmora --version` print to `out` and return 0; else the import runs.
int runShellCommand(const QStringList& arguments, const QString& historyFolder, const QDateTime& now, QTextStream& out,
                    QTextStream& err);

// What `velmora --version` prints: "Velmora v1.6".
QString versionText();
