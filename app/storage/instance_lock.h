#pragma once

#include <QString>
#include <memory>

class QLockFile;

// One Velmora per local database: a lock file beside it, held while the database is open. A lock
// left by a run that was killed is taken over; the same process may take it again.
namespace InstanceLock {
struct Result {
    std::shared_ptr<QLockFile> lock; // null while someone else holds it
    QString lockPath;
    // Held by something this machine cannot see ended: a process on another computer (a shared
    // home folder) or a live process of another program. Empty for another Velmora here.
    QString foreignHolder;
};
Result acquire(const QString& databasePath);
} // namespace InstanceLock
