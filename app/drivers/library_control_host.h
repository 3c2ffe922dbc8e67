#pragma once

#include "control_host.h"

#include <QLibrary>
#include <map>
#include <memory>

// Finds a control's library by its ProgID: the per-user registry file written by the library's
// register export ("~/.config/Devlink/registry.conf"), falling back to the library's own name
// on the library search path.
class LibraryControlHost : public ControlHost {
public:
    QObject* createControl(const QString& progId, const QString& name, QObject* container) override;

    static QString registryFile();
    static QString registeredLibrary(const QString& progId);

private:
    std::map<QString, std::unique_ptr<QLibrary>> m_libraries;
};
