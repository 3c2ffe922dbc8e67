#include "library_control_host.h"

#include "services/app_error.h"

#include <QSettings>
#include <QStandardPaths>
#include <devlink_host.h>

QString LibraryControlHost::registryFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Devlink/registry.conf");
}

QString LibraryControlHost::registeredLibrary(const QString& progId)
{
    QSettings registry(registryFile(), QSettings::IniFormat);
    return registry.value(progId + QStringLiteral("/library")).toString();
}

QObject* LibraryControlHost::createControl(const QString& progId, const QString& name, QObject* container)
{
    auto it = m_libraries.find(progId);
    if (it == m_libraries.end()) {
        QString file = registeredLibrary(progId);
        if (file.isEmpty())
            file = progId.section(u'.', 0, 0).toLower(); // "Devlink.DevPort" -> libdevlink.so
        auto library = std::make_unique<QLibrary>(file);
        if (!library->load())
            AppError::raise(AppError::CannotCreateObject);
        it = m_libraries.emplace(progId, std::move(library)).first;
    }
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(it->second->resolve("DllGetClassObject"));
    const DevlinkClassFactory* factory = nullptr;
    const QByteArray id = progId.toLatin1();
    if (!getClassObject || getClassObject(id.constData(), &factory) != 0 || !factory)
        AppError::raise(AppError::CannotCreateObject);
    QObject* control = factory->createInstance(container);
    control->setObjectName(name);
    return control;
}
