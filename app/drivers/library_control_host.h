#pragma once

#include "control_host.h"

#include <QLibrary>
#include <map>
#include <memory>

class Prompt;

// Finds a control's library by its ProgID: the per-user registry file written by the library's
// register export ("~/.config/Devlink/registry.conf"), then the library beside the program, then
// in the installed library folder, then the library's own name on the library search path. The container is always in run mode
// and shows the control's messages through the prompt.
class LibraryControlHost : public ControlHost {
public:
    explicit LibraryControlHost(Prompt* prompt);
    ~LibraryControlHost() override;
    QObject* createControl(const QString& progId, const QString& name, QObject* container) override;

    static QString registryFile();
    static QString registeredLibrary(const QString& progId);

private:
    class Site;
    std::unique_ptr<Site> m_site;
    std::map<QString, std::unique_ptr<QLibrary>> m_libraries;
};
