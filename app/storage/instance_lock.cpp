#include "instance_lock.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <map>

namespace {

// The program file of a running process, empty when there is none (or it cannot be seen).
QString programOf(qint64 pid)
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid))).fileName();
}

QString foreignHolder(QLockFile& lock)
{
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application))
        return {};
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        return QStringLiteral("process %1 on the computer \"%2\"").arg(pid).arg(host);
    // The number of a Velmora that was killed may since belong to another program.
    const QString holder = programOf(pid);
    if (!holder.isEmpty() && holder != programOf(QCoreApplication::applicationPid()))
        return QStringLiteral("process %1 (%2)").arg(pid).arg(holder);
    return {};
}

} // namespace

namespace InstanceLock {

Result acquire(const QString& databasePath)
{
    // A window reopening the database, or a second store in the same process, shares the lock.
    static std::map<QString, std::weak_ptr<QLockFile>> held;
    Result result;
    result.lockPath = QFileInfo(databasePath).absoluteFilePath() + QStringLiteral(".lock");
    if (auto lock = held[result.lockPath].lock()) {
        result.lock = lock;
        return result;
    }
    auto lock = std::make_shared<QLockFile>(result.lockPath);
    lock->setStaleLockTime(0); // only a lock whose process is gone is stale, however long it ran
    if (!lock->tryLock(0)) {
        // Where no lock file can be made at all (a read-only folder), nothing else can run there
        // to share the cache with: carry on as the only one.
        if (lock->error() == QLockFile::LockFailedError) {
            result.foreignHolder = foreignHolder(*lock);
            return result;
        }
    }
    held[result.lockPath] = lock;
    result.lock = lock;
    return result;
}

} // namespace InstanceLock
