#pragma once

#include <QString>
#include <memory>

class QLockFile;

// One Velmora per local database: a lock file beside it, held while the database is open. A lock
// left by a run that was killed is taken over; the same process may take it again.
namespace InstanceLock {
// The held lock, or null when another running process holds it.
std::shared_ptr<QLockFile> acquire(const QString& databasePath);
} // namespace InstanceLock
