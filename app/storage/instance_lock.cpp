#include "instance_lock.h"

#include <QFileInfo>
#include <QLockFile>
#include <map>

namespace InstanceLock {

std::shared_ptr<QLockFile> acquire(const QString& databasePath)
{
    // A window reopening the database, or a second store in the same process, shares the lock.
    static std::map<QString, std::weak_ptr<QLockFile>> held;
    const QString path = QFileInfo(databasePath).absoluteFilePath() + QStringLiteral(".lock");
    if (auto lock = held[path].lock())
        return lock;
    auto lock = std::make_shared<QLockFile>(path);
    lock->setStaleLockTime(0); // only a lock whose process is gone is stale, however long it ran
    if (!lock->tryLock(0)) {
        // Where no lock file can be made at all (a read-only folder), nothing else can run there
        // to share the cache with: carry on as the only one.
        if (lock->error() == QLockFile::LockFailedError)
            return nullptr;
    }
    held[path] = lock;
    return lock;
}

} // namespace InstanceLock
