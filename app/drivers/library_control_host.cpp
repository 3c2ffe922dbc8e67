#include "library_control_host.h"

#include "services/app_error.h"
#include "services/install_paths.h"
#include "services/prompt.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <devlink_host.h>

class LibraryControlHost::Site : public DevlinkSite {
public:
    explicit Site(Prompt* prompt) : m_prompt(prompt) {}
    bool userMode() const override { return true; }
    void propertyChanged(const QString&) override {}
    void message(const QString& text, const QString& title) override
    {
        if (m_prompt)
            m_prompt->message(text, Prompt::Icon::None, title);
    }

private:
    Prompt* m_prompt;
};

LibraryControlHost::LibraryControlHost(Prompt* prompt) : m_site(std::make_unique<Site>(prompt)) {}

LibraryControlHost::~LibraryControlHost() = default;

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
        const QString name = progId.section(u'.', 0, 0).toLower(); // "Devlink.DevPort" -> libdevlink.so
        QString file = registeredLibrary(progId);
        if (file.isEmpty() || !QFileInfo::exists(file)) {
            const QString fileName = QStringLiteral("lib%1.so").arg(name);
            file = name;
            for (const QString& folder : {install_paths::programFolder(), install_paths::libraryFolder()}) {
                if (QFileInfo::exists(QDir(folder).filePath(fileName))) {
                    file = QDir(folder).filePath(fileName);
                    break;
                }
            }
        }
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
    QObject* control = factory->createInstance(container, m_site.get());
    if (!control)
        AppError::raise(AppError::CannotCreateObject); // its transport library cannot be loaded
    control->setObjectName(name);
    return control;
}
