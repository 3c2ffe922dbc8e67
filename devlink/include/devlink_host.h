#pragma once

// How a host creates Devlink's control. The library exports DllGetClassObject, which hands the
// host the factory of the class registered under a ProgID; the host passes its container's site.
#include <QObject>
#include <QString>
#include <stdexcept>

// A member of a control that fails: thrown out of the member (through Qt's meta-object calls) to
// the host, which catches it as it catches its own run-time errors. The control keeps its state.
class DevlinkError : public std::runtime_error {
public:
    enum Number {
        Overflow = 6,            // a value does not fit the member's type
        SubscriptOutOfRange = 9, // a negative size, or an empty array where an element is needed
    };
    DevlinkError(int number, const char* description) : std::runtime_error(description), m_number(number) {}
    int number() const { return m_number; }

private:
    int m_number;
};

// What the control asks of its container.
class DevlinkSite {
public:
    virtual ~DevlinkSite() = default;
    // The ambient UserMode: true at run time, false while a form is being designed.
    virtual bool userMode() const = 0;
    // A property changed under this name (the container may save or refresh it).
    virtual void propertyChanged(const QString& name) = 0;
    // A message box of the control (OK button only).
    virtual void message(const QString& text, const QString& title) = 0;
};

struct DevlinkClassFactory {
    // Creates a control owned by `container` (its QObject parent), or returns null when the
    // control cannot be initialised (its transport library cannot be loaded). The property page
    // "Devlink.MatchCriteria" is a widget: owned by `container` when that is a widget, otherwise
    // by the caller. `site` may be null (run mode, no notifications of property changes,
    // messages in message boxes); it must outlive the control.
    QObject* (*createInstance)(QObject* container, DevlinkSite* site);
};

extern "C" {
// 0 and *factory set when progId names a class of the library; non-zero otherwise.
typedef int (*DllGetClassObjectFn)(const char* progId, const DevlinkClassFactory** factory);
}
