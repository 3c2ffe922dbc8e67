#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

class SimProcess;
class XSession;

// The real program on a private X server, as the crash and ending tests run it.
namespace velmora_run {
// Waits until the cache holds at least this many rows.
bool waitForCacheRows(int count, int timeoutMs = 8000);
QByteArray readAll(const QString& path);
// The archived strings' files, by name.
QStringList archives();
// Removes the archive folder, or a file left in its place by a test that failed.
void clearArchive();
// Settings for the Chrony on the simulator, a fresh database and an empty archive.
void prepare(const SimProcess& sim);
// Starts the real program and waits for its main window.
bool start(QProcess& velmora, XSession& x, const QProcessEnvironment& env);
// The menu's Exit and Yes to the question, as a user's keyboard does.
bool exit(QProcess& velmora, XSession& x);
// The environment that preloads the disk shim of the tests (see disk_shim.c).
QProcessEnvironment withDiskShim(QProcessEnvironment env);
// The velocities of every archived string, one list a file, in order of their velocities.
QList<QList<double>> archivedVelocities();
} // namespace velmora_run
