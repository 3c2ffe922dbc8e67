#pragma once

#include <QObject>
#include <QString>

// Creates controls by ProgID at run time. A control is a QObject whose members are reached by
// name (properties, invokable methods, signals as events). Failure to load the control's
// library raises AppError CannotCreateObject (48).
class ControlHost {
public:
    virtual ~ControlHost() = default;
    // The control is parented to `container` and named `name`.
    virtual QObject* createControl(const QString& progId, const QString& name, QObject* container) = 0;
};
