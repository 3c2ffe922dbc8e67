// The four self-registration exports, with their Linux meaning: the ProgIDs are written to a
// per-user registry file ("~/.config/Devlink/registry.conf") naming this library, the class
// object is a factory, and the library may be unloaded when no control is alive.
#include "devport.h"
#include "match_criteria.h"

#include <devlink_host.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <dlfcn.h>

#define DEVLINK_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kOk = 0;       // S_OK
constexpr int kFalse = 1;    // S_FALSE
constexpr int kNoClass = -1; // CLASS_E_CLASSNOTAVAILABLE
constexpr int kCannotWrite = -2;

const char* const kControlProgId = "Devlink.DevPort";
const char* const kPageProgId = "Devlink.MatchCriteria";
// Fixed identities of the library's classes and interfaces.
const char* const kControlClsid = "{6C1B8E52-3F0A-4D6E-9B57-1E2D4A7C9F31}";
const char* const kPageClsid = "{6C1B8E53-3F0A-4D6E-9B57-1E2D4A7C9F31}";
const char* const kTypeLibrary = "{6C1B8E50-3F0A-4D6E-9B57-1E2D4A7C9F31}";

QString registryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Devlink/registry.conf");
}

QString thisLibrary()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&registryPath), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
    return {};
}

QObject* createDevPort(QObject* container, DevlinkSite* site)
{
    try {
        return new DevPort(container, site);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The property page: a widget, owned by the container when that is a widget, else by the caller.
QObject* createMatchCriteria(QObject* container, DevlinkSite*)
{
    return new MatchCriteria(qobject_cast<QWidget*>(container));
}

const DevlinkClassFactory kControlFactory{createDevPort};
const DevlinkClassFactory kPageFactory{createMatchCriteria};

} // namespace

DEVLINK_EXPORT int DllRegisterServer()
{
    const QString library = thisLibrary();
    QDir().mkpath(QFileInfo(registryPath()).absolutePath());
    QSettings registry(registryPath(), QSettings::IniFormat);
    registry.setValue(QStringLiteral("%1/library").arg(QLatin1String(kControlProgId)), library);
    registry.setValue(QStringLiteral("%1/clsid").arg(QLatin1String(kControlProgId)), QLatin1String(kControlClsid));
    registry.setValue(QStringLiteral("%1/typelib").arg(QLatin1String(kControlProgId)), QLatin1String(kTypeLibrary));
    registry.setValue(QStringLiteral("%1/version").arg(QLatin1String(kControlProgId)), QStringLiteral("1.1"));
    registry.setValue(QStringLiteral("%1/library").arg(QLatin1String(kPageProgId)), library);
    registry.setValue(QStringLiteral("%1/clsid").arg(QLatin1String(kPageProgId)), QLatin1String(kPageClsid));
    registry.sync();
    return registry.status() == QSettings::NoError ? kOk : kCannotWrite;
}

DEVLINK_EXPORT int DllUnregisterServer()
{
    QSettings registry(registryPath(), QSettings::IniFormat);
    registry.remove(QLatin1String(kControlProgId));
    registry.remove(QLatin1String(kPageProgId));
    registry.sync();
    return registry.status() == QSettings::NoError ? kOk : kCannotWrite;
}

DEVLINK_EXPORT int DllGetClassObject(const char* progId, const DevlinkClassFactory** factory)
{
    if (!factory)
        return kNoClass;
    *factory = nullptr;
    if (progId && qstrcmp(progId, kControlProgId) == 0)
        *factory = &kControlFactory;
    else if (progId && qstrcmp(progId, kPageProgId) == 0)
        *factory = &kPageFactory;
    return *factory ? kOk : kNoClass;
}

DEVLINK_EXPORT int DllCanUnloadNow()
{
    return DevPort::liveControls() == 0 && MatchCriteria::livePages() == 0 ? kOk : kFalse;
}
